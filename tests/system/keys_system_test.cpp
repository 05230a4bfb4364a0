// The keystroke-output path on a real X server: the XTest injector and the
// EWMH window system against quorvane-keytarget windows, dispatched the way
// the receive loop does it. Runs under with-xvfb.sh, with or without openbox.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "keys/ActivateWindow.h"
#include "keys/KeyNames.h"
#include "keys/modKeyboard.h"
#include "keys/x11/X11WindowSystem.h"
#include "keys/x11/XTestInjector.h"

// Last: Xlib's macros (None, Bool, Status) clash with GoogleTest's names.
#include <X11/Xlib.h>
#include <X11/keysym.h>

extern char** environ;

namespace qv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long the window manager may take to take on or let go of a window. It
// reloads its key bindings on every keymap change, and a key list that
// borrows keycodes makes hundreds of them: on a loaded machine it was seen
// to need more than 7 s to work through those of one test.
constexpr auto kWindowManagerBound = 30s;

template <typename Done>
bool WaitUntil(Done done, Clock::duration bound = 5s) {
    const auto deadline = Clock::now() + bound;
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

struct Event {
    std::string kind;    // press, release, ...
    std::string keysym;  // for press and release
    int keycode = 0;
};

// A 32-bit property of `window` as longs (Xlib widens them); empty when absent.
std::vector<long> LongProperty(Display* d, Window window, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<long> values;
    if (XGetWindowProperty(d, window, XInternAtom(d, name, False), 0, 1024, False, AnyPropertyType,
                           &type, &format, &count, &after, &data) == Success &&
        data != nullptr && format == 32) {
        const auto* longs = reinterpret_cast<const long*>(data);
        values.assign(longs, longs + count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return values;
}

// What the server knows of a window, for failure messages: whether it is
// mapped, whether a window manager has taken it on (WM_STATE, a frame as its
// parent, an entry in the client list).
std::string DescribeWindow(HWND hwnd) {
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    const auto window = static_cast<Window>(hwnd);
    std::ostringstream out;
    out << "window " << window;
    XWindowAttributes a;
    if (!d || hwnd == 0 || XGetWindowAttributes(d.get(), window, &a) == 0) {
        out << ": not there";
        return out.str();
    }
    out << ": "
        << (a.map_state == IsViewable     ? "viewable"
            : a.map_state == IsUnviewable ? "mapped, not viewable"
                                          : "unmapped");
    const std::vector<long> wmState = LongProperty(d.get(), window, "WM_STATE");
    out << ", WM_STATE " << (wmState.empty() ? std::string("none") : std::to_string(wmState[0]));
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(d.get(), window, &root, &parent, &children, &count) != 0) {
        if (children != nullptr) {
            XFree(children);
        }
        out << ", parent " << (parent == root ? std::string("the root") : std::to_string(parent));
    }
    const std::vector<long> clients =
        LongProperty(d.get(), DefaultRootWindow(d.get()), "_NET_CLIENT_LIST");
    const bool listed =
        std::find(clients.begin(), clients.end(), static_cast<long>(window)) != clients.end();
    out << (listed ? ", in" : ", not in") << " the client list of " << clients.size();
    return out.str();
}

// One quorvane-keytarget process and the events it has logged.
class Target {
public:
    Target(std::string className, std::vector<std::string> extra = {})
        : className_(std::move(className)) {
        char pattern[] = "/tmp/qv-keytarget-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) {
            close(fd);
        }
        output_ = pattern;
        std::vector<std::string> args = {QV_KEYTARGET, "--class", className_, "--output", output_};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, QV_KEYTARGET, nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
    }
    ~Target() {
        const HWND window = WindowId();
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        unlink(output_.c_str());
        // The next window the server hands out may get the same id. Openbox
        // erases _NET_WM_STATE and WM_STATE from a window it lets go of; if it
        // lets go of this one only then, it erases them from the new window
        // (a --maximized target then comes up normal), so the next test starts
        // once the manager has let go.
        std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
        if (window != 0 && d) {
            const Window root = DefaultRootWindow(d.get());
            const auto listed = [&] {
                const std::vector<long> clients = LongProperty(d.get(), root, "_NET_CLIENT_LIST");
                return std::find(clients.begin(), clients.end(), static_cast<long>(window)) !=
                       clients.end();
            };
            if (!WaitUntil([&] { return !listed(); }, kWindowManagerBound)) {
                ADD_FAILURE() << className_ << ": the window manager still lists window " << window
                              << " after it was closed";
            }
        }
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    const std::string& className() const { return className_; }

    // Every key and button event logged so far.
    std::vector<Event> Events() const {
        std::vector<Event> events;
        std::ifstream in(output_);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            Event e;
            fields >> e.kind;
            if (e.kind == "press" || e.kind == "release") {
                fields >> e.keysym >> e.keycode;
                events.push_back(e);
            } else if (e.kind == "buttonpress" || e.kind == "buttonrelease") {
                fields >> e.keycode;
                events.push_back(e);
            }
        }
        return events;
    }

    // The window id from the "ready" line, 0 until it is there.
    HWND WindowId() const {
        std::ifstream in(output_);
        std::string kind;
        long long id = 0;
        if (in >> kind >> id && kind == "ready") {
            return static_cast<HWND>(id);
        }
        return 0;
    }

    bool WaitForEvents(std::size_t count) const {
        return WaitUntil([&] { return Events().size() >= count; });
    }

private:
    std::string className_;
    std::string output_;
    pid_t pid_ = -1;
};

class KeysOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        windows = X11WindowSystem::Open();
        injector = XTestInjector::Open();
        ASSERT_TRUE(windows) << "no X server";
        ASSERT_TRUE(injector) << "no XTEST";
        withWm = windows->HasWindowManager();
        const char* expect = std::getenv("QV_EXPECT_WM");
        ASSERT_EQ(withWm, expect != nullptr && std::string(expect) == "1")
            << "the window manager this run was started with is not there";
    }

    // Waits until the target's window exists, can be found by its class, and
    // (with a window manager) is managed in the given show state; returns it.
    HWND WaitForWindow(const Target& target, int showState = kSwShowNormal) {
        std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
        HWND hwnd = 0;
        EXPECT_TRUE(WaitUntil(
            [&] {
                hwnd = target.WindowId();
                // A window the manager has not taken on yet has no show state of
                // its own: only WM_STATE says it has.
                return hwnd != 0 && windows->FindWindowA(target.className()) != 0 &&
                       (!withWm ||
                        (!LongProperty(d.get(), static_cast<Window>(hwnd), "WM_STATE").empty() &&
                         windows->GetWindowPlacement(hwnd) == showState));
            },
            kWindowManagerBound))
            << target.className() << ": " << DescribeWindow(hwnd);
        if (showState != kSwShowMinimized) {
            // A window that is not viewable yet cannot take the focus.
            EXPECT_TRUE(WaitUntil([&] {
                XWindowAttributes a;
                return XGetWindowAttributes(d.get(), static_cast<Window>(hwnd), &a) != 0 &&
                       a.map_state == IsViewable;
            })) << target.className()
                << ": " << DescribeWindow(hwnd);
        }
        return hwnd;
    }

    // Makes `hwnd` the foreground window, as the user would by clicking it.
    void Focus(HWND hwnd) {
        windows->SetForegroundWindow(hwnd);
        ASSERT_TRUE(WaitUntil([&] { return windows->GetForegroundWindow() == hwnd; }));
    }

    // One dispatch of a slot with a target window class, as the receive loop does it.
    void Dispatch(std::string_view className, std::string_view keyList, std::int16_t delayMs = 0) {
        const HWND previous = windows->GetForegroundWindow();
        const HWND target = windows->FindWindowA(className);
        const int showState = ActivateWindow(*windows, target, delayMs);
        SendKeyList(*injector, keyList);
        windows->ShowWindow(target, showState);
        ActivateWindow(*windows, previous, delayMs);
    }

    std::unique_ptr<X11WindowSystem> windows;
    std::unique_ptr<XTestInjector> injector;
    bool withWm = false;
};

