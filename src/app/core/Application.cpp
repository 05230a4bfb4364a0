#include "app/core/Application.h"

#include <thread>
#include <utility>

#include "app/core/GuiThread.h"
#include "app/core/MainView.h"
#include "common/DebugLog.h"
#include "config/IniStore.h"
#include "config/Settings.h"
#include "config/TimeLists.h"
#include "device/HidTransport.h"
#include "device/ReceiverHotplug.h"
#include "device/ReceiverLink.h"
#include "shell/WindowPlacement.h"

namespace qv {

// ---------------------------------------------------------------- dialogs

// Message boxes asked for on the GUI thread. An exit asked for while one is
// open waits until it is answered.
class Application::GuiDialogs final : public Dialogs {
public:
    explicit GuiDialogs(Application& app) : app_(app) {}
    void Tell(const std::string& text, MessageKind kind) override {
        app_.BoxOpened();
        app_.ports_.view.Tell(text, kind);
        app_.BoxClosed();
    }
    Answer Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) override {
        app_.BoxOpened();
        const Answer answer = app_.ports_.view.Ask(question, kind, defaultAnswer);
        app_.BoxClosed();
        return answer;
    }

private:
    Application& app_;
};

// Message boxes asked for on the receiver thread: shown on the GUI thread
// while the receiver thread waits for the answer. Once exit has begun, every
// box is answered as if closed unanswered (No to a question), so the
// receiver thread never waits for a window that is going away.
class Application::ReceiverDialogs final : public Dialogs {
public:
    // Made on the GUI thread.
    explicit ReceiverDialogs(Application& app)
        : app_(app), guiThread_(std::this_thread::get_id()) {}

    void Tell(const std::string& text, MessageKind kind) override {
        (void)Show([text, kind](Dialogs& gui) {
            gui.Tell(text, kind);
            return Answer::No;
        });
    }
    Answer Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) override {
        return Show([question, kind, defaultAnswer](Dialogs& gui) {
            return gui.Ask(question, kind, defaultAnswer);
        });
    }

    void Cancel() {
        {
            const std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        answered_.notify_all();
    }

private:
    struct Request {
        bool done = false;
        Answer answer = Answer::No;
    };

    // Runs `box` with the GUI thread's dialogs and waits for its answer; No
    // when it was never shown or closed unanswered.
    Answer Show(std::function<Answer(Dialogs&)> box) {
        {
            const std::lock_guard lock(mutex_);
            if (cancelled_) {
                return Answer::No;
            }
        }
        if (std::this_thread::get_id() == guiThread_) {
            // Never wait for ourselves (tests run both shares on one thread).
            return box(*app_.guiDialogs_);
        }
        auto request = std::make_shared<Request>();
        app_.PostToGui([this, request, box = std::move(box)] {
            {
                const std::lock_guard lock(mutex_);
                if (cancelled_) {
                    return;
                }
            }
            const Answer answer = box(*app_.guiDialogs_);
            {
                const std::lock_guard lock(mutex_);
                request->answer = answer;
                request->done = true;
            }
            answered_.notify_all();
        });
        std::unique_lock lock(mutex_);
        answered_.wait(lock, [&] { return request->done || cancelled_; });
        return request->done ? request->answer : Answer::No;
    }

    Application& app_;
    const std::thread::id guiThread_;
    std::mutex mutex_;
    std::condition_variable answered_;
    bool cancelled_ = false;
};

// --------------------------------------------------------------- receiver

// The receiver thread's share: the transport's protocol, the connect-and-
// start sequence, hotplug handling and the receive loop. What the window
// must show is posted to the GUI thread.
class Application::Receiver final : private ReceiverIndicators,
                                    private ReceiverLinkOps,
                                    private ReceiveLoopEvents {
public:
    Receiver(Application& app, HidTransport& hid)
        : app_(app),
          hid_(hid),
          link_(hid, *app.receiverDialogs_, *this),
          hotplug_(*this, app.vendorId_, app.productId_),
          loop_(link_, app.shared_, app.ports_.injector, app.ports_.windows, app.ports_.clock,
                *this) {}

    void ConnectReceiver() override { link_.ConnectReceiver(app_.vendorId_, app_.productId_); }
    ReceiverHotplug& Hotplug() { return hotplug_; }
    ReceiveLoop& Loop() { return loop_; }

private:
    // ReceiverIndicators and ReceiverLinkOps
    void SetLamp(bool green) override {
        MainView& view = app_.ports_.view;
        app_.PostToGui([&view, green] { view.SetLamp(green); });
    }
    void SetVersionText(const std::string& text) override {
        MainView& view = app_.ports_.view;
        app_.PostToGui([&view, text] { view.SetVersionText(text); });
    }
    void EnableTimer() override { app_.jobs_->SetTimerEnabled(true); }
    void DisableTimer() override { app_.jobs_->SetTimerEnabled(false); }
    bool DeviceCheck(const std::string& path, std::int32_t& vendorId,
                     std::int32_t& productId) override {
        return hid_.DeviceCheck(path, vendorId, productId);
    }
    std::string ConnectDevicePath() override { return hid_.ConnectDevicePath(); }
    void Destroy() override { hid_.Destroy(); }

    // ReceiveLoopEvents
    void PulseCaptured(const std::string& pulseText) override {
        Application& app = app_;
        app_.PostToGui([&app, pulseText] {
            app.editor_.PulseCaptured(pulseText);
            // Tells scripts driving the window that the store command has a pulse now.
            DebugLog("learning mode: pulse " + pulseText);
        });
    }
    void SlotFired(const std::string& comment) override {
        Application& app = app_;
        app_.PostToGui([&app, comment] {
            app.ports_.view.AppendReceiveLine(comment);
            if (app.receiveLog_) {
                app.receiveLog_(comment);
            }
        });
    }

    Application& app_;
    HidTransport& hid_;
    ReceiverLink link_;
    ReceiverHotplug hotplug_;
    ReceiveLoop loop_;
};

