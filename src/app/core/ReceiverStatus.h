#pragma once
// What the window shows of the receiver: the lamp's colour, and in the
// window's language a short status line under it and a longer tooltip that
// says what the program knows and what to do.

#include <string>

namespace qv {

enum class LampColor {
    Red,    // no receiver: none found, or it cannot be opened or used
    Amber,  // a receiver is open but not started; the start is tried again
    Green,  // receiving
};

struct ReceiverStatus {
    LampColor lamp = LampColor::Red;
    std::string line;
    std::string toolTip;
    friend bool operator==(const ReceiverStatus&, const ReceiverStatus&) = default;
};

}  // namespace qv
