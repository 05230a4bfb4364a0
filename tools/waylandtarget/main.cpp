// quorvane-waylandtarget: a small native Wayland client with a chosen app_id
// that writes one line per key event it receives, in the same format as
// quorvane-keytarget. The Wayland system tests use it as the target window of
// key lists.

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "xdg-shell-client-protocol.h"

namespace {

constexpr const char* kUsage =
    "usage: quorvane-waylandtarget --app-id NAME [--title T] [--output FILE]\n"
    "\n"
    "Opens one xdg toplevel whose app_id is NAME on $WAYLAND_DISPLAY and writes\n"
    "one line per event to FILE (default: standard output), flushed after every\n"
    "line:\n"
    "\n"
    "  ready 0                          the window is mapped (it has a buffer)\n"
    "  press KEYSYM KEYCODE TIME        a key went down\n"
    "  release KEYSYM KEYCODE TIME      a key went up\n"
    "  modifiers DEPRESSED LATCHED LOCKED GROUP TIME   the modifier state changed\n"
    "  keymap SIZE TIME                 a new keymap arrived\n"
    "  focusin TIME / focusout TIME     the window got or lost the keyboard focus\n"
    "  nokeyboard TIME                  the seat has no keyboard any more\n"
    "  synced TIME                      after SIGUSR1: a round trip to the compositor is\n"
    "                                   done, every event it had sent before is above\n"
    "\n"
    "KEYSYM is the keysym's name as xkb_keysym_get_name gives it (\"a\", \"A\",\n"
    "\"Control_L\", \"Kanji\"; \"NoSymbol\" when none), looked up with the modifier\n"
    "state in force; KEYCODE is the xkb keycode (evdev code + 8) in decimal;\n"
    "TIME is CLOCK_MONOTONIC in microseconds, taken when the event was read.\n"
    "\n"
    "Ends on SIGTERM, SIGINT, when the window is closed or the compositor goes.\n";

volatile sig_atomic_t gStop = 0;  // set by the signal handler: a plain flag is all it may touch
volatile sig_atomic_t gSync = 0;  // SIGUSR1: a round trip is asked for

void OnSignal(int) {
    gStop = 1;
}

void OnSync(int) {
    gSync = 1;
}

long long MonotonicMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000LL + ts.tv_nsec / 1000;
}

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != stdout) {
            std::fclose(f);
        }
    }
};

template <typename T, void (*Destroy)(T*)>
struct Deleter {
    void operator()(T* p) const {
        if (p != nullptr) {
            Destroy(p);
        }
    }
};
template <typename T, void (*Destroy)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Destroy>>;

struct Target {
    FILE* out = stdout;
    std::string appId;
    std::string title;

    Owned<wl_display, wl_display_disconnect> display;
    Owned<wl_registry, wl_registry_destroy> registry;
    Owned<wl_compositor, wl_compositor_destroy> compositor;
    Owned<wl_shm, wl_shm_destroy> shm;
    Owned<xdg_wm_base, xdg_wm_base_destroy> wmBase;
    Owned<wl_seat, wl_seat_destroy> seat;
    Owned<wl_keyboard, wl_keyboard_release> keyboard;
    Owned<wl_surface, wl_surface_destroy> surface;
    Owned<xdg_surface, xdg_surface_destroy> xdgSurface;
    Owned<xdg_toplevel, xdg_toplevel_destroy> toplevel;
    Owned<wl_buffer, wl_buffer_destroy> buffer;

    Owned<xkb_context, xkb_context_unref> xkb{xkb_context_new(XKB_CONTEXT_NO_FLAGS)};
    Owned<xkb_keymap, xkb_keymap_unref> keymap;
    Owned<xkb_state, xkb_state_unref> state;

    int width = 320;
    int height = 200;
    int bufferWidth = 0;
    int bufferHeight = 0;
    bool configured = false;
    bool ready = false;
    bool failed = false;

    void Line(const std::string& text) const {
        std::fputs(text.c_str(), out);
        std::fputc('\n', out);
        std::fflush(out);
    }
};

// A white buffer of the configured size in shared memory; the compositor maps
// a toplevel only once it has content.
bool AttachBuffer(Target& t) {
    if (t.buffer && t.bufferWidth == t.width && t.bufferHeight == t.height) {
        return true;
    }
    const int stride = t.width * 4;
    const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(t.height);
    const int fd = memfd_create("quorvane-waylandtarget", MFD_CLOEXEC);
    if (fd < 0) {
        std::perror("quorvane-waylandtarget: memfd_create");
        return false;
    }
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        std::perror("quorvane-waylandtarget: ftruncate");
        close(fd);
        return false;
    }
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        std::perror("quorvane-waylandtarget: mmap");
        close(fd);
        return false;
    }
    std::memset(pixels, 0xFF, size);
    munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(t.shm.get(), fd, static_cast<int32_t>(size));
    t.buffer.reset(
        wl_shm_pool_create_buffer(pool, 0, t.width, t.height, stride, WL_SHM_FORMAT_XRGB8888));
    wl_shm_pool_destroy(pool);
    close(fd);
    t.bufferWidth = t.width;
    t.bufferHeight = t.height;
    wl_surface_attach(t.surface.get(), t.buffer.get(), 0, 0);
    wl_surface_damage(t.surface.get(), 0, 0, t.width, t.height);
    return true;
}

