#pragma once
// Pop-up menus as QMenu: the default item bold (QMenu::setDefaultAction),
// checkable items with their check mark, shown at the mouse position and run
// modally with QMenu::exec.

#include <QMenu>
#include <QPointer>

#include "shell/clsTray.h"

namespace qv {

class QtPopupMenuHost final : public PopupMenuPort {
public:
    QtPopupMenuHost() = default;

    int ShowPopupMenu(WindowHandle owner, const TrayMenu& menu) override;

    // The menu being shown, nullptr when none is open (lets a caller inspect
    // or close it from a timer while ShowPopupMenu waits).
    QMenu* OpenMenu() const { return mOpen; }

private:
    QPointer<QMenu> mOpen;
};

}  // namespace qv
