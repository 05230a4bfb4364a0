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
#include "keys/x11/X11KeyboardLayout.h"

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

// The virtual-key code key capture records for a key event: on X11 the code
// of the physical key under the active layout, whatever Shift does, as
// Windows records it (the layout decides; Shift+2 is the 2 key on every
// layout). Where there is no native key code (Qt's offscreen platform in
// tests, Wayland) the code comes from Qt's key, read on a US layout.
std::int16_t CapturedKeyCode(const QKeyEvent& key) {
    if (key.nativeScanCode() != 0) {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            const std::int16_t code =
                VirtualKeyFromX11Keycode(x11->display(), key.nativeScanCode());
            if (code != 0) {
                return code;
            }
        }
    }
    return VirtualKeyFromQtKey(key.key(), key.modifiers());
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QWidget(parent), mDialogs(this) {
    CreateControls();
}

frmMain::~frmMain() = default;

void frmMain::CreateControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quorvane"));
    setFixedSize(410, 440);

    TabStrip1 = Named(new QTabBar(this), "TabStrip1", QRect(8, 8, 394, 26));
    TabStrip1->addTab(QString::fromUtf8("パルス待ち"));
    TabStrip1->addTab(QString::fromUtf8("パルス記憶"));
    TabStrip1->setExpanding(false);
    TabStrip1->setDrawBase(false);
    TabStrip1Client = Named(new QFrame(this), "TabStrip1Client", QRect(8, 34, 394, 310));
    TabStrip1Client->setFrameShape(QFrame::StyledPanel);

    for (int i = 0; i < 2; ++i) {
        Picture1[i] = new QWidget(this);
        Picture1[i]->setObjectName(QStringLiteral("Picture1_%1").arg(i));
        Picture1[i]->setAutoFillBackground(true);  // the page in front hides the other
    }

    // Page 0: run mode
    QWidget* p0 = Picture1[0];
    MakeLabel(p0, "Label4", "レシーブ リスト", QRect(10, 8, 200, 20));
    txtReceive = Named(new QPlainTextEdit(p0), "txtReceive", QRect(10, 30, 370, 220));
    txtReceive->setReadOnly(true);
    txtReceive->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtReceive->setMaximumBlockCount(kReceiveListMaxLines);
    MakeLabel(p0, "Label8", "ウィンドウ切替時間", QRect(10, 264, 140, 24));
    cboWindowChangeTime = Named(new QComboBox(p0), "cboWindowChangeTime", QRect(160, 262, 100, 26));

    // Page 1: learning mode, the entry editor
    QWidget* p1 = Picture1[1];
    MakeLabel(p1, "Label1", "リモコン記憶 No.", QRect(10, 10, 130, 24));
    txtNumber = Named(new QLineEdit(QStringLiteral("1"), p1), "txtNumber", QRect(145, 10, 60, 24));
    txtNumber->setReadOnly(true);
    auto* back = Named(new QToolButton(p1), "cmdUpDown_1", QRect(210, 10, 26, 24));
    back->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
    back->setToolTip(QString::fromUtf8("前"));
    auto* forward = Named(new QToolButton(p1), "cmdUpDown_0", QRect(238, 10, 26, 24));
    forward->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    forward->setToolTip(QString::fromUtf8("次"));
    MakeLabel(p1, "Label2", "コメント", QRect(10, 42, 130, 24));
    txtComment = Named(new QLineEdit(p1), "txtComment", QRect(145, 42, 235, 24));
    MakeLabel(p1, "Label3", "Quorvane 入力", QRect(10, 74, 130, 24));
    txtPulse = Named(new QLineEdit(p1), "txtPulse", QRect(145, 74, 235, 24));
    txtPulse->setReadOnly(true);  // shows the pulse; what is stored comes from capture
    MakeLabel(p1, "Label6", "連続入力防止時間", QRect(10, 106, 130, 24));
    cboAdjustTime = Named(new QComboBox(p1), "cboAdjustTime", QRect(145, 106, 100, 26));
    MakeLabel(p1, "Label7", "送信ウィンドウ", QRect(10, 140, 130, 24));
    txtWindowName = Named(new QLineEdit(p1), "txtWindowName", QRect(145, 140, 235, 24));
    MakeLabel(p1, "Label9", "送信キーリスト", QRect(10, 172, 130, 24));
    txtKeyList = Named(new QPlainTextEdit(p1), "txtKeyList", QRect(145, 172, 235, 88));
    txtKeyList->setReadOnly(true);  // locked: only key capture writes it
    txtKeyList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtKeyList->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    txtKeyList->setFocusPolicy(Qt::StrongFocus);
    txtKeyList->installEventFilter(this);
    auto* clear = Named(new QPushButton(QString::fromUtf8("コマンドクリア"), p1), "cmdClear",
                        QRect(145, 268, 115, 28));
    auto* change = Named(new QPushButton(QString::fromUtf8("追加 / 変更"), p1), "cmdChange",
                         QRect(265, 268, 115, 28));

    // Window
    MakeLabel(this, "Label22", "Control Chip Version", QRect(12, 356, 150, 24));
    txtVersion = Named(new QLineEdit(this), "txtVersion", QRect(165, 356, 80, 24));
    txtVersion->setReadOnly(true);
    MakeLabel(this, "Label10", "HID Indicator", QRect(12, 392, 150, 24));
    shpStatus = Named(new ShapeLamp(this), "shpStatus", QRect(165, 393, 22, 22));
    auto* tray = Named(new QPushButton(QString::fromUtf8("トレイに戻す"), this), "cmdTray",
                       QRect(282, 388, 120, 30));

    // Every handler holds only `this`, and every connection ends with the window.
    connect(TabStrip1, &QTabBar::tabBarClicked, this, [this](int index) {
        // A click on the selected tab changes nothing but runs the click
        // handler; a click elsewhere arrives through currentChanged.
        if (mApp && index == TabStrip1->currentIndex()) {
            mApp->TabSelected(index + 1);
        }
    });
    connect(TabStrip1, &QTabBar::currentChanged, this, [this](int index) {
        if (mApp) {
            mApp->TabSelected(index + 1);
        }
    });
    connect(cboWindowChangeTime, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (mApp) {
            mApp->WindowChangeTimeSelected(index);
        }
    });
    connect(change, &QPushButton::clicked, this, [this] {
        if (mApp) {
            mApp->cmdChange_Click();
        }
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        if (mApp) {
            mApp->cmdClear_Click();
        }
    });
    connect(forward, &QToolButton::clicked, this, [this] {
        if (mApp) {
            mApp->cmdUpDown_Click(0);
        }
    });
    connect(back, &QToolButton::clicked, this, [this] {
        if (mApp) {
            mApp->cmdUpDown_Click(1);
        }
    });
    connect(tray, &QPushButton::clicked, this, [this] {
        if (mApp) {
            mApp->cmdTray_Click();
        }
    });
}

