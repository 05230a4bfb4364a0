#include "keys/x11/X11WindowSystem.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/AsciiCase.h"
#include "common/DebugLog.h"
#include "keys/x11/XDisplayHandle.h"
#include "keys/x11/XErrorTrap.h"

namespace qv {
namespace {

// Inside this namespace `Window` is the port's window; X's own is XWindow.
using XWindow = ::Window;
using SteadyClock = std::chrono::steady_clock;

// Bounds of the waits for the window manager; activation normally takes 1-3 ms.
constexpr auto kActivateWait = std::chrono::milliseconds(500);
constexpr auto kStateWait = std::chrono::milliseconds(500);
constexpr auto kPollStep = std::chrono::microseconds(500);

constexpr long kNetWmStateRemove = 0;
constexpr long kNetWmStateAdd = 1;
constexpr long kSourcePager = 2;  // EWMH source indication: a pager or tool, not an application

constexpr const char* kAtomNames[] = {
    "_NET_CLIENT_LIST_STACKING",
    "_NET_CLIENT_LIST",
    "_NET_ACTIVE_WINDOW",
    "_NET_WM_STATE",
    "_NET_WM_STATE_HIDDEN",
    "_NET_WM_STATE_MAXIMIZED_VERT",
    "_NET_WM_STATE_MAXIMIZED_HORZ",
    "_NET_SUPPORTING_WM_CHECK",
    "WM_STATE",
    "_QUORVANE_WAKE",
    "_NET_WM_NAME",
    "UTF8_STRING",
};
constexpr int kAtomCount = static_cast<int>(std::size(kAtomNames));

struct XFreeDeleter {
    void operator()(void* p) const {
        if (p != nullptr) {
            XFree(p);
        }
    }
};

// A 32-bit-format property as longs (Xlib widens them); empty when absent or
// of another type.
std::vector<unsigned long> ReadLongs(Display* display, XWindow window, Atom property, Atom type) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* raw = nullptr;
    XErrorTrap trap(display);
    const int status = XGetWindowProperty(display, window, property, 0, 1L << 16, False, type,
                                          &actualType, &actualFormat, &count, &after, &raw);
    std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
    if (status != Success || trap.Error() != 0 || actualType != type || actualFormat != 32 ||
        !data) {
        return {};
    }
    const auto* values = reinterpret_cast<const unsigned long*>(data.get());
    return std::vector<unsigned long>(values, values + count);
}

}  // namespace

struct X11WindowSystem::Atoms {
    Atom clientListStacking;
    Atom clientList;
    Atom activeWindow;
    Atom wmState;
    Atom wmStateHidden;
    Atom wmStateMaxVert;
    Atom wmStateMaxHorz;
    Atom supportingWmCheck;
    Atom icccmWmState;
    Atom wake;
    Atom wmName;
    Atom utf8String;
};

std::unique_ptr<X11WindowSystem> X11WindowSystem::Open(const char* display) {
    std::unique_ptr<XDisplayHandle> handle = XDisplayHandle::Open(display);
    if (!handle) {
        return nullptr;
    }
    return std::unique_ptr<X11WindowSystem>(new X11WindowSystem(std::move(handle)));
}

X11WindowSystem::X11WindowSystem(std::unique_ptr<XDisplayHandle> display)
    : display_(std::move(display)), atoms_(std::make_unique<Atoms>()) {
    Atom values[kAtomCount] = {};
    if (!XInternAtoms(display_->get(), const_cast<char**>(kAtomNames), kAtomCount, False, values)) {
        DebugLog("XInternAtoms: failed");
    }
    *atoms_ = Atoms{values[0], values[1], values[2], values[3], values[4],  values[5],
                    values[6], values[7], values[8], values[9], values[10], values[11]};
}

X11WindowSystem::~X11WindowSystem() = default;

