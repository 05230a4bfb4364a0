#pragma once
// The window system of sessions where the program cannot switch windows (a
// uinput keyboard on GNOME or KDE, a compositor without a window list): no
// window is ever found, so ActivateWindow leaves the focus where it is and
// the keys go to the window in front.

#include "keys/WindowSystem.h"

namespace qv {

class FocusedWindowOnly final : public WindowSystem {
public:
    Window FindByClass(std::string_view) override { return {}; }
    Window Foreground() override { return {}; }
    ShowState GetShowState(Window) override { return ShowState::Unknown; }
    void SetShowState(Window, ShowState) override {}
    bool Activate(Window) override { return false; }
};

}  // namespace qv
