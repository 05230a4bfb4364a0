#pragma once
// The receiver link's view of the main window.

#include <string>

namespace qv {

// What the connect-and-start sequence shows in the main window.
class ReceiverIndicators {
public:
    virtual ~ReceiverIndicators() = default;
    // Sets the "Control Chip Version" text box.
    virtual void SetVersionText(const std::string& text) = 0;
};

}  // namespace qv
