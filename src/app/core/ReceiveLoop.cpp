#include "app/core/ReceiveLoop.h"

#include <array>
#include <cstdio>
#include <optional>

#include "app/core/SharedState.h"
#include "config/Settings.h"
#include "config/TimeLists.h"
#include "device/ReceiverLink.h"
#include "keys/ActivateWindow.h"
#include "keys/KeySender.h"
#include "keys/WindowSystem.h"

namespace qv {

ReceiveLoop::ReceiveLoop(ReceiverLink& link, SharedState& shared, InputInjector& injector,
                         WindowSystem& windows, Clock& clock, ReceiveLoopEvents& events)
    : link_(link),
      shared_(shared),
      injector_(injector),
      windows_(windows),
      clock_(clock),
      events_(events) {}

std::int64_t ReceiveLoop::NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(clock_.Now().time_since_epoch())
        .count();
}

void ReceiveLoop::ResetLastMatch() {
    lastRemote_ = 0;
    lastTime_ = NowSeconds();
}

std::string ReceiveLoop::PulseText(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u,%02u,%02u", static_cast<unsigned>(v0),
                  static_cast<unsigned>(v1), static_cast<unsigned>(v2));
    return text;
}

void ReceiveLoop::Tick() {
    std::uint8_t status = 0;
    std::array<std::uint8_t, 16> data{};
    if (!link_.SendCommand(kPoll, status, data)) {
        return;
    }
    if (status != kStatusOk || data[0] == 0) {
        return;
    }
    // The mode is the tab selected now, looked up at every tick.
    if (shared_.selectedTab.load() == 1) {
        Match(data[0], data[1], data[2]);
    } else {
        Capture(data[0], data[1], data[2]);
    }
}

void ReceiveLoop::Capture(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) {
    events_.PulseCaptured(PulseText(v0, v1, v2));
}

void ReceiveLoop::Match(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) {
    // The store command may change the table meanwhile: the keys go out
    // from the copy of the slot that matched.
    const std::optional<MatchedSlot> matched = shared_.remote.Match(v0, v1, v2);
    if (!matched) {
        return;
    }
    const int n = matched->number;
    const RemoteEntry& entry = matched->entry;
    const std::int64_t now = NowSeconds();
    if (n == lastRemote_ && now - lastTime_ < entry.adjustTime) {
        return;  // a held button repeats only after its suppression time
    }
    lastRemote_ = static_cast<std::int16_t>(n);
    lastTime_ = now;

    events_.SlotFired(entry.comment);
    Dispatch(entry);
}

std::int16_t ReceiveLoop::WindowChangeDelay() const {
    const int index = shared_.windowChangeTimeIndex.load();
    return static_cast<std::int16_t>(WindowChangeDelayMs(index < 0 ? 0 : index));
}

void ReceiveLoop::Dispatch(const RemoteEntry& entry) {
    if (entry.windowName.empty()) {
        SendKeys(injector_, entry.keyList.Strokes());
        return;
    }
    const Window previous = windows_.Foreground();
    const Window target = windows_.FindByClass(entry.windowName);
    const ShowState state = ActivateWindow(windows_, clock_, target, WindowChangeDelay());
    SendKeys(injector_, entry.keyList.Strokes());
    // The target goes back to how it was (minimised again, say); a state that
    // could not be read changes nothing.
    if (target && state != ShowState::Unknown) {
        windows_.SetShowState(target, state);
    }
    ActivateWindow(windows_, clock_, previous, WindowChangeDelay());
}

}  // namespace qv
