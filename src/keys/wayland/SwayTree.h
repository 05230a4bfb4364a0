#pragma once
// Reading sway's window tree (the get_tree reply): the windows ("views")
// with what the window system needs of them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::wayland {

struct SwayView {
    std::uint64_t id = 0;       // the container id (con_id)
    std::string title;          // the window's title (the container's name)
    std::string appId;          // native Wayland windows
    std::string xClass;         // X clients under XWayland: WM_CLASS class
    std::string xInstance;      // and instance
    std::uint32_t xWindow = 0;  // the X window of an X client, 0 for a Wayland window
    bool focused = false;
    bool inScratchpad = false;  // hidden in the scratchpad (sway has no minimised state)
    bool fullscreen = false;
};

// The views of a get_tree reply, most recently focused first, hidden
// scratchpad windows included; empty for a reply that is no tree.
std::vector<SwayView> ParseSwayTree(std::string_view json);

// Whether the view's app_id, X class or X instance is `className`, ASCII
// case ignored (as window class names are compared everywhere).
bool MatchesClass(const SwayView& view, std::string_view className);

// Whether every command of a run_command reply succeeded; the first error
// text goes to `error` otherwise.
bool SwayCommandSucceeded(std::string_view json, std::string& error);

}  // namespace qv::wayland
