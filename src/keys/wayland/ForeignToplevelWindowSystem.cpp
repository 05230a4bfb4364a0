#include "keys/wayland/ForeignToplevelWindowSystem.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/AsciiCase.h"
#include "common/DebugLog.h"
#include "keys/wayland/WaylandConnection.h"
#include "keys/wayland/XwaylandSync.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace qv::wayland {
namespace {

using Toplevel = ForeignToplevelWindowSystem::Toplevel;

// Bounds for the compositor's answers: a round trip, and a requested change
// to show in the toplevel's state (about half a second, as on X11).
constexpr std::chrono::milliseconds kRoundtripBound{1000};
constexpr std::chrono::milliseconds kChangeBound{500};

void OnTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
    static_cast<Toplevel*>(data)->pendingTitle = title != nullptr ? title : "";
}

void OnAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
    static_cast<Toplevel*>(data)->pendingAppId = appId != nullptr ? appId : "";
}

void OnOutputEnter(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
void OnOutputLeave(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}

void OnState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
    auto& t = *static_cast<Toplevel*>(data);
    t.pendingActivated = t.pendingMinimized = t.pendingMaximized = t.pendingFullscreen = false;
    const auto* begin = static_cast<const std::uint32_t*>(states->data);
    const auto* end = begin + states->size / sizeof(std::uint32_t);
    for (const std::uint32_t* s = begin; s != end; ++s) {
        switch (*s) {
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED:
                t.pendingActivated = true;
                break;
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED:
                t.pendingMinimized = true;
                break;
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MAXIMIZED:
                t.pendingMaximized = true;
                break;
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_FULLSCREEN:
                t.pendingFullscreen = true;
                break;
            default:
                break;
        }
    }
}

void OnDone(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto& t = *static_cast<Toplevel*>(data);
    t.owner->Done(t);
}

void OnClosed(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto& t = *static_cast<Toplevel*>(data);
    t.owner->Closed(t);
}

void OnParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

const zwlr_foreign_toplevel_handle_v1_listener kHandleListener = {
    OnTitle, OnAppId, OnOutputEnter, OnOutputLeave, OnState, OnDone, OnClosed, OnParent,
};

void OnToplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                zwlr_foreign_toplevel_handle_v1* handle) {
    static_cast<ForeignToplevelWindowSystem*>(data)->Add(handle);
}

void OnFinished(void*, zwlr_foreign_toplevel_manager_v1*) {}

const zwlr_foreign_toplevel_manager_v1_listener kManagerListener = {OnToplevel, OnFinished};

ShowState StateOf(const Toplevel& t) {
    if (t.minimized) {
        return ShowState::Minimized;
    }
    return (t.maximized || t.fullscreen) ? ShowState::Maximized : ShowState::Normal;
}

}  // namespace

ForeignToplevelWindowSystem::ForeignToplevelWindowSystem() = default;

std::unique_ptr<ForeignToplevelWindowSystem> ForeignToplevelWindowSystem::Open(
    const char* display, std::string& error, std::shared_ptr<XwaylandSync> xwayland) {
    std::unique_ptr<ForeignToplevelWindowSystem> windows(new ForeignToplevelWindowSystem());
    windows->xwayland_ = std::move(xwayland);
    if (!windows->Start(display, error)) {
        return nullptr;
    }
    return windows;
}

bool ForeignToplevelWindowSystem::Start(const char* display, std::string& error) {
    connection_ = WaylandConnection::Connect(display, error);
    if (!connection_) {
        return false;
    }
    const auto* managerGlobal = connection_->Find(zwlr_foreign_toplevel_manager_v1_interface.name);
    const auto* seatGlobal = connection_->Find(wl_seat_interface.name);
    if (managerGlobal == nullptr || seatGlobal == nullptr) {
        error = "the compositor offers no window list (zwlr_foreign_toplevel_manager_v1)";
        return false;
    }
    seat_ = static_cast<wl_seat*>(connection_->Bind(*seatGlobal, &wl_seat_interface, 1));
    manager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        connection_->Bind(*managerGlobal, &zwlr_foreign_toplevel_manager_v1_interface, 3));
    zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &kManagerListener, this);
    if (!connection_->Roundtrip(kRoundtripBound)) {
        error = "the compositor did not list its windows: " + connection_->Error();
        return false;
    }
    return true;
}

ForeignToplevelWindowSystem::~ForeignToplevelWindowSystem() {
    for (const auto& t : toplevels_) {
        zwlr_foreign_toplevel_handle_v1_destroy(t->handle);
    }
    if (manager_ != nullptr) {
        // The protocol has no destructor request: stop, then forget the
        // object; the compositor's "finished" event for it is ignored.
        zwlr_foreign_toplevel_manager_v1_stop(manager_);
        zwlr_foreign_toplevel_manager_v1_destroy(manager_);
    }
    if (seat_ != nullptr) {
        wl_seat_destroy(seat_);
    }
}

void ForeignToplevelWindowSystem::Add(zwlr_foreign_toplevel_handle_v1* handle) {
    auto t = std::make_unique<Toplevel>();
    t->id = nextId_++;
    t->handle = handle;
    t->owner = this;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kHandleListener, t.get());
    toplevels_.push_back(std::move(t));
}

void ForeignToplevelWindowSystem::Done(Toplevel& t) {
    t.appId = t.pendingAppId;
    t.title = t.pendingTitle;
    if (t.pendingActivated && !t.activated) {
        t.lastActivated = ++activations_;
    }
    t.activated = t.pendingActivated;
    t.minimized = t.pendingMinimized;
    t.maximized = t.pendingMaximized;
    t.fullscreen = t.pendingFullscreen;
}

