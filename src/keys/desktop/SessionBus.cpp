#include "keys/desktop/SessionBus.h"

#include "common/DebugLog.h"
#include "common/ErrnoText.h"

namespace qv::desktop {
namespace {

std::uint64_t Micros(std::chrono::milliseconds bound) {
    return static_cast<std::uint64_t>(bound.count()) * 1000u;
}

std::string ErrorOf(const sd_bus_error& error, int result) {
    if (sd_bus_error_is_set(&error)) {
        return std::string(error.name) + ": " + (error.message != nullptr ? error.message : "");
    }
    return BusErrorText(result);
}

}  // namespace

std::string BusErrorText(int result) {
    return ErrnoText(result < 0 ? -result : result);
}

std::unique_ptr<SessionBus> SessionBus::Open(std::string& error) {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_user(&bus);
    if (r < 0) {
        error = "cannot connect to the session bus: " + BusErrorText(r);
        return nullptr;
    }
    return std::unique_ptr<SessionBus>(new SessionBus(bus));
}

SessionBus::~SessionBus() {
    sd_bus_flush_close_unref(bus_);
}

std::string SessionBus::UniqueName() const {
    const char* name = nullptr;
    if (sd_bus_get_unique_name(bus_, &name) < 0 || name == nullptr) {
        return {};
    }
    return name;
}

Message SessionBus::NewCall(const MethodCall& call, std::string& error) {
    sd_bus_message* m = nullptr;
    int r = sd_bus_message_new_method_call(bus_, &m, call.destination, call.path, call.interface,
                                           call.member);
    if (r < 0) {
        error = std::string("cannot make a call of ") + call.member + ": " + BusErrorText(r);
        return nullptr;
    }
    Message message(m);
    if (call.arguments) {
        r = call.arguments(m);
        if (r < 0) {
            error = std::string("cannot write the arguments of ") + call.member + ": " +
                    BusErrorText(r);
            return nullptr;
        }
    }
    return message;
}

Message SessionBus::Call(const MethodCall& call, std::chrono::milliseconds bound,
                         std::string& error) {
    Message message = NewCall(call, error);
    if (!message) {
        return nullptr;
    }
    sd_bus_error busError = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call(bus_, message.get(), Micros(bound), &busError, &reply);
    if (r < 0) {
        error = std::string(call.member) + ": " + ErrorOf(busError, r);
        sd_bus_error_free(&busError);
        return nullptr;
    }
    sd_bus_error_free(&busError);
    return Message(reply);
}

bool SessionBus::NameHasOwner(const char* name) {
    std::string error;
    const Message reply = Call(
        {"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
         [name](sd_bus_message* m) { return sd_bus_message_append(m, "s", name); }},
        std::chrono::milliseconds(2000), error);
    int has = 0;
    if (!reply || sd_bus_message_read(reply.get(), "b", &has) < 0) {
        DebugLog("session bus: NameHasOwner(" + std::string(name) + "): " + error);
        return false;
    }
    return has != 0;
}

bool SessionBus::ProcessUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        // Everything that has arrived first: done() may depend on it.
        int r = 0;
        do {
            r = sd_bus_process(bus_, nullptr);
        } while (r > 0);
        if (r < 0) {
            return false;
        }
        if (done()) {
            return true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
        r = sd_bus_wait(bus_, static_cast<std::uint64_t>(left.count()) + 1);
        if (r < 0 && r != -EINTR) {
            return false;
        }
    }
}

PipelinedCalls::~PipelinedCalls() {
    // Replies that come later must not reach this object.
    for (sd_bus_slot* slot : slots_) {
        sd_bus_slot_unref(slot);
    }
}

void PipelinedCalls::Fail(const std::string& why) {
    if (failed_++ == 0) {
        firstError_ = why;
    }
}

bool PipelinedCalls::Add(const MethodCall& call) {
    std::string error;
    Message message = bus_.NewCall(call, error);
    if (!message) {
        Fail(error);
        return false;
    }
    sd_bus_slot* slot = nullptr;
    // The bus's default timeout stays (0); Wait bounds the whole set.
    const int r =
        sd_bus_call_async(bus_.Get(), &slot, message.get(), &PipelinedCalls::OnReply, this, 0);
    if (r < 0) {
        Fail(std::string(call.member) + ": " + BusErrorText(r));
        return false;
    }
    slots_.push_back(slot);
    ++outstanding_;
    return true;
}

int PipelinedCalls::OnReply(sd_bus_message* reply, void* data, sd_bus_error*) {
    auto* self = static_cast<PipelinedCalls*>(data);
    --self->outstanding_;
    if (sd_bus_message_is_method_error(reply, nullptr)) {
        const sd_bus_error* e = sd_bus_message_get_error(reply);
        self->Fail(e != nullptr ? std::string(e->name) + ": " + (e->message ? e->message : "")
                                : std::string("error reply"));
    }
    return 0;
}

bool PipelinedCalls::Wait(std::chrono::milliseconds bound) {
    const int r = sd_bus_flush(bus_.Get());
    if (r < 0) {
        Fail("sd_bus_flush: " + BusErrorText(r));
        return false;
    }
    return bus_.ProcessUntil([this] { return outstanding_ <= 0; }, bound);
}

}  // namespace qv::desktop