namespace {

using Atoms = X11WindowSystem::Atoms;

// X window ids have their top three bits clear; a larger id names no window
// (and would be cut to another id on the wire).
constexpr std::uint64_t kLargestXid = 0x1FFFFFFF;

XWindow ToX(Window window) {
    return window.id <= kLargestXid ? static_cast<XWindow>(window.id) : XWindow{None};
}

Window FromX(XWindow window) {
    return Window{static_cast<std::uint64_t>(window)};
}

XWindow Root(Display* display) {
    return DefaultRootWindow(display);
}

bool WindowExists(Display* display, XWindow window, XWindowAttributes* attributes = nullptr) {
    if (window == None) {
        return false;
    }
    XWindowAttributes local;
    XErrorTrap trap(display);
    const Status ok =
        XGetWindowAttributes(display, window, attributes != nullptr ? attributes : &local);
    return ok != 0 && trap.Error() == 0;
}

bool IsMapViewable(Display* display, XWindow window) {
    XWindowAttributes attributes;
    return WindowExists(display, window, &attributes) && attributes.map_state == IsViewable;
}

bool HasProperty(Display* display, XWindow window, Atom property) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* raw = nullptr;
    XErrorTrap trap(display);
    const int status = XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType,
                                          &actualType, &actualFormat, &count, &after, &raw);
    std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
    return status == Success && trap.Error() == 0 && actualType != None;
}

bool WmRunning(Display* display, const Atoms& atoms) {
    const auto check = ReadLongs(display, Root(display), atoms.supportingWmCheck, XA_WINDOW);
    if (check.empty() || check[0] == None) {
        return false;
    }
    // A window manager that died leaves the root property behind; its own
    // window then no longer points to itself.
    const auto self = ReadLongs(display, check[0], atoms.supportingWmCheck, XA_WINDOW);
    return !self.empty() && self[0] == check[0];
}

// `name` with ASCII letters upper-cased: the key under which names that
// FindByClass takes as equal are counted.
std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        c = AsciiUpper(c);
    }
    return folded;
}

// A window's WM_CLASS as instance and class; nullopt without one.
std::optional<std::pair<std::string, std::string>> ClassOf(Display* display, XWindow window) {
    XClassHint hint{nullptr, nullptr};
    XErrorTrap trap(display);
    const Status ok = XGetClassHint(display, window, &hint);
    std::unique_ptr<char, XFreeDeleter> instance(hint.res_name);
    std::unique_ptr<char, XFreeDeleter> klass(hint.res_class);
    if (ok == 0 || trap.Error() != 0) {
        return std::nullopt;
    }
    return std::make_pair(std::string(instance ? instance.get() : ""),
                          std::string(klass ? klass.get() : ""));
}

bool ClassMatches(Display* display, XWindow window, std::string_view name) {
    const auto names = ClassOf(display, window);
    return names && ((!names->first.empty() && EqualsIgnoringAsciiCase(name, names->first)) ||
                     (!names->second.empty() && EqualsIgnoringAsciiCase(name, names->second)));
}

// A window's title: _NET_WM_NAME (UTF-8), else WM_NAME in the locale's
// encoding; empty without either.
std::string TitleOf(Display* display, XWindow window, Atom wmName, Atom utf8String) {
    {
        Atom actualType = None;
        int actualFormat = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* raw = nullptr;
        XErrorTrap trap(display);
        const int status =
            XGetWindowProperty(display, window, wmName, 0, 1L << 12, False, utf8String, &actualType,
                               &actualFormat, &count, &after, &raw);
        std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
        if (status == Success && trap.Error() == 0 && actualType == utf8String &&
            actualFormat == 8 && data) {
            return std::string(reinterpret_cast<const char*>(data.get()), count);
        }
    }
    XTextProperty property{};
    XErrorTrap trap(display);
    if (XGetWMName(display, window, &property) == 0 || trap.Error() != 0 ||
        property.value == nullptr) {
        return {};
    }
    std::unique_ptr<unsigned char, XFreeDeleter> value(property.value);
    char** list = nullptr;
    int count = 0;
    std::string title;
    if (Xutf8TextPropertyToTextList(display, &property, &list, &count) >= Success && list &&
        count > 0 && list[0] != nullptr) {
        title = list[0];
    }
    if (list != nullptr) {
        XFreeStringList(list);
    }
    return title;
}