void ForeignToplevelWindowSystem::Closed(Toplevel& t) {
    // Only marked here: the handler runs inside the dispatch that holds it.
    t.closed = true;
}

void ForeignToplevelWindowSystem::Refresh() {
    if (!connection_->Roundtrip(kRoundtripBound)) {
        DebugLog("foreign-toplevel: the compositor did not answer: " + connection_->Error());
    }
    const auto closed = std::remove_if(toplevels_.begin(), toplevels_.end(), [](const auto& t) {
        if (t->closed) {
            zwlr_foreign_toplevel_handle_v1_destroy(t->handle);
        }
        return t->closed;
    });
    toplevels_.erase(closed, toplevels_.end());
}

ForeignToplevelWindowSystem::Toplevel* ForeignToplevelWindowSystem::Find(Window window) {
    for (const auto& t : toplevels_) {
        if (t->id == window.id && !t->closed) {
            return t.get();
        }
    }
    return nullptr;
}

Window ForeignToplevelWindowSystem::FindByClass(std::string_view className) {
    Refresh();
    // The protocol tells no stacking order: the active window first, then
    // the one seen active most recently, then the newest.
    const Toplevel* best = nullptr;
    for (const auto& t : toplevels_) {
        if (className.empty() || !EqualsIgnoringAsciiCase(t->appId, className)) {
            continue;
        }
        if (best == nullptr || t->activated ||
            (!best->activated && t->lastActivated >= best->lastActivated)) {
            best = t.get();
            if (t->activated) {
                break;
            }
        }
    }
    return best != nullptr ? Window{best->id} : Window{};
}

Window ForeignToplevelWindowSystem::Foreground() {
    Refresh();
    for (const auto& t : toplevels_) {
        if (t->activated) {
            return Window{t->id};
        }
    }
    return {};
}

ShowState ForeignToplevelWindowSystem::GetShowState(Window window) {
    Refresh();
    const Toplevel* t = Find(window);
    return t != nullptr ? StateOf(*t) : ShowState::Unknown;
}

void ForeignToplevelWindowSystem::SetShowState(Window window, ShowState state) {
    if (state == ShowState::Unknown) {
        return;
    }
    Refresh();
    Toplevel* t = Find(window);
    if (t == nullptr || StateOf(*t) == state) {
        return;
    }
    if (t->minimized && state != ShowState::Minimized) {
        zwlr_foreign_toplevel_handle_v1_unset_minimized(t->handle);
    }
    if (t->fullscreen && state != ShowState::Maximized) {
        zwlr_foreign_toplevel_handle_v1_unset_fullscreen(t->handle);
    }
    if (t->maximized && state != ShowState::Maximized) {
        zwlr_foreign_toplevel_handle_v1_unset_maximized(t->handle);
    }
    if (state == ShowState::Maximized) {
        zwlr_foreign_toplevel_handle_v1_set_maximized(t->handle);
    } else if (state == ShowState::Minimized) {
        zwlr_foreign_toplevel_handle_v1_set_minimized(t->handle);
    }
    const std::uint64_t id = t->id;
    const bool done = connection_->DispatchUntil(
        [this, id, state] {
            const Toplevel* current = Find(Window{id});
            return current == nullptr || StateOf(*current) == state;
        },
        kChangeBound);
    if (!done) {
        // sway, for one, has no minimised state and ignores the request.
        DebugLog("foreign-toplevel: window " + std::to_string(id) +
                 " did not change its show state in time");
    }
}

bool ForeignToplevelWindowSystem::Activate(Window window) {
    Refresh();
    Toplevel* t = Find(window);
    if (t == nullptr) {
        return false;
    }
    zwlr_foreign_toplevel_handle_v1_activate(t->handle, seat_);
    const std::uint64_t id = window.id;
    const std::string appId = t->appId;
    const auto deadline = std::chrono::steady_clock::now() + kChangeBound;
    const bool active = connection_->DispatchUntil(
        [this, id] {
            const Toplevel* current = Find(Window{id});
            return current != nullptr && current->activated;
        },
        kChangeBound);
    if (!active) {
        DebugLog("foreign-toplevel: window " + std::to_string(id) +
                 " did not become active in time");
        return false;
    }
    // The compositor's window manager hands XWayland the X focus over a
    // connection of its own. The protocol does not tell X clients from
    // Wayland ones: an X window of the target's class means an X client,
    // whose keys wait until XWayland has the focus there; otherwise keys wait
    // until XWayland has let go of it. This connects to XWayland (starting it
    // where the compositor starts it on demand).
    if (!xwayland_ || !xwayland_->Connect()) {
        return true;
    }
    const bool isX = xwayland_->AnyWindowOfClass(appId);
    for (;;) {
        const std::uint32_t focus = xwayland_->FocusedWindow();
        if (isX ? xwayland_->HasClass(focus, appId) : focus == 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            DebugLog("foreign-toplevel: XWayland did not move its focus in time");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::vector<ListedWindow> ForeignToplevelWindowSystem::ListWindows() {
    Refresh();
    std::vector<const Toplevel*> order;
    for (const auto& t : toplevels_) {
        if (!t->closed && !t->appId.empty()) {
            order.push_back(t.get());
        }
    }
    // The protocol tells no stacking order: what the user had in front last comes first.
    std::stable_sort(order.begin(), order.end(), [](const Toplevel* a, const Toplevel* b) {
        if (a->activated != b->activated) {
            return a->activated;
        }
        if (a->lastActivated != b->lastActivated) {
            return a->lastActivated > b->lastActivated;
        }
        return a->id > b->id;
    });
    std::vector<ListedWindow> listed;
    for (const Toplevel* t : order) {
        listed.push_back({Window{t->id}, t->title, t->appId});
    }
    return listed;
}

}  // namespace qv::wayland
