#include "app/frmMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

#include "app/ShapeLamp.h"
#include "app/VirtualKeyFromQtKey.h"
#include "common/DebugLog.h"
#include "common/Dialogs.h"
#include "config/modCommon.h"
#include "device/DeviceEvents.h"
#include "keys/ActivateWindow.h"
#include "keys/KeyNames.h"
#include "keys/WindowSystem.h"
#include "keys/modKeyboard.h"
#include "shell/qt/QtDeviceEventPump.h"

namespace qv {
namespace {

constexpr int kTickMs = 50;
const QColor kLampGreen(0, 255, 0);
const QColor kLampRed(255, 0, 0);
// Where start-up parks the hidden window: -10005 twips at 15 twips per pixel.
constexpr int kOffScreenLeft = -667;

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

class frmMain::BusyScope {
public:
    explicit BusyScope(frmMain& form) : form_(form) { ++form_.mBusy; }
    ~BusyScope() {
        if (--form_.mBusy == 0 && form_.mUnloadPending) {
            form_.mUnloadPending = false;
            form_.Unload();
            QCoreApplication::quit();
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    frmMain& form_;
};

std::int64_t SteadySeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

frmMain::frmMain(const FormPorts& ports, QWidget* parent) : QWidget(parent), mPorts(ports) {
    mOwnProcId = mPorts.procs.RegisterProcedure(mOwnProc);
    mHWnd = mPorts.procs.CreateWindowHandle(mOwnProcId);
    CreateControls();
}

frmMain::~frmMain() {
    // The tray object and the notifier may outlive the window in the router's
    // registry; they must not call back into it.
    if (mTray1) {
        mTray1->SetEvents(nullptr);
    }
    if (mNotification) {
        mNotification->SetEvents(nullptr);
    }
    mLink.reset();
    mHidDirect.reset();
    mPorts.procs.DestroyWindowHandle(mHWnd);
    mPorts.procs.UnregisterProcedure(mOwnProcId);
}

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
    Label4 = MakeLabel(p0, "Label4", "レシーブ リスト", QRect(10, 8, 200, 20));
    txtReceive = Named(new QPlainTextEdit(p0), "txtReceive", QRect(10, 30, 370, 220));
    txtReceive->setReadOnly(true);
    txtReceive->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtReceive->setMaximumBlockCount(kReceiveListMaxLines);
    Label8 = MakeLabel(p0, "Label8", "ウィンドウ切替時間", QRect(10, 264, 140, 24));
    cboWindowChangeTime = Named(new QComboBox(p0), "cboWindowChangeTime", QRect(160, 262, 100, 26));

    // Page 1: learning mode, the entry editor
    QWidget* p1 = Picture1[1];
    Label1 = MakeLabel(p1, "Label1", "リモコン記憶 No.", QRect(10, 10, 130, 24));
    txtNumber = Named(new QLineEdit(QStringLiteral("1"), p1), "txtNumber", QRect(145, 10, 60, 24));
    txtNumber->setReadOnly(true);
    cmdUpDown[1] = Named(new QToolButton(p1), "cmdUpDown_1", QRect(210, 10, 26, 24));
    cmdUpDown[1]->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
    cmdUpDown[1]->setToolTip(QString::fromUtf8("前"));
    cmdUpDown[0] = Named(new QToolButton(p1), "cmdUpDown_0", QRect(238, 10, 26, 24));
    cmdUpDown[0]->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    cmdUpDown[0]->setToolTip(QString::fromUtf8("次"));
    Label2 = MakeLabel(p1, "Label2", "コメント", QRect(10, 42, 130, 24));
    txtComment = Named(new QLineEdit(p1), "txtComment", QRect(145, 42, 235, 24));
    Label3 = MakeLabel(p1, "Label3", "Quorvane 入力", QRect(10, 74, 130, 24));
    txtPulse = Named(new QLineEdit(p1), "txtPulse", QRect(145, 74, 235, 24));
    txtPulse->setReadOnly(true);  // shows the pulse; what is stored comes from capture
    Label6 = MakeLabel(p1, "Label6", "連続入力防止時間", QRect(10, 106, 130, 24));
    cboAdjustTime = Named(new QComboBox(p1), "cboAdjustTime", QRect(145, 106, 100, 26));
    Label7 = MakeLabel(p1, "Label7", "送信ウィンドウ", QRect(10, 140, 130, 24));
    txtWindowName = Named(new QLineEdit(p1), "txtWindowName", QRect(145, 140, 235, 24));
    Label9 = MakeLabel(p1, "Label9", "送信キーリスト", QRect(10, 172, 130, 24));
    txtKeyList = Named(new QPlainTextEdit(p1), "txtKeyList", QRect(145, 172, 235, 88));
    txtKeyList->setReadOnly(true);  // locked: only key capture writes it
    txtKeyList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtKeyList->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    txtKeyList->setFocusPolicy(Qt::StrongFocus);
    txtKeyList->installEventFilter(this);
    cmdClear = Named(new QPushButton(QString::fromUtf8("コマンドクリア"), p1), "cmdClear",
                     QRect(145, 268, 115, 28));
    cmdChange = Named(new QPushButton(QString::fromUtf8("追加 / 変更"), p1), "cmdChange",
                      QRect(265, 268, 115, 28));

    // Window
    Label22 = MakeLabel(this, "Label22", "Control Chip Version", QRect(12, 356, 150, 24));
    txtVersion = Named(new QLineEdit(this), "txtVersion", QRect(165, 356, 80, 24));
    txtVersion->setReadOnly(true);
    Label10 = MakeLabel(this, "Label10", "HID Indicator", QRect(12, 392, 150, 24));
    shpStatus = Named(new ShapeLamp(this), "shpStatus", QRect(165, 393, 22, 22));
    cmdTray = Named(new QPushButton(QString::fromUtf8("トレイに戻す"), this), "cmdTray",
                    QRect(282, 388, 120, 30));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTickMs);
    Timer1->setTimerType(Qt::PreciseTimer);

