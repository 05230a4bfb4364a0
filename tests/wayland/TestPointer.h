#pragma once
// A pointer of the test's own on sway's seat (wlroots' virtual-pointer
// protocol, zwlr_virtual_pointer_manager_v1): a headless session has no
// pointer device, so without it the seat offers clients no pointer and
// sway's cursor commands reach no window. It moves to a place of the output
// and clicks the left button there. Used inside with-sway.sh's session.
//
// The protocol is in no Debian package; its few requests used here are
// described by hand below (their order is their opcode).

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <chrono>
#include <memory>

#include "keys/wayland/WaylandConnection.h"

namespace qv::wayland::test {

namespace pointer_protocol {

inline const wl_interface* const kNoTypes[] = {nullptr, nullptr, nullptr, nullptr, nullptr};
enum PointerRequest : std::uint32_t { Motion, MotionAbsolute, Button, Axis, Frame };
inline const wl_message kPointerRequests[] = {
    {"motion", "uff", const_cast<const wl_interface**>(kNoTypes)},
    {"motion_absolute", "uuuuu", const_cast<const wl_interface**>(kNoTypes)},
    {"button", "uuu", const_cast<const wl_interface**>(kNoTypes)},
    {"axis", "uuf", const_cast<const wl_interface**>(kNoTypes)},
    {"frame", "", const_cast<const wl_interface**>(kNoTypes)},
};
inline const wl_interface kPointer = {"zwlr_virtual_pointer_v1", 1, 5,
                                      kPointerRequests,          0, nullptr};

inline const wl_interface* const kCreateTypes[] = {&wl_seat_interface, &kPointer};
inline const wl_message kManagerRequests[] = {
    {"create_virtual_pointer", "?on", const_cast<const wl_interface**>(kCreateTypes)}};
inline const wl_interface kManager = {
    "zwlr_virtual_pointer_manager_v1", 1, 1, kManagerRequests, 0, nullptr};

}  // namespace pointer_protocol

class TestPointer {
public:
    // `width` and `height`: the output's size, the frame of absolute moves.
    TestPointer(std::uint32_t width, std::uint32_t height) : width_(width), height_(height) {
        std::string error;
        connection_ = WaylandConnection::Connect(nullptr, error);
        if (!connection_) {
            ADD_FAILURE() << "no compositor: " << error;
            return;
        }
        const auto* managerGlobal = connection_->Find(pointer_protocol::kManager.name);
        const auto* seatGlobal = connection_->Find(wl_seat_interface.name);
        if (managerGlobal == nullptr || seatGlobal == nullptr) {
            ADD_FAILURE() << "the compositor offers no virtual pointer";
            return;
        }
        seat_ = static_cast<wl_seat*>(connection_->Bind(*seatGlobal, &wl_seat_interface, 1));
        manager_ = static_cast<wl_proxy*>(
            connection_->Bind(*managerGlobal, &pointer_protocol::kManager, 1));
        pointer_ =
            wl_proxy_marshal_flags(manager_, 0, &pointer_protocol::kPointer, 1, 0, seat_, nullptr);
        ready_ = connection_->Roundtrip(std::chrono::seconds(5));
        EXPECT_TRUE(ready_) << "the compositor did not take the pointer";
    }
    ~TestPointer() {
        // Ending the connection removes the pointer.
        if (pointer_ != nullptr) {
            wl_proxy_destroy(pointer_);
        }
        if (manager_ != nullptr) {
            wl_proxy_destroy(manager_);
        }
        if (seat_ != nullptr) {
            wl_seat_destroy(seat_);
        }
    }
    TestPointer(const TestPointer&) = delete;
    TestPointer& operator=(const TestPointer&) = delete;

    bool Ready() const { return ready_; }

    // Moves to (x, y) of the output and clicks the left button there; waits
    // until the compositor has handed the click on.
    void Click(std::uint32_t x, std::uint32_t y) {
        ASSERT_TRUE(ready_);
        using namespace pointer_protocol;
        const std::uint32_t time = InputTimestamp();
        wl_proxy_marshal_flags(pointer_, MotionAbsolute, nullptr, 1, 0, time, x, y, width_,
                               height_);
        wl_proxy_marshal_flags(pointer_, Frame, nullptr, 1, 0);
        wl_proxy_marshal_flags(pointer_, Button, nullptr, 1, 0, time, BTN_LEFT,
                               WL_POINTER_BUTTON_STATE_PRESSED);
        wl_proxy_marshal_flags(pointer_, Frame, nullptr, 1, 0);
        wl_proxy_marshal_flags(pointer_, Button, nullptr, 1, 0, time, BTN_LEFT,
                               WL_POINTER_BUTTON_STATE_RELEASED);
        wl_proxy_marshal_flags(pointer_, Frame, nullptr, 1, 0);
        EXPECT_TRUE(connection_->Roundtrip(std::chrono::seconds(5)));
    }

private:
    std::uint32_t width_;
    std::uint32_t height_;
    std::unique_ptr<WaylandConnection> connection_;
    wl_seat* seat_ = nullptr;
    wl_proxy* manager_ = nullptr;
    wl_proxy* pointer_ = nullptr;
    bool ready_ = false;
};

}  // namespace qv::wayland::test