// The parent and the children (bottom to top) of a window; a parent of None
// when the window cannot be queried.
struct TreeNode {
    XWindow parent = None;
    std::vector<XWindow> children;
};

TreeNode QueryTree(Display* display, XWindow window) {
    XWindow root = None;
    XWindow parent = None;
    XWindow* raw = nullptr;
    unsigned int count = 0;
    XErrorTrap trap(display);
    const Status ok = XQueryTree(display, window, &root, &parent, &raw, &count);
    std::unique_ptr<XWindow, XFreeDeleter> children(raw);
    if (ok == 0 || trap.Error() != 0) {
        return {};
    }
    TreeNode node{parent, {}};
    if (children) {
        node.children.assign(children.get(), children.get() + count);
    }
    return node;
}

std::vector<XWindow> Children(Display* display, XWindow window) {
    return QueryTree(display, window).children;
}

XWindow Parent(Display* display, XWindow window) {
    return QueryTree(display, window).parent;
}

// The application's window inside a top-level window: the window manager's
// frame holds it as a descendant carrying WM_STATE. Without one, the
// top-level window is the application's own.
XWindow ClientOf(Display* display, const Atoms& atoms, XWindow topLevel) {
    std::deque<XWindow> queue{topLevel};
    while (!queue.empty()) {
        const XWindow w = queue.front();
        queue.pop_front();
        if (HasProperty(display, w, atoms.icccmWmState)) {
            return w;
        }
        for (XWindow child : Children(display, w)) {
            queue.push_back(child);
        }
    }
    return topLevel;
}

// The child of the root that contains `window`, None for the root itself.
XWindow TopLevelOf(Display* display, XWindow window) {
    const XWindow root = Root(display);
    XWindow current = window;
    while (current != None && current != root) {
        const XWindow parent = Parent(display, current);
        if (parent == root) {
            return current;
        }
        current = parent;
    }
    return None;
}

bool IsWithin(Display* display, XWindow window, XWindow ancestor) {
    const XWindow root = Root(display);
    for (XWindow w = window; w != None && w != root; w = Parent(display, w)) {
        if (w == ancestor) {
            return true;
        }
    }
    return false;
}

XWindow FocusWindow(Display* display) {
    XWindow focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus == PointerRoot ? None : focus;
}

XWindow ActiveWindow(Display* display, const Atoms& atoms) {
    const auto active = ReadLongs(display, Root(display), atoms.activeWindow, XA_WINDOW);
    return active.empty() ? None : static_cast<XWindow>(active[0]);
}

bool HasNetStates(const std::vector<unsigned long>& states, Atom a, Atom b = None) {
    const auto has = [&states](Atom x) {
        return x == None || std::find(states.begin(), states.end(), x) != states.end();
    };
    return has(a) && has(b);
}

// The windows a window manager manages, from its client lists; none without
// a window manager.
std::vector<unsigned long> ManagedWindows(Display* display, const Atoms& atoms) {
    if (!WmRunning(display, atoms)) {
        return {};
    }
    std::vector<unsigned long> clients =
        ReadLongs(display, Root(display), atoms.clientListStacking, XA_WINDOW);
    if (clients.empty()) {
        clients = ReadLongs(display, Root(display), atoms.clientList, XA_WINDOW);
    }
    return clients;
}

