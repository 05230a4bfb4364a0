#pragma once
// Port for synthesised keyboard input: one batch of key records goes into the
// system's input stream in one piece. The Windows backend passes the batch to
// SendInput; the X11 backend replays it through XTest.

#include <cstdint>
#include <span>

namespace qv {

inline constexpr std::uint32_t kKeyEventExtendedKey = 0x0001;  // KEYEVENTF_EXTENDEDKEY
inline constexpr std::uint32_t kKeyEventKeyUp = 0x0002;        // KEYEVENTF_KEYUP

// One keyboard input record, laid out as the KEYBDINPUT fields that matter.
struct KeyboardInput {
    std::int16_t wVk;       // virtual-key code, -1 and 0 included
    std::uint16_t wScan;    // scan code that accompanies the key (MapVirtualKeyA)
    std::uint32_t dwFlags;  // 1 for a press, 3 for a release

    friend bool operator==(const KeyboardInput&, const KeyboardInput&) = default;
};

class InputInjector {
public:
    virtual ~InputInjector() = default;
    // Injects the whole batch, in order, as one piece; failures are not reported.
    virtual void SendInput(std::span<const KeyboardInput> batch) = 0;
};

}  // namespace qv