// Keycodes without any keysym, read on a new connection (no cached keymap).
int CountKeycodesWithoutKeysym() {
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(d.get(), &minCode, &maxCode);
    int perCode = 0;
    KeySym* map = XGetKeyboardMapping(d.get(), static_cast<KeyCode>(minCode), maxCode - minCode + 1,
                                      &perCode);
    int spare = 0;
    for (int code = 0; code <= maxCode - minCode; ++code) {
        bool empty = true;
        for (int i = 0; i < perCode; ++i) {
            empty = empty && map[code * perCode + i] == NoSymbol;
        }
        spare += empty ? 1 : 0;
    }
    XFree(map);
    return spare;
}

std::vector<std::string> Describe(const std::vector<Event>& events) {
    std::vector<std::string> out;
    for (const Event& e : events) {
        out.push_back(e.kind + " " + e.keysym);
    }
    return out;
}

TEST_F(KeysOnX11, CtrlCArrivesAsFourEventsInOrder) {
    Target other("QvOther");
    Target target("QvTarget");
    const HWND otherWindow = WaitForWindow(other);
    WaitForWindow(target);
    Focus(otherWindow);

    Dispatch("QvTarget", "D[CTRL], DC, UC, U[CTRL]");

    ASSERT_TRUE(target.WaitForEvents(4));
    EXPECT_EQ(
        Describe(target.Events()),
        (std::vector<std::string>{"press Control_L", "press c", "release c", "release Control_L"}));
    EXPECT_TRUE(other.Events().empty());
    EXPECT_EQ(windows->GetForegroundWindow(), otherWindow);
}