std::string KeysymName(xkb_keysym_t sym) {
    if (sym == XKB_KEY_NoSymbol) {
        return "NoSymbol";
    }
    char name[64];
    return xkb_keysym_get_name(sym, name, sizeof name) > 0 ? std::string(name) : "NoSymbol";
}

// --- keyboard ---------------------------------------------------------------

void OnKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
    auto& t = *static_cast<Target*>(data);
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        close(fd);
        return;
    }
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (text == MAP_FAILED) {
        std::perror("quorvane-waylandtarget: mmap keymap");
        return;
    }
    t.keymap.reset(xkb_keymap_new_from_string(t.xkb.get(), static_cast<const char*>(text),
                                              XKB_KEYMAP_FORMAT_TEXT_V1,
                                              XKB_KEYMAP_COMPILE_NO_FLAGS));
    munmap(text, size);
    t.state.reset(t.keymap ? xkb_state_new(t.keymap.get()) : nullptr);
    t.Line("keymap " + std::to_string(size) + " " + std::to_string(MonotonicMicros()));
}

void OnEnter(void* data, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {
    static_cast<Target*>(data)->Line("focusin " + std::to_string(MonotonicMicros()));
}

void OnLeave(void* data, wl_keyboard*, uint32_t, wl_surface*) {
    static_cast<Target*>(data)->Line("focusout " + std::to_string(MonotonicMicros()));
}

void OnKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t keyState) {
    auto& t = *static_cast<Target*>(data);
    const xkb_keycode_t code = key + 8;
    const xkb_keysym_t sym = t.state ? xkb_state_key_get_one_sym(t.state.get(), code) : 0;
    t.Line(std::string(keyState == WL_KEYBOARD_KEY_STATE_PRESSED ? "press " : "release ") +
           KeysymName(sym) + " " + std::to_string(code) + " " + std::to_string(MonotonicMicros()));
}

void OnModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                 uint32_t locked, uint32_t group) {
    auto& t = *static_cast<Target*>(data);
    if (t.state) {
        xkb_state_update_mask(t.state.get(), depressed, latched, locked, 0, 0, group);
    }
    t.Line("modifiers " + std::to_string(depressed) + " " + std::to_string(latched) + " " +
           std::to_string(locked) + " " + std::to_string(group) + " " +
           std::to_string(MonotonicMicros()));
}

void OnRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

const wl_keyboard_listener kKeyboardListener = {OnKeymap, OnEnter,     OnLeave,
                                                OnKey,    OnModifiers, OnRepeatInfo};

void OnSeatCapabilities(void* data, wl_seat* seat, uint32_t caps) {
    auto& t = *static_cast<Target*>(data);
    // Without a physical keyboard the seat has one only while a virtual
    // keyboard exists; the compositor makes the old wl_keyboard inert when the
    // capability goes, so a new one is needed each time it comes back.
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) != 0 && !t.keyboard) {
        t.keyboard.reset(wl_seat_get_keyboard(seat));
        wl_keyboard_add_listener(t.keyboard.get(), &kKeyboardListener, &t);
    } else if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) == 0 && t.keyboard) {
        t.keyboard.reset();
        t.Line("nokeyboard " + std::to_string(MonotonicMicros()));
    }
}

void OnSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {OnSeatCapabilities, OnSeatName};

// --- shell ------------------------------------------------------------------

void OnPing(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener kWmBaseListener = {OnPing};

void OnSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    auto& t = *static_cast<Target*>(data);
    xdg_surface_ack_configure(surface, serial);
    if (!AttachBuffer(t)) {
        t.failed = true;
        return;
    }
    wl_surface_commit(t.surface.get());
    t.configured = true;
}

const xdg_surface_listener kSurfaceListener = {OnSurfaceConfigure};

void OnToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
    auto& t = *static_cast<Target*>(data);
    if (width > 0 && height > 0) {
        t.width = width;
        t.height = height;
    }
}

void OnToplevelClose(void*, xdg_toplevel*) {
    gStop = 1;
}

void OnToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}

void OnToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

const xdg_toplevel_listener kToplevelListener = {OnToplevelConfigure, OnToplevelClose,
                                                 OnToplevelBounds, OnToplevelCapabilities};

