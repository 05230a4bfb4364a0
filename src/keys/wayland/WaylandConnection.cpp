#include "keys/wayland/WaylandConnection.h"

#include <poll.h>

#include <cerrno>
#include <cstring>

#include "common/Deadline.h"
#include "common/ErrnoText.h"

namespace qv::wayland {
namespace {

void OnGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    static_cast<std::vector<WaylandConnection::Global>*>(data)->push_back(
        {name, interface, version});
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

void OnSyncDone(void* data, wl_callback*, std::uint32_t) {
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener kSyncListener = {OnSyncDone};

// How long connecting may take to learn the globals.
constexpr std::chrono::milliseconds kConnectBound{2000};

}  // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::Connect(const char* display,
                                                              std::string& error) {
    wl_display* d = wl_display_connect(display);
    if (d == nullptr) {
        error = std::string("wl_display_connect: ") + ErrnoText(errno);
        return nullptr;
    }
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(d));
    connection->registry_ = wl_display_get_registry(d);
    wl_registry_add_listener(connection->registry_, &kRegistryListener, &connection->globals_);
    if (!connection->Roundtrip(kConnectBound)) {
        error = "the compositor did not list its globals: " + connection->Error();
        return nullptr;
    }
    return connection;
}

WaylandConnection::~WaylandConnection() {
    if (registry_ != nullptr) {
        wl_registry_destroy(registry_);
    }
    wl_display_disconnect(display_);
}

const WaylandConnection::Global* WaylandConnection::Find(std::string_view interface) const {
    for (const Global& global : globals_) {
        if (global.interface == interface) {
            return &global;
        }
    }
    return nullptr;
}

void* WaylandConnection::Bind(const Global& global, const wl_interface* interface,
                              std::uint32_t version) const {
    return wl_registry_bind(registry_, global.name, interface,
                            global.version < version ? global.version : version);
}

bool WaylandConnection::Roundtrip(std::chrono::milliseconds bound) {
    bool done = false;
    wl_callback* callback = wl_display_sync(display_);
    if (callback == nullptr) {
        return false;
    }
    wl_callback_add_listener(callback, &kSyncListener, &done);
    const bool ok = DispatchUntil([&done] { return done; }, bound);
    // A late answer must not write to `done` once it is gone.
    wl_callback_destroy(callback);
    return ok;
}

bool WaylandConnection::DispatchPending() {
    return wl_display_dispatch_pending(display_) >= 0;
}

bool WaylandConnection::DispatchUntil(const std::function<bool()>& done,
                                      std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    const int fd = wl_display_get_fd(display_);
    for (;;) {
        while (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0) {
                return false;
            }
        }
        if (done()) {
            wl_display_cancel_read(display_);
            return true;
        }
        // A flush that the socket cannot take at once completes as it drains.
        bool writing = false;
        if (wl_display_flush(display_) < 0) {
            if (errno != EAGAIN) {
                wl_display_cancel_read(display_);
                return false;
            }
            writing = true;
        }
        const int left = RemainingMs(deadline);
        if (left == 0) {
            wl_display_cancel_read(display_);
            return false;
        }
        pollfd pfd{fd, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
        const int ready = poll(&pfd, 1, left);
        if (ready < 0 && errno != EINTR) {
            wl_display_cancel_read(display_);
            return false;
        }
        if (ready <= 0 || (pfd.revents & POLLIN) == 0) {
            wl_display_cancel_read(display_);
            if ((pfd.revents & (POLLHUP | POLLERR)) != 0) {
                return false;
            }
            continue;
        }
        if (wl_display_read_events(display_) < 0 || wl_display_dispatch_pending(display_) < 0) {
            return false;
        }
    }
}

std::string WaylandConnection::Error() const {
    const int err = wl_display_get_error(display_);
    if (err == 0) {
        return {};
    }
    if (err == EPROTO) {
        const wl_interface* interface = nullptr;
        std::uint32_t id = 0;
        const std::uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
        return std::string("protocol error ") + std::to_string(code) + " on " +
               (interface != nullptr ? interface->name : "?");
    }
    return ErrnoText(err);
}

std::uint32_t InputTimestamp() {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

}  // namespace qv::wayland
