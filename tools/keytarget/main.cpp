// quorvane-keytarget: a small X client with a chosen WM_CLASS that writes one
// line per key or button event it receives. System tests, benchmarks and the
// demo use it as the target window of key lists.

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: quorvane-keytarget --class NAME [--title T] [--iconic] [--maximized] [--output FILE]\n"
    "\n"
    "Opens one top-level window whose WM_CLASS instance and class are both NAME,\n"
    "accepts the keyboard focus, and writes one line per event to FILE (default:\n"
    "standard output), flushed after every line:\n"
    "\n"
    "  ready WINDOW                     the window exists (WINDOW in decimal)\n"
    "  press KEYSYM KEYCODE TIME        a key went down\n"
    "  release KEYSYM KEYCODE TIME      a key went up\n"
    "  buttonpress BUTTON TIME          a pointer button went down\n"
    "  buttonrelease BUTTON TIME        a pointer button went up\n"
    "  focusin TIME / focusout TIME     the window got or lost the keyboard focus\n"
    "  synced TIME                      after SIGUSR1: a round trip to the server is done,\n"
    "                                   and every event it had sent before is above\n"
    "\n"
    "KEYSYM is the keysym's name as XKeysymToString gives it (\"a\", \"Control_L\",\n"
    "\"Kanji\"; \"NoSymbol\" when none), looked up with the event's modifier state;\n"
    "KEYCODE is the X keycode in decimal; TIME is CLOCK_MONOTONIC in microseconds\n"
    "(the clock of std::chrono::steady_clock), taken when the event was read.\n"
    "\n"
    "  --iconic      start minimised (WM_HINTS initial state IconicState)\n"
    "  --maximized   start maximised (_NET_WM_STATE maximised both ways)\n"
    "                (both take effect only under a window manager)\n"
    "\n"
    "Ends on SIGTERM, SIGINT or when the window is closed.\n";

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

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != stdout) {
            std::fclose(f);
        }
    }
};

void Line(FILE* out, const std::string& text) {
    std::fputs(text.c_str(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

std::string KeyLine(const char* kind, XKeyEvent* event) {
    KeySym keysym = NoSymbol;
    char buffer[32];
    XLookupString(event, buffer, sizeof buffer, &keysym, nullptr);
    const char* name = keysym != NoSymbol ? XKeysymToString(keysym) : nullptr;
    return std::string(kind) + " " + (name != nullptr ? name : "NoSymbol") + " " +
           std::to_string(event->keycode) + " " + std::to_string(MonotonicMicros());
}

}  // namespace

int main(int argc, char** argv) {
    std::string className;
    std::string title = "quorvane-keytarget";
    std::string outputPath;
    bool iconic = false;
    bool maximized = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--class" && i + 1 < argc) {
            className = argv[++i];
        } else if (arg == "--title" && i + 1 < argc) {
            title = argv[++i];
        } else if (arg == "--output" && i + 1 < argc) {
            outputPath = argv[++i];
        } else if (arg == "--iconic") {
            iconic = true;
        } else if (arg == "--maximized") {
            maximized = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "quorvane-keytarget: unknown argument %s\n%s", arg.c_str(),
                         kUsage);
            return 2;
        }
    }
    if (className.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::unique_ptr<FILE, FileCloser> out(stdout);
    if (!outputPath.empty()) {
        out.reset(std::fopen(outputPath.c_str(), "w"));
        if (!out) {
            std::fprintf(stderr, "quorvane-keytarget: %s: %s\n", outputPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }

    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) {
        std::fprintf(stderr, "quorvane-keytarget: cannot open display %s\n", XDisplayName(nullptr));
        return 1;
    }
    Display* d = display.get();
    const int screen = DefaultScreen(d);

    XSetWindowAttributes attributes{};
    attributes.background_pixel = WhitePixel(d, screen);
    attributes.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                            FocusChangeMask | StructureNotifyMask;
    const Window window =
        XCreateWindow(d, RootWindow(d, screen), 40, 40, 320, 200, 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWBackPixel | CWEventMask, &attributes);

    XClassHint classHint{className.data(), className.data()};
    XWMHints wmHints{};
    wmHints.flags = InputHint | StateHint;
    wmHints.input = True;
    wmHints.initial_state = iconic ? IconicState : NormalState;
    XSizeHints sizeHints{};
    sizeHints.flags = PPosition | PSize;
    sizeHints.x = 40;
    sizeHints.y = 40;
    sizeHints.width = 320;
    sizeHints.height = 200;
    XTextProperty name{};
    char* titleText = title.data();
    if (XStringListToTextProperty(&titleText, 1, &name) == 0) {
        std::fputs("quorvane-keytarget: XStringListToTextProperty failed\n", stderr);
        return 1;
    }
    XSetWMProperties(d, window, &name, &name, argv, argc, &sizeHints, &wmHints, &classHint);
    XFree(name.value);

    Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, window, &deleteWindow, 1);
    if (maximized) {
        const Atom states[2] = {XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_VERT", False),
                                XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_HORZ", False)};
        XChangeProperty(d, window, XInternAtom(d, "_NET_WM_STATE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(states), 2);
    }
    XMapWindow(d, window);
    XSync(d, False);
    Line(out.get(), "ready " + std::to_string(window));

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    struct sigaction sync {};
    sync.sa_handler = OnSync;
    sigaction(SIGUSR1, &sync, nullptr);

    pollfd pfd{ConnectionNumber(d), POLLIN, 0};
    bool syncing = false;  // the events of a round trip are being read
    while (gStop == 0) {
        if (gSync != 0 && !syncing) {
            gSync = 0;
            // The reply comes after every event the server queued before it.
            XSync(d, False);
            syncing = true;
        }
        if (syncing && XPending(d) == 0) {
            syncing = false;
            Line(out.get(), "synced " + std::to_string(MonotonicMicros()));
            continue;
        }
        if (XPending(d) == 0) {
            const int ready = poll(&pfd, 1, 200);
            if (ready < 0 && errno != EINTR) {
                std::perror("quorvane-keytarget: poll");
                return 1;
            }
            if (ready > 0 && (pfd.revents & (POLLHUP | POLLERR)) != 0) {
                return 1;
            }
            if (ready <= 0) {
                continue;
            }
        }
        XEvent event;
        XNextEvent(d, &event);
        switch (event.type) {
            case KeyPress:
                Line(out.get(), KeyLine("press", &event.xkey));
                break;
            case KeyRelease:
                Line(out.get(), KeyLine("release", &event.xkey));
                break;
            case ButtonPress:
            case ButtonRelease:
                Line(out.get(),
                     std::string(event.type == ButtonPress ? "buttonpress " : "buttonrelease ") +
                         std::to_string(event.xbutton.button) + " " +
                         std::to_string(MonotonicMicros()));
                break;
            case FocusIn:
            case FocusOut:
                Line(out.get(), std::string(event.type == FocusIn ? "focusin " : "focusout ") +
                                    std::to_string(MonotonicMicros()));
                break;
            case MappingNotify:
                // Borrowed keycodes change the keymap right before their events:
                // fetch the new mapping now, before it is taken back again.
                XRefreshKeyboardMapping(&event.xmapping);
                if (event.xmapping.request == MappingKeyboard) {
                    XkbKeycodeToKeysym(d, static_cast<KeyCode>(event.xmapping.first_keycode), 0, 0);
                }
                break;
            case ClientMessage:
                if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) {
                    gStop = 1;
                }
                break;
            default:
                break;
        }
    }
    XDestroyWindow(d, window);
    XSync(d, False);
    return 0;
}