TEST_F(KeysOnX11, BatchOf255EventsArrivesCompleteAndInOrder) {
    Target target("QvTarget");
    Focus(WaitForWindow(target));
    std::string list;
    std::vector<std::string> expected;
    for (int i = 0; i < 255; ++i) {
        const char letter = static_cast<char>('A' + (i / 2) % 26);
        list += std::string(i == 0 ? "" : ", ") + (i % 2 == 0 ? "D" : "U") + letter;
        expected.push_back(std::string(i % 2 == 0 ? "press " : "release ") +
                           static_cast<char>(letter - 'A' + 'a'));
    }
    SendKeyList(*injector, list);
    ASSERT_TRUE(target.WaitForEvents(255));
    EXPECT_EQ(Describe(target.Events()), expected);
    SendKeyList(*injector,
                "U" + std::string(1, static_cast<char>('A' + 127 % 26)));  // the key left down
}

TEST_F(KeysOnX11, KeysymMissingFromTheKeymapArrivesAndTheKeymapIsRestored) {
    Target target("QvTarget");
    Focus(WaitForWindow(target));
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    ASSERT_EQ(XKeysymToKeycode(d.get(), VirtualKeyToKeysym(0x19)), 0) << "Kanji is in this keymap";
    SendKeyList(*injector, "D[KANJI], U[KANJI], DA, UA");
    ASSERT_TRUE(target.WaitForEvents(4));
    EXPECT_EQ(Describe(target.Events()),
              (std::vector<std::string>{"press Kanji", "release Kanji", "press a", "release a"}));
    // A new connection reads the keymap afresh.
    std::unique_ptr<Display, int (*)(Display*)> fresh(XOpenDisplay(nullptr), XCloseDisplay);
    EXPECT_EQ(XKeysymToKeycode(fresh.get(), VirtualKeyToKeysym(0x19)), 0)
        << "borrowed keycode not restored";
}

