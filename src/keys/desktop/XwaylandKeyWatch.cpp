#include "keys/desktop/XwaylandKeyWatch.h"

#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "common/Deadline.h"
#include "common/DebugLog.h"
#include "keys/wayland/XwaylandSync.h"

namespace qv::desktop {
namespace {

// XWayland reads a batch within a few milliseconds; this bounds a busy one.
constexpr std::chrono::milliseconds kKeysBound{500};

}  // namespace

XwaylandKeyWatch::~XwaylandKeyWatch() {
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
    }
}

bool XwaylandKeyWatch::Connect() {
    if (tried_) {
        return connection_ != nullptr;
    }
    tried_ = true;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) != 0) {
        xcb_disconnect(c);
        DebugLog("keys: cannot watch XWayland's keys: no X connection");
        return false;
    }
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_input_id);
    std::unique_ptr<xcb_input_xi_query_version_reply_t, decltype(&std::free)> version(
        ext != nullptr && ext->present
            ? xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr)
            : nullptr,
        &std::free);
    if (!version || version->major_version < 2) {
        xcb_disconnect(c);
        DebugLog("keys: cannot watch XWayland's keys: no XInput 2");
        return false;
    }
    opcode_ = ext->major_opcode;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_input_xi_select_events_checked(c, root, 1, &selection.head));
    if (error != nullptr) {
        std::free(error);
        xcb_disconnect(c);
        DebugLog("keys: cannot watch XWayland's keys: XISelectEvents refused");
        return false;
    }
    connection_ = c;
    return true;
}

std::size_t XwaylandKeyWatch::Drain() {
    std::size_t keys = 0;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
            const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
            if (ge->extension == opcode_ && (ge->event_type == XCB_INPUT_RAW_KEY_PRESS ||
                                             ge->event_type == XCB_INPUT_RAW_KEY_RELEASE)) {
                ++keys;
            }
        }
        std::free(event);
    }
    return keys;
}

bool XwaylandKeyWatch::Arm() {
    armed_ = false;
    // Only while an X window has the focus: the keys then go to XWayland.
    if (xwayland_ == nullptr || !xwayland_->Connected() || xwayland_->FocusedWindow() == 0) {
        return false;
    }
    if (!Connect()) {
        return false;
    }
    Drain();
    armed_ = true;
    return true;
}

bool XwaylandKeyWatch::WaitForKeys(std::size_t keys) {
    if (!armed_) {
        return true;
    }
    armed_ = false;
    const auto deadline = std::chrono::steady_clock::now() + kKeysBound;
    std::size_t seen = 0;
    for (;;) {
        seen += Drain();
        if (seen >= keys) {
            return true;
        }
        if (xcb_connection_has_error(connection_) != 0) {
            return false;
        }
        const int left = RemainingMs(deadline);
        if (left == 0) {
            DebugLog("keys: XWayland took in " + std::to_string(seen) + " of " +
                     std::to_string(keys) + " keys in time");
            return false;
        }
        xcb_flush(connection_);
        pollfd pfd{xcb_get_file_descriptor(connection_), POLLIN, 0};
        poll(&pfd, 1, left);
    }
}

}  // namespace qv::desktop
