#include "app/qt/QtDialogs.h"

#include <QMessageBox>

namespace qv {
namespace {

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Plain:
            return QMessageBox::NoIcon;
        case MessageKind::Error:
            return QMessageBox::Critical;
        case MessageKind::Warning:
            return QMessageBox::Warning;
        case MessageKind::Question:
            return QMessageBox::Question;
        case MessageKind::Information:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

// The main window is usually hidden (and parked off-screen while it loads); a
// box centred on it would be off-screen too, so a hidden owner gives way to
// the middle of the screen.
QWidget* ShownOrNull(QWidget* parent) {
    return parent != nullptr && parent->isVisible() ? parent : nullptr;
}

}  // namespace

void QtDialogs::Tell(const std::string& text, MessageKind kind) {
    QMessageBox box(ShownOrNull(parent_.data()));
    box.setWindowTitle(QString::fromUtf8(kAppTitle));
    box.setText(QString::fromStdString(text));
    box.setIcon(IconOf(kind));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

Answer QtDialogs::Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) {
    QMessageBox box(ShownOrNull(parent_.data()));
    box.setWindowTitle(QString::fromUtf8(kAppTitle));
    box.setText(QString::fromStdString(question));
    box.setIcon(IconOf(kind));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(defaultAnswer == Answer::No ? QMessageBox::No : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

}  // namespace qv
