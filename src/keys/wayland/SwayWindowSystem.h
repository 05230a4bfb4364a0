#pragma once
// Window activation on sway through its IPC: windows are sway's containers
// (their con_id is the window id), found by app_id (native Wayland windows)
// or X class and instance (X clients under XWayland). sway has no minimised
// state; a window hidden in the scratchpad counts as minimised: shown for
// the keys, and put back when the show state is handed back. A fullscreen
// window counts as maximised.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "keys/WindowSystem.h"
#include "keys/wayland/SwayIpc.h"
#include "keys/wayland/SwayTree.h"
#include "keys/wayland/XwaylandSync.h"

namespace qv::wayland {

class SwayWindowSystem final : public WindowSystem {
public:
    // Connects to the sway of $SWAYSOCK; nullptr with `error` set when
    // there is none. `xwayland`, when given, is the session's XWayland watch
    // shared with its injector (XwaylandSync.h).
    static std::unique_ptr<SwayWindowSystem> Open(std::string& error,
                                                  std::shared_ptr<XwaylandSync> xwayland = nullptr);
    // Over any IPC (tests); `clock` paces the bounded waits and must outlive it.
    SwayWindowSystem(std::unique_ptr<SwayIpcPort> ipc, Clock& clock,
                     std::shared_ptr<XwaylandSync> xwayland = nullptr);

    Window FindByClass(std::string_view className) override;
    Window Foreground() override;
    ShowState GetShowState(Window window) override;
    void SetShowState(Window window, ShowState state) override;
    bool Activate(Window window) override;
    // The views, most recently focused first (scratchpad windows included),
    // each with its title and its app_id (X clients: their class, or their
    // instance when they have no class).
    std::vector<ListedWindow> ListWindows() override;

private:
    std::optional<std::vector<SwayView>> Views();
    std::optional<SwayView> View(Window window);
    bool Command(Window window, const std::string& command);
    // Reads the tree until `done(views)` holds, about half a second at most.
    template <typename Done>
    bool WaitFor(Done done);

    std::unique_ptr<SwayIpcPort> ipc_;
    std::unique_ptr<Clock> ownedClock_;
    Clock* clock_;
    std::shared_ptr<XwaylandSync> xwayland_;
};

}  // namespace qv::wayland
