#pragma once
// Keystrokes through a uinput keyboard: a virtual input device in the
// kernel that the compositor (any compositor, and X servers too) takes up
// like a real keyboard. Used where the session offers nothing better (GNOME,
// KDE). It presses Linux keys, and the user's layout decides what they type:
// each code presses the key that carries it on that layout (EvdevLayout,
// learnt from the session where it can be), so a key list types what it
// typed on Windows; a code no key of the layout carries is skipped.
//
// Needs write access to /dev/uinput (packaging/60-quorvane-uinput.rules and
// the uinput module loaded) and a compositor that picks up new devices.

#include <linux/input.h>
#include <linux/uinput.h>

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "common/posix/UniqueFd.h"
#include "keys/InputInjector.h"
#include "keys/uinput/EvdevLayout.h"

namespace qv {

// The device calls a uinput keyboard makes besides writing its events; each
// returns false when the call failed.
class UinputControl {
public:
    virtual ~UinputControl() = default;
    virtual bool SetEventBit(int type) = 0;             // UI_SET_EVBIT
    virtual bool SetKeyBit(int code) = 0;               // UI_SET_KEYBIT
    virtual bool Setup(const uinput_setup& setup) = 0;  // UI_DEV_SETUP
    virtual bool Create() = 0;                          // UI_DEV_CREATE
    virtual void Destroy() = 0;                         // UI_DEV_DESTROY
};

// The input records for a batch on `layout`, in its order: one EV_KEY record
// (value 1 press, 0 release) and one EV_SYN/SYN_REPORT after each stroke
// whose code has a key; strokes without one are left out (their codes go to
// `skipped` when given). Times are left 0 (the kernel stamps the events).
std::vector<input_event> EncodeKeyEvents(std::span<const KeyStroke> batch,
                                         const EvdevLayout& layout,
                                         std::vector<int>* skipped = nullptr);

// The key codes the device declares: every key of a keyboard (KEY_ESC to
// KEY_MICMUTE), so that any layout's keys can be pressed, and the PC keys
// of the codes beyond those.
std::vector<std::uint16_t> UinputKeyCodes();

class UinputKeyboard final : public InputInjector {
public:
    // Opens `path` and creates the device, pressing keys where `layout` has
    // them; nullptr with `error` set (naming the failing call) when that is
    // not allowed or not possible.
    static std::unique_ptr<UinputKeyboard> Open(std::unique_ptr<EvdevLayout> layout,
                                                std::string& error,
                                                const char* path = "/dev/uinput");
    // Creates the device through `control` and writes the events to
    // `events` (tests: a pipe and a recording control).
    static std::unique_ptr<UinputKeyboard> Create(UniqueFd events,
                                                  std::unique_ptr<UinputControl> control,
                                                  std::unique_ptr<EvdevLayout> layout,
                                                  std::string& error);
    // Lets go of keys that key lists left down, then removes the device.
    ~UinputKeyboard() override;

    // Takes in a layout change, then writes the batch's records in one
    // write; failures and skipped codes go to the debug log.
    void Send(std::span<const KeyStroke> batch) override;

private:
    UinputKeyboard(UniqueFd events, std::unique_ptr<UinputControl> control,
                   std::unique_ptr<EvdevLayout> layout);
    void Write(const std::vector<input_event>& records);

    UniqueFd events_;
    std::unique_ptr<UinputControl> control_;
    std::unique_ptr<EvdevLayout> layout_;
    std::set<std::uint16_t> held_;
};

}  // namespace qv
