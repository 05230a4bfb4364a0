#include "keys/wayland/SwayTree.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "common/AsciiCase.h"

namespace qv::wayland {
namespace {

using nlohmann::json;

// The name of sway's hidden workspace that holds the scratchpad.
constexpr std::string_view kScratchpadWorkspace = "__i3_scratch";

std::string StringField(const json& node, const char* key) {
    const auto it = node.find(key);
    return it != node.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::uint64_t IdField(const json& node) {
    const auto it = node.find("id");
    return it != node.end() && it->is_number_unsigned() ? it->get<std::uint64_t>() : 0;
}

bool IsView(const json& node) {
    const std::string type = StringField(node, "type");
    return (type == "con" || type == "floating_con") && node.contains("shell");
}

// Children (tiled and floating) in the node's focus order, most recent
// first; children the focus list leaves out follow in tree order.
std::vector<const json*> ChildrenInFocusOrder(const json& node) {
    std::vector<const json*> children;
    for (const char* key : {"nodes", "floating_nodes"}) {
        const auto it = node.find(key);
        if (it != node.end() && it->is_array()) {
            for (const json& child : *it) {
                if (child.is_object()) {
                    children.push_back(&child);
                }
            }
        }
    }
    std::vector<std::uint64_t> focus;
    if (const auto it = node.find("focus"); it != node.end() && it->is_array()) {
        for (const json& id : *it) {
            if (id.is_number_unsigned()) {
                focus.push_back(id.get<std::uint64_t>());
            }
        }
    }
    const auto rank = [&focus](const json* child) {
        const auto pos = std::find(focus.begin(), focus.end(), IdField(*child));
        return static_cast<std::size_t>(pos - focus.begin());
    };
    std::stable_sort(children.begin(), children.end(),
                     [&rank](const json* a, const json* b) { return rank(a) < rank(b); });
    return children;
}

void Collect(const json& node, bool inScratchpad, int depth, std::vector<SwayView>& views) {
    // sway's trees are a few levels deep; the bound keeps a malformed reply
    // from exhausting the stack.
    if (depth > 64) {
        return;
    }
    if (StringField(node, "type") == "workspace" &&
        StringField(node, "name") == kScratchpadWorkspace) {
        inScratchpad = true;
    }
    if (IsView(node)) {
        SwayView view;
        view.id = IdField(node);
        view.title = StringField(node, "name");
        view.appId = StringField(node, "app_id");
        if (const auto it = node.find("window"); StringField(node, "shell") == "xwayland" &&
                                                 it != node.end() && it->is_number_unsigned()) {
            view.xWindow = it->get<std::uint32_t>();
        }
        if (const auto it = node.find("window_properties"); it != node.end() && it->is_object()) {
            view.xClass = StringField(*it, "class");
            view.xInstance = StringField(*it, "instance");
        }
        const auto focused = node.find("focused");
        view.focused = focused != node.end() && focused->is_boolean() && focused->get<bool>();
        view.inScratchpad = inScratchpad;
        const auto mode = node.find("fullscreen_mode");
        view.fullscreen = mode != node.end() && mode->is_number_integer() && mode->get<int>() != 0;
        if (view.id != 0) {
            views.push_back(std::move(view));
        }
    }
    for (const json* child : ChildrenInFocusOrder(node)) {
        Collect(*child, inScratchpad, depth + 1, views);
    }
}

}  // namespace

std::vector<SwayView> ParseSwayTree(std::string_view text) {
    const json tree = json::parse(text, nullptr, /*allow_exceptions=*/false);
    std::vector<SwayView> views;
    if (tree.is_object()) {
        Collect(tree, false, 0, views);
    }
    return views;
}

bool MatchesClass(const SwayView& view, std::string_view className) {
    if (className.empty()) {
        return false;
    }
    return EqualsIgnoringAsciiCase(view.appId, className) ||
           EqualsIgnoringAsciiCase(view.xClass, className) ||
           EqualsIgnoringAsciiCase(view.xInstance, className);
}

bool SwayCommandSucceeded(std::string_view text, std::string& error) {
    const json reply = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!reply.is_array() || reply.empty()) {
        error = "unexpected reply: " + std::string(text.substr(0, 200));
        return false;
    }
    for (const json& result : reply) {
        const auto success = result.find("success");
        if (!result.is_object() || success == result.end() || !success->is_boolean() ||
            !success->get<bool>()) {
            error = result.is_object() ? StringField(result, "error") : std::string();
            if (error.empty()) {
                error = "the command failed";
            }
            return false;
        }
    }
    return true;
}

}  // namespace qv::wayland
