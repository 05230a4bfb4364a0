#include "app/core/ReceiveLoop.h"

#include <array>
#include <cstdio>
#include <mutex>

#include "app/core/SharedState.h"
#include "config/Settings.h"
#include "config/TimeLists.h"
#include "device/ReceiverProtocol.h"
#include "keys/ActivateWindow.h"
#include "keys/KeySender.h"
#include "keys/WindowSystem.h"

namespace qv {

ReceiveLoop::ReceiveLoop(ReceiverLink& link, SharedState& shared, InputInjector& injector,
                         WindowSystem& windows, Clock& clock, ReceiveLoopEvents& events)
    : mLink(link),
      mShared(shared),
      mInjector(injector),
      mWindows(windows),
      mClock(clock),
      mEvents(events) {}

std::int64_t ReceiveLoop::NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(mClock.Now().time_since_epoch())
        .count();
}

void ReceiveLoop::ResetLastMatch() {
    mLastRemote = 0;
    mLastTime = NowSeconds();
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
    if (!mLink.SendCommand(kPoll, status, data)) {
        return;
    }
    if (status != kStatusOk || data[0] == 0) {
        return;
    }
    // The mode is the tab selected now, looked up at every tick.
    if (mShared.selectedTab.load() == 1) {
        Match(data[0], data[1], data[2]);
    } else {
        Capture(data[0], data[1], data[2]);
    }
}

void ReceiveLoop::Capture(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) {
    mEvents.PulseCaptured(PulseText(v0, v1, v2));
}

void ReceiveLoop::Match(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) {
    RemoteEntry entry;
    int n = 0;
    {
        // The store command may change the table meanwhile: match and copy
        // the slot under the lock, dispatch from the copy.
        const std::lock_guard lock(mShared.remoteLock);
        n = mShared.remote.Match(v0, v1, v2);
        if (n == 0) {
            return;
        }
        entry = mShared.remote[n];
    }
    const std::int64_t now = NowSeconds();
    if (n == mLastRemote && now - mLastTime < entry.AdjustTime) {
        return;  // a held button repeats only after its suppression time
    }
    mLastRemote = static_cast<std::int16_t>(n);
    mLastTime = now;

    mEvents.SlotFired(entry.Comment);
    Dispatch(entry);
}

std::int16_t ReceiveLoop::WindowChangeDelay() const {
    const int index = mShared.windowChangeTimeIndex.load();
    return static_cast<std::int16_t>(WindowChangeDelayMs(index < 0 ? 0 : index));
}

void ReceiveLoop::Dispatch(const RemoteEntry& entry) {
    if (entry.WindowName.empty()) {
        SendKeyList(mInjector, entry.KeyList);
        return;
    }
    const Window previous = mWindows.Foreground();
    const Window target = mWindows.FindByClass(entry.WindowName);
    const ShowState state = ActivateWindow(mWindows, mClock, target, WindowChangeDelay());
    SendKeyList(mInjector, entry.KeyList);
    // The target goes back to how it was (minimised again, say); a state that
    // could not be read changes nothing.
    if (target && state != ShowState::Unknown) {
        mWindows.SetShowState(target, state);
    }
    ActivateWindow(mWindows, mClock, previous, WindowChangeDelay());
}

}  // namespace qv