// ------------------------------------------------------------ MainView

MsgAnswer frmMain::MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                          bool defaultNo) {
    return mDialogs.MsgBox(text, icon, buttons, defaultNo);
}

void frmMain::HideOffScreen() {
    hide();
    move(kOffScreenLeft, y());
}

void frmMain::LayOutPages() {
    const QRect client = TabStrip1Client->geometry().adjusted(2, 2, -2, -2);
    for (QWidget* page : Picture1) {
        page->move(client.left(), client.top());
        page->resize(client.width(), client.height());
    }
}

void frmMain::FillTimeLists(const std::vector<std::string_view>& adjustTimeItems,
                            const std::vector<std::string_view>& windowChangeTimeItems) {
    const QSignalBlocker blockAdjust(cboAdjustTime);
    const QSignalBlocker blockChange(cboWindowChangeTime);
    cboAdjustTime->clear();
    for (std::size_t i = 0; i < adjustTimeItems.size(); ++i) {
        cboAdjustTime->insertItem(static_cast<int>(i), Q(adjustTimeItems[i]));
    }
    cboWindowChangeTime->clear();
    for (std::size_t i = 0; i < windowChangeTimeItems.size(); ++i) {
        cboWindowChangeTime->insertItem(static_cast<int>(i), Q(windowChangeTimeItems[i]));
    }
}

void frmMain::SelectTab(int tab) {
    const QSignalBlocker block(TabStrip1);
    TabStrip1->setCurrentIndex(tab - 1);
}

