#pragma once
// Window switching on KDE Plasma (KWin on Wayland) through Plasma's window
// management protocol (org_kde_plasma_window_management), the one Plasma's
// task manager uses: KWin lists every window with its app_id (X windows:
// their class, lower-cased) and resource name (X windows: their instance),
// its state and the stacking order, and takes requests to activate,
// minimise, restore or maximise one. KWin offers the protocol only to
// programs whose desktop entry asks for it, like fake input. Window ids are
// numbers this backend gives the windows as KWin announces them.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "keys/WindowSystem.h"
#include "keys/desktop/DesktopWindows.h"

struct org_kde_plasma_window_management;
struct org_kde_plasma_window;

namespace qv::wayland {
class WaylandConnection;
class XwaylandSync;
}  // namespace qv::wayland

namespace qv::kde {

class PlasmaWindowSystem final : public WindowSystem {
public:
    // Connects to `display` (nullptr: $WAYLAND_DISPLAY); nullptr with
    // `error` set when KWin does not offer the protocol to this program.
    // `xwayland`, when given, is the session's XWayland watch shared with
    // its injector.
    static std::unique_ptr<PlasmaWindowSystem> Open(
        const char* display, std::string& error,
        std::shared_ptr<wayland::XwaylandSync> xwayland = nullptr);
    ~PlasmaWindowSystem() override;

    // Each may be called from any thread; one runs at a time.
    Window FindByClass(std::string_view className) override;
    Window Foreground() override;
    ShowState GetShowState(Window window) override;
    void SetShowState(Window window, ShowState state) override;
    bool Activate(Window window) override;
    std::vector<ListedWindow> ListWindows() override;

    // One window as KWin last described it; public for the protocol's
    // event handlers.
    struct Entry {
        desktop::DesktopWindow window;
        std::string uuid;
        org_kde_plasma_window* handle = nullptr;
        bool described = false;  // its initial state has arrived
        bool gone = false;
        std::optional<bool> xWindow;  // an X client under XWayland, once asked
        PlasmaWindowSystem* owner = nullptr;
    };
    void Announce(const char* uuid);
    void SetStackingOrder(const char* uuids);

private:
    PlasmaWindowSystem();
    bool Start(const char* display, std::string& error);
    // Takes in what KWin has said so far (one bounded round trip).
    void Refresh();
    Entry* Find(Window window);
    std::vector<desktop::DesktopWindow> FrontFirst() const;
    // Dispatches until `done()` holds for the window's entry (a gone window
    // ends the wait); false when the bound passed first.
    template <typename Done>
    bool WaitFor(std::uint64_t id, Done done);

    std::mutex mutex_;
    std::unique_ptr<wayland::WaylandConnection> connection_;
    org_kde_plasma_window_management* management_ = nullptr;
    std::uint32_t version_ = 0;
    std::vector<std::unique_ptr<Entry>> entries_;
    std::vector<std::string> stackingOrder_;  // uuids, bottom to top
    std::uint64_t nextId_ = 1;
    std::shared_ptr<wayland::XwaylandSync> xwayland_;
};

}  // namespace qv::kde