// ------------------------------------------------------------ application

Application::Application(const AppPorts& ports)
    : ports_(ports),
      capture_(ports.view),
      guiDialogs_(std::make_unique<GuiDialogs>(*this)),
      receiverDialogs_(std::make_unique<ReceiverDialogs>(*this)),
      editor_(ports.view, *guiDialogs_, ports.ini, shared_, capture_) {
    if (ports.jobs != nullptr) {
        jobs_ = ports.jobs;
    } else {
        ownThread_ = std::make_unique<ReceiverThread>([this] { Tick(); }, ports_.clock);
        jobs_ = ownThread_.get();
    }
}

Application::~Application() {
    *alive_ = false;
    if (loaded_ && !unloaded_) {
        Unload();
    }
    // The device-event source reports from its own thread through this object:
    // stopped here at the latest, before any member goes.
    deviceWatch_.reset();
    if (ownThread_ && !ownThread_->Stop(kStopBound)) {
        // The thread still runs inside a port: it must not find its objects
        // freed. Leave them, and the thread, to the end of the process.
        DebugLog("the receiver thread did not end; leaving it to the end of the program");
        (void)ownThread_.release();
        (void)receiver_.release();
        (void)transport_.release();
    }
}

void Application::PostToGui(std::function<void()> work) {
    std::weak_ptr<bool> alive = alive_;
    ports_.gui.Post([alive = std::move(alive), work = std::move(work)] {
        const std::shared_ptr<bool> living = alive.lock();
        if (living && *living) {
            work();
        }
    });
}

void Application::BoxOpened() {
    ++openBoxes_;
}

void Application::BoxClosed() {
    if (--openBoxes_ == 0 && unloadPending_) {
        unloadPending_ = false;
        Unload();
        ports_.view.Quit();
    }
}

// ---------------------------------------------------------------- start-up

void Application::Load() {
    if (loaded_) {
        return;
    }
    loaded_ = true;
    MainView& view = ports_.view;

    // Nothing flashes on screen while loading; the tray menu shows the window.
    view.HideOffScreen();

    tray_ = std::make_unique<Tray>(ports_.tray, static_cast<TrayEvents&>(*this));
    tray_->SetToolTipText(kTrayToolTip);
    tray_->AddIcon();

    view.LayOutPages();
    view.SelectTab(1);
    editor_.SelectMode(1);

    // One read of the file serves every setting of start-up: nothing writes
    // it in between. A missing file reads as empty: every value takes its default.
    const LoadedIni settings = ports_.ini.Load();
    const int firstFree = shared_.remote.Load(settings.file);
    view.SetSlotNumberText(std::to_string(firstFree));

    view.FillTimeLists({kAdjustTimeItems.begin(), kAdjustTimeItems.end()},
                       {kWindowChangeTimeItems.begin(), kWindowChangeTimeItems.end()});
    view.SetAdjustTimeIndex(-1);

    editor_.ClearKeyList();

    const int windowChange =
        WindowChangeTimeIndex(IniReadDefault(settings.file, "General", "WindowChangeTime", 0));
    view.SetWindowChangeTimeIndex(windowChange);
    shared_.windowChangeTimeIndex.store(windowChange);

    vendorId_ = ReadIdentifier(IniRead(settings.file, "HID", "VendorID", kDefaultVendorId));
    productId_ = ReadIdentifier(IniRead(settings.file, "HID", "ProductID", kDefaultProductId));

    // The transport and its connect-and-start sequence belong to the receiver
    // thread from here on; the window does not wait for them.
    transport_ = std::make_unique<HidTransport>(ports_.hid);
    receiver_ = std::make_unique<Receiver>(*this, *transport_);
    receiver_->Loop().ResetLastMatch();
    if (ownThread_) {
        ownThread_->Start();
    }
    Receiver* receiver = receiver_.get();
    jobs_->Post([receiver] { receiver->ConnectReceiver(); });

    // The source may report on a thread of its own: the changes are read on
    // this one. The watch stops the source before the Application ends.
    deviceWatch_ = std::make_unique<DeviceWatch>(
        ports_.deviceEvents, *guiDialogs_, static_cast<DeviceWatchEvents&>(*this),
        [this] { PostToGui([this] { DeviceEventsReadable(); }); });
    deviceWatch_->Register();

    // The first resize ends the off-screen parking; the window stays hidden.
    WindowStateChanged();
}