// The one of `clients` (managed windows) that lies highest in the stack,
// None for none. The window tree's order is the stacking order itself;
// _NET_CLIENT_LIST_STACKING is not kept up to date by every window manager
// (icewm leaves it unchanged when it raises a window it activates).
XWindow TopMost(Display* display, const std::vector<XWindow>& clients) {
    if (clients.size() <= 1) {
        return clients.empty() ? XWindow{None} : clients.front();
    }
    const std::vector<XWindow> stack = Children(display, Root(display));  // bottom to top
    XWindow best = None;
    std::ptrdiff_t bestLevel = -1;
    for (XWindow client : clients) {
        const auto at = std::find(stack.begin(), stack.end(), TopLevelOf(display, client));
        const std::ptrdiff_t level = at != stack.end() ? at - stack.begin() : -1;
        // On a tie the later one wins: the client lists run bottom to top.
        if (best == None || level >= bestLevel) {
            best = client;
            bestLevel = level;
        }
    }
    return best;
}

ShowState ReadShowState(Display* display, const Atoms& atoms, XWindow window) {
    if (!WindowExists(display, window)) {
        return ShowState::Unknown;
    }
    const auto icccm = ReadLongs(display, window, atoms.icccmWmState, atoms.icccmWmState);
    const auto states = ReadLongs(display, window, atoms.wmState, XA_ATOM);
    if ((!icccm.empty() && icccm[0] == IconicState) || HasNetStates(states, atoms.wmStateHidden)) {
        return ShowState::Minimized;
    }
    if (HasNetStates(states, atoms.wmStateMaxVert, atoms.wmStateMaxHorz)) {
        return ShowState::Maximized;
    }
    return ShowState::Normal;
}

void SendRootMessage(Display* display, XWindow window, Atom type, long l0, long l1, long l2) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.serial = 0;
    event.xclient.send_event = True;
    event.xclient.display = display;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = kSourcePager;
    event.xclient.data.l[4] = 0;
    if (XSendEvent(display, Root(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event) == 0) {
        DebugLog("XSendEvent: failed");
    }
}

void ChangeMaximized(Display* display, const Atoms& atoms, XWindow window, long action) {
    SendRootMessage(display, window, atoms.wmState, action, static_cast<long>(atoms.wmStateMaxVert),
                    static_cast<long>(atoms.wmStateMaxHorz));
}

