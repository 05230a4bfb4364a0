// The keystroke-output path on a real X server: the XTest injector and the
// EWMH window system against quorvane-keytarget windows, dispatched the way
// the receive loop does it. Runs under with-xvfb.sh with openbox, with icewm
// or without a window manager.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/Clock.h"
#include "keys/ActivateWindow.h"
#include "keys/KeyNames.h"
#include "keys/KeySender.h"
#include "keys/x11/X11WindowSystem.h"
#include "keys/x11/XTestInjector.h"
#include "keys/xkb/KeysymCodes.h"
#include "keys_target.h"
#include "support/DelayedLink.h"

// Last: Xlib's macros (None, Bool, Status) clash with GoogleTest's names.
#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace qv {

// Failure messages show window ids and show states by number.
void PrintTo(const Window& window, std::ostream* out) {
    *out << "window " << window.id;
}
void PrintTo(ShowState state, std::ostream* out) {
    *out << "show state " << static_cast<int>(state);
}

namespace {

using namespace std::chrono_literals;
using XWindow = ::Window;  // inside this namespace `Window` is the port's window

XWindow ToX(Window window) {
    return static_cast<XWindow>(window.id);
}

// How long the window manager may take to take on or let go of a window. It
// reloads its key bindings on every keymap change, and a key list that
// borrows keycodes makes hundreds of them: on a loaded machine it was seen
// to need more than 7 s to work through those of one test.
constexpr auto kWindowManagerBound = 30s;

using test::Event;
using test::WaitUntil;

// A 32-bit property of `window` as longs (Xlib widens them); empty when absent.
std::vector<long> LongProperty(Display* d, XWindow window, const char* name) {
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

// The window manager's name for itself ("Openbox", "IceWM ..." cut to its
// first word), empty without one.
std::string WindowManagerName() {
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    const std::vector<long> check =
        LongProperty(d.get(), DefaultRootWindow(d.get()), "_NET_SUPPORTING_WM_CHECK");
    if (check.empty()) {
        return {};
    }
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(d.get(), static_cast<XWindow>(check[0]),
                           XInternAtom(d.get(), "_NET_WM_NAME", False), 0, 256, False,
                           AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
        data != nullptr && format == 8) {
        name.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return name.substr(0, name.find(' '));
}

// What the server knows of a window, for failure messages: whether it is
// mapped, whether a window manager has taken it on (WM_STATE, a frame as its
// parent, an entry in the client list).
std::string DescribeWindow(Window hwnd) {
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    const XWindow window = ToX(hwnd);
    std::ostringstream out;
    out << "window " << window;
    XWindowAttributes a;
    if (!d || !hwnd || XGetWindowAttributes(d.get(), window, &a) == 0) {
        out << ": not there";
        return out.str();
    }
    out << ": "
        << (a.map_state == IsViewable     ? "viewable"
            : a.map_state == IsUnviewable ? "mapped, not viewable"
                                          : "unmapped");
    const std::vector<long> wmState = LongProperty(d.get(), window, "WM_STATE");
    out << ", WM_STATE " << (wmState.empty() ? std::string("none") : std::to_string(wmState[0]));
    XWindow root = 0;
    XWindow parent = 0;
    XWindow* children = nullptr;
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

// One quorvane-keytarget process whose window the window manager has let go
// of again when it ends.
class Target {
public:
    Target(std::string className, std::vector<std::string> extra = {})
        : className_(std::move(className)),
          process_(std::make_unique<test::KeyTarget>(className_, std::move(extra))) {}
    ~Target() {
        const Window window = WindowId();
        process_.reset();
        // The next window the server hands out may get the same id. Openbox
        // erases _NET_WM_STATE and WM_STATE from a window it lets go of; if it
        // lets go of this one only then, it erases them from the new window
        // (a --maximized target then comes up normal), so the next test starts
        // once the manager has let go.
        std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
        if (window && d) {
            const XWindow root = DefaultRootWindow(d.get());
            const auto listed = [&] {
                const std::vector<long> clients = LongProperty(d.get(), root, "_NET_CLIENT_LIST");
                return std::find(clients.begin(), clients.end(), static_cast<long>(window.id)) !=
                       clients.end();
            };
            if (!WaitUntil([&] { return !listed(); }, kWindowManagerBound)) {
                ADD_FAILURE() << className_ << ": the window manager still lists window "
                              << window.id << " after it was closed";
            }
        }
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    const std::string& ClassName() const { return className_; }
    std::vector<Event> Events() const { return process_->Events(); }
    // The window from the "ready" line, none until it is there.
    Window WindowId() const { return Window{process_ ? process_->WindowId() : 0}; }
    bool WaitForEvents(std::size_t count) const { return process_->WaitForEvents(count); }
    long long Sync() const { return process_->Sync(); }

private:
    std::string className_;
    std::unique_ptr<test::KeyTarget> process_;
};

class KeysOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        windows = X11WindowSystem::Open();
        injector = XTestInjector::Open();
        ASSERT_TRUE(windows) << "no X server";
        ASSERT_TRUE(injector) << "no XTEST";
        withWm = windows->HasWindowManager();
        wmName = WindowManagerName();
        const char* expect = std::getenv("QV_EXPECT_WM");
        ASSERT_EQ(withWm, expect != nullptr && std::string(expect) == "1")
            << "the window manager this run was started with is not there";
    }

    // Waits until the target's window exists, can be found by its class, and
    // (with a window manager) is managed in the given show state; returns it.
    Window WaitForWindow(const Target& target, ShowState showState = ShowState::Normal) {
        std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
        Window hwnd;
        EXPECT_TRUE(WaitUntil(
            [&] {
                hwnd = target.WindowId();
                // A window the manager has not taken on yet has no show state of
                // its own: only WM_STATE says it has.
                return hwnd && windows->FindByClass(target.ClassName()) &&
                       (!withWm || (!LongProperty(d.get(), ToX(hwnd), "WM_STATE").empty() &&
                                    windows->GetShowState(hwnd) == showState));
            },
            kWindowManagerBound))
            << target.ClassName() << ": " << DescribeWindow(hwnd);
        if (showState != ShowState::Minimized) {
            // A window that is not viewable yet cannot take the focus.
            EXPECT_TRUE(WaitUntil([&] {
                XWindowAttributes a;
                return XGetWindowAttributes(d.get(), ToX(hwnd), &a) != 0 &&
                       a.map_state == IsViewable;
            })) << target.ClassName()
                << ": " << DescribeWindow(hwnd);
        }
        return hwnd;
    }

    // Makes `hwnd` the foreground window, as the user would by clicking it.
    void Focus(Window hwnd) {
        windows->Activate(hwnd);
        ASSERT_TRUE(WaitUntil([&] { return windows->Foreground() == hwnd; }));
    }

    // One dispatch of a slot with a target window class, as the receive loop does it.
    void Dispatch(std::string_view className, std::string_view keyList, std::int16_t delayMs = 0) {
        const Window previous = windows->Foreground();
        const Window target = windows->FindByClass(className);
        const ShowState showState = ActivateWindow(*windows, clock, target, delayMs);
        SendKeyList(*injector, keyList);
        windows->SetShowState(target, showState);
        ActivateWindow(*windows, clock, previous, delayMs);
    }

    // True for keys that the window manager's default configuration binds
    // for itself, so that they never reach a client.
    bool TakenByWindowManager(KeySym keysym) const {
        if (wmName == "Openbox") {
            return keysym == XK_Print;
        }
        if (wmName == "IceWM") {
            // Either Windows key opens its menu, which then takes every key
            // that follows; the others are in /usr/share/icewm/keys.
            return keysym == XK_Super_L || keysym == XK_Super_R || keysym == XF86XK_Calculator ||
                   keysym == XF86XK_HomePage || keysym == XF86XK_Search;
        }
        return false;
    }

    // The steady clock, with every pause the dispatch asks for written down.
    class PauseRecordingClock final : public qv::Clock {
    public:
        TimePoint Now() override { return steady_.Now(); }
        void Sleep(std::chrono::milliseconds duration) override {
            pauses.push_back(duration.count());
            steady_.Sleep(duration);
        }
        std::vector<long long> pauses;

    private:
        SteadyClock steady_;
    };

    std::unique_ptr<X11WindowSystem> windows;
    std::unique_ptr<XTestInjector> injector;
    PauseRecordingClock clock;
    bool withWm = false;
    std::string wmName;  // as the window manager names itself (_NET_WM_NAME)
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

// All of a list, where GoogleTest would print only its first 32 items.
std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : ", ") + item;
    }
    return out;
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
    const Window otherWindow = WaitForWindow(other);
    WaitForWindow(target);
    Focus(otherWindow);

    Dispatch("QvTarget", "D[CTRL], DC, UC, U[CTRL]");

    ASSERT_TRUE(target.WaitForEvents(4));
    EXPECT_EQ(
        Describe(target.Events()),
        (std::vector<std::string>{"press Control_L", "press c", "release c", "release Control_L"}));
    EXPECT_TRUE(other.Events().empty());
    EXPECT_EQ(windows->Foreground(), otherWindow);
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
        if (TakenByWindowManager(VirtualKeyToKeysym(key.code))) {
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
        << "sent " << Join(sent) << "\nreceived " << Join(Describe(events));
    for (std::size_t i = 0; i < codes.size(); ++i) {
        // The layout decides what a key types: [CLEAR] presses keypad 5,
        // which is VK_CLEAR without Num Lock, as on Windows.
        const std::string name =
            codes[i] == 0x0C ? "KP_Begin" : XKeysymToString(VirtualKeyToKeysym(codes[i]));
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
    const std::vector<std::string> got = Describe(target.Events());
    std::string whole;  // gtest prints the first 32 events only
    for (const std::string& event : got) {
        whole += event + "; ";
    }
    EXPECT_EQ(got, expected) << "all events: " << whole;
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
    const Window window = WaitForWindow(target);
    Focus(window);
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    XWarpPointer(d.get(), None, ToX(window), 0, 0, 0, 0, 20, 20);
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

// The socket of the X server named by $DISPLAY (":N"): the file when there
// is one, else the abstract socket of the same name.
std::string ServerSocket() {
    const char* display = std::getenv("DISPLAY");
    std::string number = display != nullptr ? display : "";
    number = number.substr(number.find(':') + 1);
    number = number.substr(0, number.find('.'));
    const std::string path = "/tmp/.X11-unix/X" + number;
    return access(path.c_str(), F_OK) == 0 ? path : "@" + path;
}

// Send returns once the X server has handed every event of the batch to the
// focused window: a round trip the target makes right after Send returns
// finds them all there. The injector reaches the server over a link that
// holds its requests back for a while, so an injector that returned after a
// mere flush would leave the target's round trip (on its own, direct
// connection) with none of the batch's events. Several rounds, each a full
// key list; one with a keysym the layout lacks (borrowed keycodes).
TEST_F(KeysOnX11, SendReturnsOnceTheFocusedWindowHasBeenHandedEveryEvent) {
    Target target("QvTarget");
    Focus(WaitForWindow(target));
    test::DelayedLink link(test::DelayedLink::XDisplay{}, ServerSocket(), 300ms);
    ASSERT_EQ(link.Error(), "");
    const std::unique_ptr<XTestInjector> slow = XTestInjector::Open(link.Address().c_str());
    ASSERT_TRUE(slow) << "no connection through " << link.Address();
    std::string list;
    for (int i = 0; i < 254; ++i) {
        const char letter = static_cast<char>('A' + (i / 2) % 26);
        list += std::string(i == 0 ? "" : ", ") + (i % 2 == 0 ? "D" : "U") + letter;
    }
    constexpr int kRounds = 3;
    for (int round = 1; round <= kRounds; ++round) {
        SendKeyList(*slow, list);
        EXPECT_EQ(target.Sync(), round * 254LL)
            << "round " << round << ": events came after Send had returned";
    }
    // [KANJI] has no key on the US layout: a spare keycode is lent to it for
    // the batch and taken back afterwards.
    SendKeyList(*slow, "D[KANJI], U[KANJI], DA, UA");
    EXPECT_EQ(target.Sync(), kRounds * 254LL + 4) << "the batch with a borrowed key";
    EXPECT_EQ(link.Connections(), 1);
}

// A captured key whose code has no name is written as its number and sent
// as that key: the punctuation of the US layout here. A code no key of the
// layout carries (半角/全角 on us) is skipped.
TEST_F(KeysOnX11, CodesWrittenAsNumbersPressTheKeyThatCarriesThem) {
    Target target("QvTarget");
    Focus(WaitForWindow(target));
    SendKeyList(
        *injector,
        "D[186], U[186], D[243], U[243], D[SHIFT], D[222], U[222], U[SHIFT], D[226], U[226]");
    ASSERT_TRUE(target.WaitForEvents(8));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Describe(target.Events()),
              (std::vector<std::string>{"press semicolon", "release semicolon", "press Shift_L",
                                        "press quotedbl", "release quotedbl", "release Shift_L",
                                        "press less", "release less"}));
}

TEST_F(KeysOnX11, UnknownAndEmptyNamesAreSkipped) {
    Target target("QvTarget");
    Focus(WaitForWindow(target));
    SendKeyList(*injector, "D[NOSUCHKEY], DA,, UA, U[255], D[0]");
    ASSERT_TRUE(target.WaitForEvents(2));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Describe(target.Events()), (std::vector<std::string>{"press a", "release a"}));
}

TEST_F(KeysOnX11, MissingClassSendsToTheForegroundWindow) {
    Target other("QvOther");
    const Window otherWindow = WaitForWindow(other);
    Focus(otherWindow);
    EXPECT_FALSE(windows->FindByClass("QvNoSuchClass"));
    Dispatch("QvNoSuchClass", "DX, UX");
    ASSERT_TRUE(other.WaitForEvents(2));
    EXPECT_EQ(Describe(other.Events()), (std::vector<std::string>{"press x", "release x"}));
    EXPECT_EQ(windows->Foreground(), otherWindow);
}

TEST_F(KeysOnX11, ClassIsMatchedIgnoringCaseAndTopMostWins) {
    Target lower("qvtarget");
    const Window first = WaitForWindow(lower);
    Target upper("QVTARGET");
    const Window second = WaitForWindow(upper);
    Focus(second);  // activation raises it to the top of the stack
    EXPECT_EQ(windows->FindByClass("QvTarget"), second);
    Focus(first);
    EXPECT_EQ(windows->FindByClass("qvTARGET"), first);
}

TEST_F(KeysOnX11, WithNothingActiveTheDesktopIsTheForegroundAndGetsItBack) {
    // A window manager keeps some window active while one is shown: nothing
    // is active when the only window is minimised. Without one, the focus
    // simply goes back to the pointer.
    Target target("QvTarget",
                  withWm ? std::vector<std::string>{"--iconic"} : std::vector<std::string>{});
    const Window window = WaitForWindow(target, withWm ? ShowState::Minimized : ShowState::Normal);
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    const Window desktop{DefaultRootWindow(d.get())};
    if (!withWm) {
        Focus(desktop);
    }
    ASSERT_TRUE(WaitUntil([&] { return windows->Foreground() == desktop; }, 2s));

    Dispatch("QvTarget", "DQ, UQ");

    ASSERT_TRUE(target.WaitForEvents(2));
    EXPECT_EQ(Describe(target.Events()), (std::vector<std::string>{"press q", "release q"}));
    EXPECT_TRUE(WaitUntil([&] { return windows->Foreground() == desktop; }, 2s));
    EXPECT_NE(windows->Foreground(), window);
}

TEST_F(KeysOnX11, TargetInTheForegroundGetsTheKeysWithoutASwitch) {
    Target target("QvTarget");
    const Window window = WaitForWindow(target);
    Focus(window);
    Dispatch("QvTarget", "DB, UB", 1000);
    EXPECT_TRUE(clock.pauses.empty()) << "paused although the target was in the foreground";
    ASSERT_TRUE(target.WaitForEvents(2));
    EXPECT_EQ(windows->Foreground(), window);
}

TEST_F(KeysOnX11, MinimisedTargetIsRestoredServedAndMinimisedAgain) {
    if (!withWm) {
        GTEST_SKIP() << "without a window manager nothing is minimised";
    }
    Target other("QvOther");
    Target target("QvTarget", {"--iconic"});
    const Window otherWindow = WaitForWindow(other);
    const Window targetWindow = WaitForWindow(target, ShowState::Minimized);
    Focus(otherWindow);

    Dispatch("QvTarget", "D[F5], U[F5]", 100);
    // The pause after the switch to the target (the way back needs none when the
    // window manager has already given the focus back on minimising).
    ASSERT_FALSE(clock.pauses.empty());
    EXPECT_EQ(clock.pauses.front(), 100);

    ASSERT_TRUE(target.WaitForEvents(2));
    EXPECT_EQ(Describe(target.Events()), (std::vector<std::string>{"press F5", "release F5"}));
    EXPECT_TRUE(
        WaitUntil([&] { return windows->GetShowState(targetWindow) == ShowState::Minimized; }, 2s));
    EXPECT_EQ(windows->Foreground(), otherWindow);
    EXPECT_TRUE(other.Events().empty());
}

TEST_F(KeysOnX11, MaximisedTargetIsMaximisedAgain) {
    if (!withWm) {
        GTEST_SKIP() << "without a window manager nothing is maximised";
    }
    Target other("QvOther");
    Target target("QvTarget", {"--maximized"});
    const Window otherWindow = WaitForWindow(other);
    const Window targetWindow = WaitForWindow(target, ShowState::Maximized);
    Focus(otherWindow);

    Dispatch("QvTarget", "D[RETURN], U[RETURN]");

    ASSERT_TRUE(target.WaitForEvents(2));
    EXPECT_EQ(Describe(target.Events()),
              (std::vector<std::string>{"press Return", "release Return"}));
    EXPECT_TRUE(
        WaitUntil([&] { return windows->GetShowState(targetWindow) == ShowState::Maximized; }, 2s));
    EXPECT_EQ(windows->Foreground(), otherWindow);
}

TEST_F(KeysOnX11, BackendsOnTwoThreadsEachCatchTheirOwnErrors) {
    // Queries for a window that does not exist fail with BadWindow, which
    // each backend catches for itself. Xlib's error handler is one for the
    // whole process: were one thread's catching undone by the other's, an
    // error would reach Xlib's default handler, which ends the process.
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(nullptr), XCloseDisplay);
    const XWindow made =
        XCreateSimpleWindow(d.get(), DefaultRootWindow(d.get()), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(d.get(), made);
    XSync(d.get(), False);
    const Window gone{made};
    std::vector<std::thread> threads;
    std::vector<int> unknown(2, 0);
    for (std::size_t t = 0; t < 2; ++t) {
        threads.emplace_back([&unknown, t, gone] {
            auto own = X11WindowSystem::Open();
            for (int i = 0; own && i < 2000; ++i) {
                unknown[t] += own->GetShowState(gone) == ShowState::Unknown ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(unknown, (std::vector<int>{2000, 2000}));
}

TEST_F(KeysOnX11, ShowStatesFollowSetShowState) {
    if (!withWm) {
        GTEST_SKIP() << "without a window manager there are no show states";
    }
    Target target("QvTarget");
    const Window window = WaitForWindow(target);
    EXPECT_EQ(windows->GetShowState(Window{}), ShowState::Unknown);
    // SetShowState waits up to half a second for the window manager; on a
    // loaded machine the manager may take longer, which is not what this
    // test is about: it checks that each state follows.
    const auto reaches = [&](ShowState state) {
        return WaitUntil([&] { return windows->GetShowState(window) == state; }, 2s);
    };
    for (const ShowState state : {ShowState::Maximized, ShowState::Minimized, ShowState::Maximized,
                                  ShowState::Normal, ShowState::Minimized, ShowState::Normal}) {
        windows->SetShowState(window, state);
        EXPECT_TRUE(reaches(state)) << ::testing::PrintToString(state) << " now "
                                    << ::testing::PrintToString(windows->GetShowState(window))
                                    << " " << DescribeWindow(window);
    }
    windows->SetShowState(window, ShowState::Unknown);  // changes nothing
    EXPECT_EQ(windows->GetShowState(window), ShowState::Normal);
}

TEST_F(KeysOnX11, ActivateSaysWhetherTheWindowIsActive) {
    Target other("QvOther");
    const Window otherWindow = WaitForWindow(other);
    Window gone;
    {
        Target target("QvTarget");
        gone = WaitForWindow(target);
        EXPECT_TRUE(windows->Activate(gone));
        // Activate waits until the window is really active: no further wait here.
        EXPECT_EQ(windows->Foreground(), gone);
    }
    EXPECT_TRUE(windows->Activate(otherWindow));
    EXPECT_EQ(windows->Foreground(), otherWindow);
    EXPECT_FALSE(windows->Activate(gone));
    EXPECT_FALSE(windows->Activate(Window{}));
    EXPECT_EQ(windows->GetShowState(gone), ShowState::Unknown);
    EXPECT_EQ(windows->Foreground(), otherWindow);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// The listed window with this id; nullptr when it is not listed.
const ListedWindow* Listed(const std::vector<ListedWindow>& listed, Window window) {
    const auto it = std::find_if(listed.begin(), listed.end(),
                                 [&](const ListedWindow& w) { return w.window == window; });
    return it != listed.end() ? &*it : nullptr;
}

TEST_F(KeysOnX11, ListWindowsGivesTitlesAndClassesTopOfTheStackFirst) {
    Target first("QvListOne", {"--title", "最初のウィンドウ"});
    const Window one = WaitForWindow(first);
    Target second("QvListTwo", {"--title", "second window"});
    const Window two = WaitForWindow(second);

    Focus(one);  // activation raises it to the top of the stack
    std::vector<ListedWindow> listed = windows->ListWindows();
    const ListedWindow* a = Listed(listed, one);
    const ListedWindow* b = Listed(listed, two);
    ASSERT_NE(a, nullptr) << DescribeWindow(one);
    ASSERT_NE(b, nullptr) << DescribeWindow(two);
    EXPECT_EQ(a->className, "QvListOne");
    EXPECT_EQ(a->title, "最初のウィンドウ");
    EXPECT_EQ(b->className, "QvListTwo");
    EXPECT_EQ(b->title, "second window");
    EXPECT_LT(a, b) << "the window on top comes first";
    // What is listed is found again by its name.
    EXPECT_EQ(windows->FindByClass(a->className), one);

    Focus(two);
    listed = windows->ListWindows();
    ASSERT_NE(Listed(listed, one), nullptr);
    ASSERT_NE(Listed(listed, two), nullptr);
    EXPECT_LT(Listed(listed, two), Listed(listed, one));
}

TEST_F(KeysOnX11, WindowsSharingAClassAreListedByTheirOwnInstances) {
    Target mail("QvShared", {"--instance", "qvmail", "--title", "mail"});
    const Window mailWindow = WaitForWindow(mail);
    Target news("QvShared", {"--instance", "qvnews", "--title", "news"});
    const Window newsWindow = WaitForWindow(news);
    Target same("QvAlone", {"--title", "alone"});
    const Window aloneWindow = WaitForWindow(same);
    const std::vector<ListedWindow> listed = windows->ListWindows();
    ASSERT_NE(Listed(listed, mailWindow), nullptr);
    ASSERT_NE(Listed(listed, newsWindow), nullptr);
    ASSERT_NE(Listed(listed, aloneWindow), nullptr);
    EXPECT_EQ(Listed(listed, mailWindow)->className, "qvmail");
    EXPECT_EQ(Listed(listed, newsWindow)->className, "qvnews");
    EXPECT_EQ(Listed(listed, aloneWindow)->className, "QvAlone");
    // Each name finds its own window.
    EXPECT_EQ(windows->FindByClass("qvmail"), mailWindow);
    EXPECT_EQ(windows->FindByClass("qvnews"), newsWindow);
}

}  // namespace
}  // namespace qv