TEST_F(KeysOnX11, EveryKeyOfTheVocabularyArrives) {
    Target target("QvTarget");
    Focus(WaitForWindow(target));
    const int spareBefore = CountKeycodesWithoutKeysym();
    std::string list;
    std::vector<int> codes;
    for (const KeyName& key : KeyVocabulary()) {
        // Skip synonyms, the mouse buttons and the locks (which would change
        // how later keys are looked up).
        if (!key.canonical || VirtualKeyToButton(key.code) != 0 || key.code == 0x14 ||
            key.code == 0x90 || key.code == 0x91) {
            continue;
        }
        // Openbox's default configuration takes the Print key for itself.
        if (withWm && VirtualKeyToKeysym(key.code) == XK_Print) {
            continue;
        }
        ASSERT_NE(VirtualKeyToKeysym(key.code), 0u) << key.name << " has no keysym";
        list +=
            (list.empty() ? "D" : ", D") + std::string(key.name) + ", U" + std::string(key.name);
        codes.push_back(key.code);
    }
    SendKeyList(*injector, list);
    target.WaitForEvents(2 * codes.size());
    const std::vector<Event> events = target.Events();
    std::vector<std::string> sent;
    for (int code : codes) {
        sent.push_back(XKeysymToString(VirtualKeyToKeysym(code)));
    }
    ASSERT_EQ(events.size(), 2 * codes.size())
        << "sent " << ::testing::PrintToString(sent) << "\nreceived "
        << ::testing::PrintToString(Describe(events));
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const unsigned long keysym = VirtualKeyToKeysym(codes[i]);
        const std::string name = XKeysymToString(keysym);
        // The keypad digits come out as digits whatever the Num Lock state.
        EXPECT_EQ(events[2 * i].keysym, name) << KeyCodeToName(static_cast<std::int16_t>(codes[i]));
        EXPECT_EQ(events[2 * i + 1].keysym, name)
            << KeyCodeToName(static_cast<std::int16_t>(codes[i]));
        EXPECT_EQ(events[2 * i].kind, "press");
        EXPECT_EQ(events[2 * i + 1].kind, "release");
    }
    // More keysyms were missing than there are spare keycodes (the batch went
    // out in pieces); every borrowed keycode is free again.
    EXPECT_EQ(CountKeycodesWithoutKeysym(), spareBefore);
}

bool KeyRepeats(KeySym keysym) {
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    const KeyCode code = XKeysymToKeycode(d.get(), keysym);
    XKeyboardState state;
    XGetKeyboardControl(d.get(), &state);
    return (state.auto_repeats[code / 8] & (1 << (code % 8))) != 0;
}

TEST_F(KeysOnX11, KeysLeftDownDoNotRepeatAndAreReleasedByALaterList) {
    Target target("QvTarget");
    Focus(WaitForWindow(target));
    const int spareBefore = CountKeycodesWithoutKeysym();
    ASSERT_TRUE(KeyRepeats(XK_a));

    SendKeyList(*injector, "DA, D[KANJI]");
    // Longer than the X server's repeat delay (660 ms on Xvfb).
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(Describe(target.Events()), (std::vector<std::string>{"press a", "press Kanji"}));
    EXPECT_FALSE(KeyRepeats(XK_a));
    EXPECT_EQ(CountKeycodesWithoutKeysym(), spareBefore - 1) << "Kanji keeps its key while held";

    SendKeyList(*injector, "U[KANJI], UA");
    ASSERT_TRUE(target.WaitForEvents(4));
    EXPECT_EQ(Describe(target.Events()),
              (std::vector<std::string>{"press a", "press Kanji", "release Kanji", "release a"}));
    EXPECT_TRUE(KeyRepeats(XK_a));
    EXPECT_EQ(CountKeycodesWithoutKeysym(), spareBefore);
}

TEST_F(KeysOnX11, ABorrowedKeyHeldAcrossPiecesOfABatchIsReleasedOnItsOwnKey) {
    Target target("QvTarget");
    Focus(WaitForWindow(target));
    const int spareBefore = CountKeycodesWithoutKeysym();
    // Kanji, F13-F24 and the keypad digits are all missing from Xvfb's keymap:
    // more keysyms than spare keycodes, so the batch goes out in two pieces
    // and Kanji stays down from the first into the second.
    std::string list = "D[KANJI]";
    std::vector<std::string> expected = {"press Kanji"};
    for (int n = 13; n <= 24; ++n) {
        list += ", D[F" + std::to_string(n) + "], U[F" + std::to_string(n) + "]";
        expected.insert(expected.end(),
                        {"press F" + std::to_string(n), "release F" + std::to_string(n)});
    }
    for (int n = 0; n <= 9; ++n) {
        list += ", D[NUMPAD" + std::to_string(n) + "], U[NUMPAD" + std::to_string(n) + "]";
        expected.insert(expected.end(),
                        {"press KP_" + std::to_string(n), "release KP_" + std::to_string(n)});
    }
    list += ", U[KANJI]";
    expected.push_back("release Kanji");
    ASSERT_LT(spareBefore, 23);

    SendKeyList(*injector, list);

    ASSERT_TRUE(target.WaitForEvents(expected.size()));
    EXPECT_EQ(Describe(target.Events()), expected);
    EXPECT_EQ(CountKeycodesWithoutKeysym(), spareBefore);
}

