#include "app/qt/QtMainWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>

#include "app/core/Application.h"
#include "app/qt/ShapeLamp.h"
#include "app/qt/VirtualKeyFromQtKey.h"
#include "common/DebugLog.h"
#include "keys/KeyboardLayout.h"

namespace qv {
namespace {

const QColor kLampGreen(0, 255, 0);
const QColor kLampRed(255, 0, 0);
// Where start-up parks the hidden window, left of every screen.
constexpr int kOffScreenLeft = -667;
// How long after showing the window the window manager has framed it.
constexpr int kFrameDelayMs = 150;

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
std::string S(const QString& text) {
    return text.toStdString();
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

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

template <typename T>
T* Named(T* widget, const char* name, QRect geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
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
    setFixedSize(410, 440);

    modeTabs_ = Named(new QTabBar(this), "modeTabs", QRect(8, 8, 394, 26));
    modeTabs_->addTab(QString::fromUtf8("パルス待ち"));
    modeTabs_->addTab(QString::fromUtf8("パルス記憶"));
    modeTabs_->setExpanding(false);
    modeTabs_->setDrawBase(false);
    pageArea_ = Named(new QFrame(this), "pageArea", QRect(8, 34, 394, 310));
    pageArea_->setFrameShape(QFrame::StyledPanel);

    const char* const pageNames[2] = {"runPage", "learnPage"};
    for (int i = 0; i < 2; ++i) {
        pages_[i] = new QWidget(this);
        pages_[i]->setObjectName(QString::fromLatin1(pageNames[i]));
        pages_[i]->setAutoFillBackground(true);  // the page in front hides the other
    }

    // Page 0: run mode
    QWidget* p0 = pages_[0];
    MakeLabel(p0, "receiveListLabel", "レシーブ リスト", QRect(10, 8, 200, 20));
    receiveList_ = Named(new QPlainTextEdit(p0), "receiveList", QRect(10, 30, 370, 220));
    receiveList_->setReadOnly(true);
    receiveList_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    receiveList_->setMaximumBlockCount(kReceiveListMaxLines);
    MakeLabel(p0, "windowChangeTimeLabel", "ウィンドウ切替時間", QRect(10, 264, 140, 24));
    windowChangeTimeList_ =
        Named(new QComboBox(p0), "windowChangeTimeList", QRect(160, 262, 100, 26));

    // Page 1: learning mode, the entry editor
    QWidget* p1 = pages_[1];
    MakeLabel(p1, "slotNumberLabel", "リモコン記憶 No.", QRect(10, 10, 130, 24));
    slotNumberBox_ =
        Named(new QLineEdit(QStringLiteral("1"), p1), "slotNumberBox", QRect(145, 10, 60, 24));
    slotNumberBox_->setReadOnly(true);
    auto* previous = Named(new QToolButton(p1), "previousSlotButton", QRect(210, 10, 26, 24));
    previous->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
    previous->setToolTip(QString::fromUtf8("前"));
    auto* next = Named(new QToolButton(p1), "nextSlotButton", QRect(238, 10, 26, 24));
    next->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    next->setToolTip(QString::fromUtf8("次"));
    MakeLabel(p1, "commentLabel", "コメント", QRect(10, 42, 130, 24));
    commentBox_ = Named(new QLineEdit(p1), "commentBox", QRect(145, 42, 235, 24));
    MakeLabel(p1, "pulseLabel", "Quorvane 入力", QRect(10, 74, 130, 24));
    pulseBox_ = Named(new QLineEdit(p1), "pulseBox", QRect(145, 74, 235, 24));
    pulseBox_->setReadOnly(true);  // shows the pulse; what is stored comes from capture
    MakeLabel(p1, "adjustTimeLabel", "連続入力防止時間", QRect(10, 106, 130, 24));
    adjustTimeList_ = Named(new QComboBox(p1), "adjustTimeList", QRect(145, 106, 100, 26));
    MakeLabel(p1, "windowNameLabel", "送信ウィンドウ", QRect(10, 140, 130, 24));
    windowNameBox_ = Named(new QLineEdit(p1), "windowNameBox", QRect(145, 140, 235, 24));
    MakeLabel(p1, "keyListLabel", "送信キーリスト", QRect(10, 172, 130, 24));
    keyListBox_ = Named(new QPlainTextEdit(p1), "keyListBox", QRect(145, 172, 235, 88));
    keyListBox_->setReadOnly(true);  // locked: only key capture writes it
    keyListBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    keyListBox_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    keyListBox_->setFocusPolicy(Qt::StrongFocus);
    keyListBox_->installEventFilter(this);
    auto* clear = Named(new QPushButton(QString::fromUtf8("コマンドクリア"), p1),
                        "clearKeyListButton", QRect(145, 268, 115, 28));
    auto* change = Named(new QPushButton(QString::fromUtf8("追加 / 変更"), p1), "storeEntryButton",
                         QRect(265, 268, 115, 28));

    // Window
    MakeLabel(this, "versionLabel", "Control Chip Version", QRect(12, 356, 150, 24));
    versionBox_ = Named(new QLineEdit(this), "versionBox", QRect(165, 356, 80, 24));
    versionBox_->setReadOnly(true);
    MakeLabel(this, "lampLabel", "HID Indicator", QRect(12, 392, 150, 24));
    lamp_ = Named(new ShapeLamp(this), "lamp", QRect(165, 393, 22, 22));
    auto* tray = Named(new QPushButton(QString::fromUtf8("トレイに戻す"), this), "hideToTrayButton",
                       QRect(282, 388, 120, 30));

    // Every handler holds only `this`, and every connection ends with the window.
    connect(modeTabs_, &QTabBar::tabBarClicked, this, [this](int index) {
        // A click on the selected tab changes nothing but runs the click
        // handler; a click elsewhere arrives through currentChanged.
        if (app_ && index == modeTabs_->currentIndex()) {
            app_->TabSelected(index + 1);
        }
    });
    connect(modeTabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (app_) {
            app_->TabSelected(index + 1);
        }
    });
    connect(windowChangeTimeList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (app_) {
            app_->WindowChangeTimeSelected(index);
        }
    });
    connect(change, &QPushButton::clicked, this, [this] {
        if (app_) {
            app_->StoreEntry();
        }
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        if (app_) {
            app_->ClearKeyList();
        }
    });
    connect(next, &QToolButton::clicked, this, [this] {
        if (app_) {
            app_->StepSlot(SlotStep::Next);
        }
    });
    connect(previous, &QToolButton::clicked, this, [this] {
        if (app_) {
            app_->StepSlot(SlotStep::Previous);
        }
    });
    connect(tray, &QPushButton::clicked, this, [this] {
        if (app_) {
            app_->HideToTray();
        }
    });
}

// ------------------------------------------------------------ MainView

void QtMainWindow::Tell(const std::string& text, MessageKind kind) {
    dialogs_.Tell(text, kind);
}

Answer QtMainWindow::Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) {
    return dialogs_.Ask(question, kind, defaultAnswer);
}

