#include "keys/gnome/RemoteDesktopInjector.h"

#include <chrono>
#include <thread>

#include "common/DebugLog.h"
#include "keys/desktop/SessionBus.h"
#include "keys/gnome/ShellExtension.h"
#include "keys/wayland/XwaylandSync.h"

namespace qv::gnome {
namespace {

constexpr const char* kService = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* kPath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char* kSessionInterface = "org.gnome.Mutter.RemoteDesktop.Session";

// How long mutter may take over the set-up calls and over a batch.
constexpr std::chrono::milliseconds kCallBound{2000};

// mutter adds its virtual keyboard to the seat at the session's first key
// event, and the focused window learns of it 10-40 ms later: keys before
// that are lost (on a seat without another keyboard, no burst of an
// unprimed session arrived whole here). So the session is primed once with
// a key that types nothing (KEY_UNKNOWN has no keysym in any layout), and
// given this long before its first real key.
constexpr std::uint16_t kPrimeKey = 240;
constexpr std::chrono::milliseconds kPrimePause{100};

}  // namespace

RemoteDesktopInjector::RemoteDesktopInjector(std::shared_ptr<wayland::XwaylandSync> xwayland)
    : layout_(std::make_unique<PcEvdevLayout>()),
      held_([this](int virtualKey) { return layout_->KeyFor(virtualKey); }),
      xwayland_(std::move(xwayland)),
      keyWatch_(xwayland_.get()) {}

void RemoteDesktopInjector::UseLayout(std::unique_ptr<EvdevLayout> layout) {
    layout_ = layout ? std::move(layout) : std::make_unique<PcEvdevLayout>();
    DebugLog("keys: mutter's remote desktop presses the keys of " + layout_->Name());
}

std::unique_ptr<RemoteDesktopInjector> RemoteDesktopInjector::Open(
    std::string& error, std::shared_ptr<wayland::XwaylandSync> xwayland) {
    std::unique_ptr<RemoteDesktopInjector> injector(new RemoteDesktopInjector(std::move(xwayland)));
    if (!injector->Start(error)) {
        return nullptr;
    }
    return injector;
}

bool RemoteDesktopInjector::Start(std::string& error) {
    bus_ = desktop::SessionBus::Open(error);
    if (!bus_) {
        return false;
    }
    std::string why;
    const desktop::Message created =
        bus_->Call({kService, kPath, kService, "CreateSession", {}}, kCallBound, why);
    const char* path = nullptr;
    if (!created || sd_bus_message_read(created.get(), "o", &path) < 0 || path == nullptr) {
        error =
            "mutter's remote desktop (org.gnome.Mutter.RemoteDesktop) did not open a session: " +
            why;
        return false;
    }
    session_ = path;
    if (!bus_->Call({kService, session_.c_str(), kSessionInterface, "Start", {}}, kCallBound,
                    why)) {
        error = "mutter's remote-desktop session did not start: " + why;
        return false;
    }
    const desktop::KeyEvent prime[] = {{kPrimeKey, true}, {kPrimeKey, false}};
    if (!Press(prime)) {
        error = "mutter's remote-desktop session does not take keys";
        return false;
    }
    std::this_thread::sleep_for(kPrimePause);
    DebugLog("keys: mutter remote-desktop session " + session_ + " ready");
    return true;
}

RemoteDesktopInjector::~RemoteDesktopInjector() {
    if (!bus_ || session_.empty()) {
        return;
    }
    const auto release = held_.ReleaseAll();
    if (!release.empty()) {
        Press(release);
    }
    std::string why;
    bus_->Call({kService, session_.c_str(), kSessionInterface, "Stop", {}}, kCallBound, why);
}

bool RemoteDesktopInjector::Press(std::span<const desktop::KeyEvent> events) {
    desktop::PipelinedCalls calls(*bus_);
    for (const desktop::KeyEvent& e : events) {
        const std::uint32_t code = e.code;
        const int pressed = e.pressed ? 1 : 0;
        calls.Add({kService, session_.c_str(), kSessionInterface, "NotifyKeyboardKeycode",
                   [code, pressed](sd_bus_message* m) {
                       return sd_bus_message_append(m, "ub", code, pressed);
                   }});
    }
    const bool answered = calls.Wait(kCallBound);
    if ((!answered || calls.Failed() > 0) && !brokenLogged_) {
        brokenLogged_ = true;
        DebugLog("keys: mutter did not take a batch of keys: " +
                 (answered ? std::to_string(calls.Failed()) +
                                 " refused, the first: " + calls.FirstError()
                           : std::string("no answer in time")));
    }
    return answered && calls.Failed() == 0;
}

void RemoteDesktopInjector::Send(std::span<const KeyStroke> batch) {
    layout_->Refresh();
    const std::vector<desktop::KeyEvent> events = held_.Encode(batch);
    if (events.empty()) {
        return;
    }
    const bool watching = keyWatch_.Arm();
    if (!Press(events)) {
        return;
    }
    // mutter answers a key's call once it has queued the key; the shell
    // hands it to the focused window later. Without this wait a window
    // switch right after the batch took the last ~80 of 255 keys along.
    WaitForShell();
    if (watching) {
        keyWatch_.WaitForKeys(events.size());
    }
}

void RemoteDesktopInjector::WaitForShell() {
    if (!bus_->NameHasOwner(kExtensionBusName)) {
        // Without the extension nothing switches windows: the keys reach the
        // window in front whenever the shell hands them on.
        return;
    }
    std::string why;
    if (!bus_->Call({kExtensionBusName, kExtensionPath, kExtensionInterface, "Sync", {}},
                    kCallBound, why) &&
        !syncLogged_) {
        syncLogged_ = true;
        DebugLog("keys: the GNOME Shell extension did not confirm the keys: " + why);
    }
}

}  // namespace qv::gnome
