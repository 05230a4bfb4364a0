#include "app/qt/QtDialogs.h"

#include <QMessageBox>

namespace qv {

MsgAnswer QtDialogs::MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                            bool defaultNo) {
    // The main window is usually hidden (and parked off-screen while it
    // loads); a box centred on it would be off-screen too, so a hidden owner
    // gives way to the middle of the screen.
    QWidget* owner = parent_ && parent_->isVisible() ? parent_.data() : nullptr;
    QMessageBox box(owner);
    box.setWindowTitle(QString::fromUtf8(kAppTitle));
    box.setText(QString::fromStdString(text));
    switch (icon) {
        case MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
    }
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgAnswer::Ok;
}

}  // namespace qv
