#pragma once
// Window activation on wlroots compositors other than sway, through the wlr
// foreign-toplevel protocol (zwlr_foreign_toplevel_manager_v1), the one
// taskbars use: the compositor lists its toplevels with their app_id (X
// clients under XWayland: their class) and state, and takes requests to
// activate, minimise or maximise them. Window ids are numbers this backend
// gives the toplevels as they are announced.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "keys/WindowSystem.h"

struct wl_seat;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace qv::wayland {

class WaylandConnection;
class XwaylandSync;

class ForeignToplevelWindowSystem final : public WindowSystem {
public:
    // Connects to `display` (nullptr: $WAYLAND_DISPLAY); nullptr with
    // `error` set when the compositor does not offer the protocol.
    // `xwayland`, when given, is the session's XWayland watch shared with its
    // injector (XwaylandSync.h).
    static std::unique_ptr<ForeignToplevelWindowSystem> Open(
        const char* display, std::string& error, std::shared_ptr<XwaylandSync> xwayland = nullptr);
    ~ForeignToplevelWindowSystem() override;

    Window FindByClass(std::string_view className) override;
    Window Foreground() override;
    ShowState GetShowState(Window window) override;
    void SetShowState(Window window, ShowState state) override;
    bool Activate(Window window) override;
    // The toplevels with their titles and app_ids: the active one first, then
    // the others by when they were last seen active, then the newest first.
    std::vector<ListedWindow> ListWindows() override;

    // One toplevel as the compositor last described it (the state of its
    // last "done"); public for the protocol's event handlers.
    struct Toplevel {
        std::uint64_t id = 0;
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        std::string appId, pendingAppId;
        std::string title, pendingTitle;
        bool activated = false, minimized = false, maximized = false, fullscreen = false;
        bool pendingActivated = false, pendingMinimized = false, pendingMaximized = false,
             pendingFullscreen = false;
        std::uint64_t lastActivated = 0;  // order of the last activation seen
        bool closed = false;
        ForeignToplevelWindowSystem* owner = nullptr;
    };
    void Add(zwlr_foreign_toplevel_handle_v1* handle);
    void Done(Toplevel& toplevel);
    void Closed(Toplevel& toplevel);

private:
    ForeignToplevelWindowSystem();
    bool Start(const char* display, std::string& error);
    // Takes in what the compositor has said so far (one bounded round trip).
    void Refresh();
    Toplevel* Find(Window window);

    std::unique_ptr<WaylandConnection> connection_;
    wl_seat* seat_ = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    std::vector<std::unique_ptr<Toplevel>> toplevels_;
    std::uint64_t nextId_ = 1;
    std::uint64_t activations_ = 0;
    std::shared_ptr<XwaylandSync> xwayland_;
};

}  // namespace qv::wayland
