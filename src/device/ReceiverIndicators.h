#pragma once
// The receiver link's view of the main window.

#include <string>

namespace qv {

// The pieces of the main window that the connect-and-start sequence drives.
class ReceiverIndicators {
public:
    virtual ~ReceiverIndicators() = default;
    // Fills the "HID Indicator" lamp green (connected) or red (not connected).
    virtual void SetLamp(bool green) = 0;
    // Sets the "Control Chip Version" text box.
    virtual void SetVersionText(const std::string& text) = 0;
    // Enables the poll timer of the receive loop.
    virtual void EnableTimer() = 0;
};

}  // namespace qv