    mnuShortCut = new QMenu(this);
    mnuShortCut->setObjectName(QStringLiteral("mnuShortCut"));
    mnuConfig = mnuShortCut->addAction(QString::fromUtf8("設定"));
    mnuConfig->setObjectName(QStringLiteral("mnuConfig"));
    mnuConfig->setCheckable(true);
    mnuExit = mnuShortCut->addAction(QString::fromUtf8("終了"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    mnuShortCut->setDefaultAction(mnuExit);

    // Handlers hold only `this`, and every connection ends with the window.
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    connect(TabStrip1, &QTabBar::tabBarClicked, this, [this](int index) {
        // A click on the selected tab changes nothing; a click elsewhere
        // arrives through currentChanged.
        if (index == TabStrip1->currentIndex()) {
            TabStrip1_Click();
        }
    });
    connect(TabStrip1, &QTabBar::currentChanged, this, [this](int) { TabStrip1_Click(); });
    connect(cmdChange, &QPushButton::clicked, this, [this] { cmdChange_Click(); });
    connect(cmdClear, &QPushButton::clicked, this, [this] { cmdClear_Click(); });
    connect(cmdUpDown[0], &QToolButton::clicked, this, [this] { cmdUpDown_Click(0); });
    connect(cmdUpDown[1], &QToolButton::clicked, this, [this] { cmdUpDown_Click(1); });
    connect(cmdTray, &QPushButton::clicked, this, [this] { cmdTray_Click(); });
}

// ---------------------------------------------------------------- start-up

void frmMain::Load() {
    if (mLoaded) {
        return;
    }
    mLoaded = true;
    const BusyScope busy(*this);

    // The window is hidden while loading; the tray menu shows it later.
    hide();
    move(kOffScreenLeft, y());

    // Tray icon
    mTray1 = clsTray::Create(mPorts.router, mPorts.procs, mPorts.trayShell, mPorts.menus);
    mTray1->SetEvents(this);
    mTray1->SetIcon(mPorts.trayIcon);
    mTray1->SetToolTipText(kTrayToolTip);
    mTray1->AddIcon(mHWnd);

    // Tab pages over the strip's client area
    const QRect client = TabStrip1Client->geometry().adjusted(2, 2, -2, -2);
    for (int i = 0; i < TabStrip1->count(); ++i) {
        Picture1[i]->move(client.left(), client.top());
        Picture1[i]->resize(client.width(), client.height());
    }
    SelectTab(1);

    // One read of the file serves every setting of start-up: nothing writes
    // it in between. A missing file reads as empty, so every value takes its
    // default.
    const LoadedIni settings = mPorts.ini.Load();

    // Remote table; leaves txtNumber at the first free slot
    txtNumber->setText(QString::number(mRemote.Load(settings.file)));

    for (std::size_t i = 0; i < kAdjustTimeItems.size(); ++i) {
        cboAdjustTime->insertItem(static_cast<int>(i), Q(kAdjustTimeItems[i]));
    }
    cboAdjustTime->setCurrentIndex(-1);
    for (std::size_t i = 0; i < kWindowChangeTimeItems.size(); ++i) {
        cboWindowChangeTime->insertItem(static_cast<int>(i), Q(kWindowChangeTimeItems[i]));
    }

    cmdClear_Click();

    cboWindowChangeTime->setCurrentIndex(
        WindowChangeTimeIndex(IniReadDefault(settings.file, "General", "WindowChangeTime", 0)));

    mLastRemote = 0;
    mLastTime = mPorts.clock();

    mVendorID = ReadIdentifier(IniRead(settings.file, "HID", "VendorID", kDefaultVendorID));
    mProductID = ReadIdentifier(IniRead(settings.file, "HID", "ProductID", kDefaultProductID));

    // Transport and the connect-and-start sequence
    mHidDirect = std::make_unique<clsHidDirect>(mPorts.hid);
    mLink = std::make_unique<ReceiverLink>(*mHidDirect, mPorts.dialogs,
                                           static_cast<ReceiverIndicators&>(*this));
    ConnectReceiver();

    // Device notifications
    mHotplug = std::make_unique<ReceiverHotplug>(static_cast<ReceiverLinkOps&>(*this), mVendorID,
                                                 mProductID);
    mNotification =
        clsDeviceNotification::Create(mPorts.router, mPorts.deviceEvents, mPorts.dialogs);
    mNotification->SetEvents(mHotplug.get());
    mNotification->DoRegisterDeviceInterface(mHWnd);
    mDevicePump = std::make_unique<QtDeviceEventPump>(mPorts.deviceEvents, mPorts.procs, mHWnd);
    mDevicePump->Rearm();

    // The program shows the window once it is loaded, and that first resize
    // hides it again and takes it back from its off-screen parking place.
    Form_Resize();
}

void frmMain::DeviceEventsReadable() {
    if (!mUnloaded) {
        DispatchDeviceChanges(mPorts.deviceEvents, mPorts.procs, mHWnd);
    }
}

// -------------------------------------------------------------------- exit

void frmMain::Unload() {
    if (mUnloaded || !mLoaded) {
        return;
    }
    if (mBusy > 0) {
        mUnloadPending = true;
        return;
    }
    mUnloaded = true;

    // Tray icon: the router may keep the object until the program ends.
    if (mTray1) {
        mTray1->SetEvents(nullptr);
        mTray1.reset();
    }

    const std::string index = std::to_string(cboWindowChangeTime->currentIndex());
    if (!IniWrite(mPorts.ini, "General", "WindowChangeTime", index)) {
        DebugLog("could not write WindowChangeTime to " + mPorts.ini.IniPath());
    }

    mDevicePump.reset();
    if (mNotification) {
        mNotification->SetEvents(nullptr);
        mNotification.reset();
    }

    // No tick may reach the transport once it is gone.
    Timer1->stop();
    mLink.reset();
    mHidDirect.reset();
}

void frmMain::closeEvent(QCloseEvent* event) {
    // Closing the window unloads it, which ends the program.
    Unload();
    event->accept();
    QuitUnlessDeferred();
}

void frmMain::QuitUnlessDeferred() {
    // A deferred unload quits when the busy handler is done; quitting now
    // would also end the modal loop of the message box it waits in.
    if (!mUnloadPending) {
        QCoreApplication::quit();
    }
}

// ------------------------------------------------------------ receive loop

bool frmMain::TimerEnabled() const {
    return Timer1->isActive();
}

void frmMain::Timer1_Timer() {
    if (!mLink) {
        return;
    }
    std::uint8_t status = 0;
    std::array<std::uint8_t, 16> data{};
    if (!mLink->PicCommand(PicPoll, status, data)) {
        return;
    }
    if (status != kPicStatusOk || data[0] == 0) {
        return;
    }
    if (TabStrip1->currentIndex() == 0) {
        Match(data[0], data[1], data[2]);
    } else {
        Capture(data[0], data[1], data[2]);
    }
}

void frmMain::Capture(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u,%02u,%02u", static_cast<unsigned>(v0),
                  static_cast<unsigned>(v1), static_cast<unsigned>(v2));
    mPulseText = text;
    txtPulse->setText(QString::fromLatin1(text));
}

void frmMain::Match(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) {
    const int n = mRemote.Match(v0, v1, v2);
    if (n == 0) {
        return;
    }
    const RemoteEntry& entry = mRemote[n];
    const std::int64_t now = mPorts.clock();
    if (n == mLastRemote && now - mLastTime < entry.AdjustTime) {
        return;  // a held button repeats only after its suppression time
    }
    mLastRemote = static_cast<std::int16_t>(n);
    mLastTime = now;

    AppendReceiveLine(entry.Comment);
    // Dispatch may block for the window-switch pauses; take a copy, as the
    // table is only changed by the store command but the entry reference
    // must not be trusted across a nested event loop.
    const RemoteEntry copy = entry;
    Dispatch(copy);
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
    if (mReceiveLog) {
        mReceiveLog(line);
    }
}

std::string frmMain::ReceiveListText() const {
    if (!mReceiveListStarted) {
        return {};
    }
    return ToCrLf(txtReceive->toPlainText()) + "\r\n";
}

std::int16_t frmMain::WindowChangeDelay() const {
    return static_cast<std::int16_t>(
        WindowChangeDelayMs(std::max(0, cboWindowChangeTime->currentIndex())));
}

void frmMain::Dispatch(const RemoteEntry& entry) {
    if (entry.WindowName.empty()) {
        SendKeyList(mPorts.injector, entry.KeyList);
        return;
    }
    WindowSystem& windows = mPorts.windows;
    const HWND previous = windows.GetForegroundWindow();
    const HWND target = windows.FindWindowA(entry.WindowName);
    const int showState = ActivateWindow(windows, target, WindowChangeDelay());
    SendKeyList(mPorts.injector, entry.KeyList);
    windows.ShowWindow(target, showState);
    ActivateWindow(windows, previous, WindowChangeDelay());
}

// ------------------------------------------------------------ entry editor

void frmMain::SelectTab(int tab) {
    if (TabStrip1->currentIndex() != tab - 1) {
        TabStrip1->setCurrentIndex(tab - 1);  // currentChanged runs the click handler
    } else {
        TabStrip1_Click();
    }
}

void frmMain::TabStrip1_Click() {
    for (int i = 0; i < TabStrip1->count(); ++i) {
        Picture1[i]->setEnabled(false);
    }
    const int selected = TabStrip1->currentIndex() + 1;
    if (selected >= 1 && selected <= TabStrip1->count()) {
        Picture1[selected - 1]->raise();
        Picture1[selected - 1]->setEnabled(true);
    }
}

void frmMain::cmdChange_Click() {
    // The overwrite question runs a nested event loop; an exit chosen from the
    // tray meanwhile waits until the slot is stored or declined.
    const BusyScope busy(*this);
    if (mPulseText.empty()) {
        mPorts.dialogs.MsgBox(kMsgNoPulse, MsgIcon::Exclamation, MsgButtons::Ok);
        return;
    }
    const std::string number = S(txtNumber->text());
    const std::string section = "Remote" + number;
    if (!IniRead(mPorts.ini, section, "Pulse", "").empty()) {
        if (mPorts.dialogs.MsgBox(kMsgOverwrite, MsgIcon::Question, MsgButtons::YesNo, true) !=
            MsgAnswer::Yes) {
            return;
        }
    }
    // Ticks of the receive loop may have run during the question: the pulse
    // text saved is the one current now.
    const std::string pulse = mPulseText;
    const std::string comment = S(txtComment->text());
    const int adjustTime = std::max(0, cboAdjustTime->currentIndex());
    const std::string windowName = S(txtWindowName->text());
    const std::string keyList = EditorToStoredKeyList(KeyListText());

    // The five keys go to the file in one replacement: a failure leaves the
    // slot as it was, never half stored.
    const bool written = IniWriteKeys(mPorts.ini, section,
                                      {{"Pulse", pulse},
                                       {"Comment", comment},
                                       {"AdjustTime", std::to_string(adjustTime)},
                                       {"WindowName", windowName},
                                       {"KeyList", keyList}});
    if (!written) {
        // The table follows the file: what is not on disk does not fire either.
        mPorts.dialogs.MsgBox(kMsgWriteFailed, MsgIcon::Critical, MsgButtons::Ok);
        return;
    }
    if (!mRemote.SetRemoteEntry(number, comment, pulse, 0, adjustTime, windowName, keyList)) {
        DebugLog("slot number " + number + " is outside the table");
    }
}

void frmMain::cmdUpDown_Click(int index) {
    const int n = RoundHalfEven(Val(S(txtNumber->text())));
    if (index == 0) {
        const std::string current = "Remote" + S(txtNumber->text());
        if (IniRead(mPorts.ini, current, "Pulse", "").empty() || n >= kMaxSlot) {
            return;
        }
        txtNumber->setText(QString::number(n + 1));
    } else {
        if (n <= 1) {
            return;
        }
        txtNumber->setText(QString::number(n - 1));
    }
    ShowSlot();
}

void frmMain::ShowSlot() {
    // Browsing reads the file, not the table; one read serves the slot.
    const LoadedIni loaded = mPorts.ini.Load();
    const IniFile& file = loaded.file;
    const std::string section = "Remote" + S(txtNumber->text());
    txtComment->setText(Q(IniRead(file, section, "Comment", "")));
    cboAdjustTime->setCurrentIndex(AdjustTimeIndex(Val(IniRead(file, section, "AdjustTime", ""))));
    mPulseText = IniRead(file, section, "Pulse", "");
    txtPulse->setText(Q(mPulseText));
    txtWindowName->setText(Q(IniRead(file, section, "WindowName", "")));
    cmdClear_Click();
    SetKeyListText(StoredToEditorKeyList(IniRead(file, section, "KeyList", "")));
}

void frmMain::cmdClear_Click() {
    txtKeyList->clear();
    for (std::size_t i = 0; i < 256; ++i) {
        mKeyState[i] = 0;
    }
}

// ------------------------------------------------------------- key capture

std::string frmMain::KeyListText() const {
    return ToCrLf(txtKeyList->toPlainText());
}

void frmMain::SetKeyListText(const std::string& text) {
    txtKeyList->setPlainText(FromCrLf(text));
}

void frmMain::txtKeyList_KeyDown(std::int16_t keyCode) {
    if (keyCode < 0 || keyCode > 256) {
        return;
    }
    if (mKeyState[static_cast<std::size_t>(keyCode)] == 1) {
        return;  // the key is still down: automatic repetition
    }
    const QString line = QStringLiteral("D") + Q(KeyCodeToName(keyCode));
    if (txtKeyList->document()->isEmpty()) {
        txtKeyList->setPlainText(line);
    } else {
        txtKeyList->appendPlainText(line);
    }
    mKeyState[static_cast<std::size_t>(keyCode)] = 1;
}

void frmMain::txtKeyList_KeyUp(std::int16_t keyCode) {
    if (keyCode < 0 || keyCode > 256) {
        return;
    }
    const QString line = QStringLiteral("U") + Q(KeyCodeToName(keyCode));
    if (txtKeyList->document()->isEmpty()) {
        txtKeyList->setPlainText(line);
    } else {
        txtKeyList->appendPlainText(line);
    }
    mKeyState[static_cast<std::size_t>(keyCode)] = 0;
}

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
            const std::int16_t code = VirtualKeyFromQtKey(key->key(), key->modifiers());
            if (code != 0) {
                txtKeyList_KeyDown(code);
            } else {
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
            const std::int16_t code = VirtualKeyFromQtKey(key->key(), key->modifiers());
            if (code != 0) {
                txtKeyList_KeyUp(code);
            }
            return key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        }
        default:
            return QWidget::eventFilter(watched, event);
    }
}

// ------------------------------------------------------- receiver indicators

void frmMain::SetLamp(bool green) {
    shpStatus->SetFillColor(green ? kLampGreen : kLampRed);
}

void frmMain::SetVersionText(const std::string& text) {
    txtVersion->setText(Q(text));
}

void frmMain::EnableTimer() {
    Timer1->start();
}

void frmMain::DisableTimer() {
    Timer1->stop();
}

bool frmMain::DeviceCheck(const std::string& path, std::int32_t& VendorID,
                          std::int32_t& ProductID) {
    return mHidDirect && mHidDirect->DeviceCheck(path, VendorID, ProductID);
}

std::string frmMain::ConnectDevicePath() {
    return mHidDirect ? mHidDirect->ConnectDevicePath() : std::string();
}

void frmMain::Destroy() {
    if (mHidDirect) {
        mHidDirect->Destroy();
    }
}

void frmMain::ConnectReceiver() {
    // The sequence's message boxes run a nested event loop.
    const BusyScope busy(*this);
    if (mLink) {
        mLink->ConnectReceiver(mVendorID, mProductID);
    }
}

// --------------------------------------------------------------- tray menu

void frmMain::MouseDown(std::int16_t /*Button*/) {
    if (!mTray1) {
        return;
    }
    TrayMenu menu;
    menu.items.push_back(
        {S(mnuConfig->text()), true, mnuConfig->isChecked(), [this] { mnuConfig_Click(); }});
    menu.items.push_back({S(mnuExit->text()), false, false, [this] { mnuExit_Click(); }});
    menu.defaultIndex = 1;
    // Keep the tray object alive while its menu runs: the exit command lets go of it.
    const std::shared_ptr<clsTray> tray = mTray1;
    tray->PopupMenu(mHWnd, menu);
}

void frmMain::mnuConfig_Click() {
    mnuConfig->setChecked(!mnuConfig->isChecked());
    if (mnuConfig->isChecked() && !isVisible() &&
        (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        // Minimised or maximised before it went back to the tray (changeEvent).
        setWindowState(Qt::WindowNoState);
    }
    const bool normal = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    if (normal && mnuConfig->isChecked()) {
        PlaceBesideTray();
    }
    setVisible(mnuConfig->isChecked());
    if (isVisible()) {
        raise();
        activateWindow();
        // The window manager adds its frame only once the window is shown;
        // place it again when the frame's size is known.
        QTimer::singleShot(150, this, [this] {
            if (isVisible() && mnuConfig->isChecked()) {
                PlaceBesideTray();
            }
        });
    }
}

void frmMain::PlaceBesideTray() {
    std::int32_t x = 0;
    std::int32_t y = 0;
    clsWindowSize(mPorts.geometry).TrueTasktraySide(mHWnd, x, y);
    move(x, y);
}

void frmMain::mnuExit_Click() {
    Unload();
    QuitUnlessDeferred();
}

void frmMain::Terminate() {
    Unload();
    // exit(), not quit(): it also ends the loop of a box opened while the
    // program starts, before the main event loop runs.
    QCoreApplication::exit(0);
}

void frmMain::cmdTray_Click() {
    mnuConfig->setChecked(false);
    hide();
}

void frmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        Form_Resize();
    }
}

void frmMain::Form_Resize() {
    if (!mResized) {
        mResized = true;
        hide();
        move(0, y());
    }
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) {
        // Minimising sends the window back to the tray. The normal state
        // comes back when the window is opened again (mnuConfig_Click):
        // leaving the minimised state maps the X window, and here, after
        // hide() or on a late second report of the state for the hidden
        // window, that would leave an unpainted window on the screen that
        // the program believes hidden.
        if (isVisible()) {
            hide();
        }
        mnuConfig->setChecked(false);
    }
}

}  // namespace qv
