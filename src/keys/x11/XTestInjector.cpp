#include "keys/x11/XTestInjector.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "common/DebugLog.h"
#include "keys/x11/X11KeyboardLayout.h"
#include "keys/x11/XDisplayHandle.h"
#include "keys/x11/XErrorTrap.h"
#include "keys/xkb/KeysymCodes.h"

namespace qv {

// One event of a batch as X sees it.
struct XAction {
    unsigned int button = 0;  // pointer button, 0 for a key
    KeySym keysym = NoSymbol;
    KeyCode keycode = 0;  // 0 until resolved
    bool press = false;
};

namespace {

// How long clients get to fetch a borrowed mapping before it is taken back;
// restoring it sooner lost events in the target.
constexpr auto kBorrowHold = std::chrono::milliseconds(50);

struct XFreeDeleter {
    void operator()(void* p) const {
        if (p != nullptr) {
            XFree(p);
        }
    }
};

std::string Hex(unsigned long value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0);
    return "0x" + out;
}

// Keycodes without any keysym: they can be lent to keysyms the keymap lacks.
std::vector<KeyCode> SpareKeycodes(Display* display) {
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    int perCode = 0;
    std::unique_ptr<KeySym, XFreeDeleter> map(XGetKeyboardMapping(
        display, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode));
    std::vector<KeyCode> spare;
    if (!map) {
        DebugLog("XGetKeyboardMapping: failed");
        return spare;
    }
    for (int code = minCode; code <= maxCode; ++code) {
        const KeySym* syms = map.get() + static_cast<std::ptrdiff_t>(code - minCode) * perCode;
        if (std::all_of(syms, syms + perCode, [](KeySym s) { return s == NoSymbol; })) {
            spare.push_back(static_cast<KeyCode>(code));
        }
    }
    return spare;
}

// Reads pending events so that Xlib's cached keymap follows keymap changes
// (this connection never waits for events otherwise).
void RefreshKeymapCache(Display* display) {
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
        }
    }
}

void SetKeycodeKeysym(Display* display, KeyCode code, KeySym keysym) {
    KeySym syms[1] = {keysym};
    XChangeKeyboardMapping(display, code, 1, syms, 1);
}

bool RepeatIsOn(Display* display, KeyCode code) {
    XKeyboardState state;
    XGetKeyboardControl(display, &state);
    return (state.auto_repeats[code / 8] & (1 << (code % 8))) != 0;
}

void SetRepeat(Display* display, KeyCode code, bool on) {
    XKeyboardControl control{};
    control.key = code;
    control.auto_repeat_mode = on ? AutoRepeatModeOn : AutoRepeatModeOff;
    XChangeKeyboardControl(display, KBKey | KBAutoRepeatMode, &control);
}

// The physical key that carries each virtual-key code on the active layout,
// 0 for none. Pressing it lets the layout decide the character, as on
// Windows: "2" with Shift types '"' on a Japanese layout and '@' on a US one.
KeysByCode PhysicalKeys(Display* display) {
    const std::unique_ptr<X11KeyboardLayout> layout = X11KeyboardLayout::Read(display);
    if (!layout) {
        return {};
    }
    std::vector<KeyKeysyms> keys;
    for (unsigned code = layout->MinKeycode(); code <= layout->MaxKeycode(); ++code) {
        keys.push_back({code, static_cast<Keysym>(layout->Unshifted(code)),
                        static_cast<Keysym>(layout->Shifted(code))});
    }
    return KeysCarryingCodes(keys);
}

}  // namespace

unsigned int VirtualKeyToButton(int code) {
    switch (code) {
        case 0x01:
            return Button1;
        case 0x02:
            return Button3;  // the right button is X's button 3
        case 0x04:
            return Button2;
        default:
            return 0;
    }
}

std::unique_ptr<XTestInjector> XTestInjector::Open(const char* display) {
    std::unique_ptr<XDisplayHandle> handle = XDisplayHandle::Open(display);
    if (!handle) {
        return nullptr;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(handle->get(), &eventBase, &errorBase, &major, &minor)) {
        DebugLog("XTestQueryExtension: the X server has no XTEST");
        return nullptr;
    }
    return std::unique_ptr<XTestInjector>(new XTestInjector(std::move(handle)));
}

XTestInjector::XTestInjector(std::unique_ptr<XDisplayHandle> display)
    : display_(std::move(display)) {}

