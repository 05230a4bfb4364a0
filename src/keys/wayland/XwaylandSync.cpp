#include "keys/wayland/XwaylandSync.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

#include "common/AsciiCase.h"
#include "common/DebugLog.h"

namespace qv::wayland {
namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Own(T* reply) {
    return Reply<T>(reply, &std::free);
}

}  // namespace

XwaylandSync::~XwaylandSync() {
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
    }
}

bool XwaylandSync::Connect() {
    if (connection_ != nullptr) {
        return true;
    }
    if (tried_ || std::getenv("DISPLAY") == nullptr) {
        return false;
    }
    tried_ = true;
    int screen = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(c) != 0) {
        DebugLog("XWayland: cannot connect to $DISPLAY");
        xcb_disconnect(c);
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen && it.rem > 0; ++i) {
        xcb_screen_next(&it);
    }
    if (it.rem == 0) {
        xcb_disconnect(c);
        return false;
    }
    root_ = it.data->root;
    connection_ = c;
    return true;
}

std::uint32_t XwaylandSync::FocusedWindow() {
    if (connection_ == nullptr) {
        return 0;
    }
    auto reply =
        Own(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    if (!reply || reply->focus == XCB_NONE || reply->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
        reply->focus == root_) {
        return 0;
    }
    return reply->focus;
}

bool XwaylandSync::HasClass(std::uint32_t window, std::string_view name) {
    if (connection_ == nullptr || window == 0) {
        return false;
    }
    auto reply = Own(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
        nullptr));
    if (!reply || reply->format != 8) {
        return false;
    }
    // "instance\0class\0"
    const std::string_view value(
        static_cast<const char*>(xcb_get_property_value(reply.get())),
        static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    const std::size_t split = value.find('\0');
    const std::string_view instance = value.substr(0, split);
    std::string_view cls =
        split == std::string_view::npos ? std::string_view() : value.substr(split + 1);
    if (const std::size_t end = cls.find('\0'); end != std::string_view::npos) {
        cls = cls.substr(0, end);
    }
    return EqualsIgnoringAsciiCase(instance, name) || EqualsIgnoringAsciiCase(cls, name);
}

bool XwaylandSync::AnyWindowOfClass(std::string_view name) {
    if (connection_ == nullptr) {
        return false;
    }
    auto tree = Own(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
    if (!tree) {
        return false;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
        if (HasClass(children[i], name)) {
            return true;
        }
    }
    return false;
}

std::optional<std::uint16_t> XwaylandSync::ModifierState() {
    if (connection_ == nullptr) {
        return std::nullopt;
    }
    auto reply =
        Own(xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr));
    if (!reply) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(reply->mask & 0xFF);
}

}  // namespace qv::wayland
