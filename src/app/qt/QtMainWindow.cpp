#include "app/qt/QtMainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>

#include "app/core/Application.h"
#include "app/qt/ShapeLamp.h"
#include "app/qt/VirtualKeyFromQtKey.h"
#include "common/AsciiCase.h"
#include "common/DebugLog.h"
#include "keys/KeyboardLayout.h"

namespace qv {
namespace {

const QColor kLampGreen(0, 255, 0);
const QColor kLampAmber(255, 191, 0);
const QColor kLampRed(255, 0, 0);
// How long after showing the window the window manager has framed it.
constexpr int kFrameDelayMs = 150;
// Longest title shown in the window picker, in characters.
constexpr int kChoiceTitleChars = 60;

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
std::string S(const QString& text) {
    return text.toStdString();
}

QRect Place(const ControlRect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

// QPlainTextEdit keeps lines as paragraphs; the program's texts use CR LF.
std::string ToCrLf(const QString& text) {
    std::string out;
    const std::string in = S(text);
    out.reserve(in.size() + in.size() / 8);
    for (char c : in) {
        if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}
QString FromCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return Q(out);
}

// Whether every line of `box` can be read with its view scrolled to the top:
// then nothing needs to scroll out of sight. A last line that only its
// descenders stick out of counts as read, as it does when a slot is loaded.
bool AllLinesFit(QPlainTextEdit& box) {
    QTextCursor end(box.document());
    end.movePosition(QTextCursor::End);
    QScrollBar* bar = box.verticalScrollBar();
    const int kept = bar->value();
    bar->setValue(0);
    const int baseline = box.cursorRect(end).bottom() - box.fontMetrics().descent();
    bar->setValue(kept);
    return baseline <= box.viewport()->height();
}

}  // namespace

// The virtual-key code key capture records for a key event: the code of the
// physical key under the user's layout, whatever Shift does, as Windows
// records it (the layout decides; Shift+2 is the 2 key on every layout).
// Where there is no layout or no native key code (Qt's offscreen platform in
// tests) the code comes from Qt's key, read on a US layout.
std::int16_t QtMainWindow::CapturedKeyCode(const QKeyEvent& key) const {
    if (layout_ != nullptr && key.nativeScanCode() != 0) {
        const std::int16_t code =
            layout_->VirtualKeyOfKey(key.nativeScanCode(), key.nativeModifiers());
        if (code != 0) {
            return code;
        }
    }
    return VirtualKeyFromQtKey(key.key(), key.modifiers());
}

QtMainWindow::QtMainWindow(QWidget* parent) : QWidget(parent), dialogs_(this) {
    CreateControls();
}

QtMainWindow::~QtMainWindow() = default;

void QtMainWindow::CreateControls() {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Quorvane"));
    setFixedSize(kClientWidth, kClientHeight);

    QWidget* pages[2] = {nullptr, nullptr};
    for (const ControlRow& row : WindowControls()) {
        QWidget* parent = row.page == Page::Run     ? pages[0]
                          : row.page == Page::Learn ? pages[1]
                                                    : this;
        QWidget* widget = nullptr;
        switch (row.kind) {
            case ControlKind::Tabs: {
                // The row of tabs, with a frame around the pages' area below it.
                QRect strip = Place(row.place);
                auto* tabs = new QTabBar(parent);
                tabs->setGeometry(strip.left(), strip.top(), strip.width(), kTabRowHeight);
                for (std::string_view caption : kTabCaptions) {
                    tabs->addTab(Q(caption));
                }
                tabs->setExpanding(false);
                tabs->setDrawBase(false);
                auto* area = new QFrame(parent);
                area->setObjectName(QStringLiteral("pageArea"));
                area->setGeometry(strip.adjusted(0, kTabRowHeight, 0, 0));
                area->setFrameShape(QFrame::StyledPanel);
                widget = tabs;
                break;
            }
            case ControlKind::Page: {
                auto* page = new QWidget(parent);
                page->setAutoFillBackground(true);  // the page in front hides the other
                pages[row.control == Control::RunPage ? 0 : 1] = page;
                widget = page;
                break;
            }
            case ControlKind::Label:
                widget = new QLabel(Q(row.caption), parent);
                break;
            case ControlKind::TextBox:
            case ControlKind::ReadOnlyTextBox: {
                auto* box = new QLineEdit(Q(row.caption), parent);
                box->setReadOnly(row.kind == ControlKind::ReadOnlyTextBox);
                widget = box;
                break;
            }
            case ControlKind::ReceiveLog: {
                auto* list = new QPlainTextEdit(parent);
                list->setReadOnly(true);
                list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                list->setMaximumBlockCount(kReceiveListMaxLines);
                widget = list;
                break;
            }
            case ControlKind::KeyList: {
                auto* box = new QPlainTextEdit(parent);
                box->setReadOnly(true);  // locked: only key capture writes it
                box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                box->setTextInteractionFlags(Qt::TextSelectableByKeyboard |
                                             Qt::TextSelectableByMouse);
                box->setFocusPolicy(Qt::StrongFocus);
                box->installEventFilter(this);
                widget = box;
                break;
            }
            case ControlKind::ChoiceList:
                widget = new QComboBox(parent);
                break;
            case ControlKind::Button:
                widget = new QPushButton(Q(row.caption), parent);
                break;
            case ControlKind::StepButton: {
                auto* step = new QToolButton(parent);
                step->setIcon(style()->standardIcon(row.control == Control::PreviousSlotButton
                                                        ? QStyle::SP_ArrowLeft
                                                        : QStyle::SP_ArrowRight));
                step->setAccessibleName(Q(row.caption));
                widget = step;
                break;
            }
            case ControlKind::Lamp:
                widget = new ShapeLamp(parent);
                break;
            case ControlKind::StatusLine:
                widget = new QLabel(parent);
                break;
        }
        widget->setObjectName(
            QString::fromLatin1(row.name.data(), static_cast<qsizetype>(row.name.size())));
        if (row.kind != ControlKind::Tabs) {
            widget->setGeometry(Place(row.place));
        }
        if (!row.toolTip.empty()) {
            widget->setToolTip(Q(row.toolTip));
        }
        widgets_[Index(row.control)] = widget;
        Connect(row);
    }
    // The lamp starts red, as nothing is connected yet.
    static_cast<ShapeLamp*>(Widget(Control::Lamp))->SetFillColor(kLampRed);
}

// Every handler holds only `this`, and every connection ends with the window.
void QtMainWindow::Connect(const ControlRow& row) {
    QWidget* widget = Widget(row.control);
    switch (row.control) {
        case Control::ModeTabs: {
            auto* tabs = static_cast<QTabBar*>(widget);
            connect(tabs, &QTabBar::tabBarClicked, this, [this, tabs](int index) {
                // A click on the selected tab changes nothing but runs the tab's
                // handler; a click elsewhere arrives through currentChanged.
                if (app_ && index == tabs->currentIndex()) {
                    app_->TabSelected(index + 1);
                }
            });
            connect(tabs, &QTabBar::currentChanged, this, [this](int index) {
                if (app_) {
                    app_->TabSelected(index + 1);
                }
            });
            break;
        }
        case Control::WindowChangeTimeList:
            connect(static_cast<QComboBox*>(widget), &QComboBox::currentIndexChanged, this,
                    [this](int index) {
                        if (app_) {
                            app_->WindowChangeTimeSelected(index);
                        }
                    });
            break;
        default:
            break;
    }
    if (row.kind != ControlKind::Button && row.kind != ControlKind::StepButton) {
        return;
    }
    const Control control = row.control;
    connect(static_cast<QAbstractButton*>(widget), &QAbstractButton::clicked, this,
            [this, control] {
                if (!app_) {
                    return;
                }
                switch (control) {
                    case Control::StoreEntryButton:
                        app_->StoreEntry();
                        break;
                    case Control::ClearKeyListButton:
                        app_->ClearKeyList();
                        break;
                    case Control::NextSlotButton:
                        app_->StepSlot(SlotStep::Next);
                        break;
                    case Control::PreviousSlotButton:
                        app_->StepSlot(SlotStep::Previous);
                        break;
                    case Control::PickWindowButton:
                        app_->PickTargetWindow();
                        break;
                    case Control::HideToTrayButton:
                        app_->HideToTray();
                        break;
                    default:
                        break;
                }
            });
}

QMenu* QtMainWindow::WindowChoices() const {
    return choices_.data();
}

QComboBox* QtMainWindow::List(Control control) const {
    return qobject_cast<QComboBox*>(Widget(control));
}

QPlainTextEdit* QtMainWindow::Lines(Control control) const {
    return qobject_cast<QPlainTextEdit*>(Widget(control));
}

// ------------------------------------------------------------ MainView

void QtMainWindow::Tell(const std::string& text, MessageKind kind) {
    dialogs_.Tell(text, kind);
}

Answer QtMainWindow::Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) {
    return dialogs_.Ask(question, kind, defaultAnswer);
}

std::string QtMainWindow::Text(Control control) {
    QWidget* widget = Widget(control);
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
        return S(box->text());
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return S(label->text());
    }
    if (auto* lines = qobject_cast<QPlainTextEdit*>(widget)) {
        if (control == Control::ReceiveList) {
            return receiveListStarted_ ? ToCrLf(lines->toPlainText()) + "\r\n" : std::string();
        }
        return ToCrLf(lines->toPlainText());
    }
    return {};
}

