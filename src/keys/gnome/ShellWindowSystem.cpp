#include "keys/gnome/ShellWindowSystem.h"

#include <chrono>
#include <thread>

#include "common/DebugLog.h"
#include "keys/desktop/SessionBus.h"
#include "keys/wayland/XwaylandSync.h"

namespace qv::gnome {
namespace {

// The extension answers within milliseconds; a busy shell gets longer.
constexpr std::chrono::milliseconds kCallBound{1000};
// A requested change to show (about half a second, as on X11). A window
// activated while the overview is shown gets the focus once the overview
// has gone (a quarter of a second's animation): activation waits longer.
constexpr std::chrono::milliseconds kChangeBound{500};
constexpr std::chrono::milliseconds kActivationBound{1000};
constexpr std::chrono::milliseconds kPollInterval{2};

constexpr std::uint32_t kMinimized = 1;
constexpr std::uint32_t kMaximized = 2;
constexpr std::uint32_t kFullscreen = 4;
constexpr std::uint32_t kFocused = 8;
constexpr std::uint32_t kXClient = 16;

desktop::MethodCall Method(const char* member, std::function<int(sd_bus_message*)> arguments = {}) {
    return {kExtensionBusName, kExtensionPath, kExtensionInterface, member, std::move(arguments)};
}

std::vector<desktop::DesktopWindow> Plain(const std::vector<ShellWindow>& windows) {
    std::vector<desktop::DesktopWindow> plain;
    plain.reserve(windows.size());
    for (const ShellWindow& w : windows) {
        plain.push_back(w.window);
    }
    return plain;
}

}  // namespace

ShellWindow ShellWindowFrom(std::uint64_t id, std::string title, std::string wmClass,
                            std::string instance, std::string applicationId, std::uint32_t state) {
    ShellWindow w;
    w.window.id = id;
    w.window.title = std::move(title);
    w.window.appId = std::move(wmClass);
    w.window.instance = std::move(instance);
    w.window.applicationId = std::move(applicationId);
    w.window.minimized = (state & kMinimized) != 0;
    w.window.maximized = (state & kMaximized) != 0;
    w.window.fullscreen = (state & kFullscreen) != 0;
    w.window.active = (state & kFocused) != 0;
    w.xClient = (state & kXClient) != 0;
    return w;
}

ShellWindowSystem::ShellWindowSystem() = default;

std::unique_ptr<ShellWindowSystem> ShellWindowSystem::Open(
    std::string& error, std::shared_ptr<wayland::XwaylandSync> xwayland) {
    std::unique_ptr<ShellWindowSystem> windows(new ShellWindowSystem());
    windows->xwayland_ = std::move(xwayland);
    if (!windows->Start(error)) {
        return nullptr;
    }
    return windows;
}

bool ShellWindowSystem::Start(std::string& error) {
    bus_ = desktop::SessionBus::Open(error);
    if (!bus_) {
        return false;
    }
    if (!bus_->NameHasOwner(kExtensionBusName)) {
        error = std::string("the GNOME Shell extension ") + kExtensionUuid + " is not running";
        return false;
    }
    const int r = sd_bus_match_signal(bus_->Get(), &focusMatch_, kExtensionBusName, kExtensionPath,
                                      kExtensionInterface, "FocusChanged",
                                      &ShellWindowSystem::OnFocusChanged, this);
    if (r < 0) {
        error = "cannot follow the focus: " + desktop::BusErrorText(r);
        return false;
    }
    if (!List()) {
        error = std::string("the GNOME Shell extension ") + kExtensionUuid + " does not answer";
        return false;
    }
    return true;
}

ShellWindowSystem::~ShellWindowSystem() {
    sd_bus_slot_unref(focusMatch_);
}

int ShellWindowSystem::OnFocusChanged(sd_bus_message* message, void* data, sd_bus_error*) {
    std::uint64_t id = 0;
    if (sd_bus_message_read(message, "t", &id) >= 0) {
        static_cast<ShellWindowSystem*>(data)->focused_ = id;
    }
    return 0;
}

std::optional<std::vector<ShellWindow>> ShellWindowSystem::List() {
    // Focus signals that came since the last wait are handled (and freed)
    // here: nothing else reads the connection between operations.
    bus_->ProcessUntil([] { return true; }, std::chrono::milliseconds(0));
    std::string error;
    const desktop::Message reply = bus_->Call(Method("List"), kCallBound, error);
    if (!reply) {
        DebugLog("gnome windows: " + error);
        return std::nullopt;
    }
    sd_bus_message* m = reply.get();
    std::vector<ShellWindow> windows;
    if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "(tssssu)") < 0) {
        DebugLog("gnome windows: the window list does not read");
        return std::nullopt;
    }
    for (;;) {
        std::uint64_t id = 0;
        const char *title = nullptr, *wmClass = nullptr, *instance = nullptr, *appId = nullptr;
        std::uint32_t state = 0;
        const int r =
            sd_bus_message_read(m, "(tssssu)", &id, &title, &wmClass, &instance, &appId, &state);
        if (r < 0) {
            DebugLog("gnome windows: the window list does not read");
            return std::nullopt;
        }
        if (r == 0) {
            break;
        }
        windows.push_back(ShellWindowFrom(id, title, wmClass, instance, appId, state));
    }
    return windows;
}

