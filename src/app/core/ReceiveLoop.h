#pragma once
// The receive loop: one tick polls the receiver once; in learning mode a code
// becomes pulse text, in run mode it is matched against the remote table and
// the first matching slot fires (repeat suppression, receive-list line, target
// window, key list, focus back). Runs on the receiver thread; what the window
// must show goes out through ReceiveLoopEvents.

#include <cstdint>
#include <string>

#include "common/Clock.h"
#include "config/RemoteTable.h"

namespace qv {

class InputInjector;
class ReceiverLink;
class WindowSystem;
struct SharedState;

class ReceiveLoopEvents {
public:
    virtual ~ReceiveLoopEvents() = default;
    // Learning mode captured a code: the new pulse text (e.g. "05,120,07").
    virtual void PulseCaptured(const std::string& pulseText) = 0;
    // A slot fired: its comment goes into the receive list. Reported before
    // the slot's keys are sent.
    virtual void SlotFired(const std::string& comment) = 0;
};

class ReceiveLoop {
public:
    // None owned; all must outlive the loop.
    ReceiveLoop(ReceiverLink& link, SharedState& shared, InputInjector& injector,
                WindowSystem& windows, Clock& clock, ReceiveLoopEvents& events);

    // One tick: polls the receiver once and handles what it reports.
    void Tick();
    // No slot fired yet, as at start-up: the first firing of any slot is never suppressed.
    void ResetLastMatch();

    // The slot of the last accepted match, 0 for none.
    std::int16_t LastRemote() const { return lastRemote_; }

    // The pulse text of a code: each value in decimal with at least two digits.
    static std::string PulseText(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2);

private:
    void Capture(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2);
    void Match(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2);
    void Dispatch(const RemoteEntry& entry);
    std::int16_t WindowChangeDelay() const;
    std::int64_t NowSeconds();

    ReceiverLink& link_;
    SharedState& shared_;
    InputInjector& injector_;
    WindowSystem& windows_;
    Clock& clock_;
    ReceiveLoopEvents& events_;
    std::int16_t lastRemote_ = 0;
    std::int64_t lastTime_ = 0;  // whole seconds of the monotonic clock
};

}  // namespace qv
