#include "keys/wayland/SwayWindowSystem.h"

#include <chrono>

#include "common/DebugLog.h"

namespace qv::wayland {
namespace {

// How long a change may take to show in the tree. sway's tree shows a new
// focus by the time the command's reply arrives (under 3 ms here); the bound
// is for a loaded machine.
constexpr std::chrono::milliseconds kWaitBound{500};
constexpr std::chrono::milliseconds kPollInterval{1};

ShowState StateOf(const SwayView& view) {
    if (view.inScratchpad) {
        return ShowState::Minimized;
    }
    return view.fullscreen ? ShowState::Maximized : ShowState::Normal;
}

}  // namespace

std::unique_ptr<SwayWindowSystem> SwayWindowSystem::Open(std::string& error,
                                                         std::shared_ptr<XwaylandSync> xwayland) {
    auto ipc = SwayIpc::Connect({}, error);
    if (!ipc) {
        return nullptr;
    }
    auto clock = std::make_unique<SteadyClock>();
    auto windows = std::make_unique<SwayWindowSystem>(std::move(ipc), *clock, std::move(xwayland));
    windows->ownedClock_ = std::move(clock);
    return windows;
}

SwayWindowSystem::SwayWindowSystem(std::unique_ptr<SwayIpcPort> ipc, Clock& clock,
                                   std::shared_ptr<XwaylandSync> xwayland)
    : ipc_(std::move(ipc)), clock_(&clock), xwayland_(std::move(xwayland)) {}

std::optional<std::vector<SwayView>> SwayWindowSystem::Views() {
    const auto reply = ipc_->Request(kSwayGetTree, {});
    if (!reply) {
        return std::nullopt;
    }
    return ParseSwayTree(*reply);
}

std::optional<SwayView> SwayWindowSystem::View(Window window) {
    if (!window) {
        return std::nullopt;
    }
    const auto views = Views();
    if (!views) {
        return std::nullopt;
    }
    for (const SwayView& view : *views) {
        if (view.id == window.id) {
            return view;
        }
    }
    return std::nullopt;
}

bool SwayWindowSystem::Command(Window window, const std::string& command) {
    const std::string text = "[con_id=" + std::to_string(window.id) + "] " + command;
    const auto reply = ipc_->Request(kSwayRunCommand, text);
    if (!reply) {
        return false;
    }
    std::string error;
    if (!SwayCommandSucceeded(*reply, error)) {
        DebugLog("sway: " + text + ": " + error);
        return false;
    }
    return true;
}

template <typename Done>
bool SwayWindowSystem::WaitFor(Done done) {
    const auto deadline = clock_->Now() + kWaitBound;
    for (;;) {
        const auto views = Views();
        if (views && done(*views)) {
            return true;
        }
        if (clock_->Now() >= deadline) {
            return false;
        }
        clock_->Sleep(kPollInterval);
    }
}

Window SwayWindowSystem::FindByClass(std::string_view className) {
    const auto views = Views();
    if (!views) {
        return {};
    }
    // The views come most recently focused first: the first match is the
    // one the user had in front last.
    for (const SwayView& view : *views) {
        if (MatchesClass(view, className)) {
            return Window{view.id};
        }
    }
    return {};
}

Window SwayWindowSystem::Foreground() {
    const auto views = Views();
    if (!views) {
        return {};
    }
    for (const SwayView& view : *views) {
        if (view.focused) {
            return Window{view.id};
        }
    }
    return {};  // an empty workspace has the focus
}

ShowState SwayWindowSystem::GetShowState(Window window) {
    const auto view = View(window);
    return view ? StateOf(*view) : ShowState::Unknown;
}

void SwayWindowSystem::SetShowState(Window window, ShowState state) {
    if (state == ShowState::Unknown) {
        return;
    }
    const auto view = View(window);
    if (!view || StateOf(*view) == state) {
        return;
    }
    bool sent = true;
    if (view->inScratchpad && state != ShowState::Minimized) {
        sent = Command(window, "scratchpad show");
    }
    if (sent && view->fullscreen && state != ShowState::Maximized) {
        sent = Command(window, "fullscreen disable");
    }
    if (sent && state == ShowState::Maximized) {
        sent = Command(window, "fullscreen enable");
    } else if (sent && state == ShowState::Minimized) {
        sent = Command(window, "move scratchpad");
    }
    if (!sent) {
        return;
    }
    const bool done = WaitFor([&](const std::vector<SwayView>& views) {
        for (const SwayView& v : views) {
            if (v.id == window.id) {
                return StateOf(v) == state;
            }
        }
        return true;  // the window is gone: nothing more to wait for
    });
    if (!done) {
        DebugLog("sway: container " + std::to_string(window.id) +
                 " did not change its show state in time");
    }
}

bool SwayWindowSystem::Activate(Window window) {
    if (!window || !Command(window, "focus")) {
        return false;
    }
    std::uint32_t xWindow = 0;
    const auto deadline = clock_->Now() + kWaitBound;
    const bool active = WaitFor([&](const std::vector<SwayView>& views) {
        for (const SwayView& v : views) {
            if (v.focused) {
                xWindow = v.xWindow;
                return v.id == window.id;
            }
        }
        return false;
    });
    if (!active) {
        DebugLog("sway: container " + std::to_string(window.id) +
                 " did not take the focus in time");
        return false;
    }
    // sway's window manager hands XWayland the X focus over a connection of
    // its own: keys for an X client wait until XWayland has it, and keys for
    // a Wayland window until XWayland has let go of it.
    if (xwayland_ && (xWindow != 0 ? xwayland_->Connect() : xwayland_->Connected())) {
        while (xwayland_->FocusedWindow() != xWindow) {
            if (clock_->Now() >= deadline) {
                DebugLog("sway: XWayland did not move its focus in time");
                return false;
            }
            clock_->Sleep(kPollInterval);
        }
    }
    return true;
}

std::vector<ListedWindow> SwayWindowSystem::ListWindows() {
    const auto views = Views();
    if (!views) {
        return {};
    }
    std::vector<ListedWindow> listed;
    for (const SwayView& view : *views) {
        const std::string& name = !view.appId.empty()    ? view.appId
                                  : !view.xClass.empty() ? view.xClass
                                                         : view.xInstance;
        if (!name.empty()) {
            listed.push_back({Window{view.id}, view.title, name});
        }
    }
    return listed;
}

}  // namespace qv::wayland
