#include "keys/kde/PlasmaWindowSystem.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/DebugLog.h"
#include "keys/wayland/WaylandConnection.h"
#include "keys/wayland/XwaylandSync.h"
#include "plasma-window-management-client-protocol.h"

namespace qv::kde {
namespace {

using Entry = PlasmaWindowSystem::Entry;

// Bounds for KWin's answers: a round trip, and a requested change to show
// in the window's state (about half a second, as on X11).
constexpr std::chrono::milliseconds kRoundtripBound{1000};
constexpr std::chrono::milliseconds kChangeBound{500};

// The protocol versions this backend knows the events of.
constexpr std::uint32_t kVersion = 16;
constexpr std::uint32_t kUuidVersion = 13;

constexpr std::uint32_t kActive = ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE;
constexpr std::uint32_t kMinimized = ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED;
constexpr std::uint32_t kMaximized = ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MAXIMIZED;
constexpr std::uint32_t kFullscreen = ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_FULLSCREEN;

Entry& EntryOf(void* data) {
    return *static_cast<Entry*>(data);
}

void OnTitle(void* data, org_kde_plasma_window*, const char* title) {
    EntryOf(data).window.title = title != nullptr ? title : "";
}
void OnAppId(void* data, org_kde_plasma_window*, const char* appId) {
    EntryOf(data).window.appId = appId != nullptr ? appId : "";
}
void OnState(void* data, org_kde_plasma_window*, std::uint32_t flags) {
    desktop::DesktopWindow& w = EntryOf(data).window;
    w.active = (flags & kActive) != 0;
    w.minimized = (flags & kMinimized) != 0;
    w.maximized = (flags & kMaximized) != 0;
    w.fullscreen = (flags & kFullscreen) != 0;
}
void OnVirtualDesktop(void*, org_kde_plasma_window*, int32_t) {}
void OnThemedIcon(void*, org_kde_plasma_window*, const char*) {}
void OnUnmapped(void* data, org_kde_plasma_window*) {
    // Only marked: the handler runs inside the dispatch that holds the entry.
    EntryOf(data).gone = true;
}
void OnInitialState(void* data, org_kde_plasma_window*) {
    EntryOf(data).described = true;
}
void OnParent(void*, org_kde_plasma_window*, org_kde_plasma_window*) {}
void OnGeometry(void*, org_kde_plasma_window*, int32_t, int32_t, uint32_t, uint32_t) {}
void OnIconChanged(void*, org_kde_plasma_window*) {}
void OnPid(void*, org_kde_plasma_window*, uint32_t) {}
void OnDesktopEntered(void*, org_kde_plasma_window*, const char*) {}
void OnDesktopLeft(void*, org_kde_plasma_window*, const char*) {}
void OnApplicationMenu(void*, org_kde_plasma_window*, const char*, const char*) {}
void OnActivityEntered(void*, org_kde_plasma_window*, const char*) {}
void OnActivityLeft(void*, org_kde_plasma_window*, const char*) {}
void OnResourceName(void* data, org_kde_plasma_window*, const char* name) {
    EntryOf(data).window.instance = name != nullptr ? name : "";
}

const org_kde_plasma_window_listener kWindowListener = {
    OnTitle,        OnAppId,          OnState,       OnVirtualDesktop,  OnThemedIcon,
    OnUnmapped,     OnInitialState,   OnParent,      OnGeometry,        OnIconChanged,
    OnPid,          OnDesktopEntered, OnDesktopLeft, OnApplicationMenu, OnActivityEntered,
    OnActivityLeft, OnResourceName,
};

void OnShowDesktop(void*, org_kde_plasma_window_management*, uint32_t) {}
void OnWindow(void*, org_kde_plasma_window_management*, uint32_t) {
    // Announced again by window_with_uuid, which this backend uses.
}
void OnStackingOrder(void*, org_kde_plasma_window_management*, wl_array*) {}
void OnStackingOrderUuids(void* data, org_kde_plasma_window_management*, const char* uuids) {
    static_cast<PlasmaWindowSystem*>(data)->SetStackingOrder(uuids);
}
void OnWindowWithUuid(void* data, org_kde_plasma_window_management*, uint32_t, const char* uuid) {
    static_cast<PlasmaWindowSystem*>(data)->Announce(uuid);
}

const org_kde_plasma_window_management_listener kManagementListener = {
    OnShowDesktop, OnWindow, OnStackingOrder, OnStackingOrderUuids, OnWindowWithUuid,
};

}  // namespace

PlasmaWindowSystem::PlasmaWindowSystem() = default;

std::unique_ptr<PlasmaWindowSystem> PlasmaWindowSystem::Open(
    const char* display, std::string& error, std::shared_ptr<wayland::XwaylandSync> xwayland) {
    std::unique_ptr<PlasmaWindowSystem> windows(new PlasmaWindowSystem());
    windows->xwayland_ = std::move(xwayland);
    if (!windows->Start(display, error)) {
        return nullptr;
    }
    return windows;
}

bool PlasmaWindowSystem::Start(const char* display, std::string& error) {
    connection_ = wayland::WaylandConnection::Connect(display, error);
    if (!connection_) {
        return false;
    }
    const auto* global = connection_->Find(org_kde_plasma_window_management_interface.name);
    if (global == nullptr) {
        error =
            "KWin does not offer its window list (org_kde_plasma_window_management) to "
            "this program";
        return false;
    }
    if (global->version < kUuidVersion) {
        error = "KWin's window list is too old (version " + std::to_string(global->version) + ")";
        return false;
    }
    version_ = std::min(global->version, kVersion);
    management_ = static_cast<org_kde_plasma_window_management*>(
        connection_->Bind(*global, &org_kde_plasma_window_management_interface, version_));
    org_kde_plasma_window_management_add_listener(management_, &kManagementListener, this);
    // The first round trip brings the windows, the second their descriptions.
    if (!connection_->Roundtrip(kRoundtripBound) || !connection_->Roundtrip(kRoundtripBound)) {
        error = "KWin did not list its windows: " + connection_->Error();
        return false;
    }
    return true;
}

PlasmaWindowSystem::~PlasmaWindowSystem() {
    for (const auto& e : entries_) {
        org_kde_plasma_window_destroy(e->handle);
    }
    if (management_ != nullptr) {
        org_kde_plasma_window_management_destroy(management_);
    }
    if (connection_) {
        wl_display_flush(connection_->Display());
    }
}

void PlasmaWindowSystem::Announce(const char* uuid) {
    if (uuid == nullptr) {
        return;
    }
    auto e = std::make_unique<Entry>();
    e->window.id = nextId_++;
    e->uuid = uuid;
    e->owner = this;
    e->handle = org_kde_plasma_window_management_get_window_by_uuid(management_, uuid);
    org_kde_plasma_window_add_listener(e->handle, &kWindowListener, e.get());
    entries_.push_back(std::move(e));
}

void PlasmaWindowSystem::SetStackingOrder(const char* uuids) {
    stackingOrder_.clear();
    const std::string text = uuids != nullptr ? uuids : "";
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t end = std::min(text.find(';', from), text.size());
        if (end > from) {
            stackingOrder_.push_back(text.substr(from, end - from));
        }
        from = end + 1;
    }
}

