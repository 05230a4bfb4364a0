#include "keys/x11/X11KeyboardLayout.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstring>
#include <vector>

#include "common/DebugLog.h"
#include "keys/x11/XDisplayHandle.h"
#include "keys/xkb/KeysymCodes.h"

namespace qv {

std::unique_ptr<X11KeyboardLayout> X11KeyboardLayout::Read(Display* display) {
    int opcode = 0;
    int eventBase = 0;
    int errorBase = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &eventBase, &errorBase, &major, &minor)) {
        DebugLog("XkbQueryExtension: the X server has no XKB");
        return nullptr;
    }
    // A fresh copy from the server, not Xlib's cache: the cache follows a
    // layout change only on a connection that reads its events.
    XkbDescPtr map = XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd);
    if (map == nullptr || map->map == nullptr) {
        DebugLog("XkbGetMap: failed");
        if (map != nullptr) {
            XkbFreeKeyboard(map, XkbAllComponentsMask, True);
        }
        return nullptr;
    }
    XkbStateRec state{};
    if (XkbGetState(display, XkbUseCoreKbd, &state) != Success) {
        DebugLog("XkbGetState: failed");
    }
    // Num Lock's modifier is whichever the key carrying Num_Lock sets.
    unsigned numLockMask = 0;
    for (int code = map->min_key_code; code <= map->max_key_code; ++code) {
        const KeySym* syms = XkbKeySymsPtr(map, code);
        for (int i = 0; i < XkbKeyNumSyms(map, code); ++i) {
            if (syms[i] == XK_Num_Lock) {
                numLockMask |= map->map->modmap[code];
            }
        }
    }
    return std::unique_ptr<X11KeyboardLayout>(
        new X11KeyboardLayout(map, state.group, state.mods & numLockMask));
}

X11KeyboardLayout::X11KeyboardLayout(XkbDescPtr map, unsigned group, unsigned numLock)
    : map_(map), group_(group), numLock_(numLock) {}

X11KeyboardLayout::~X11KeyboardLayout() {
    XkbFreeKeyboard(map_, XkbAllComponentsMask, True);
}

unsigned X11KeyboardLayout::MinKeycode() const {
    return map_->min_key_code;
}

unsigned X11KeyboardLayout::MaxKeycode() const {
    return map_->max_key_code;
}

unsigned long X11KeyboardLayout::Lookup(unsigned keycode, unsigned mods) const {
    if (keycode < MinKeycode() || keycode > MaxKeycode()) {
        return NoSymbol;
    }
    unsigned int consumed = 0;
    KeySym keysym = NoSymbol;
    if (!XkbTranslateKeyCode(map_, static_cast<KeyCode>(keycode), XkbBuildCoreState(mods, group_),
                             &consumed, &keysym)) {
        return NoSymbol;
    }
    return keysym;
}

unsigned long X11KeyboardLayout::Unshifted(unsigned keycode) const {
    return Lookup(keycode, numLock_);
}

unsigned long X11KeyboardLayout::Shifted(unsigned keycode) const {
    return Lookup(keycode, numLock_ | ShiftMask);
}

std::int16_t X11KeyboardLayout::VirtualKey(unsigned keycode) const {
    return VirtualKeyFromKeysyms(static_cast<Keysym>(Unshifted(keycode)),
                                 static_cast<Keysym>(Shifted(keycode)));
}

unsigned long UnshiftedKeysym(Display* display, unsigned keycode) {
    const auto layout = X11KeyboardLayout::Read(display);
    return layout ? layout->Unshifted(keycode) : NoSymbol;
}

std::int16_t VirtualKeyFromX11Keycode(Display* display, unsigned keycode) {
    const auto layout = X11KeyboardLayout::Read(display);
    return layout ? layout->VirtualKey(keycode) : 0;
}

namespace {

// Whether the server numbers its keys as evdev does: the up arrow is 111
// there (KEY_UP + 8), 98 in the older xfree86 numbering.
bool EvdevNumbering(Display* display) {
    XkbDescPtr desc = XkbGetMap(display, 0, XkbUseCoreKbd);
    bool evdev = false;
    if (desc != nullptr && XkbGetNames(display, XkbKeyNamesMask, desc) == Success &&
        desc->names != nullptr) {
        constexpr int kUp = 111;
        evdev = kUp >= desc->min_key_code && kUp <= desc->max_key_code &&
                std::strncmp(desc->names->keys[kUp].name, "UP", XkbKeyNameLength) == 0;
    }
    if (desc != nullptr) {
        XkbFreeKeyboard(desc, XkbAllComponentsMask, True);
    }
    return evdev;
}

}  // namespace

std::unique_ptr<X11CaptureLayout> X11CaptureLayout::Open(const char* display) {
    std::unique_ptr<XDisplayHandle> handle = XDisplayHandle::Open(display);
    if (!handle) {
        return nullptr;
    }
    return std::unique_ptr<X11CaptureLayout>(new X11CaptureLayout(std::move(handle)));
}

X11CaptureLayout::X11CaptureLayout(std::unique_ptr<XDisplayHandle> display)
    : display_(std::move(display)) {}

X11CaptureLayout::~X11CaptureLayout() = default;

std::int16_t X11CaptureLayout::VirtualKeyOfKey(std::uint32_t nativeKeycode, std::uint32_t) {
    return VirtualKeyFromX11Keycode(display_->get(), nativeKeycode);
}

std::unique_ptr<X11EvdevLayout> X11EvdevLayout::Open(const char* display) {
    std::unique_ptr<XDisplayHandle> handle = XDisplayHandle::Open(display);
    if (!handle || !EvdevNumbering(handle->get())) {
        return nullptr;
    }
    std::unique_ptr<X11EvdevLayout> layout(new X11EvdevLayout(std::move(handle)));
    layout->Refresh();
    return layout;
}

X11EvdevLayout::X11EvdevLayout(std::unique_ptr<XDisplayHandle> display)
    : display_(std::move(display)) {}

X11EvdevLayout::~X11EvdevLayout() = default;

void X11EvdevLayout::Refresh() {
    const std::unique_ptr<X11KeyboardLayout> layout = X11KeyboardLayout::Read(display_->get());
    if (!layout) {
        return;  // the last reading stays
    }
    std::vector<KeyKeysyms> keys;
    for (unsigned code = layout->MinKeycode(); code <= layout->MaxKeycode(); ++code) {
        keys.push_back({code, static_cast<Keysym>(layout->Unshifted(code)),
                        static_cast<Keysym>(layout->Shifted(code))});
    }
    keys_ = KeysCarryingCodes(keys);
}

std::uint16_t X11EvdevLayout::KeyFor(int virtualKey) const {
    if (virtualKey <= 0 || virtualKey >= static_cast<int>(keys_.size())) {
        return 0;
    }
    const std::uint32_t keycode = keys_[static_cast<std::size_t>(virtualKey)];
    return keycode > 8 ? static_cast<std::uint16_t>(keycode - 8) : 0;
}

}  // namespace qv