// -------------------------------------------------------------------- exit

void Application::Unload() {
    if (unloaded_ || !loaded_) {
        return;
    }
    if (openBoxes_ > 0) {
        unloadPending_ = true;
        return;
    }
    unloaded_ = true;

    // The receiver thread first: it finishes the transfer or dispatch it is
    // in (a box it waits for counts as unanswered) and ends.
    receiverDialogs_->Cancel();
    jobs_->SetTimerEnabled(false);
    bool stopped = true;
    if (ownThread_) {
        stopped = ownThread_->Stop(kStopBound);
    }

    tray_.reset();

    const std::string index = std::to_string(ports_.view.WindowChangeTimeIndex());
    if (!IniWrite(ports_.ini, "General", "WindowChangeTime", index)) {
        DebugLog("could not write WindowChangeTime to " + ports_.ini.IniPath());
    }

    deviceWatch_.reset();

    if (stopped) {
        receiver_.reset();
        transport_.reset();
    }
}

bool Application::ReceiverStopped() const {
    return !ownThread_ || !ownThread_->Running();
}

void Application::QuitUnlessDeferred() {
    // A deferred unload quits when the open box is answered; quitting now
    // would also end the box's own event loop.
    if (!unloadPending_) {
        ports_.view.Quit();
    }
}

void Application::Exit() {
    Unload();
    QuitUnlessDeferred();
}

void Application::WindowClosed() {
    Unload();
    QuitUnlessDeferred();
}

void Application::Terminate() {
    Unload();
    ports_.view.Quit();
}

// ----------------------------------------------------------------- events

void Application::TabSelected(int tab) {
    editor_.SelectMode(tab);
    // The mode follows from the tab (run mode on 1, learning mode on 2).
    DebugLog("tab " + std::to_string(tab) + " selected");
}

void Application::WindowChangeTimeSelected(int index) {
    shared_.windowChangeTimeIndex.store(index);
}

void Application::Tick() {
    if (receiver_) {
        receiver_->Loop().Tick();
    }
}

std::int16_t Application::LastRemote() const {
    return receiver_ ? receiver_->Loop().LastRemote() : 0;
}

void Application::DeviceEventsReadable() {
    if (!unloaded_ && deviceWatch_) {
        deviceWatch_->DeliverPending();
    }
}

void Application::DeviceArrived(const std::string& path) {
    Receiver* receiver = receiver_.get();
    if (receiver != nullptr) {
        jobs_->Post([receiver, path] { receiver->Hotplug().DeviceArrived(path); });
    }
}

void Application::DeviceRemoved(const std::string& path) {
    Receiver* receiver = receiver_.get();
    if (receiver != nullptr) {
        jobs_->Post([receiver, path] { receiver->Hotplug().DeviceRemoved(path); });
    }
}

// ------------------------------------------------------ tray and window

void Application::MouseDown(std::int16_t /*button*/) {
    if (!tray_) {
        return;
    }
    // The chosen command runs once the menu has closed and the tray's event
    // has returned: "終了" ends the tray object that is raising this event.
    TrayMenu menu;
    menu.items.push_back({"設定", true, ports_.view.ConfigChecked(),
                          [this] { PostToGui([this] { ToggleWindow(); }); }});
    menu.items.push_back({"終了", false, false, [this] { PostToGui([this] { Exit(); }); }});
    menu.defaultIndex = 1;
    tray_->PopupMenu(menu);
}

void Application::ToggleWindow() {
    MainView& view = ports_.view;
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
    if (ports_.view.IsVisible() && ports_.view.ConfigChecked()) {
        PlaceBesideTray();
    }
}

void Application::PlaceBesideTray() {
    const Point place = WindowPlacement(ports_.geometry).BesideTray();
    ports_.view.MoveTo(place.x, place.y);
}

void Application::HideToTray() {
    ports_.view.SetConfigChecked(false);
    ports_.view.SetVisible(false);
}

void Application::WindowStateChanged() {
    MainView& view = ports_.view;
    if (!resized_) {
        resized_ = true;
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
