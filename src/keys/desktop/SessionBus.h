#pragma once
// One connection to the user's session bus (sd-bus), owned by one backend
// and used from one thread at a time. Every wait on the bus is bounded: a
// desktop that hangs must not hang the thread that sends keys.

#include <systemd/sd-bus.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv::desktop {

struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

// A method to call: where it lives, and how its arguments are written.
struct MethodCall {
    const char* destination = nullptr;
    const char* path = nullptr;
    const char* interface = nullptr;
    const char* member = nullptr;
    // Appends the arguments (sd_bus_message_append); a negative errno fails the call.
    std::function<int(sd_bus_message*)> arguments;
};

class SessionBus {
public:
    // Connects to $DBUS_SESSION_BUS_ADDRESS (or the user's bus in
    // $XDG_RUNTIME_DIR); nullptr with `error` set when that fails.
    static std::unique_ptr<SessionBus> Open(std::string& error);
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    sd_bus* Get() const { return bus_; }
    std::string UniqueName() const;

    // Calls the method and waits for its reply; nullptr with `error` set
    // (the D-Bus error's name and text, or why there was none) when it
    // failed or `bound` passed.
    Message Call(const MethodCall& call, std::chrono::milliseconds bound, std::string& error);
    // Whether a connection owns `name` now; false when the bus does not say.
    bool NameHasOwner(const char* name);
    // Handles what arrives (replies, signals, calls to objects of ours)
    // until `done()` holds; false when `bound` passed first or the
    // connection broke.
    bool ProcessUntil(const std::function<bool()>& done, std::chrono::milliseconds bound);

    // Creates the message of a call (tests and pipelined callers); nullptr
    // with `error` set when the arguments do not fit.
    Message NewCall(const MethodCall& call, std::string& error);

private:
    explicit SessionBus(sd_bus* bus) : bus_(bus) {}
    sd_bus* bus_ = nullptr;
};

// Calls sent one after another without waiting, their replies collected
// together: a desktop serves them in order, and the round trips overlap.
class PipelinedCalls {
public:
    explicit PipelinedCalls(SessionBus& bus) : bus_(bus) {}
    ~PipelinedCalls();
    PipelinedCalls(const PipelinedCalls&) = delete;
    PipelinedCalls& operator=(const PipelinedCalls&) = delete;

    // Sends the call; false (and counted as failed) when it cannot be sent.
    bool Add(const MethodCall& call);
    // Waits until every call has its reply; false when `bound` passed
    // first. Failed() and FirstError() then tell how the calls ended.
    bool Wait(std::chrono::milliseconds bound);
    int Failed() const { return failed_; }
    const std::string& FirstError() const { return firstError_; }

private:
    static int OnReply(sd_bus_message* reply, void* data, sd_bus_error* error);
    void Fail(const std::string& why);

    SessionBus& bus_;
    std::vector<sd_bus_slot*> slots_;
    int outstanding_ = 0;
    int failed_ = 0;
    std::string firstError_;
};

// The text of a negative errno result of an sd-bus call.
std::string BusErrorText(int result);

}  // namespace qv::desktop