TEST_F(KeysOnX11, AnInjectorLetsGoOfItsHeldKeysWhenItEnds) {
    Target target("QvTarget");
    Focus(WaitForWindow(target));
    {
        auto second = XTestInjector::Open();
        ASSERT_TRUE(second);
        SendKeyList(*second, "DB");
        ASSERT_TRUE(target.WaitForEvents(1));
    }
    ASSERT_TRUE(target.WaitForEvents(2));
    EXPECT_EQ(Describe(target.Events()), (std::vector<std::string>{"press b", "release b"}));
    EXPECT_TRUE(KeyRepeats(XK_b));
}

TEST_F(KeysOnX11, MouseButtonCodesClickThePointerButtons) {
    Target target("QvTarget");
    const HWND window = WaitForWindow(target);
    Focus(window);
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    XWarpPointer(d.get(), None, static_cast<Window>(window), 0, 0, 0, 0, 20, 20);
    XSync(d.get(), False);
    SendKeyList(*injector,
                "D[LBUTTON], U[LBUTTON], D[RBUTTON], U[RBUTTON], D[MBUTTON], U[MBUTTON]");
    ASSERT_TRUE(target.WaitForEvents(6));
    std::vector<std::string> got;
    for (const Event& e : target.Events()) {
        got.push_back(e.kind + " " + std::to_string(e.keycode));
    }
    EXPECT_EQ(got,
              (std::vector<std::string>{"buttonpress 1", "buttonrelease 1", "buttonpress 3",
                                        "buttonrelease 3", "buttonpress 2", "buttonrelease 2"}));
}

TEST_F(KeysOnX11, UnknownAndEmptyNamesAreSkipped) {
    Target target("QvTarget");
    Focus(WaitForWindow(target));
    SendKeyList(*injector, "D[NOSUCHKEY], DA,, UA, U[186]");
    ASSERT_TRUE(target.WaitForEvents(2));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Describe(target.Events()), (std::vector<std::string>{"press a", "release a"}));
}

TEST_F(KeysOnX11, MissingClassSendsToTheForegroundWindow) {
    Target other("QvOther");
    const HWND otherWindow = WaitForWindow(other);
    Focus(otherWindow);
    EXPECT_EQ(windows->FindWindowA("QvNoSuchClass"), 0);
    Dispatch("QvNoSuchClass", "DX, UX");
    ASSERT_TRUE(other.WaitForEvents(2));
    EXPECT_EQ(Describe(other.Events()), (std::vector<std::string>{"press x", "release x"}));
    EXPECT_EQ(windows->GetForegroundWindow(), otherWindow);
}

TEST_F(KeysOnX11, ClassIsMatchedIgnoringCaseAndTopMostWins) {
    Target lower("qvtarget");
    const HWND first = WaitForWindow(lower);
    Target upper("QVTARGET");
    const HWND second = WaitForWindow(upper);
    Focus(second);  // activation raises it to the top of the stack
    EXPECT_EQ(windows->FindWindowA("QvTarget"), second);
    Focus(first);
    EXPECT_EQ(windows->FindWindowA("qvTARGET"), first);
    // One "thread" per X client: two processes, two different ids, never 0.
    EXPECT_EQ(windows->GetWindowThreadProcessId(0), 0u);
    EXPECT_NE(windows->GetWindowThreadProcessId(first), 0u);
    EXPECT_NE(windows->GetWindowThreadProcessId(second), 0u);
    EXPECT_NE(windows->GetWindowThreadProcessId(first), windows->GetWindowThreadProcessId(second));
}

