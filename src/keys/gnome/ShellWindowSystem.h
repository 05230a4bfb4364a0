#pragma once
// Window switching on GNOME through the program's own GNOME Shell extension
// (data/gnome-shell), which offers the shell's window list on the session
// bus: windows with their WM_CLASS class (a Wayland window's app_id),
// instance and GTK application id, activation (restoring a minimised
// window), the show state, the window with the focus and a signal when the
// focus moves. GNOME has no public interface for this outside the shell.

#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "keys/WindowSystem.h"
#include "keys/desktop/DesktopWindows.h"
#include "keys/gnome/ShellExtension.h"

namespace qv::wayland {
class XwaylandSync;
}

namespace qv::desktop {
class SessionBus;
}

namespace qv::gnome {

// A window as the extension lists it; `xClient` for X clients under XWayland.
struct ShellWindow {
    desktop::DesktopWindow window;
    bool xClient = false;
};

// The extension's state bits as a window's flags.
ShellWindow ShellWindowFrom(std::uint64_t id, std::string title, std::string wmClass,
                            std::string instance, std::string applicationId, std::uint32_t state);

class ShellWindowSystem final : public WindowSystem {
public:
    // Connects to the session bus; nullptr with `error` set when the
    // extension is not there (not installed, not enabled, or installed
    // after the shell started: GNOME finds it at the next login).
    static std::unique_ptr<ShellWindowSystem> Open(
        std::string& error, std::shared_ptr<wayland::XwaylandSync> xwayland = nullptr);
    ~ShellWindowSystem() override;

    // Each may be called from any thread; one runs at a time.
    Window FindByClass(std::string_view className) override;
    Window Foreground() override;
    ShowState GetShowState(Window window) override;
    void SetShowState(Window window, ShowState state) override;
    bool Activate(Window window) override;
    std::vector<ListedWindow> ListWindows() override;

private:
    ShellWindowSystem();
    bool Start(std::string& error);
    // The windows, front-most first; nullopt when the extension did not answer.
    std::optional<std::vector<ShellWindow>> List();
    std::optional<ShellWindow> Find(Window window);
    std::uint64_t Focused();
    static int OnFocusChanged(sd_bus_message* message, void* data, sd_bus_error* error);

    std::mutex mutex_;
    std::unique_ptr<desktop::SessionBus> bus_;
    sd_bus_slot* focusMatch_ = nullptr;
    std::uint64_t focused_ = 0;  // as the last focus signal said
    std::shared_ptr<wayland::XwaylandSync> xwayland_;
};

}  // namespace qv::gnome