// --- globals ----------------------------------------------------------------

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
    auto& t = *static_cast<Target*>(data);
    const std::string_view iface(interface);
    if (iface == wl_compositor_interface.name) {
        t.compositor.reset(static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, 4)));
    } else if (iface == wl_shm_interface.name) {
        t.shm.reset(static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1)));
    } else if (iface == xdg_wm_base_interface.name) {
        t.wmBase.reset(
            static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1)));
        xdg_wm_base_add_listener(t.wmBase.get(), &kWmBaseListener, &t);
    } else if (iface == wl_seat_interface.name && !t.seat && version >= 3) {
        t.seat.reset(static_cast<wl_seat*>(
            wl_registry_bind(registry, name, &wl_seat_interface, version < 5 ? version : 5)));
        wl_seat_add_listener(t.seat.get(), &kSeatListener, &t);
    }
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

}  // namespace

int main(int argc, char** argv) {
    Target t;
    std::string outputPath;
    t.title = "quorvane-waylandtarget";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--app-id" && i + 1 < argc) {
            t.appId = argv[++i];
        } else if (arg == "--title" && i + 1 < argc) {
            t.title = argv[++i];
        } else if (arg == "--output" && i + 1 < argc) {
            outputPath = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "quorvane-waylandtarget: unknown argument %s\n%s", arg.c_str(),
                         kUsage);
            return 2;
        }
    }
    if (t.appId.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::unique_ptr<FILE, FileCloser> out(stdout);
    if (!outputPath.empty()) {
        out.reset(std::fopen(outputPath.c_str(), "w"));
        if (!out) {
            std::fprintf(stderr, "quorvane-waylandtarget: %s: %s\n", outputPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    t.out = out.get();

    t.display.reset(wl_display_connect(nullptr));
    if (!t.display) {
        std::fprintf(stderr, "quorvane-waylandtarget: cannot connect to the Wayland display: %s\n",
                     std::strerror(errno));
        return 1;
    }
    wl_display* d = t.display.get();
    t.registry.reset(wl_display_get_registry(d));
    wl_registry_add_listener(t.registry.get(), &kRegistryListener, &t);
    if (wl_display_roundtrip(d) < 0 || !t.compositor || !t.shm || !t.wmBase) {
        std::fputs(
            "quorvane-waylandtarget: the compositor lacks wl_compositor, wl_shm or "
            "xdg_wm_base\n",
            stderr);
        return 1;
    }
    if (!t.xkb) {
        std::fputs("quorvane-waylandtarget: xkb_context_new failed\n", stderr);
        return 1;
    }

    t.surface.reset(wl_compositor_create_surface(t.compositor.get()));
    t.xdgSurface.reset(xdg_wm_base_get_xdg_surface(t.wmBase.get(), t.surface.get()));
    xdg_surface_add_listener(t.xdgSurface.get(), &kSurfaceListener, &t);
    t.toplevel.reset(xdg_surface_get_toplevel(t.xdgSurface.get()));
    xdg_toplevel_add_listener(t.toplevel.get(), &kToplevelListener, &t);
    xdg_toplevel_set_app_id(t.toplevel.get(), t.appId.c_str());
    xdg_toplevel_set_title(t.toplevel.get(), t.title.c_str());
    wl_surface_commit(t.surface.get());

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    struct sigaction sync {};
    sync.sa_handler = OnSync;
    sigaction(SIGUSR1, &sync, nullptr);

    pollfd pfd{wl_display_get_fd(d), POLLIN, 0};
    while (gStop == 0 && !t.failed) {
        if (gSync != 0) {
            gSync = 0;
            // The compositor answers after every event it sent before.
            if (wl_display_roundtrip(d) < 0) {
                break;
            }
            t.Line("synced " + std::to_string(MonotonicMicros()));
        }
        if (t.configured && !t.ready) {
            // The buffer is committed; once the compositor has answered a
            // round trip it has taken the window on.
            if (wl_display_roundtrip(d) < 0) {
                break;
            }
            t.ready = true;
            t.Line("ready 0");
        }
        while (wl_display_prepare_read(d) != 0) {
            if (wl_display_dispatch_pending(d) < 0) {
                gStop = 1;
                break;
            }
        }
        if (gStop != 0) {
            wl_display_cancel_read(d);
            break;
        }
        wl_display_flush(d);
        const int n = poll(&pfd, 1, 200);
        if (n <= 0) {
            wl_display_cancel_read(d);
            if (n < 0 && errno != EINTR) {
                std::perror("quorvane-waylandtarget: poll");
                return 1;
            }
            continue;
        }
        if ((pfd.revents & (POLLHUP | POLLERR)) != 0) {
            wl_display_cancel_read(d);
            return 1;
        }
        if (wl_display_read_events(d) < 0 || wl_display_dispatch_pending(d) < 0) {
            std::fprintf(stderr, "quorvane-waylandtarget: connection lost: %s\n",
                         std::strerror(errno));
            return 1;
        }
    }
    return t.failed ? 1 : 0;
}