XTestInjector::~XTestInjector() {
    // X keeps a key down (and, with its repeat restored, repeating) after the
    // program is gone: let go of the keys the key lists left down.
    if (held_.empty()) {
        return;
    }
    Display* display = display_->get();
    XErrorTrap trap(display);
    bool unmap = false;
    for (const HeldKey& h : held_) {
        XTestFakeKeyEvent(display, h.keycode, False, CurrentTime);
        unmap = unmap || h.borrowed;
    }
    trap.Sync();
    if (unmap) {
        std::this_thread::sleep_for(kBorrowHold);
    }
    for (const HeldKey& h : held_) {
        if (h.repeated) {
            SetRepeat(display, h.keycode, true);
        }
        if (h.borrowed) {
            SetKeycodeKeysym(display, h.keycode, NoSymbol);
        }
    }
    if (const int error = trap.Sync(); error != 0) {
        DebugLog("XTestInjector: X error " + std::to_string(error) +
                 " while letting go of held keys");
    }
}

// Sends one piece of a batch, borrowing spare keycodes for the keysyms in
// `borrow` first. This order (all remaps, sync, all events, sync, hold,
// restore) is the one that delivers every event; restoring a mapping sooner
// lost events in the target.
void XTestInjector::SendPiece(std::span<XAction> actions,
                              const std::vector<std::pair<KeySym, KeyCode>>& borrow) {
    Display* display = display_->get();
    for (XAction& a : actions) {
        if (a.keycode == 0 && a.button == 0) {
            const auto hit = std::find_if(borrow.begin(), borrow.end(),
                                          [&a](const auto& b) { return b.first == a.keysym; });
            if (hit != borrow.end()) {
                a.keycode = hit->second;
            }
        }
    }
    // Where each key of the piece ends: down or up.
    std::vector<std::pair<KeyCode, bool>> ends;
    for (const XAction& a : actions) {
        if (a.button != 0 || a.keycode == 0) {
            continue;
        }
        const auto it = std::find_if(ends.begin(), ends.end(),
                                     [&a](const auto& e) { return e.first == a.keycode; });
        if (it == ends.end()) {
            ends.emplace_back(a.keycode, a.press);
        } else {
            it->second = a.press;
        }
    }
    auto isHeld = [this](KeyCode code) {
        return std::any_of(held_.begin(), held_.end(),
                           [code](const HeldKey& h) { return h.keycode == code; });
    };

    XErrorTrap trap(display);
    for (const auto& [keysym, code] : borrow) {
        SetKeycodeKeysym(display, code, keysym);
    }
    // An injected key that stays down must not repeat (it does not on
    // Windows); its repeat is turned off before it goes down.
    for (const auto& [code, down] : ends) {
        if (down && !isHeld(code)) {
            const bool borrowed =
                std::any_of(borrow.begin(), borrow.end(),
                            [code = code](const auto& b) { return b.second == code; });
            const bool repeated = RepeatIsOn(display, code);
            if (repeated) {
                SetRepeat(display, code, false);
            }
            const auto lent =
                std::find_if(borrow.begin(), borrow.end(),
                             [code = code](const auto& b) { return b.second == code; });
            held_.push_back(
                HeldKey{code, lent != borrow.end() ? lent->first : NoSymbol, borrowed, repeated});
        }
    }
    if (const int error = trap.Sync(); error != 0) {
        DebugLog("XChangeKeyboardMapping/XChangeKeyboardControl: X error " + std::to_string(error));
    }
    for (const XAction& a : actions) {
        if (a.keycode == 0 && a.button == 0) {
            continue;  // no spare keycode was left for it (logged)
        }
        const Bool press = a.press ? True : False;
        const Status ok = a.button != 0
                              ? XTestFakeButtonEvent(display, a.button, press, CurrentTime)
                              : XTestFakeKeyEvent(display, a.keycode, press, CurrentTime);
        if (ok == 0) {
            DebugLog("XTestFakeKeyEvent: failed");
        }
    }
    if (const int error = trap.Sync(); error != 0) {
        DebugLog("XTestFakeKeyEvent: X error " + std::to_string(error));
    }

    // Give back what is no longer held: borrowed keycodes whose key is up,
    // and the repeat of held keys released now.
    std::vector<KeyCode> unmap;
    for (const auto& [keysym, code] : borrow) {
        if (!isHeld(code)) {
            unmap.push_back(code);
        }
    }
    for (auto it = held_.begin(); it != held_.end();) {
        const auto end = std::find_if(ends.begin(), ends.end(),
                                      [&it](const auto& e) { return e.first == it->keycode; });
        if (end == ends.end() || end->second) {
            ++it;
            continue;
        }
        if (it->repeated) {
            SetRepeat(display, it->keycode, true);
        }
        if (it->borrowed) {
            unmap.push_back(it->keycode);
        }
        it = held_.erase(it);
    }
    if (unmap.empty()) {
        if (const int error = trap.Sync(); error != 0) {
            DebugLog("XChangeKeyboardControl (restore): X error " + std::to_string(error));
        }
        return;
    }
    std::this_thread::sleep_for(kBorrowHold);
    for (KeyCode code : unmap) {
        SetKeycodeKeysym(display, code, NoSymbol);
    }
    if (const int error = trap.Sync(); error != 0) {
        DebugLog("XChangeKeyboardMapping (restore): X error " + std::to_string(error));
    }
}

