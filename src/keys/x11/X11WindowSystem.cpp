#include "keys/x11/X11WindowSystem.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "common/DebugLog.h"
#include "keys/x11/XDisplayHandle.h"
#include "keys/x11/XErrorTrap.h"
#include "keys/x11/XResourceMask.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;

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
    "_NET_WM_STATE_ABOVE",
    "_NET_SUPPORTING_WM_CHECK",
    "WM_STATE",
    "_QUORVANE_WAKE",
};
constexpr int kAtomCount = static_cast<int>(std::size(kAtomNames));

struct XFreeDeleter {
    void operator()(void* p) const {
        if (p != nullptr) {
            XFree(p);
        }
    }
};

bool EqualsIgnoringAsciiCase(std::string_view a, const char* b) {
    if (b == nullptr) {
        return false;
    }
    const std::string_view bv(b);
    if (a.size() != bv.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(bv[i])) {
            return false;
        }
    }
    return true;
}

// A 32-bit-format property as longs (Xlib widens them); empty when absent or
// of another type.
std::vector<unsigned long> ReadLongs(Display* display, Window window, Atom property, Atom type) {
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
    Atom wmStateAbove;
    Atom supportingWmCheck;
    Atom icccmWmState;
    Atom wake;
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
    *atoms_ = Atoms{values[0], values[1], values[2], values[3], values[4], values[5],
                    values[6], values[7], values[8], values[9], values[10]};
}

X11WindowSystem::~X11WindowSystem() = default;

