#include "app/core/Application.h"

#include <thread>
#include <utility>

#include "app/core/GuiThread.h"
#include "app/core/MainView.h"
#include "common/DebugLog.h"
#include "config/IniStore.h"
#include "config/modCommon.h"
#include "device/ReceiverProtocol.h"
#include "device/clsHidDirect.h"
#include "shell/clsWindowSize.h"

namespace qv {

// ---------------------------------------------------------------- dialogs

// Message boxes asked for on the GUI thread. An exit asked for while one is
// open waits until it is answered.
class Application::GuiDialogs final : public Dialogs {
public:
    explicit GuiDialogs(Application& app) : mApp(app) {}
    MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                     bool defaultNo) override {
        mApp.BoxOpened();
        const MsgAnswer answer = mApp.mPorts.view.MsgBox(text, icon, buttons, defaultNo);
        mApp.BoxClosed();
        return answer;
    }

private:
    Application& mApp;
};

// Message boxes asked for on the receiver thread: shown on the GUI thread
// while the receiver thread waits for the answer. Once exit has begun, every
// box is answered as if closed unanswered (OK, or No), so the receiver thread
// never waits for a window that is going away.
class Application::ReceiverDialogs final : public Dialogs {
public:
    // Made on the GUI thread.
    explicit ReceiverDialogs(Application& app)
        : mApp(app), mGuiThread(std::this_thread::get_id()) {}

    MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                     bool defaultNo) override {
        {
            const std::lock_guard lock(mMutex);
            if (mCancelled) {
                return Unanswered(buttons);
            }
        }
        if (std::this_thread::get_id() == mGuiThread) {
            // Never wait for ourselves (tests run both shares on one thread).
            return mApp.mGuiDialogs->MsgBox(text, icon, buttons, defaultNo);
        }
        auto request = std::make_shared<Request>();
        mApp.PostToGui([this, request, text, icon, buttons, defaultNo] {
            {
                const std::lock_guard lock(mMutex);
                if (mCancelled) {
                    return;
                }
            }
            const MsgAnswer answer = mApp.mGuiDialogs->MsgBox(text, icon, buttons, defaultNo);
            {
                const std::lock_guard lock(mMutex);
                request->answer = answer;
                request->done = true;
            }
            mAnswered.notify_all();
        });
        std::unique_lock lock(mMutex);
        mAnswered.wait(lock, [&] { return request->done || mCancelled; });
        return request->done ? request->answer : Unanswered(buttons);
    }

    void Cancel() {
        {
            const std::lock_guard lock(mMutex);
            mCancelled = true;
        }
        mAnswered.notify_all();
    }

private:
    struct Request {
        bool done = false;
        MsgAnswer answer = MsgAnswer::Ok;
    };
    static MsgAnswer Unanswered(MsgButtons buttons) {
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }

    Application& mApp;
    const std::thread::id mGuiThread;
    std::mutex mMutex;
    std::condition_variable mAnswered;
    bool mCancelled = false;
};

// --------------------------------------------------------------- receiver

// The receiver thread's share: the transport's protocol, the connect-and-
// start sequence, hotplug handling and the receive loop. What the window
// must show is posted to the GUI thread.
class Application::Receiver final : private ReceiverIndicators,
                                    private ReceiverLinkOps,
                                    private ReceiveLoopEvents {
public:
    Receiver(Application& app, clsHidDirect& hid)
        : mApp(app),
          mHid(hid),
          mLink(hid, *app.mReceiverDialogs, *this),
          mHotplug(*this, app.mVendorID, app.mProductID),
          mLoop(mLink, app.mShared, app.mPorts.injector, app.mPorts.windows, app.mPorts.clock,
                *this) {}

    void ConnectReceiver() override { mLink.ConnectReceiver(mApp.mVendorID, mApp.mProductID); }
    ReceiverHotplug& Hotplug() { return mHotplug; }
    ReceiveLoop& Loop() { return mLoop; }

private:
    // ReceiverIndicators and ReceiverLinkOps
    void SetLamp(bool green) override {
        MainView& view = mApp.mPorts.view;
        mApp.PostToGui([&view, green] { view.SetLamp(green); });
    }
    void SetVersionText(const std::string& text) override {
        MainView& view = mApp.mPorts.view;
        mApp.PostToGui([&view, text] { view.SetVersionText(text); });
    }
    void EnableTimer() override { mApp.mJobs->SetTimerEnabled(true); }
    void DisableTimer() override { mApp.mJobs->SetTimerEnabled(false); }
    bool DeviceCheck(const std::string& path, std::int32_t& VendorID,
                     std::int32_t& ProductID) override {
        return mHid.DeviceCheck(path, VendorID, ProductID);
    }
    std::string ConnectDevicePath() override { return mHid.ConnectDevicePath(); }
    void Destroy() override { mHid.Destroy(); }

    // ReceiveLoopEvents
    void PulseCaptured(const std::string& pulseText) override {
        Application& app = mApp;
        mApp.PostToGui([&app, pulseText] {
            app.mEditor.PulseCaptured(pulseText);
            // Tells scripts driving the window that the store command has a pulse now.
            DebugLog("learning mode: pulse " + pulseText);
        });
    }
    void SlotFired(const std::string& comment) override {
        Application& app = mApp;
        mApp.PostToGui([&app, comment] {
            app.mPorts.view.AppendReceiveLine(comment);
            if (app.mReceiveLog) {
                app.mReceiveLog(comment);
            }
        });
    }

    Application& mApp;
    clsHidDirect& mHid;
    ReceiverLink mLink;
    ReceiverHotplug mHotplug;
    ReceiveLoop mLoop;
};

