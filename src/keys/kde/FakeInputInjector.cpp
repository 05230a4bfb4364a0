#include "keys/kde/FakeInputInjector.h"

#include <chrono>

#include "common/DebugLog.h"
#include "fake-input-client-protocol.h"
#include "keys/desktop/XwaylandKeyWatch.h"
#include "keys/wayland/WaylandConnection.h"
#include "keys/wayland/XwaylandSync.h"

namespace qv::kde {
namespace {

// How long KWin may take to handle a batch or the start-up requests.
constexpr std::chrono::milliseconds kRoundtripBound{1000};

}  // namespace

FakeInputInjector::FakeInputInjector(std::shared_ptr<wayland::XwaylandSync> xwayland)
    : layout_(std::make_unique<PcEvdevLayout>()),
      held_([this](int virtualKey) { return layout_->KeyFor(virtualKey); }),
      xwayland_(std::move(xwayland)),
      keyWatch_(xwayland_.get()) {}

void FakeInputInjector::UseLayout(std::unique_ptr<EvdevLayout> layout) {
    layout_ = layout ? std::move(layout) : std::make_unique<PcEvdevLayout>();
    DebugLog("keys: KWin fake input presses the keys of " + layout_->Name());
}

std::unique_ptr<FakeInputInjector> FakeInputInjector::Open(
    const char* display, std::string& error, std::shared_ptr<wayland::XwaylandSync> xwayland) {
    std::unique_ptr<FakeInputInjector> injector(new FakeInputInjector(std::move(xwayland)));
    if (!injector->Start(display, error)) {
        return nullptr;
    }
    return injector;
}

bool FakeInputInjector::Start(const char* display, std::string& error) {
    connection_ = wayland::WaylandConnection::Connect(display, error);
    if (!connection_) {
        return false;
    }
    const auto* global = connection_->Find(org_kde_kwin_fake_input_interface.name);
    if (global == nullptr) {
        error = "KWin does not offer fake input (org_kde_kwin_fake_input) to this program";
        return false;
    }
    fakeInput_ = static_cast<org_kde_kwin_fake_input*>(
        connection_->Bind(*global, &org_kde_kwin_fake_input_interface, 4));
    org_kde_kwin_fake_input_authenticate(fakeInput_, "Quorvane",
                                         "types the keys taught to remote control buttons");
    if (!connection_->Roundtrip(kRoundtripBound)) {
        const std::string reason = connection_->Error();
        error = "KWin did not take the fake-input request" +
                (reason.empty() ? std::string(" in time") : ": " + reason);
        return false;
    }
    DebugLog("keys: KWin fake input ready");
    return true;
}

FakeInputInjector::~FakeInputInjector() {
    if (fakeInput_ != nullptr) {
        const auto release = held_.ReleaseAll();
        if (!release.empty()) {
            Press(release);
        }
        org_kde_kwin_fake_input_destroy(fakeInput_);
    }
    if (connection_) {
        wl_display_flush(connection_->Display());
    }
}

bool FakeInputInjector::Press(std::span<const desktop::KeyEvent> events) {
    for (const desktop::KeyEvent& e : events) {
        org_kde_kwin_fake_input_keyboard_key(
            fakeInput_, e.code,
            e.pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    }
    // One round trip per batch: when it returns, KWin has handed every key
    // to the focused window.
    if (!connection_->Roundtrip(kRoundtripBound)) {
        if (!brokenLogged_) {
            brokenLogged_ = true;
            const std::string reason = connection_->Error();
            DebugLog("keys: KWin did not take a batch of keys" +
                     (reason.empty() ? std::string(" in time") : ": " + reason));
        }
        return false;
    }
    return true;
}

void FakeInputInjector::Send(std::span<const KeyStroke> batch) {
    layout_->Refresh();
    const std::vector<desktop::KeyEvent> events = held_.Encode(batch);
    if (events.empty()) {
        return;
    }
    const bool watching = keyWatch_.Arm();
    if (Press(events) && watching) {
        keyWatch_.WaitForKeys(events.size());
    }
}

}  // namespace qv::kde