void PlasmaWindowSystem::Refresh() {
    if (!connection_->Roundtrip(kRoundtripBound)) {
        DebugLog("plasma windows: KWin did not answer: " + connection_->Error());
    }
    const auto gone = std::remove_if(entries_.begin(), entries_.end(), [](const auto& e) {
        if (e->gone) {
            org_kde_plasma_window_destroy(e->handle);
        }
        return e->gone;
    });
    entries_.erase(gone, entries_.end());
}

PlasmaWindowSystem::Entry* PlasmaWindowSystem::Find(Window window) {
    for (const auto& e : entries_) {
        if (e->window.id == window.id && e->described && !e->gone) {
            return e.get();
        }
    }
    return nullptr;
}

std::vector<desktop::DesktopWindow> PlasmaWindowSystem::FrontFirst() const {
    std::vector<desktop::DesktopWindow> windows;
    std::vector<std::uint64_t> order;
    for (const auto& e : entries_) {
        if (e->described && !e->gone) {
            windows.push_back(e->window);
        }
    }
    for (const std::string& uuid : stackingOrder_) {
        for (const auto& e : entries_) {
            if (e->uuid == uuid) {
                order.push_back(e->window.id);
                break;
            }
        }
    }
    return desktop::FrontFirst(std::move(windows), order);
}