namespace {

using Atoms = X11WindowSystem::Atoms;

// Window handles are the XIDs, which always fit in 29 bits.
Window ToWindow(HWND hwnd) {
    return static_cast<Window>(static_cast<std::uint32_t>(hwnd));
}

HWND ToHwnd(Window window) {
    return static_cast<HWND>(window);
}

Window Root(Display* display) {
    return DefaultRootWindow(display);
}

bool WindowExists(Display* display, Window window, XWindowAttributes* attributes = nullptr) {
    if (window == None) {
        return false;
    }
    XWindowAttributes local;
    XErrorTrap trap(display);
    const Status ok =
        XGetWindowAttributes(display, window, attributes != nullptr ? attributes : &local);
    return ok != 0 && trap.Error() == 0;
}

bool IsMapViewable(Display* display, Window window) {
    XWindowAttributes attributes;
    return WindowExists(display, window, &attributes) && attributes.map_state == IsViewable;
}

bool HasProperty(Display* display, Window window, Atom property) {
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

bool ClassMatches(Display* display, Window window, std::string_view name) {
    XClassHint hint{nullptr, nullptr};
    XErrorTrap trap(display);
    const Status ok = XGetClassHint(display, window, &hint);
    std::unique_ptr<char, XFreeDeleter> instance(hint.res_name);
    std::unique_ptr<char, XFreeDeleter> klass(hint.res_class);
    if (ok == 0 || trap.Error() != 0) {
        return false;
    }
    return EqualsIgnoringAsciiCase(name, instance.get()) ||
           EqualsIgnoringAsciiCase(name, klass.get());
}

// The parent and the children (bottom to top) of a window; a parent of None
// when the window cannot be queried.
struct TreeNode {
    Window parent = None;
    std::vector<Window> children;
};

TreeNode QueryTree(Display* display, Window window) {
    Window root = None;
    Window parent = None;
    Window* raw = nullptr;
    unsigned int count = 0;
    XErrorTrap trap(display);
    const Status ok = XQueryTree(display, window, &root, &parent, &raw, &count);
    std::unique_ptr<Window, XFreeDeleter> children(raw);
    if (ok == 0 || trap.Error() != 0) {
        return {};
    }
    TreeNode node{parent, {}};
    if (children) {
        node.children.assign(children.get(), children.get() + count);
    }
    return node;
}

std::vector<Window> Children(Display* display, Window window) {
    return QueryTree(display, window).children;
}

Window Parent(Display* display, Window window) {
    return QueryTree(display, window).parent;
}

// The application's window inside a top-level window: the window manager's
// frame holds it as a descendant carrying WM_STATE. Without one, the
// top-level window is the application's own.
Window ClientOf(Display* display, const Atoms& atoms, Window topLevel) {
    std::deque<Window> queue{topLevel};
    while (!queue.empty()) {
        const Window w = queue.front();
        queue.pop_front();
        if (HasProperty(display, w, atoms.icccmWmState)) {
            return w;
        }
        for (Window child : Children(display, w)) {
            queue.push_back(child);
        }
    }
    return topLevel;
}

// The child of the root that contains `window`, None for the root itself.
Window TopLevelOf(Display* display, Window window) {
    const Window root = Root(display);
    Window current = window;
    while (current != None && current != root) {
        const Window parent = Parent(display, current);
        if (parent == root) {
            return current;
        }
        current = parent;
    }
    return None;
}

bool IsWithin(Display* display, Window window, Window ancestor) {
    const Window root = Root(display);
    for (Window w = window; w != None && w != root; w = Parent(display, w)) {
        if (w == ancestor) {
            return true;
        }
    }
    return false;
}

Window FocusWindow(Display* display) {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus == PointerRoot ? None : focus;
}

Window ActiveWindow(Display* display, const Atoms& atoms) {
    const auto active = ReadLongs(display, Root(display), atoms.activeWindow, XA_WINDOW);
    return active.empty() ? None : static_cast<Window>(active[0]);
}

bool HasNetState(Display* display, const Atoms& atoms, Window window, Atom state) {
    const auto states = ReadLongs(display, window, atoms.wmState, XA_ATOM);
    return std::find(states.begin(), states.end(), state) != states.end();
}

int ShowState(Display* display, const Atoms& atoms, Window window) {
    if (!WindowExists(display, window)) {
        return 0;
    }
    const auto icccm = ReadLongs(display, window, atoms.icccmWmState, atoms.icccmWmState);
    const auto states = ReadLongs(display, window, atoms.wmState, XA_ATOM);
    auto has = [&states](Atom a) {
        return std::find(states.begin(), states.end(), a) != states.end();
    };
    if ((!icccm.empty() && icccm[0] == IconicState) || has(atoms.wmStateHidden)) {
        return kSwShowMinimized;
    }
    if (has(atoms.wmStateMaxVert) && has(atoms.wmStateMaxHorz)) {
        return kSwShowMaximized;
    }
    return kSwShowNormal;
}

void SendRootMessage(Display* display, Window window, Atom type, long l0, long l1, long l2) {
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

void ChangeNetState(Display* display, const Atoms& atoms, Window window, long action, Atom a,
                    Atom b = None) {
    SendRootMessage(display, window, atoms.wmState, action, static_cast<long>(a),
                    static_cast<long>(b));
}

template <typename Done>
bool WaitFor(Done done, Clock::duration bound) {
    const auto deadline = Clock::now() + bound;
    while (!done()) {
        if (Clock::now() >= deadline) {
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
bool WaitForWindowManager(Display* display, const Atoms& atoms, Done done, Clock::duration bound) {
    const auto deadline = Clock::now() + bound;
    auto wake = Clock::now() + kWakeAfter;
    while (!done()) {
        const auto now = Clock::now();
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

HWND X11WindowSystem::FindWindowA(std::string_view className) {
    Display* display = display_->get();
    if (className.empty()) {
        return 0;
    }
    std::vector<unsigned long> clients;
    if (WmRunning(display, *atoms_)) {
        clients = ReadLongs(display, Root(display), atoms_->clientListStacking, XA_WINDOW);
        if (clients.empty()) {
            clients = ReadLongs(display, Root(display), atoms_->clientList, XA_WINDOW);
        }
    }
    // Both lists run from the bottom of the stack to the top: search from the top.
    for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
        if (ClassMatches(display, *it, className)) {
            return ToHwnd(*it);
        }
    }
    if (!clients.empty()) {
        return 0;
    }
    // No managed list: walk the top-level windows, top of the stack first.
    const std::vector<Window> topLevels = Children(display, Root(display));
    for (auto it = topLevels.rbegin(); it != topLevels.rend(); ++it) {
        const Window client = ClientOf(display, *atoms_, *it);
        if (ClassMatches(display, client, className)) {
            return ToHwnd(client);
        }
    }
    return 0;
}

HWND X11WindowSystem::GetForegroundWindow() {
    Display* display = display_->get();
    const bool wm = WmRunning(display, *atoms_);
    if (wm) {
        // Some window managers leave the property on a window that has gone,
        // and a new client may get the same id: only a shown window that
        // holds the focus is taken at its word.
        const Window active = ActiveWindow(display, *atoms_);
        if (active != None && IsMapViewable(display, active) &&
            IsWithin(display, FocusWindow(display), active)) {
            return ToHwnd(active);
        }
    }
    const Window topLevel = TopLevelOf(display, FocusWindow(display));
    if (topLevel != None) {
        const Window client = ClientOf(display, *atoms_, topLevel);
        // Under a window manager only its clients count; the focus may rest
        // on one of its own windows while nothing is active.
        if (!wm || HasProperty(display, client, atoms_->icccmWmState)) {
            return ToHwnd(client);
        }
    }
    // Nothing active: the desktop (the root window) has the foreground, as the
    // desktop window has on Windows. Giving it back later returns the focus
    // to the pointer instead of leaving it on the target.
    return ToHwnd(Root(display));
}

int X11WindowSystem::GetWindowPlacement(HWND hwnd) {
    return ShowState(display_->get(), *atoms_, ToWindow(hwnd));
}

std::uint32_t X11WindowSystem::GetWindowThreadProcessId(HWND hwnd) {
    Display* display = display_->get();
    const Window window = ToWindow(hwnd);
    if (!WindowExists(display, window)) {
        return 0;
    }
    // Every X client allocates its resource ids from a base that the server
    // assigns; the mask is the same for every client of a server. The base
    // thus names the client that created the window; the low bit keeps ids of
    // server-owned windows (base 0) from reading as "no thread".
    const XID mask = XResourceIdMask(display);
    return static_cast<std::uint32_t>((window & ~mask) | 1U);
}

void X11WindowSystem::AttachThreadInput(std::uint32_t, std::uint32_t, bool) {}

std::uint32_t X11WindowSystem::GetForegroundLockTimeout() {
    return 0;
}

void X11WindowSystem::SetForegroundLockTimeout(std::uint32_t) {}

void X11WindowSystem::ShowWindow(HWND hwnd, int cmd) {
    Display* display = display_->get();
    const Window window = ToWindow(hwnd);
    if (window == Root(display) || !WindowExists(display, window)) {
        return;
    }
    const bool wm = WmRunning(display, *atoms_);
    const int before = ShowState(display, *atoms_, window);
    const bool wasViewable = IsMapViewable(display, window);
    int expected = 0;  // the show state to wait for, 0: none
    XErrorTrap trap(display);
    switch (cmd) {
        case kSwHide:
            if (XWithdrawWindow(display, window, DefaultScreen(display)) == 0) {
                DebugLog("XWithdrawWindow: failed");
            }
            break;
        case kSwShowMinimized:
        case kSwMinimize:
        case kSwShowMinNoActive:
        case kSwForceMinimize:
            // Without a window manager nothing can hold an icon: nothing happens.
            if (XIconifyWindow(display, window, DefaultScreen(display)) == 0) {
                DebugLog("XIconifyWindow: failed");
            }
            expected = wm ? kSwShowMinimized : 0;
            break;
        case kSwShowMaximized:
            XMapWindow(display, window);  // also takes an iconic window out of its icon
            if (wm) {
                ChangeNetState(display, *atoms_, window, kNetWmStateAdd, atoms_->wmStateMaxVert,
                               atoms_->wmStateMaxHorz);
                expected = kSwShowMaximized;
            }
            break;
        case kSwRestore:
            XMapWindow(display, window);
            if (wm && before == kSwShowMaximized) {
                ChangeNetState(display, *atoms_, window, kNetWmStateRemove, atoms_->wmStateMaxVert,
                               atoms_->wmStateMaxHorz);
                expected = kSwShowNormal;
            } else if (wm && before == kSwShowMinimized) {
                // Leaving the icon brings back the size it had before.
                expected = HasNetState(display, *atoms_, window, atoms_->wmStateMaxVert) &&
                                   HasNetState(display, *atoms_, window, atoms_->wmStateMaxHorz)
                               ? kSwShowMaximized
                               : kSwShowNormal;
            }
            break;
        case kSwShowNormal:
        case kSwShowDefault:
            XMapWindow(display, window);
            if (wm) {
                ChangeNetState(display, *atoms_, window, kNetWmStateRemove, atoms_->wmStateMaxVert,
                               atoms_->wmStateMaxHorz);
                expected = kSwShowNormal;
            }
            break;
        default:  // the showing commands that keep the size
            XMapWindow(display, window);
            break;
    }
    LogXError("ShowWindow", trap.Sync());
    if (expected != 0 && expected != before) {
        if (!WaitForWindowManager(
                display, *atoms_, [&] { return ShowState(display, *atoms_, window) == expected; },
                kStateWait)) {
            DebugLog("ShowWindow: the window manager did not change the window's state in time");
        }
    }
    const bool showing = cmd != kSwHide && expected != kSwShowMinimized &&
                         !(cmd == kSwShowMinimized || cmd == kSwMinimize ||
                           cmd == kSwShowMinNoActive || cmd == kSwForceMinimize);
    if (showing && !wasViewable) {
        if (wm) {
            WaitForWindowManager(
                display, *atoms_, [&] { return IsMapViewable(display, window); }, kStateWait);
        } else {
            WaitFor([&] { return IsMapViewable(display, window); }, kStateWait);
        }
    }
}

void X11WindowSystem::SetWindowPos(HWND hwnd, bool topmost) {
    Display* display = display_->get();
    const Window window = ToWindow(hwnd);
    if (window == Root(display) || !WindowExists(display, window)) {
        return;
    }
    XErrorTrap trap(display);
    if (WmRunning(display, *atoms_)) {
        ChangeNetState(display, *atoms_, window, topmost ? kNetWmStateAdd : kNetWmStateRemove,
                       atoms_->wmStateAbove);
    } else if (topmost) {
        XRaiseWindow(display, window);
    }
    LogXError("SetWindowPos", trap.Sync());
}

void X11WindowSystem::SetForegroundWindow(HWND hwnd) {
    Display* display = display_->get();
    const Window window = ToWindow(hwnd);
    if (!WindowExists(display, window)) {
        return;
    }
    if (window == Root(display)) {
        // The desktop: the focus follows the pointer again, as before.
        XErrorTrap trap(display);
        XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
        LogXError("SetForegroundWindow", trap.Sync());
        return;
    }
    if (WmRunning(display, *atoms_)) {
        {
            XErrorTrap trap(display);
            SendRootMessage(display, window, atoms_->activeWindow, kSourcePager, CurrentTime,
                            static_cast<long>(ActiveWindow(display, *atoms_)));
            LogXError("SetForegroundWindow", trap.Sync());
        }
        // The window manager activates asynchronously; keys sent before it has
        // done so would reach the window that was active before.
        if (!WaitForWindowManager(
                display, *atoms_,
                [&] {
                    return ActiveWindow(display, *atoms_) == window &&
                           IsWithin(display, FocusWindow(display), window);
                },
                kActivateWait)) {
            DebugLog("SetForegroundWindow: the window manager did not activate the window in time");
        }
        return;
    }
    XErrorTrap trap(display);
    XMapRaised(display, window);
    XSync(display, False);
    if (!WaitFor([&] { return IsMapViewable(display, window); }, kActivateWait)) {
        DebugLog("SetForegroundWindow: the window did not become viewable in time");
        return;
    }
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    LogXError("SetForegroundWindow", trap.Sync());
}

void X11WindowSystem::Sleep(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace qv
