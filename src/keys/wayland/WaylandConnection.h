#pragma once
// One client connection to the Wayland compositor, owned by one backend and
// used from one thread. Every wait on the compositor is bounded: a
// compositor that hangs must not hang the thread that sends keys.

#include <wayland-client.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv::wayland {

class WaylandConnection {
public:
    struct Global {
        std::uint32_t name = 0;
        std::string interface;
        std::uint32_t version = 0;
    };

    // Connects to `display` (nullptr: $WAYLAND_DISPLAY) and reads the
    // globals; nullptr with `error` set when that fails.
    static std::unique_ptr<WaylandConnection> Connect(const char* display, std::string& error);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* Display() const { return display_; }

    // The first global of this interface; nullptr when the compositor has none.
    const Global* Find(std::string_view interface) const;
    // Binds the global at min(its version, `version`).
    void* Bind(const Global& global, const wl_interface* interface, std::uint32_t version) const;

    // Sends what is queued and waits until the compositor has handled it,
    // dispatching the events that arrive meanwhile. False when `bound` passed
    // first or the connection broke.
    bool Roundtrip(std::chrono::milliseconds bound);
    // Dispatches events until `done()` holds; false when `bound` passed first
    // or the connection broke.
    bool DispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds bound);
    // Dispatches the events that have arrived, without waiting.
    bool DispatchPending();

    // The connection's error text once it broke; empty while it works.
    std::string Error() const;

private:
    explicit WaylandConnection(wl_display* display) : display_(display) {}

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    std::vector<Global> globals_;
};

// A timestamp for input requests: milliseconds on the monotonic clock.
std::uint32_t InputTimestamp();

}  // namespace qv::wayland