template <typename Done>
bool PlasmaWindowSystem::WaitFor(std::uint64_t id, Done done) {
    return connection_->DispatchUntil(
        [this, id, &done] {
            const Entry* e = Find(Window{id});
            return e == nullptr || done(e->window);
        },
        kChangeBound);
}

Window PlasmaWindowSystem::FindByClass(std::string_view className) {
    const std::lock_guard lock(mutex_);
    Refresh();
    return desktop::PickByClass(FrontFirst(), className);
}

Window PlasmaWindowSystem::Foreground() {
    const std::lock_guard lock(mutex_);
    Refresh();
    return desktop::ActiveWindow(FrontFirst());
}

ShowState PlasmaWindowSystem::GetShowState(Window window) {
    const std::lock_guard lock(mutex_);
    Refresh();
    const Entry* e = Find(window);
    return e != nullptr ? desktop::StateOf(e->window) : ShowState::Unknown;
}

void PlasmaWindowSystem::SetShowState(Window window, ShowState state) {
    const std::lock_guard lock(mutex_);
    if (state == ShowState::Unknown) {
        return;
    }
    Refresh();
    Entry* e = Find(window);
    if (e == nullptr || desktop::StateOf(e->window) == state) {
        return;
    }
    std::uint32_t set = 0;
    switch (state) {
        case ShowState::Minimized:
            set = kMinimized;
            break;
        case ShowState::Maximized:
            set = kMaximized;
            break;
        default:
            break;
    }
    org_kde_plasma_window_set_state(e->handle, kMinimized | kMaximized, set);
    if (!WaitFor(e->window.id, [state](const desktop::DesktopWindow& w) {
            return desktop::StateOf(w) == state;
        })) {
        DebugLog("plasma windows: window " + std::to_string(window.id) +
                 " did not change its show state in time");
    }
}

bool PlasmaWindowSystem::Activate(Window window) {
    const std::lock_guard lock(mutex_);
    Refresh();
    Entry* e = Find(window);
    if (e == nullptr) {
        return false;
    }
    // One request activates the window and brings it back from minimised.
    // KWin moves the keyboard focus while it handles the request, but
    // reports the new state only with its next frame (8 ms later in the
    // median here): the round trip after the request is the wait, and the
    // reported state, once it comes, confirms it.
    org_kde_plasma_window_set_state(e->handle, kActive | kMinimized, kActive);
    const std::uint64_t id = e->window.id;
    const std::string appId = e->window.appId;
    const std::string instance = e->window.instance;
    const auto deadline = std::chrono::steady_clock::now() + kChangeBound;
    if (!connection_->Roundtrip(kRoundtripBound) || Find(window) == nullptr) {
        DebugLog("plasma windows: window " + std::to_string(id) + " went or KWin did not answer");
        return false;
    }
    // KWin hands XWayland the X focus over a connection of its own: an X
    // window's keys wait until XWayland has the focus there. A Wayland
    // window gets its keys from KWin's seat, whatever XWayland thinks.
    if (!xwayland_ || !xwayland_->Connect()) {
        return true;
    }
    const auto named = [&](std::uint32_t x) {
        return xwayland_->HasClass(x, appId) ||
               (!instance.empty() && xwayland_->HasClass(x, instance));
    };
    // Whether it is an X window does not change: asked once per window (it
    // walks XWayland's windows).
    Entry* entry = Find(window);
    if (entry == nullptr) {
        return false;
    }
    if (!entry->xWindow) {
        entry->xWindow = xwayland_->AnyWindowOfClass(appId) ||
                         (!instance.empty() && xwayland_->AnyWindowOfClass(instance));
    }
    if (!*entry->xWindow) {
        return true;
    }
    for (;;) {
        if (named(xwayland_->FocusedWindow())) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            DebugLog("plasma windows: XWayland did not move its focus in time");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::vector<ListedWindow> PlasmaWindowSystem::ListWindows() {
    const std::lock_guard lock(mutex_);
    Refresh();
    return desktop::ListFrom(FrontFirst());
}

}  // namespace qv::kde
