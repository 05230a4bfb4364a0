#pragma once
// Keystrokes through a uinput keyboard: a virtual input device in the
// kernel that the compositor (any compositor, and X servers too) takes up
// like a real keyboard. Used where the session offers nothing better (GNOME,
// KDE). The keys are Linux key codes (EvdevKeys.h); which keysym a target
// sees is up to the user's layout, so keys outside it may type nothing.
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

// The input records for a batch, in its order: one EV_KEY record (value 1
// press, 0 release) and one EV_SYN/SYN_REPORT after each stroke whose code
// has a key; strokes without one are left out. Times are left 0 (the
// kernel stamps the events).
std::vector<input_event> EncodeKeyEvents(std::span<const KeyStroke> batch);

// The key codes the device declares: every key of the program's vocabulary.
std::vector<std::uint16_t> UinputKeyCodes();

class UinputKeyboard final : public InputInjector {
public:
    // Opens `path` and creates the device; nullptr with `error` set (naming
    // the failing call) when that is not allowed or not possible.
    static std::unique_ptr<UinputKeyboard> Open(std::string& error,
                                                const char* path = "/dev/uinput");
    // Creates the device through `control` and writes the events to
    // `events` (tests: a pipe and a recording control).
    static std::unique_ptr<UinputKeyboard> Create(UniqueFd events,
                                                  std::unique_ptr<UinputControl> control,
                                                  std::string& error);
    // Lets go of keys that key lists left down, then removes the device.
    ~UinputKeyboard() override;

    // Writes the batch's records in one write; failures go to the debug log.
    void Send(std::span<const KeyStroke> batch) override;

private:
    UinputKeyboard(UniqueFd events, std::unique_ptr<UinputControl> control);
    void Write(const std::vector<input_event>& records);

    UniqueFd events_;
    std::unique_ptr<UinputControl> control_;
    std::set<std::uint16_t> held_;
};

}  // namespace qv