// ------------------------------------------------------------ application

Application::Application(const AppPorts& ports)
    : mPorts(ports),
      mCapture(ports.view),
      mGuiDialogs(std::make_unique<GuiDialogs>(*this)),
      mReceiverDialogs(std::make_unique<ReceiverDialogs>(*this)),
      mEditor(ports.view, *mGuiDialogs, ports.ini, mShared, mCapture) {
    if (ports.jobs != nullptr) {
        mJobs = ports.jobs;
    } else {
        mOwnThread = std::make_unique<ReceiverThread>([this] { Tick(); }, mPorts.clock);
        mJobs = mOwnThread.get();
    }
}

Application::~Application() {
    *mAlive = false;
    if (mLoaded && !mUnloaded) {
        Unload();
    }
    if (mOwnThread && !mOwnThread->Stop(kStopBound)) {
        // The thread still runs inside a port: it must not find its objects
        // freed. Leave them, and the thread, to the end of the process.
        DebugLog("the receiver thread did not end; leaving it to the end of the program");
        (void)mOwnThread.release();
        (void)mReceiver.release();
        (void)mHidDirect.release();
    }
}

void Application::PostToGui(std::function<void()> work) {
    std::weak_ptr<bool> alive = mAlive;
    mPorts.gui.Post([alive = std::move(alive), work = std::move(work)] {
        const std::shared_ptr<bool> living = alive.lock();
        if (living && *living) {
            work();
        }
    });
}

void Application::BoxOpened() {
    ++mOpenBoxes;
}

void Application::BoxClosed() {
    if (--mOpenBoxes == 0 && mUnloadPending) {
        mUnloadPending = false;
        Unload();
        mPorts.view.Quit();
    }
}

// ---------------------------------------------------------------- start-up

void Application::Load() {
    if (mLoaded) {
        return;
    }
    mLoaded = true;
    MainView& view = mPorts.view;

    // Nothing flashes on screen while loading; the tray menu shows the window.
    view.HideOffScreen();

    mTray1 = std::make_unique<clsTray>(mPorts.tray, static_cast<clsTrayEvents&>(*this));
    mTray1->SetToolTipText(kTrayToolTip);
    mTray1->AddIcon();

    view.LayOutPages();
    view.SelectTab(1);
    mEditor.TabStrip1_Click(1);

    // One read of the file serves every setting of start-up: nothing writes
    // it in between. A missing file reads as empty: every value takes its default.
    const LoadedIni settings = mPorts.ini.Load();
    int firstFree = 1;
    {
        const std::lock_guard lock(mShared.remoteLock);
        firstFree = mShared.remote.Load(settings.file);
    }
    view.SetSlotNumberText(std::to_string(firstFree));

    view.FillTimeLists({kAdjustTimeItems.begin(), kAdjustTimeItems.end()},
                       {kWindowChangeTimeItems.begin(), kWindowChangeTimeItems.end()});
    view.SetAdjustTimeIndex(-1);

    mEditor.cmdClear_Click();

    const int windowChange =
        WindowChangeTimeIndex(IniReadDefault(settings.file, "General", "WindowChangeTime", 0));
    view.SetWindowChangeTimeIndex(windowChange);
    mShared.windowChangeTimeIndex.store(windowChange);

    mVendorID = ReadIdentifier(IniRead(settings.file, "HID", "VendorID", kDefaultVendorID));
    mProductID = ReadIdentifier(IniRead(settings.file, "HID", "ProductID", kDefaultProductID));

    // The transport and its connect-and-start sequence belong to the receiver
    // thread from here on; the window does not wait for them.
    mHidDirect = std::make_unique<clsHidDirect>(mPorts.hid);
    mReceiver = std::make_unique<Receiver>(*this, *mHidDirect);
    mReceiver->Loop().ResetLastMatch();
    if (mOwnThread) {
        mOwnThread->Start();
    }
    Receiver* receiver = mReceiver.get();
    mJobs->Post([receiver] { receiver->ConnectReceiver(); });

    mNotification = std::make_unique<clsDeviceNotification>(
        mPorts.deviceEvents, *mGuiDialogs, static_cast<DeviceNotificationEvents&>(*this));
    mNotification->DoRegisterDeviceInterface();

    // The first resize ends the off-screen parking; the window stays hidden.
    Form_Resize();
}

// -------------------------------------------------------------------- exit