void frmMain::ShowPage(int tab) {
    for (QWidget* page : Picture1) {
        page->setEnabled(false);
    }
    if (tab >= 1 && tab <= 2) {
        Picture1[tab - 1]->raise();
        Picture1[tab - 1]->setEnabled(true);
    }
}

void frmMain::SetLamp(bool green) {
    shpStatus->SetFillColor(green ? kLampGreen : kLampRed);
}

void frmMain::SetVersionText(const std::string& text) {
    txtVersion->setText(Q(text));
}

void frmMain::AppendReceiveLine(const std::string& line) {
    // Every line ends with CR LF, so the next one starts a line of its own,
    // even after an empty comment (which leaves the document looking empty).
    QTextCursor cursor(txtReceive->document());
    cursor.movePosition(QTextCursor::End);
    if (mReceiveListStarted) {
        cursor.insertBlock();
    }
    cursor.insertText(Q(line));
    mReceiveListStarted = true;
    // The caret goes after the newest line, so that line is in view.
    cursor.movePosition(QTextCursor::End);
    txtReceive->setTextCursor(cursor);
    txtReceive->ensureCursorVisible();
}

std::string frmMain::ReceiveListText() const {
    if (!mReceiveListStarted) {
        return {};
    }
    return ToCrLf(txtReceive->toPlainText()) + "\r\n";
}

int frmMain::WindowChangeTimeIndex() {
    return cboWindowChangeTime->currentIndex();
}

void frmMain::SetWindowChangeTimeIndex(int index) {
    const QSignalBlocker block(cboWindowChangeTime);
    cboWindowChangeTime->setCurrentIndex(index);
}

std::string frmMain::SlotNumberText() {
    return S(txtNumber->text());
}

void frmMain::SetSlotNumberText(const std::string& text) {
    txtNumber->setText(Q(text));
}

std::string frmMain::CommentText() {
    return S(txtComment->text());
}

void frmMain::SetCommentText(const std::string& text) {
    txtComment->setText(Q(text));
}

void frmMain::SetPulseText(const std::string& text) {
    txtPulse->setText(Q(text));
}

int frmMain::AdjustTimeIndex() {
    return cboAdjustTime->currentIndex();
}

void frmMain::SetAdjustTimeIndex(int index) {
    cboAdjustTime->setCurrentIndex(index);
}

std::string frmMain::WindowNameText() {
    return S(txtWindowName->text());
}

void frmMain::SetWindowNameText(const std::string& text) {
    txtWindowName->setText(Q(text));
}

std::string frmMain::KeyListText() {
    return ToCrLf(txtKeyList->toPlainText());
}

void frmMain::SetKeyListText(const std::string& text) {
    txtKeyList->setPlainText(FromCrLf(text));
}

void frmMain::AppendKeyListLine(const std::string& line) {
    if (txtKeyList->document()->isEmpty()) {
        txtKeyList->setPlainText(Q(line));
    } else {
        txtKeyList->appendPlainText(Q(line));
    }
}

void frmMain::SetVisible(bool visible) {
    setVisible(visible);
    if (visible) {
        raise();
        activateWindow();
        // The window manager adds its frame only once the window is shown;
        // the core places the window again when the frame's size is known.
        QTimer::singleShot(kFrameDelayMs, this, [this] {
            if (mApp) {
                mApp->WindowFramed();
            }
        });
    }
}

bool frmMain::IsMinimizedOrMaximized() {
    return (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) != 0;
}

void frmMain::SetNormalState() {
    setWindowState(Qt::WindowNoState);
}

void frmMain::EndOffScreenParking() {
    hide();
    move(0, y());
}

void frmMain::MoveTo(int x, int y) {
    move(x, y);
}

void frmMain::Quit() {
    // exit() ends every event loop, a message box's included.
    QCoreApplication::exit(0);
}

// --------------------------------------------------------------- events

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched != txtKeyList) {
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
            if (code != 0 && mApp) {
                mApp->txtKeyList_KeyDown(code);
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
            if (code != 0 && mApp) {
                mApp->txtKeyList_KeyUp(code);
            }
            return key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        }
        default:
            return QWidget::eventFilter(watched, event);
    }
}

void frmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && mApp) {
        mApp->Form_Resize();
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    // Closing the window ends the program, as "終了" does.
    event->accept();
    if (mApp) {
        mApp->Form_Closed();
    }
}

}  // namespace qv