void QtMainWindow::HideOffScreen() {
    hide();
    move(kOffScreenLeft, y());
}

void QtMainWindow::LayOutPages() {
    const QRect client = pageArea_->geometry().adjusted(2, 2, -2, -2);
    for (QWidget* page : pages_) {
        page->move(client.left(), client.top());
        page->resize(client.width(), client.height());
    }
}

void QtMainWindow::FillTimeLists(const std::vector<std::string_view>& adjustTimeItems,
                                 const std::vector<std::string_view>& windowChangeTimeItems) {
    const QSignalBlocker blockAdjust(adjustTimeList_);
    const QSignalBlocker blockChange(windowChangeTimeList_);
    adjustTimeList_->clear();
    for (std::size_t i = 0; i < adjustTimeItems.size(); ++i) {
        adjustTimeList_->insertItem(static_cast<int>(i), Q(adjustTimeItems[i]));
    }
    windowChangeTimeList_->clear();
    for (std::size_t i = 0; i < windowChangeTimeItems.size(); ++i) {
        windowChangeTimeList_->insertItem(static_cast<int>(i), Q(windowChangeTimeItems[i]));
    }
}

void QtMainWindow::SelectTab(int tab) {
    const QSignalBlocker block(modeTabs_);
    modeTabs_->setCurrentIndex(tab - 1);
}