void Application::Unload() {
    if (mUnloaded || !mLoaded) {
        return;
    }
    if (mOpenBoxes > 0) {
        mUnloadPending = true;
        return;
    }
    mUnloaded = true;

    // The receiver thread first: it finishes the transfer or dispatch it is
    // in (a box it waits for counts as unanswered) and ends.
    mReceiverDialogs->Cancel();
    mJobs->SetTimerEnabled(false);
    bool stopped = true;
    if (mOwnThread) {
        stopped = mOwnThread->Stop(kStopBound);
    }

    mTray1.reset();

    const std::string index = std::to_string(mPorts.view.WindowChangeTimeIndex());
    if (!IniWrite(mPorts.ini, "General", "WindowChangeTime", index)) {
        DebugLog("could not write WindowChangeTime to " + mPorts.ini.IniPath());
    }

    mNotification.reset();

    if (stopped) {
        mReceiver.reset();
        mHidDirect.reset();
    }
}

bool Application::ReceiverStopped() const {
    return !mOwnThread || !mOwnThread->Running();
}

void Application::QuitUnlessDeferred() {
    // A deferred unload quits when the open box is answered; quitting now
    // would also end the box's own event loop.
    if (!mUnloadPending) {
        mPorts.view.Quit();
    }
}

void Application::mnuExit_Click() {
    Unload();
    QuitUnlessDeferred();
}

void Application::Form_Closed() {
    Unload();
    QuitUnlessDeferred();
}

void Application::Terminate() {
    Unload();
    mPorts.view.Quit();
}

// ----------------------------------------------------------------- events

void Application::TabSelected(int tab) {
    mEditor.TabStrip1_Click(tab);
    // The mode follows from the tab (run mode on 1, learning mode on 2).
    DebugLog("tab " + std::to_string(tab) + " selected");
}

void Application::WindowChangeTimeSelected(int index) {
    mShared.windowChangeTimeIndex.store(index);
}

void Application::Tick() {
    if (mReceiver) {
        mReceiver->Loop().Timer1_Timer();
    }
}

std::int16_t Application::LastRemote() const {
    return mReceiver ? mReceiver->Loop().LastRemote() : 0;
}

void Application::DeviceEventsReadable() {
    if (!mUnloaded && mNotification) {
        mNotification->DeliverPending();
    }
}

void Application::DeviceArrival(const std::string& DeviceName) {
    Receiver* receiver = mReceiver.get();
    if (receiver != nullptr) {
        mJobs->Post([receiver, DeviceName] { receiver->Hotplug().DeviceArrival(DeviceName); });
    }
}

void Application::DeviceRemoveComplete(const std::string& DeviceName) {
    Receiver* receiver = mReceiver.get();
    if (receiver != nullptr) {
        mJobs->Post(
            [receiver, DeviceName] { receiver->Hotplug().DeviceRemoveComplete(DeviceName); });
    }
}

// ------------------------------------------------------ tray and window

void Application::MouseDown(std::int16_t /*Button*/) {
    if (!mTray1) {
        return;
    }
    // The chosen command runs once the menu has closed and the tray's event
    // has returned: "終了" ends the tray object that is raising this event.
    TrayMenu menu;
    menu.items.push_back({"設定", true, mPorts.view.ConfigChecked(),
                          [this] { PostToGui([this] { mnuConfig_Click(); }); }});
    menu.items.push_back(
        {"終了", false, false, [this] { PostToGui([this] { mnuExit_Click(); }); }});
    menu.defaultIndex = 1;
    mTray1->PopupMenu(menu);
}

void Application::mnuConfig_Click() {
    MainView& view = mPorts.view;
    const bool checked = !view.ConfigChecked();
    view.SetConfigChecked(checked);
    if (checked && !view.IsVisible() && view.IsMinimizedOrMaximized()) {
        // Minimised or maximised before it went back to the tray.
        view.SetNormalState();
    }
    if (checked && !view.IsMinimizedOrMaximized()) {
        PlaceBesideTray();
    }
    view.SetVisible(checked);
}

void Application::WindowFramed() {
    if (mPorts.view.IsVisible() && mPorts.view.ConfigChecked()) {
        PlaceBesideTray();
    }
}

void Application::PlaceBesideTray() {
    std::int32_t x = 0;
    std::int32_t y = 0;
    clsWindowSize(mPorts.geometry).TrueTasktraySide(x, y);
    mPorts.view.MoveTo(x, y);
}

void Application::cmdTray_Click() {
    mPorts.view.SetConfigChecked(false);
    mPorts.view.SetVisible(false);
}

void Application::Form_Resize() {
    MainView& view = mPorts.view;
    if (!mResized) {
        mResized = true;
        view.EndOffScreenParking();
    }
    if (view.IsMinimizedOrMaximized()) {
        // Minimising sends the window back to the tray; the normal state comes
        // back when it is opened again.
        if (view.IsVisible()) {
            view.SetVisible(false);
        }
        view.SetConfigChecked(false);
    }
}

}  // namespace qv
