#include "keys/wayland/VirtualKeyboardInjector.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "common/DebugLog.h"
#include "common/ErrnoText.h"
#include "common/posix/UniqueFd.h"
#include "keys/wayland/CompositorKeymap.h"
#include "keys/wayland/KeyboardEncoder.h"
#include "keys/wayland/VirtualKeymap.h"
#include "keys/wayland/WaylandConnection.h"
#include "keys/wayland/XwaylandSync.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace qv::wayland {
namespace {

// How long the compositor may take to handle a batch or the start-up requests.
constexpr std::chrono::milliseconds kRoundtripBound{1000};

// sway (wlroots 0.15) lost the first burst on a newly created virtual
// keyboard in about 4 of 10 runs here (the first ~200 of 256 events, or all
// of them). An empty modifiers request, a round trip and this pause before
// the first key made every run complete; there is nothing to watch for.
constexpr std::chrono::milliseconds kPrimePause{50};

// The keymap in a sealed-size memory file, with the terminating NUL the
// compositor's parser expects.
UniqueFd KeymapFile(const std::string& text, std::string& error) {
    UniqueFd fd(memfd_create("quorvane-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd.Valid()) {
        error = std::string("memfd_create: ") + ErrnoText(errno);
        return {};
    }
    const char* data = text.c_str();
    std::size_t left = text.size() + 1;
    while (left > 0) {
        const ssize_t n = write(fd.Get(), data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = std::string("write (keymap): ") + ErrnoText(errno);
            return {};
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    fcntl(fd.Get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}

// The marker for XWayland: Mod3 locked. No key of the layouts this program
// knows of sets Mod3, so it means nothing to the target while it is there.
constexpr std::uint32_t kMarkerMod = 1u << 5;
// XWayland reads a batch within a few milliseconds; this bounds a busy one.
constexpr std::chrono::milliseconds kXwaylandBound{500};

std::string Codes(const std::vector<int>& codes) {
    std::string text;
    for (const int code : codes) {
        text += (text.empty() ? "" : ", ") + std::to_string(code);
    }
    return text;
}

}  // namespace

VirtualKeyboardInjector::VirtualKeyboardInjector() = default;

std::unique_ptr<VirtualKeyboardInjector> VirtualKeyboardInjector::Open(
    const char* display, std::string& error, std::shared_ptr<XwaylandSync> xwayland) {
    std::unique_ptr<VirtualKeyboardInjector> injector(new VirtualKeyboardInjector());
    injector->xwayland_ = std::move(xwayland);
    if (!injector->Start(display, error)) {
        return nullptr;
    }
    return injector;
}

bool VirtualKeyboardInjector::Start(const char* display, std::string& error) {
    connection_ = WaylandConnection::Connect(display, error);
    if (!connection_) {
        return false;
    }
    const auto* managerGlobal = connection_->Find(zwp_virtual_keyboard_manager_v1_interface.name);
    const auto* seatGlobal = connection_->Find(wl_seat_interface.name);
    if (managerGlobal == nullptr || seatGlobal == nullptr) {
        error = "the compositor offers no virtual keyboard (zwp_virtual_keyboard_manager_v1)";
        return false;
    }
    seat_ = static_cast<wl_seat*>(connection_->Bind(*seatGlobal, &wl_seat_interface, 5));
    manager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
        connection_->Bind(*managerGlobal, &zwp_virtual_keyboard_manager_v1_interface, 1));
    // The layout comes with the seat's keyboard: the one in use, or, on a
    // seat without one, this keyboard once the compositor has set it up
    // (sway gives it the user's configured layout).
    layout_ = std::make_unique<CompositorKeymap>(*connection_, seat_);
    connection_->Roundtrip(kRoundtripBound);
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
    SharedKeymap base;
    if (layout_->WaitForLayout(kRoundtripBound)) {
        base = layout_->Layout()->SharedKeymapHandle();
        layoutGeneration_ = layout_->Generation();
    } else {
        DebugLog(
            "keys: the compositor gave no keyboard layout; typing with xkbcommon's "
            "default layout");
        base = KeymapFromNames({}, {}, {}, {}, &error);
        if (!base) {
            return false;
        }
    }
    if (!Upload(base, error)) {
        return false;
    }
    if (!connection_->Roundtrip(kRoundtripBound)) {
        const std::string reason = connection_->Error();
        error = "the compositor did not take the virtual keyboard" +
                (reason.empty() ? std::string(" in time") : ": " + reason);
        return false;
    }
    std::this_thread::sleep_for(kPrimePause);
    return true;
}

// Uploads the layout with the keys it lacks and starts the modifier state
// over on it.
bool VirtualKeyboardInjector::Upload(const SharedKeymap& layout, std::string& error) {
    auto keymap = VirtualKeymap::Build(layout, error);
    if (!keymap) {
        return false;
    }
    UniqueFd file = KeymapFile(keymap->Text(), error);
    if (!file.Valid()) {
        return false;
    }
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file.Get(),
                                   static_cast<std::uint32_t>(keymap->Text().size() + 1));
    zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
    // The compositor sends this keymap back to the seat's keyboards.
    layout_->PassOver(keymap->Text());
    keymap_ = std::make_unique<VirtualKeymap>(std::move(*keymap));
    encoder_ = std::make_unique<KeyboardEncoder>(*keymap_);
    std::string unplaced;
    for (const int code : keymap_->Unplaced()) {
        unplaced += " " + std::to_string(code);
    }
    DebugLog("keys: Wayland virtual keyboard types with the layout \"" + keymap_->LayoutName() +
             "\" and " + std::to_string(keymap_->AddedKeys()) + " keys added (keymap " +
             std::to_string(keymap_->Text().size()) + " bytes)" +
             (unplaced.empty() ? "" : "; no keycode left for the codes" + unplaced));
    return true;
}

std::string VirtualKeyboardInjector::LayoutName() const {
    return keymap_ ? keymap_->LayoutName() : std::string();
}

VirtualKeyboardInjector::~VirtualKeyboardInjector() {
    if (keyboard_ != nullptr && encoder_) {
        Flush(encoder_->ReleaseHeld());
    }
    if (keyboard_ != nullptr) {
        zwp_virtual_keyboard_v1_destroy(keyboard_);
    }
    if (manager_ != nullptr) {
        zwp_virtual_keyboard_manager_v1_destroy(manager_);
    }
    if (seat_ != nullptr) {
        wl_seat_destroy(seat_);
    }
    if (connection_) {
        wl_display_flush(connection_->Display());
    }
}

void VirtualKeyboardInjector::Send(std::span<const KeyStroke> batch) {
    FollowLayout();
    const std::vector<KeyboardRequest> requests = encoder_->Encode(batch);
    if (!encoder_->Skipped().empty()) {
        DebugLog("keys: no key for the virtual-key codes " + Codes(encoder_->Skipped()) +
                 " on the layout \"" + keymap_->LayoutName() + "\", skipped");
    }
    Flush(requests);
    if (!requests.empty()) {
        WaitForXwayland();
    }
}

// Reads what the compositor sent since the last batch; a new layout (the
// user switched, or the compositor gave this keyboard its configured one)
// is built on and uploaded before the batch, so keys never go out on a
// stale keymap.
void VirtualKeyboardInjector::FollowLayout() {
    layout_->Refresh();
    if (layout_->Layout() == nullptr || layout_->Generation() == layoutGeneration_) {
        return;
    }
    layoutGeneration_ = layout_->Generation();
    Flush(encoder_->ReleaseHeld());
    std::string error;
    if (!Upload(layout_->Layout()->SharedKeymapHandle(), error)) {
        DebugLog("keys: cannot follow the new layout: " + error);
    }
}

void VirtualKeyboardInjector::WaitForXwayland() {
    // Only while an X window has the focus: otherwise XWayland gets no
    // modifier state from the compositor, and the keys went to a Wayland
    // window that has them all once the compositor has handled them.
    if (!xwayland_ || !xwayland_->Connected() || xwayland_->FocusedWindow() == 0) {
        return;
    }
    const KeyboardRequest mods = encoder_->Modifiers();
    zwp_virtual_keyboard_v1_modifiers(keyboard_, mods.depressed, mods.latched,
                                      mods.locked | kMarkerMod, mods.group);
    connection_->Roundtrip(kRoundtripBound);
    const auto deadline = std::chrono::steady_clock::now() + kXwaylandBound;
    bool seen = false;
    for (;;) {
        const auto state = xwayland_->ModifierState();
        if (!state) {
            break;
        }
        if ((*state & kMarkerMod) != 0) {
            seen = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!seen) {
        DebugLog("keys: XWayland did not show that it read the keys in time");
    }
    zwp_virtual_keyboard_v1_modifiers(keyboard_, mods.depressed, mods.latched, mods.locked,
                                      mods.group);
    connection_->Roundtrip(kRoundtripBound);
    // Until XWayland has read the marker's end too, the next batch would find
    // this batch's marker still set and take it for its own: wait for it.
    if (!seen) {
        return;
    }
    const auto clearedBy = std::chrono::steady_clock::now() + kXwaylandBound;
    for (;;) {
        const auto state = xwayland_->ModifierState();
        if (!state || (*state & kMarkerMod) == 0) {
            return;
        }
        if (std::chrono::steady_clock::now() >= clearedBy) {
            DebugLog("keys: XWayland did not show the marker's end in time");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void VirtualKeyboardInjector::Flush(const std::vector<KeyboardRequest>& requests) {
    if (requests.empty()) {
        return;
    }
    const std::uint32_t time = InputTimestamp();
    for (const KeyboardRequest& r : requests) {
        if (r.kind == KeyboardRequest::Kind::Key) {
            zwp_virtual_keyboard_v1_key(
                keyboard_, time, r.key,
                r.pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        } else {
            zwp_virtual_keyboard_v1_modifiers(keyboard_, r.depressed, r.latched, r.locked, r.group);
        }
    }
    // One round trip per batch: when it returns, the compositor has handed
    // every key to the focused window.
    if (!connection_->Roundtrip(kRoundtripBound) && !brokenLogged_) {
        brokenLogged_ = true;
        const std::string reason = connection_->Error();
        DebugLog("keys: the compositor did not take a batch of keys" +
                 (reason.empty() ? std::string(" in time") : ": " + reason));
    }
}

}  // namespace qv::wayland