template <typename Done>
bool WaitFor(Done done, SteadyClock::duration bound) {
    const auto deadline = SteadyClock::now() + bound;
    while (!done()) {
        if (SteadyClock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

// How long a window manager may sit on a request before it is woken.
constexpr auto kWakeAfter = std::chrono::milliseconds(100);

// Waits, like WaitFor, for the window manager to carry out a request. A
// window manager can read a request from its connection and then sit on it
// until some other event reaches it (openbox does, now and then): every
// kWakeAfter a property of our own on the root window is touched, which every
// window manager listens to, so the request is carried out within the bound.
template <typename Done>
bool WaitForWindowManager(Display* display, const Atoms& atoms, Done done,
                          SteadyClock::duration bound) {
    const auto deadline = SteadyClock::now() + bound;
    auto wake = SteadyClock::now() + kWakeAfter;
    while (!done()) {
        const auto now = SteadyClock::now();
        if (now >= deadline) {
            return false;
        }
        if (now >= wake) {
            const unsigned char value = 0;
            XChangeProperty(display, DefaultRootWindow(display), atoms.wake, XA_CARDINAL, 8,
                            PropModeReplace, &value, 1);
            XFlush(display);
            wake = now + kWakeAfter;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

void LogXError(const char* call, int error) {
    if (error != 0) {
        DebugLog(std::string(call) + ": X error " + std::to_string(error));
    }
}

}  // namespace

bool X11WindowSystem::HasWindowManager() {
    return WmRunning(display_->get(), *atoms_);
}

Window X11WindowSystem::FindByClass(std::string_view className) {
    Display* display = display_->get();
    if (className.empty()) {
        return {};
    }
    const std::vector<unsigned long> clients = ManagedWindows(display, *atoms_);
    if (!clients.empty()) {
        std::vector<XWindow> matches;
        for (unsigned long client : clients) {
            if (ClassMatches(display, client, className)) {
                matches.push_back(client);
            }
        }
        return FromX(TopMost(display, matches));
    }
    // No managed list: walk the top-level windows, top of the stack first.
    const std::vector<XWindow> topLevels = Children(display, Root(display));
    for (auto it = topLevels.rbegin(); it != topLevels.rend(); ++it) {
        const XWindow client = ClientOf(display, *atoms_, *it);
        if (ClassMatches(display, client, className)) {
            return FromX(client);
        }
    }
    return {};
}

Window X11WindowSystem::Foreground() {
    Display* display = display_->get();
    const bool wm = WmRunning(display, *atoms_);
    if (wm) {
        // Some window managers leave the property on a window that has gone,
        // and a new client may get the same id: only a shown window that
        // holds the focus is taken at its word.
        const XWindow active = ActiveWindow(display, *atoms_);
        if (active != None && IsMapViewable(display, active) &&
            IsWithin(display, FocusWindow(display), active)) {
            return FromX(active);
        }
    }
    const XWindow topLevel = TopLevelOf(display, FocusWindow(display));
    if (topLevel != None) {
        const XWindow client = ClientOf(display, *atoms_, topLevel);
        // Under a window manager only its clients count; the focus may rest
        // on one of its own windows while nothing is active.
        if (!wm || HasProperty(display, client, atoms_->icccmWmState)) {
            return FromX(client);
        }
    }
    // Nothing active: the desktop (the root window) has the foreground.
    // Activating it later returns the focus to the pointer instead of leaving
    // it on the target.
    return FromX(Root(display));
}

ShowState X11WindowSystem::GetShowState(Window window) {
    return ReadShowState(display_->get(), *atoms_, ToX(window));
}

void X11WindowSystem::SetShowState(Window target, ShowState state) {
    Display* display = display_->get();
    const XWindow window = ToX(target);
    if (state == ShowState::Unknown || window == Root(display) || !WindowExists(display, window)) {
        return;
    }
    const bool wm = WmRunning(display, *atoms_);
    if (state == ShowState::Minimized && !wm) {
        return;  // without a window manager nothing can hold an icon
    }
    const ShowState before = ReadShowState(display, *atoms_, window);
    const bool wasViewable = IsMapViewable(display, window);
    XErrorTrap trap(display);
    switch (state) {
        case ShowState::Minimized:
            if (XIconifyWindow(display, window, DefaultScreen(display)) == 0) {
                DebugLog("XIconifyWindow: failed");
            }
            break;
        case ShowState::Maximized:
            XMapWindow(display, window);  // also takes an iconic window out of its icon
            if (wm) {
                ChangeMaximized(display, *atoms_, window, kNetWmStateAdd);
            }
            break;
        case ShowState::Normal:
            XMapWindow(display, window);
            if (wm) {
                ChangeMaximized(display, *atoms_, window, kNetWmStateRemove);
            }
            break;
        case ShowState::Unknown:
            break;
    }
    LogXError("SetShowState", trap.Sync());
    // Without a window manager a window has no state of its own beyond being
    // mapped: only the mapping is waited for. A window being minimised is
    // waited for until it is hidden as well: openbox marks it iconic before it
    // unmaps it, and a request to map it again that comes in between finds it
    // still mapped, does nothing, and leaves it minimised.
    const auto reached = [&] {
        return ReadShowState(display, *atoms_, window) == state &&
               (state != ShowState::Minimized || !IsMapViewable(display, window));
    };
    if (wm && (state != before || !reached()) &&
        !WaitForWindowManager(display, *atoms_, reached, kStateWait)) {
        DebugLog("SetShowState: the window manager did not change the window's state in time");
    }
    if (state != ShowState::Minimized && !wasViewable) {
        const auto viewable = [&] { return IsMapViewable(display, window); };
        if (wm ? !WaitForWindowManager(display, *atoms_, viewable, kStateWait)
               : !WaitFor(viewable, kStateWait)) {
            DebugLog("SetShowState: the window did not become viewable in time");
        }
    }
}

bool X11WindowSystem::Activate(Window target) {
    Display* display = display_->get();
    const XWindow window = ToX(target);
    if (!WindowExists(display, window)) {
        return false;
    }
    if (window == Root(display)) {
        // The desktop: the focus follows the pointer again.
        XErrorTrap trap(display);
        XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
        const int error = trap.Sync();
        LogXError("Activate", error);
        return error == 0;
    }
    if (WmRunning(display, *atoms_)) {
        {
            XErrorTrap trap(display);
            SendRootMessage(display, window, atoms_->activeWindow, kSourcePager, CurrentTime,
                            static_cast<long>(ActiveWindow(display, *atoms_)));
            LogXError("Activate", trap.Sync());
        }
        // The window manager activates asynchronously; keys sent before it has
        // done so would reach the window that was active before. The request
        // raises the window as well, so no trip through the topmost layer is
        // needed here.
        if (!WaitForWindowManager(
                display, *atoms_,
                [&] {
                    return ActiveWindow(display, *atoms_) == window &&
                           IsWithin(display, FocusWindow(display), window);
                },
                kActivateWait)) {
            DebugLog("Activate: the window manager did not activate the window in time");
            return false;
        }
        return true;
    }
    XErrorTrap trap(display);
    XMapRaised(display, window);
    XSync(display, False);
    if (!WaitFor([&] { return IsMapViewable(display, window); }, kActivateWait)) {
        DebugLog("Activate: the window did not become viewable in time");
        return false;
    }
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    const int error = trap.Sync();
    LogXError("Activate", error);
    return error == 0 && IsWithin(display, FocusWindow(display), window);
}

std::vector<ListedWindow> X11WindowSystem::ListWindows() {
    Display* display = display_->get();
    std::vector<XWindow> windows;  // top of the stack first
    const std::vector<unsigned long> clients = ManagedWindows(display, *atoms_);
    if (!clients.empty()) {
        // The window tree is the stacking order itself (see TopMost).
        const std::vector<XWindow> stack = Children(display, Root(display));  // bottom to top
        std::vector<std::pair<std::ptrdiff_t, XWindow>> levels;
        for (unsigned long client : clients) {
            const auto at = std::find(stack.begin(), stack.end(), TopLevelOf(display, client));
            levels.emplace_back(at != stack.end() ? at - stack.begin() : -1, client);
        }
        std::stable_sort(levels.begin(), levels.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (const auto& [level, client] : levels) {
            windows.push_back(client);
        }
    } else {
        const std::vector<XWindow> topLevels = Children(display, Root(display));
        for (auto it = topLevels.rbegin(); it != topLevels.rend(); ++it) {
            if (IsMapViewable(display, *it)) {
                windows.push_back(ClientOf(display, *atoms_, *it));
            }
        }
    }

    struct Found {
        XWindow window;
        std::string instance;
        std::string klass;
        std::string title;
    };
    std::vector<Found> found;
    std::map<std::string, int> classes;
    for (XWindow window : windows) {
        const auto names = ClassOf(display, window);
        if (!names || (names->first.empty() && names->second.empty())) {
            continue;
        }
        found.push_back({window, names->first, names->second,
                         TitleOf(display, window, atoms_->wmName, atoms_->utf8String)});
        ++classes[Folded(names->second)];
    }
    std::map<std::string, int> instances;
    for (const Found& f : found) {
        ++instances[Folded(f.instance)];
    }
    std::vector<ListedWindow> listed;
    for (const Found& f : found) {
        // FindByClass takes the class or the instance: the instance names a
        // window that shares its class with others when no other has it.
        const bool sharedClass = f.klass.empty() || classes[Folded(f.klass)] > 1;
        const bool ownInstance = !f.instance.empty() && instances[Folded(f.instance)] == 1 &&
                                 classes[Folded(f.instance)] == 0;
        listed.push_back({FromX(f.window), f.title,
                          sharedClass && (ownInstance || f.klass.empty()) ? f.instance : f.klass});
    }
    return listed;
}

}  // namespace qv