void QtMainWindow::SetText(Control control, const std::string& text) {
    QWidget* widget = Widget(control);
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
        box->setText(Q(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(Q(text));
    } else if (auto* lines = qobject_cast<QPlainTextEdit*>(widget)) {
        lines->setPlainText(FromCrLf(text));
        if (control == Control::ReceiveList) {
            receiveListStarted_ = !text.empty();
        }
    }
}

void QtMainWindow::AppendLine(Control control, const std::string& line) {
    if (control == Control::ReceiveList) {
        AppendReceiveLine(line);
    } else if (control == Control::KeyListBox) {
        AppendKeyListLine(line);
    }
}

void QtMainWindow::AppendReceiveLine(const std::string& line) {
    QPlainTextEdit* list = Lines(Control::ReceiveList);
    // Every line ends with CR LF, so the next one starts a line of its own,
    // even after an empty comment (which leaves the document looking empty).
    QTextCursor cursor(list->document());
    cursor.movePosition(QTextCursor::End);
    if (receiveListStarted_) {
        cursor.insertBlock();
    }
    cursor.insertText(Q(line));
    receiveListStarted_ = true;
    // The caret goes after the newest line, so that line is in view.
    cursor.movePosition(QTextCursor::End);
    list->setTextCursor(cursor);
    list->ensureCursorVisible();
}

void QtMainWindow::AppendKeyListLine(const std::string& line) {
    QPlainTextEdit* box = Lines(Control::KeyListBox);
    if (box->document()->isEmpty()) {
        box->setPlainText(Q(line));
    } else {
        box->appendPlainText(Q(line));
    }
    // The newest line comes into view, but while every line fits, the first
    // (often the modifier pressed first) stays at the top.
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    box->setTextCursor(end);
    if (AllLinesFit(*box)) {
        box->verticalScrollBar()->setValue(0);
    } else {
        box->ensureCursorVisible();
    }
}

void QtMainWindow::SetItems(Control list, const std::vector<std::string_view>& items) {
    QComboBox* box = List(list);
    const QSignalBlocker block(box);
    box->clear();
    for (std::size_t i = 0; i < items.size(); ++i) {
        box->insertItem(static_cast<int>(i), Q(items[i]));
    }
}

int QtMainWindow::SelectedIndex(Control list) {
    return List(list)->currentIndex();
}

void QtMainWindow::SelectIndex(Control list, int index) {
    QComboBox* box = List(list);
    const QSignalBlocker block(box);
    box->setCurrentIndex(index);
}

void QtMainWindow::SelectTab(int tab) {
    auto* tabs = static_cast<QTabBar*>(Widget(Control::ModeTabs));
    const QSignalBlocker block(tabs);
    tabs->setCurrentIndex(tab - 1);
}

void QtMainWindow::ShowPage(int tab) {
    QWidget* pages[2] = {Widget(Control::RunPage), Widget(Control::LearnPage)};
    for (QWidget* page : pages) {
        page->setEnabled(false);
    }
    if (tab >= 1 && tab <= 2) {
        pages[tab - 1]->raise();
        pages[tab - 1]->setEnabled(true);
    }
}

void QtMainWindow::ShowReceiverStatus(const ReceiverStatus& status) {
    auto* lamp = static_cast<ShapeLamp*>(Widget(Control::Lamp));
    switch (status.lamp) {
        case LampColor::Green:
            lamp->SetFillColor(kLampGreen);
            break;
        case LampColor::Amber:
            lamp->SetFillColor(kLampAmber);
            break;
        case LampColor::Red:
            lamp->SetFillColor(kLampRed);
            break;
    }
    // As rich text, a long tip wraps instead of running off the screen.
    const QString tip =
        status.toolTip.empty()
            ? QString()
            : QStringLiteral("<p>") + Q(status.toolTip).toHtmlEscaped() + QStringLiteral("</p>");
    lamp->setToolTip(tip);
    Widget(Control::LampLabel)->setToolTip(tip);
    auto* line = static_cast<QLabel*>(Widget(Control::ReceiverStatusLine));
    // One line: what does not fit ends in "…"; the whole text is in the tooltip.
    line->setText(line->fontMetrics().elidedText(Q(status.line), Qt::ElideRight, line->width()));
    line->setToolTip(tip);
}

bool QtMainWindow::IsOwnWindow(const ListedWindow& window) {
    // X11 names the program's windows after its binary (class "Quorvane",
    // instance "quorvane"), Wayland gives them its app_id "quorvane".
    return window.window.id == static_cast<std::uint64_t>(winId()) ||
           EqualsIgnoringAsciiCase(window.className, S(QCoreApplication::applicationName()));
}

void QtMainWindow::ShowWindowChoices(const std::vector<ListedWindow>& windows) {
    if (choices_) {
        choices_->close();
    }
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("windowChoices"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setToolTipsVisible(true);
    std::string offered;
    for (const ListedWindow& listed : windows) {
        QString title = Q(listed.title);
        if (title.size() > kChoiceTitleChars) {
            title = title.left(kChoiceTitleChars - 1) + QChar(0x2026);
        }
        const QString className = Q(listed.className);
        // The name the program matches comes first: it is what the field gets.
        QAction* action = menu->addAction(
            title.isEmpty() ? className : className + QStringLiteral("  —  ") + title);
        action->setToolTip(Q(listed.title));
        connect(action, &QAction::triggered, this, [this, className] {
            if (app_) {
                app_->TargetWindowChosen(S(className));
            }
        });
        offered += " [" + listed.className + "] " + listed.title + ";";
    }
    if (windows.empty()) {
        menu->addAction(QString::fromUtf8("（選べるウィンドウがありません）"))->setEnabled(false);
    }
    // Tells scripts driving the window what was offered, in order.
    DebugLog("window picker: " + std::to_string(windows.size()) + " offered:" + offered);
    QWidget* button = Widget(Control::PickWindowButton);
    choices_ = menu;
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
}

void QtMainWindow::SetVisible(bool visible) {
    setVisible(visible);
    if (visible) {
        raise();
        activateWindow();
        // The window manager adds its frame only once the window is shown;
        // the core places the window again when the frame's size is known.
        QTimer::singleShot(kFrameDelayMs, this, [this] {
            if (app_) {
                app_->WindowFramed();
            }
        });
    }
}

bool QtMainWindow::IsMinimizedOrMaximized() {
    return (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) != 0;
}

void QtMainWindow::SetNormalState() {
    setWindowState(Qt::WindowNoState);
}

void QtMainWindow::MoveTo(int x, int y) {
    move(x, y);
}

void QtMainWindow::Quit() {
    // exit() ends every event loop, a message box's included.
    QCoreApplication::exit(0);
}

// --------------------------------------------------------------- events

bool QtMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Widget(Control::KeyListBox)) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Every key belongs to the capture, none to a shortcut.
            event->accept();
            return true;
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            // Repeated presses go through the key-state table, which drops them.
            const std::int16_t code = CapturedKeyCode(*key);
            if (code != 0 && app_) {
                app_->KeyPressed(code);
            } else if (code == 0) {
                DebugLog("key capture: no key code for Qt key " + std::to_string(key->key()));
            }
            // Tab would move the focus; the box is locked, so nothing else is lost.
            return key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        }
        case QEvent::KeyRelease: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->isAutoRepeat()) {
                // X11 frames every repetition with a release that the key
                // never made; only the final release counts.
                return true;
            }
            const std::int16_t code = CapturedKeyCode(*key);
            if (code != 0 && app_) {
                app_->KeyReleased(code);
            }
            return key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        }
        default:
            return QWidget::eventFilter(watched, event);
    }
}

void QtMainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && app_) {
        app_->WindowStateChanged();
    }
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window ends the program, as "終了" does.
    event->accept();
    if (app_) {
        app_->WindowClosed();
    }
}

}  // namespace qv