TEST_F(KeysOnX11, WithNothingActiveTheDesktopIsTheForegroundAndGetsItBack) {
    // A window manager keeps some window active while one is shown: nothing
    // is active when the only window is minimised. Without one, the focus
    // simply goes back to the pointer.
    Target target("QvTarget",
                  withWm ? std::vector<std::string>{"--iconic"} : std::vector<std::string>{});
    const HWND window = WaitForWindow(target, withWm ? kSwShowMinimized : kSwShowNormal);
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    const auto desktop = static_cast<HWND>(DefaultRootWindow(d.get()));
    if (!withWm) {
        Focus(desktop);
    }
    ASSERT_TRUE(WaitUntil([&] { return windows->GetForegroundWindow() == desktop; }, 2s));

    Dispatch("QvTarget", "DQ, UQ");

    ASSERT_TRUE(target.WaitForEvents(2));
    EXPECT_EQ(Describe(target.Events()), (std::vector<std::string>{"press q", "release q"}));
    EXPECT_TRUE(WaitUntil([&] { return windows->GetForegroundWindow() == desktop; }, 2s));
    EXPECT_NE(windows->GetForegroundWindow(), window);
}

TEST_F(KeysOnX11, TargetInTheForegroundGetsTheKeysWithoutASwitch) {
    Target target("QvTarget");
    const HWND window = WaitForWindow(target);
    Focus(window);
    const auto start = Clock::now();
    Dispatch("QvTarget", "DB, UB", 1000);
    EXPECT_LT(Clock::now() - start, 900ms) << "waited although the target was in the foreground";
    ASSERT_TRUE(target.WaitForEvents(2));
    EXPECT_EQ(windows->GetForegroundWindow(), window);
}

TEST_F(KeysOnX11, MinimisedTargetIsRestoredServedAndMinimisedAgain) {
    if (!withWm) {
        GTEST_SKIP() << "without a window manager nothing is minimised";
    }
    Target other("QvOther");
    Target target("QvTarget", {"--iconic"});
    const HWND otherWindow = WaitForWindow(other);
    const HWND targetWindow = WaitForWindow(target, kSwShowMinimized);
    Focus(otherWindow);

    Dispatch("QvTarget", "D[F5], U[F5]", 100);

    ASSERT_TRUE(target.WaitForEvents(2));
    EXPECT_EQ(Describe(target.Events()), (std::vector<std::string>{"press F5", "release F5"}));
    EXPECT_TRUE(WaitUntil(
        [&] { return windows->GetWindowPlacement(targetWindow) == kSwShowMinimized; }, 2s));
    EXPECT_EQ(windows->GetForegroundWindow(), otherWindow);
    EXPECT_TRUE(other.Events().empty());
}

TEST_F(KeysOnX11, MaximisedTargetIsMaximisedAgain) {
    if (!withWm) {
        GTEST_SKIP() << "without a window manager nothing is maximised";
    }
    Target other("QvOther");
    Target target("QvTarget", {"--maximized"});
    const HWND otherWindow = WaitForWindow(other);
    const HWND targetWindow = WaitForWindow(target, kSwShowMaximized);
    Focus(otherWindow);

    Dispatch("QvTarget", "D[RETURN], U[RETURN]");

    ASSERT_TRUE(target.WaitForEvents(2));
    EXPECT_EQ(Describe(target.Events()),
              (std::vector<std::string>{"press Return", "release Return"}));
    EXPECT_TRUE(WaitUntil(
        [&] { return windows->GetWindowPlacement(targetWindow) == kSwShowMaximized; }, 2s));
    EXPECT_EQ(windows->GetForegroundWindow(), otherWindow);
}

TEST_F(KeysOnX11, ShowStatesFollowShowWindow) {
    if (!withWm) {
        GTEST_SKIP() << "without a window manager there are no show states";
    }
    Target target("QvTarget");
    const HWND window = WaitForWindow(target);
    EXPECT_EQ(windows->GetWindowPlacement(0), 0);
    // ShowWindow waits up to half a second for the window manager; on a
    // loaded machine the manager may take longer, which is not what this
    // test is about: it checks that each state follows.
    const auto reaches = [&](int state) {
        return WaitUntil([&] { return windows->GetWindowPlacement(window) == state; }, 2s);
    };
    windows->ShowWindow(window, kSwShowMaximized);
    EXPECT_TRUE(reaches(kSwShowMaximized));
    windows->ShowWindow(window, kSwMinimize);
    EXPECT_TRUE(reaches(kSwShowMinimized));
    windows->ShowWindow(window, kSwRestore);
    EXPECT_TRUE(reaches(kSwShowMaximized));
    windows->ShowWindow(window, kSwShowNormal);
    EXPECT_TRUE(reaches(kSwShowNormal));
}

}  // namespace
}  // namespace qv