void XTestInjector::Send(std::span<const KeyStroke> batch) {
    Display* display = display_->get();
    RefreshKeymapCache(display);
    const KeysByCode physical = PhysicalKeys(display);

    std::vector<XAction> actions;
    actions.reserve(batch.size());
    for (const KeyStroke& stroke : batch) {
        XAction a;
        a.press = !stroke.release;
        a.button = VirtualKeyToButton(stroke.virtualKey);
        if (a.button == 0 && stroke.virtualKey > 0 && stroke.virtualKey < 256 &&
            physical[static_cast<std::size_t>(stroke.virtualKey)] != 0) {
            a.keycode = static_cast<KeyCode>(physical[static_cast<std::size_t>(stroke.virtualKey)]);
        } else if (a.button == 0) {
            a.keysym = VirtualKeyToKeysym(stroke.virtualKey);
            if (a.keysym == NoSymbol) {
                DebugLog("XTestInjector: no key for virtual-key code " +
                         std::to_string(stroke.virtualKey) + ", skipped");
                continue;
            }
            a.keycode = XKeysymToKeycode(display, a.keysym);
            // A keysym on a key's second level (the keypad digits share their
            // keys with the cursor keys) would need Num Lock or Shift to come
            // out; on its own borrowed key it comes out whatever the state.
            if (a.keycode != 0 && XkbKeycodeToKeysym(display, a.keycode, 0, 0) != a.keysym) {
                a.keycode = 0;
            }
        }
        actions.push_back(a);
    }

    // Split the batch where it would need more borrowed keycodes than there
    // are spare ones; each piece keeps the reliable borrow order.
    std::vector<KeyCode> spare;
    bool spareKnown = false;
    std::size_t begin = 0;
    while (begin < actions.size()) {
        std::vector<std::pair<KeySym, KeyCode>> borrow;
        std::size_t end = begin;
        for (; end < actions.size(); ++end) {
            XAction& a = actions[end];
            if (a.button != 0 || a.keycode != 0) {
                continue;
            }
            // A keysym whose borrowed key an earlier piece left down keeps that key.
            const auto held = std::find_if(held_.begin(), held_.end(), [&a](const HeldKey& h) {
                return h.borrowed && h.keysym == a.keysym;
            });
            if (held != held_.end()) {
                a.keycode = held->keycode;
                continue;
            }
            if (std::any_of(borrow.begin(), borrow.end(),
                            [&a](const auto& b) { return b.first == a.keysym; })) {
                continue;
            }
            if (!spareKnown) {
                spare = SpareKeycodes(display);
                spareKnown = true;
            }
            if (borrow.size() == spare.size()) {
                if (borrow.empty()) {
                    DebugLog("XTestInjector: no spare keycode for keysym " + Hex(a.keysym) +
                             ", skipped");
                    continue;  // SendPiece skips it: no keycode and nothing borrowed
                }
                break;
            }
            borrow.emplace_back(a.keysym, spare[borrow.size()]);
        }
        SendPiece(std::span<XAction>(actions).subspan(begin, end - begin), borrow);
        begin = end;
        // Keycodes that stay lent to held keys are not spare any more.
        spareKnown = spareKnown && borrow.empty();
    }
}

}  // namespace qv
