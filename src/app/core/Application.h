#pragma once
// The program itself, whatever toolkit shows its window: start-up and exit in
// their order, the receiver link with its connect-and-start sequence, the
// receive loop, the entry editor, key capture, the tray icon with its menu and
// device arrival and removal. The window (MainView) forwards the user's events
// here and shows what it is told.
//
// Threads: everything here runs on the GUI thread except the receiver's share
// (transfers of up to a second, the connect-and-start sequence, the receive
// loop's tick and its dispatch with the window-switch pauses), which runs on
// the receiver thread and reports to the window through GuiThread, in order.
// A message box that the receiver's share needs is shown on the GUI thread
// while the receiver thread waits for the answer.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/core/EntryEditor.h"
#include "app/core/KeyCapture.h"
#include "app/core/ReceiveLoop.h"
#include "app/core/ReceiverThread.h"
#include "app/core/SharedState.h"
#include "common/Clock.h"
#include "common/Dialogs.h"
#include "device/DeviceWatch.h"
#include "shell/Tray.h"

namespace qv {

class DeviceEvents;
class GuiThread;
class HidPort;
class IniStore;
class InputInjector;
class MainView;
class ScreenGeometryPort;
class TrayIcon;
class WindowSystem;
class HidTransport;
class ReceiverLink;

inline constexpr const char* kTrayToolTip = "Remote Receiver";

// What the program runs on. None is owned; all must outlive the Application.
// The injector and the window system are used on the receiver thread only.
struct AppPorts {
    MainView& view;
    GuiThread& gui;
    IniStore& ini;
    HidPort& hid;
    DeviceEvents& deviceEvents;
    InputInjector& injector;
    WindowSystem& windows;
    TrayIcon& tray;
    ScreenGeometryPort& geometry;
    Clock& clock;
    // The receiver thread's jobs and timer; nullptr: the Application runs its
    // own ReceiverThread. Tests give one they run by hand, together with Tick().
    ReceiverJobs* jobs = nullptr;
};

class Application final : private TrayEvents, private DeviceWatchEvents {
public:
    // How long exit waits for the receiver thread to finish what it is doing
    // (a transfer, a dispatch with its pauses).
    static constexpr std::chrono::milliseconds kStopBound{5000};

    explicit Application(const AppPorts& ports);
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Start-up; runs once.
    void Load();
    // Exit; runs once. While a message box is open it waits until the box is
    // answered, so no handler finds things gone under its feet.
    void Unload();
    bool Unloaded() const { return unloaded_; }
    // False when exit could not wait for the receiver thread to end (a port
    // that never returned): the program must then end without releasing more.
    bool ReceiverStopped() const;

    // ---- events the window forwards (GUI thread)
    void TabSelected(int tab);
    void WindowChangeTimeSelected(int index);
    // "追加 / 変更": stores the captured pulse with the editor's fields.
    void StoreEntry() { editor_.StoreEntry(); }
    // The step buttons: the next or the previous stored slot.
    void StepSlot(SlotStep step) { editor_.StepSlot(step); }
    // "コマンドクリア": empties the key list.
    void ClearKeyList() { editor_.ClearKeyList(); }
    // A key went down or up in the key-list box.
    void KeyPressed(std::int16_t keyCode) { capture_.KeyPressed(keyCode); }
    void KeyReleased(std::int16_t keyCode) { capture_.KeyReleased(keyCode); }
    // The tray menu's "設定": shows the window beside the tray, or hides it.
    void ToggleWindow();
    // The tray menu's "終了": the program ends.
    void Exit();
    // "トレイに戻す": hides the window.
    void HideToTray();
    // The window was minimised, maximised or restored (and once after start-up).
    void WindowStateChanged();
    // The user closed the window: the program ends as with "終了".
    void WindowClosed();
    // The window manager has framed the shown window: place it again now that
    // its outer size is known.
    void WindowFramed();
    // A termination signal: unload as "終了" does and end every event loop,
    // which closes an open message box unanswered.
    void Terminate();

    // ---- the receiver thread's share (tests call it by hand with their own jobs)
    void Tick();

    // ---- state for the program and tests
    // Every receive-list line is also handed here (the --debug log).
    void SetReceiveLog(std::function<void(const std::string&)> log) {
        receiveLog_ = std::move(log);
    }
    const std::string& PulseText() const { return editor_.PulseText(); }
    std::uint8_t KeyState(int code) const { return capture_.KeyState(code); }
    std::int32_t VendorId() const { return vendorId_; }
    std::int32_t ProductId() const { return productId_; }
    std::int16_t LastRemote() const;
    bool TimerEnabled() const { return jobs_->TimerEnabled(); }
    SharedState& Shared() { return shared_; }
    Tray* SystemTray() { return tray_.get(); }
    DeviceWatch* Watch() { return deviceWatch_.get(); }
    HidTransport* Transport() { return transport_.get(); }

private:
    class Receiver;
    class GuiDialogs;
    class ReceiverDialogs;

    // TrayEvents
    void MouseDown(std::int16_t button) override;
    // DeviceWatchEvents
    void DeviceArrived(const std::string& path) override;
    void DeviceRemoved(const std::string& path) override;

    // The device-event source has changes pending (GUI thread).
    void DeviceEventsReadable();
    // Runs `work` on the GUI thread unless the Application has ended by then.
    void PostToGui(std::function<void()> work);
    void PlaceBesideTray();
    void QuitUnlessDeferred();
    void BoxOpened();
    void BoxClosed();

    AppPorts ports_;
    SharedState shared_;
    KeyCapture capture_;
    std::unique_ptr<GuiDialogs> guiDialogs_;
    std::unique_ptr<ReceiverDialogs> receiverDialogs_;
    EntryEditor editor_;
    std::unique_ptr<ReceiverThread> ownThread_;
    ReceiverJobs* jobs_ = nullptr;

    std::int32_t vendorId_ = 0x1234;
    std::int32_t productId_ = 0x0001;
    std::unique_ptr<HidTransport> transport_;
    std::unique_ptr<Receiver> receiver_;  // used on the receiver thread only
    std::unique_ptr<Tray> tray_;
    std::unique_ptr<DeviceWatch> deviceWatch_;

    std::function<void(const std::string&)> receiveLog_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool loaded_ = false;
    bool unloaded_ = false;
    bool resized_ = false;
    int openBoxes_ = 0;
    bool unloadPending_ = false;
    bool quitPending_ = false;
};

}  // namespace qv
