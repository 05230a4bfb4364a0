#include "shell/qt/QtPopupMenuHost.h"

#include <QAction>
#include <QCursor>
#include <vector>

namespace qv {

int QtPopupMenuHost::ShowPopupMenu(WindowHandle /*owner*/, const TrayMenu& menu) {
    // Windows needs the owner in the foreground so that the menu closes when
    // the user clicks elsewhere; a Qt pop-up grabs the pointer and closes on
    // an outside click by itself, so the owner (usually hidden) stays as it is.
    QMenu popup;
    std::vector<QAction*> actions;
    actions.reserve(menu.items.size());
    for (const TrayMenuItem& item : menu.items) {
        QAction* action = popup.addAction(QString::fromUtf8(item.caption.c_str()));
        action->setCheckable(item.checkable);
        action->setChecked(item.checkable && item.checked);
        actions.push_back(action);
    }
    if (menu.defaultIndex >= 0 && static_cast<std::size_t>(menu.defaultIndex) < actions.size()) {
        popup.setDefaultAction(actions[static_cast<std::size_t>(menu.defaultIndex)]);
    }
    mOpen = &popup;
    QAction* chosen = popup.exec(QCursor::pos());
    mOpen = nullptr;
    for (std::size_t i = 0; i < actions.size(); ++i) {
        if (actions[i] == chosen) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace qv