std::optional<ShellWindow> ShellWindowSystem::Find(Window window) {
    if (!window) {
        return std::nullopt;
    }
    const auto windows = List();
    if (!windows) {
        return std::nullopt;
    }
    for (const ShellWindow& w : *windows) {
        if (w.window.id == window.id) {
            return w;
        }
    }
    return std::nullopt;
}

std::uint64_t ShellWindowSystem::Focused() {
    std::string error;
    const desktop::Message reply = bus_->Call(Method("Focused"), kCallBound, error);
    std::uint64_t id = 0;
    if (!reply || sd_bus_message_read(reply.get(), "t", &id) < 0) {
        DebugLog("gnome windows: " + error);
        return 0;
    }
    return id;
}

Window ShellWindowSystem::FindByClass(std::string_view className) {
    const std::lock_guard lock(mutex_);
    const auto windows = List();
    return windows ? desktop::PickByClass(Plain(*windows), className) : Window{};
}

Window ShellWindowSystem::Foreground() {
    const std::lock_guard lock(mutex_);
    return Window{Focused()};
}

ShowState ShellWindowSystem::GetShowState(Window window) {
    const std::lock_guard lock(mutex_);
    const auto w = Find(window);
    return w ? desktop::StateOf(w->window) : ShowState::Unknown;
}

void ShellWindowSystem::SetShowState(Window window, ShowState state) {
    const std::lock_guard lock(mutex_);
    if (state == ShowState::Unknown) {
        return;
    }
    const auto w = Find(window);
    if (!w || desktop::StateOf(w->window) == state) {
        return;
    }
    const std::uint64_t id = window.id;
    const auto number = static_cast<std::uint32_t>(state);
    std::string error;
    if (!bus_->Call(Method("SetShowState",
                           [id, number](sd_bus_message* m) {
                               return sd_bus_message_append(m, "tu", id, number);
                           }),
                    kCallBound, error)) {
        DebugLog("gnome windows: " + error);
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + kChangeBound;
    for (;;) {
        const auto now = Find(window);
        if (!now || desktop::StateOf(now->window) == state) {
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            DebugLog("gnome windows: window " + std::to_string(id) +
                     " did not change its show state in time");
            return;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool ShellWindowSystem::Activate(Window window) {
    const std::lock_guard lock(mutex_);
    const auto w = Find(window);
    if (!w) {
        return false;
    }
    const std::uint64_t id = window.id;
    std::string error;
    const auto deadline = std::chrono::steady_clock::now() + kActivationBound;
    focused_ = 0;
    const desktop::Message reply = bus_->Call(
        Method("Activate", [id](sd_bus_message* m) { return sd_bus_message_append(m, "t", id); }),
        kCallBound, error);
    int done = 0;
    if (!reply || sd_bus_message_read(reply.get(), "b", &done) < 0 || done == 0) {
        DebugLog("gnome windows: activating window " + std::to_string(id) + ": " +
                 (error.empty() ? std::string("no such window") : error));
        return false;
    }
    // The focus signal says when the shell has moved the focus; a window
    // that had it already sends none, so the answer of Focused() counts too.
    const bool active = focused_ == id || Focused() == id ||
                        bus_->ProcessUntil([this, id] { return focused_ == id; },
                                           std::chrono::duration_cast<std::chrono::milliseconds>(
                                               deadline - std::chrono::steady_clock::now()));
    if (!active && Focused() != id) {
        DebugLog("gnome windows: window " + std::to_string(id) + " did not get the focus in time");
        return false;
    }
    // mutter hands XWayland the X focus over a connection of its own: an X
    // window's keys wait until XWayland has the focus there.
    if (!w->xClient || !xwayland_ || !xwayland_->Connect()) {
        return true;
    }
    const std::string& wmClass = w->window.appId;
    const std::string& instance = w->window.instance;
    for (;;) {
        const std::uint32_t focus = xwayland_->FocusedWindow();
        if (xwayland_->HasClass(focus, wmClass) ||
            (!instance.empty() && xwayland_->HasClass(focus, instance))) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            DebugLog("gnome windows: XWayland did not move its focus in time");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::vector<ListedWindow> ShellWindowSystem::ListWindows() {
    const std::lock_guard lock(mutex_);
    const auto windows = List();
    return windows ? desktop::ListFrom(Plain(*windows)) : std::vector<ListedWindow>{};
}

}  // namespace qv::gnome
