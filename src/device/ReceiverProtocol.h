#pragma once
// The receiver's command protocol: every exchange is one command report and
// one reply report (ReceiverLink.h runs the exchanges).

#include <cstdint>
#include <string>

namespace qv {

// One command: code and two parameters, sent as payload bytes 0..2.
struct ReceiverCommand {
    std::uint8_t code;
    std::uint8_t param1;
    std::uint8_t param2;
};

inline constexpr ReceiverCommand kInit1{0x1C, 0x05, 0x64};
inline constexpr ReceiverCommand kInit2{0x1D, 0x10, 0xF0};
inline constexpr ReceiverCommand kQueryVersion{0x18, 0x00, 0x00};
inline constexpr ReceiverCommand kStartReceive{0x1B, 0x02, 0x04};
inline constexpr ReceiverCommand kPoll{0x1E, 0x04, 0x04};

// Reply status meaning success; anything else is an error from the receiver.
inline constexpr std::uint8_t kStatusOk = 1;

// The control-chip version as shown: d0 in decimal, ".", d1 with at least two digits.
std::string VersionText(std::uint8_t d0, std::uint8_t d1);

}  // namespace qv