void QtMainWindow::ShowPage(int tab) {
    for (QWidget* page : pages_) {
        page->setEnabled(false);
    }
    if (tab >= 1 && tab <= 2) {
        pages_[tab - 1]->raise();
        pages_[tab - 1]->setEnabled(true);
    }
}

void QtMainWindow::SetLamp(bool green) {
    lamp_->SetFillColor(green ? kLampGreen : kLampRed);
}

void QtMainWindow::SetVersionText(const std::string& text) {
    versionBox_->setText(Q(text));
}

void QtMainWindow::AppendReceiveLine(const std::string& line) {
    // Every line ends with CR LF, so the next one starts a line of its own,
    // even after an empty comment (which leaves the document looking empty).
    QTextCursor cursor(receiveList_->document());
    cursor.movePosition(QTextCursor::End);
    if (receiveListStarted_) {
        cursor.insertBlock();
    }
    cursor.insertText(Q(line));
    receiveListStarted_ = true;
    // The caret goes after the newest line, so that line is in view.
    cursor.movePosition(QTextCursor::End);
    receiveList_->setTextCursor(cursor);
    receiveList_->ensureCursorVisible();
}

std::string QtMainWindow::ReceiveListText() const {
    if (!receiveListStarted_) {
        return {};
    }
    return ToCrLf(receiveList_->toPlainText()) + "\r\n";
}

int QtMainWindow::WindowChangeTimeIndex() {
    return windowChangeTimeList_->currentIndex();
}

void QtMainWindow::SetWindowChangeTimeIndex(int index) {
    const QSignalBlocker block(windowChangeTimeList_);
    windowChangeTimeList_->setCurrentIndex(index);
}

std::string QtMainWindow::SlotNumberText() {
    return S(slotNumberBox_->text());
}

void QtMainWindow::SetSlotNumberText(const std::string& text) {
    slotNumberBox_->setText(Q(text));
}

std::string QtMainWindow::CommentText() {
    return S(commentBox_->text());
}

void QtMainWindow::SetCommentText(const std::string& text) {
    commentBox_->setText(Q(text));
}

void QtMainWindow::SetPulseText(const std::string& text) {
    pulseBox_->setText(Q(text));
}

int QtMainWindow::AdjustTimeIndex() {
    return adjustTimeList_->currentIndex();
}

void QtMainWindow::SetAdjustTimeIndex(int index) {
    adjustTimeList_->setCurrentIndex(index);
}

std::string QtMainWindow::WindowNameText() {
    return S(windowNameBox_->text());
}

void QtMainWindow::SetWindowNameText(const std::string& text) {
    windowNameBox_->setText(Q(text));
}

std::string QtMainWindow::KeyListText() {
    return ToCrLf(keyListBox_->toPlainText());
}

void QtMainWindow::SetKeyListText(const std::string& text) {
    keyListBox_->setPlainText(FromCrLf(text));
}

void QtMainWindow::AppendKeyListLine(const std::string& line) {
    if (keyListBox_->document()->isEmpty()) {
        keyListBox_->setPlainText(Q(line));
    } else {
        keyListBox_->appendPlainText(Q(line));
    }
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

void QtMainWindow::EndOffScreenParking() {
    hide();
    move(0, y());
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
    if (watched != keyListBox_) {
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
