#pragma once
// The program's one window. It owns the receiver transport, the poll timer,
// the tray icon, the device notifier and the state they share; start-up
// (Load), the receive loop (Timer1_Timer), the entry editor, key capture and
// exit (Unload) are its procedures.

#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/RemoteTable.h"
#include "device/ReceiverProtocol.h"
#include "device/clsDeviceNotification.h"
#include "device/clsHidDirect.h"
#include "shell/clsTray.h"
#include "shell/clsWindowSize.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QTabBar;
class QTimer;
class QToolButton;

namespace qv {

class DeviceEvents;
class Dialogs;
class HidPort;
class IniStore;
class InputInjector;
class QtDeviceEventPump;
class ShapeLamp;
class WindowSystem;

// Whole seconds of a clock that never jumps; repeat suppression counts in it.
using SecondsClock = std::function<std::int64_t()>;
// steady_clock in whole seconds.
std::int64_t SteadySeconds();

// The ports and services the window works with. None is owned; all must
// outlive the window.
struct FormPorts {
    Dialogs& dialogs;
    IniStore& ini;
    HidPort& hid;
    DeviceEvents& deviceEvents;
    InputInjector& injector;
    WindowSystem& windows;
    WindowProcs& procs;
    modSubClass& router;
    NotifyIconPort& trayShell;
    PopupMenuPort& menus;
    ScreenGeometryPort& geometry;
    IconHandle trayIcon;  // the application icon as the tray port knows it
    SecondsClock clock = SteadySeconds;
};

// Text of the message shown when the store command cannot write the file.
inline constexpr const char* kMsgWriteFailed = "設定ファイルへの書き込みに失敗しました。";
inline constexpr const char* kMsgNoPulse = "パルスデータが存在しません。";
inline constexpr const char* kMsgOverwrite = "既に記録されています。上書きしますか？";
inline constexpr const char* kTrayToolTip = "Remote Receiver";
// Lines kept in the receive list; older lines scroll away.
inline constexpr int kReceiveListMaxLines = 10000;

class frmMain : public QWidget,
                private ReceiverIndicators,
                private ReceiverLinkOps,
                private clsTrayEvents {
public:
    explicit frmMain(const FormPorts& ports, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: tray icon, pages, remote table, time lists, settings,
    // receiver connection, device notifications. Runs once.
    void Load();
    // Exit: tray icon, WindowChangeTime, notifier, transport. Runs once;
    // later calls do nothing.
    void Unload();
    // True after Unload.
    bool Unloaded() const { return mUnloaded; }

    // The window's handle among the program's window procedures.
    WindowHandle hWnd() const { return mHWnd; }

    // ---- handlers (public so the program and tests can drive them) ----
    void Timer1_Timer();
    void TabStrip1_Click();
    void cmdChange_Click();
    void cmdUpDown_Click(int index);
    void cmdClear_Click();
    void txtKeyList_KeyDown(std::int16_t keyCode);
    void txtKeyList_KeyUp(std::int16_t keyCode);
    void mnuConfig_Click();
    void mnuExit_Click();
    // Ends the program without waiting for the user (a termination signal):
    // unloads as 終了 does and ends every event loop, which closes an open
    // message box; a handler waiting in one finishes before the unload runs.
    void Terminate();
    void cmdTray_Click();
    // The window's resize: the first run ends the off-screen parking of
    // start-up; every run sends a minimised or maximised window to the tray.
    void Form_Resize();
    // Delivers what the device-event source reported (the event pump does
    // this when the source is readable).
    void DeviceEventsReadable();

    // ---- state for the program and tests ----
    const RemoteTable& Remotes() const { return mRemote; }
    const std::string& PulseText() const { return mPulseText; }
    std::int16_t LastRemote() const { return mLastRemote; }
    std::int32_t VendorID() const { return mVendorID; }
    std::int32_t ProductID() const { return mProductID; }
    bool TimerEnabled() const;
    std::uint8_t KeyState(int code) const { return mKeyState.at(static_cast<std::size_t>(code)); }
    clsHidDirect* HidDirect() { return mHidDirect.get(); }
    // Every accepted receive-list line is also handed here (the --debug log).
    void SetReceiveLog(std::function<void(const std::string&)> log) {
        mReceiveLog = std::move(log);
    }
    // The receive list's text with "\r\n" line ends.
    std::string ReceiveListText() const;
    // The key-list box's text in editor form ("\r\n" between lines).
    std::string KeyListText() const;
    // Sets the key-list box (editor form).
    void SetKeyListText(const std::string& text);
    // Selects tab 1 or 2 as a click would.
    void SelectTab(int tab);

    // Controls, named as the program names them.
    QTabBar* TabStrip1;
    QFrame* TabStrip1Client;
    QWidget* Picture1[2];
    QLabel* Label4;
    QPlainTextEdit* txtReceive;
    QLabel* Label8;
    QComboBox* cboWindowChangeTime;
    QLabel* Label1;
    QLineEdit* txtNumber;
    QToolButton* cmdUpDown[2];
    QLabel* Label2;
    QLineEdit* txtComment;
    QLabel* Label3;
    QLineEdit* txtPulse;
    QLabel* Label6;
    QComboBox* cboAdjustTime;
    QLabel* Label7;
    QLineEdit* txtWindowName;
    QLabel* Label9;
    QPlainTextEdit* txtKeyList;
    QPushButton* cmdClear;
    QPushButton* cmdChange;
    QLabel* Label22;
    QLineEdit* txtVersion;
    QLabel* Label10;
    ShapeLamp* shpStatus;
    QPushButton* cmdTray;
    QTimer* Timer1;
    QMenu* mnuShortCut;
    QAction* mnuConfig;
    QAction* mnuExit;

    // The tray icon and the device notifier (public members of the window).
    std::shared_ptr<clsTray> mTray1;
    std::shared_ptr<clsDeviceNotification> mNotification;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The window's own procedure: the messages nobody else handles end here.
    class OwnProcedure final : public WindowProcedure {
    public:
        LResult Call(WindowHandle, MessageId, WParam, LParam) override { return 0; }
    };

    void CreateControls();
    void AppendReceiveLine(const std::string& line);
    void Capture(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2);
    void Match(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2);
    void Dispatch(const RemoteEntry& entry);
    void ShowSlot();
    std::int16_t WindowChangeDelay() const;
    void PlaceBesideTray();
    // Quits the event loops unless the unload waits for a busy handler.
    void QuitUnlessDeferred();

    // ReceiverIndicators
    void SetLamp(bool green) override;
    void SetVersionText(const std::string& text) override;
    void EnableTimer() override;
    // ReceiverLinkOps
    bool DeviceCheck(const std::string& path, std::int32_t& VendorID,
                     std::int32_t& ProductID) override;
    std::string ConnectDevicePath() override;
    void Destroy() override;
    void ConnectReceiver() override;
    void DisableTimer() override;
    // clsTrayEvents
    void MouseDown(std::int16_t Button) override;

    FormPorts mPorts;
    OwnProcedure mOwnProc;
    ProcId mOwnProcId = 0;
    WindowHandle mHWnd = 0;

    // Window state
    std::unique_ptr<clsHidDirect> mHidDirect;
    std::unique_ptr<ReceiverLink> mLink;
    std::int32_t mVendorID = 0x1234;
    std::int32_t mProductID = 0x0001;
    std::string mPulseText;
    std::int16_t mLastRemote = 0;
    std::int64_t mLastTime = 0;  // whole seconds of the monotonic clock
    std::array<std::uint8_t, 257> mKeyState{};
    std::unique_ptr<ReceiverHotplug> mHotplug;
    std::unique_ptr<QtDeviceEventPump> mDevicePump;

    RemoteTable mRemote;
    std::function<void(const std::string&)> mReceiveLog;
    bool mLoaded = false;
    bool mUnloaded = false;
    bool mResized = false;             // Form_Resize has run once
    bool mReceiveListStarted = false;  // a line was appended (it may be empty)
    // Handlers that can run a nested event loop (message boxes) hold the
    // window busy; an unload asked for meanwhile waits until they are done,
    // so no handler finds the transport gone under its feet.
    int mBusy = 0;
    bool mUnloadPending = false;
    class BusyScope;
};

}  // namespace qv
