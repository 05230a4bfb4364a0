// The real program under Xvfb and openbox, once per keyboard layout
// (QV_LAYOUT: "us", or "jp" with the jp106 model). Physical keys are pressed
// through XTest into the key-list box "送信キーリスト" of the learning page,
// the slot is stored with "追加 / 変更" and its KeyList line read back from the
// configuration file; in run mode the slot is fired into a
// quorvane-keytarget window. Each key must be stored with the code Windows
// gives it on the layout and must replay what pressing the same key directly
// into the target typed there: no key may be dropped or type another
// character than the one pressed. Prints the table of keys tried, recorded
// and received.
//
// The window's controls are found by their fixed places in its layout
// (QtMainWindow::CreateControls): the page lies at (10, 36) of the client area.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "keys_target.h"
#include "support/LayoutKeyTable.h"

// Last: Xlib's macros (None, Bool, Status) clash with GoogleTest's names.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::Event;
using test::ExpectedKeyList;
using test::Group;
using test::Groups;
using test::kComment;
using test::kEndMark;
using test::KeyCase;
using test::kForward;
using test::kKeyList;
using test::kRunTab;
using test::kStore;
using test::kWindowName;
using test::PressedNames;
using test::WaitUntil;
using DisplayPtr = std::unique_ptr<Display, int (*)(Display*)>;

// --------------------------------------------------------------- processes

// A program started with its standard output and error in files; ended
// (SIGTERM) and waited for when the object goes.
class Process {
public:
    Process(std::vector<std::string> args, const std::string& out, const std::string& err) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process() { Stop(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return pid_; }
    // Ends the program; its exit status, -1 when it did not exit by itself.
    int Stop() {
        if (pid_ <= 0) {
            return -1;
        }
        kill(pid_, SIGTERM);
        int status = 0;
        const pid_t done = waitpid(pid_, &status, 0);
        pid_ = -1;
        return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

// Runs a program to its end, its standard output discarded; true when it
// exited with 0.
bool RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return false;
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++n;
    }
    return n;
}

// The value of `key` in section `section` of an INI file, "" when absent.
std::string IniValue(const std::string& path, const std::string& section, const std::string& key) {
    std::istringstream in(FileText(path));
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.front() == '[') {
            inSection = line == "[" + section + "]";
        } else if (inSection && line.rfind(key + "=", 0) == 0) {
            return line.substr(key.size() + 1);
        }
    }
    return {};
}

// ---------------------------------------------------------------- X server

class XSession {
public:
    explicit XSession(Display* d) : d_(d) {}

    // The keycode of a key by its name in the server's keycode list, 0 for none.
    KeyCode KeycodeOf(const std::string& name) const {
        XkbDescPtr desc = XkbGetMap(d_, 0, XkbUseCoreKbd);
        KeyCode found = 0;
        if (desc != nullptr && XkbGetNames(d_, XkbKeyNamesMask, desc) == Success &&
            desc->names != nullptr) {
            for (int code = desc->min_key_code; code <= desc->max_key_code && found == 0; ++code) {
                if (std::strncmp(desc->names->keys[code].name, name.c_str(), XkbKeyNameLength) ==
                    0) {
                    found = static_cast<KeyCode>(code);
                }
            }
        }
        if (desc != nullptr) {
            XkbFreeKeyboard(desc, XkbAllComponentsMask, True);
        }
        return found;
    }

    // Presses and releases the physical key, Shift held around it if asked.
    void PressKey(const KeyCase& k) const {
        const KeyCode code = KeycodeOf(k.key);
        const KeyCode shift = KeycodeOf("LFSH");
        if (k.shift) {
            XTestFakeKeyEvent(d_, shift, True, CurrentTime);
        }
        XTestFakeKeyEvent(d_, code, True, CurrentTime);
        XTestFakeKeyEvent(d_, code, False, CurrentTime);
        if (k.shift) {
            XTestFakeKeyEvent(d_, shift, False, CurrentTime);
        }
        XSync(d_, False);
    }

    // Types small letters into the focused window.
    void Type(const std::string& letters) const {
        for (const char c : letters) {
            const KeyCode code = XKeysymToKeycode(d_, static_cast<KeySym>(c));
            XTestFakeKeyEvent(d_, code, True, CurrentTime);
            XTestFakeKeyEvent(d_, code, False, CurrentTime);
        }
        XSync(d_, False);
    }

    // Clicks with the left button at (x, y) of `window`. The pointer is moved
    // relative to the window by the server, so a window that moved since is
    // still hit where meant. Returns once the click has reached the window:
    // the window manager grabs the press (to focus and raise the window) and
    // replays it later, while key events go on to the focused window at once,
    // so keys typed right after a click would overtake it. The click is
    // through once no client holds the pointer any more.
    bool Click(Window window, int x, int y) const {
        XWarpPointer(d_, 0, window, 0, 0, 0, 0, x, y);
        XTestFakeButtonEvent(d_, Button1, True, CurrentTime);
        XTestFakeButtonEvent(d_, Button1, False, CurrentTime);
        XSync(d_, False);
        return WaitUntil([this] {
            const int grab = XGrabPointer(d_, DefaultRootWindow(d_), False, 0, GrabModeAsync,
                                          GrabModeAsync, 0, 0, CurrentTime);
            if (grab == GrabSuccess) {
                XUngrabPointer(d_, CurrentTime);
            }
            XSync(d_, False);
            return grab == GrabSuccess;
        });
    }

    std::vector<unsigned long> Property(Window window, const char* name, Atom type) const {
        Atom actual = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> values;
        if (XGetWindowProperty(d_, window, XInternAtom(d_, name, False), 0, 1024, False, type,
                               &actual, &format, &count, &after, &data) == Success &&
            data != nullptr) {
            if (format == 32) {
                const auto* longs = reinterpret_cast<const unsigned long*>(data);
                values.assign(longs, longs + count);
            }
            XFree(data);
        }
        return values;
    }

    std::string Name(Window window) const {
        char* name = nullptr;
        std::string text;
        if (XFetchName(d_, window, &name) != 0 && name != nullptr) {
            text = name;
            XFree(name);
        }
        return text;
    }

    bool Viewable(Window window) const {
        XWindowAttributes a;
        return XGetWindowAttributes(d_, window, &a) != 0 && a.map_state == IsViewable;
    }

    // The viewable managed window of process `pid` titled `title`, 0 for none.
    Window ClientOf(pid_t pid, const std::string& title) const {
        for (const unsigned long w :
             Property(DefaultRootWindow(d_), "_NET_CLIENT_LIST", XA_WINDOW)) {
            const std::vector<unsigned long> owner = Property(w, "_NET_WM_PID", XA_CARDINAL);
            if (!owner.empty() && static_cast<pid_t>(owner[0]) == pid && Name(w) == title &&
                Viewable(w)) {
                return w;
            }
        }
        return 0;
    }

    Window ActiveWindow() const {
        const std::vector<unsigned long> active =
            Property(DefaultRootWindow(d_), "_NET_ACTIVE_WINDOW", XA_WINDOW);
        return active.empty() ? 0 : active[0];
    }

    // Asks the window manager to activate `window` and waits (bounded) until
    // it is active and holds the keyboard focus.
    bool Activate(Window window) const {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(d_, "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;  // from a pager: no focus stealing prevention
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(d_, DefaultRootWindow(d_), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync(d_, False);
        return WaitUntil([&] {
            Window focus = 0;
            int revert = 0;
            XGetInputFocus(d_, &focus, &revert);
            return ActiveWindow() == window && focus == window;
        });
    }

    // The frame the window manager put around `window`: its ancestor that is
    // a child of the root window.
    Window Frame(Window window) const {
        Window w = window;
        for (int depth = 0; depth < 16; ++depth) {
            Window root = 0;
            Window parent = 0;
            Window* children = nullptr;
            unsigned count = 0;
            if (XQueryTree(d_, w, &root, &parent, &children, &count) == 0) {
                return w;
            }
            if (children != nullptr) {
                XFree(children);
            }
            if (parent == root || parent == 0) {
                return w;
            }
            w = parent;
        }
        return w;
    }

    // True when the frame of `window` touches the bottom right corner of the
    // work area, where the program places its window beside the tray.
    bool PlacedBesideTray(Window window) const {
        const std::vector<unsigned long> area =
            Property(DefaultRootWindow(d_), "_NET_WORKAREA", XA_CARDINAL);
        XWindowAttributes a;
        Window child = 0;
        int x = 0;
        int y = 0;
        const Window frame = Frame(window);
        if (area.size() < 4 || XGetWindowAttributes(d_, frame, &a) == 0 ||
            !XTranslateCoordinates(d_, frame, DefaultRootWindow(d_), 0, 0, &x, &y, &child)) {
            return false;
        }
        const long right = static_cast<long>(area[0] + area[2]);
        const long bottom = static_cast<long>(area[1] + area[3]);
        const long frameRight = x + a.width + 2 * a.border_width;
        const long frameBottom = y + a.height + 2 * a.border_width;
        return frameRight <= right && frameRight >= right - 2 && frameBottom <= bottom &&
               frameBottom >= bottom - 2;
    }

private:
    Display* d_;
};

// ------------------------------------------------------------------- test

class ProgramOnLayout : public ::testing::Test {
protected:
    void SetUp() override {
        const char* env = std::getenv("QV_LAYOUT");
        layout = env != nullptr ? env : "us";
        ASSERT_TRUE(layout == "jp" ? RunProgram({"setxkbmap", "-layout", "jp", "-model", "jp106"})
                                   : RunProgram({"setxkbmap", "-layout", "us", "-model", "pc105"}))
            << "setxkbmap failed";
        // Opened after the layout change, so that Xlib's keymap is the new one.
        d.reset(XOpenDisplay(nullptr));
        ASSERT_TRUE(d) << "no X server";
        x = std::make_unique<XSession>(d.get());
        const unsigned numLock = XkbKeysymToModifiers(d.get(), XK_Num_Lock);
        ASSERT_NE(numLock, 0u);
        XkbLockModifiers(d.get(), XkbUseCoreKbd, numLock, numLock);
        XSync(d.get(), False);

        char pattern[] = "/tmp/qv-layout-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        work = pattern;
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        socket = std::string(runtime != nullptr ? runtime : work) + "/sim.sock";
    }
    void TearDown() override {
        program.reset();
        sim.reset();
        if (HasFailure()) {
            std::printf("--- quorvane.log\n%s\n", FileText(work + "/quorvane.log").c_str());
            std::printf("--- Quorvane.ini\n%s\n", FileText(work + "/Quorvane.ini").c_str());
        }
        std::filesystem::remove_all(work);
    }

    bool Sim(const std::vector<std::string>& command) {
        std::vector<std::string> args = {QV_SIM, "--socket", socket};
        args.insert(args.end(), command.begin(), command.end());
        return RunProgram(args);
    }
    std::string Log() const { return FileText(work + "/quorvane.log"); }

    std::string layout;
    DisplayPtr d{nullptr, XCloseDisplay};
    std::unique_ptr<XSession> x;
    std::string work;
    std::string socket;
    std::unique_ptr<Process> sim;
    std::unique_ptr<Process> program;
};

// The key presses among `events`, Shift left out (it only accompanies keys),
// up to the end mark; `from` moves past the end mark.
std::vector<std::string> PressesOfGroup(const std::vector<Event>& events, std::size_t& from) {
    std::vector<std::string> presses;
    for (; from < events.size(); ++from) {
        const Event& e = events[from];
        if (e.kind == "release" && e.keysym == "F9") {
            ++from;
            break;
        }
        if (e.kind == "press" && e.keysym != "F9" && e.keysym != "Shift_L" &&
            e.keysym != "Shift_R") {
            presses.push_back(e.keysym);
        }
    }
    return presses;
}

std::size_t Releases(const std::vector<Event>& events, const std::string& keysym) {
    std::size_t n = 0;
    for (const Event& e : events) {
        n += e.kind == "release" && e.keysym == keysym ? 1 : 0;
    }
    return n;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : " ") + item;
    }
    return text;
}

TEST_F(ProgramOnLayout, KeysAreStoredAsOnWindowsAndReplayWhatTheyTyped) {
    const std::vector<Group> groups = Groups(layout);
    const bool jp = layout == "jp";

    sim = std::make_unique<Process>(std::vector<std::string>{QV_SIM, "serve", "--socket", socket},
                                    work + "/sim.out", work + "/sim.log");
    ASSERT_TRUE(WaitUntil([&] { return Count(FileText(work + "/sim.out"), "ready") > 0; }, 10s))
        << "the simulator did not start: " << FileText(work + "/sim.log");

    // What each key types when pressed directly into the target.
    test::KeyTarget target("QvLayoutTarget");
    ASSERT_TRUE(WaitUntil([&] { return target.WindowId() != 0; }, 10s));
    const auto targetWindow = static_cast<Window>(target.WindowId());
    ASSERT_TRUE(WaitUntil([&] { return x->Viewable(targetWindow); }));
    ASSERT_TRUE(x->Activate(targetWindow)) << "the target window cannot be made active";
    for (const Group& group : groups) {
        for (const KeyCase& k : group.keys) {
            ASSERT_NE(x->KeycodeOf(k.key), 0) << k.key << " is not in the keymap";
            x->PressKey(k);
        }
        x->PressKey(kEndMark);
    }
    ASSERT_TRUE(WaitUntil([&] { return Releases(target.Events(), "F9") == groups.size(); }))
        << "the directly pressed keys did not all arrive";
    std::vector<std::vector<std::string>> typed;
    std::size_t seen = 0;
    {
        const std::vector<Event> events = target.Events();
        for (const Group& group : groups) {
            typed.push_back(PressesOfGroup(events, seen));
            ASSERT_EQ(typed.back().size(), group.keys.size())
                << group.comment << ": " << Joined(typed.back());
        }
    }

    // Slot 1, written by hand: the input-method names press the layout's own
    // keys (on jp 半角/全角, カタカナ/ひらがな and 英数).
    const std::string ini = work + "/Quorvane.ini";
    {
        std::ofstream out(ini, std::ios::binary);
        out << "[Remote1]\r\nPulse=10,20,01\r\nComment=names\r\nWindowName=QvLayoutTarget\r\n"
            << "KeyList=D[KANJI], U[KANJI], D[KANA], U[KANA], "
            << (jp ? "D[CAPITAL], U[CAPITAL], " : "") << "D[F9], U[F9]\r\n";
    }
    const std::vector<std::string> namesReplay =
        jp ? std::vector<std::string>{"Zenkaku_Hankaku", "Hiragana_Katakana", "Eisu_toggle"}
           // [KANJI] has no key on us: a borrowed keycode types Kanji.
           : std::vector<std::string>{"Kanji", "Hiragana_Katakana"};

    program = std::make_unique<Process>(
        std::vector<std::string>{QV_QUORVANE, "--simulator=" + socket, "--config", ini, "--show",
                                 "--tab", "2", "--debug"},
        work + "/quorvane.out", work + "/quorvane.log");
    ASSERT_TRUE(WaitUntil([&] { return Count(Log(), "start-up done") > 0; }, 10s));
    Window window = 0;
    ASSERT_TRUE(WaitUntil([&] { return (window = x->ClientOf(program->Pid(), "Quorvane")) != 0; }))
        << "the window did not show";
    ASSERT_TRUE(WaitUntil([&] { return x->PlacedBesideTray(window); }))
        << "the window was not placed beside the tray";
    ASSERT_TRUE(x->Activate(window)) << "the program's window cannot be made active";

    // Learning mode: one slot per group, from slot 2 on.
    std::vector<std::string> stored;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Group& group = groups[g];
        const std::string slot = std::to_string(g + 2);
        char pulse[16];
        std::snprintf(pulse, sizeof pulse, "10,20,%02zu", g + 2);

        ASSERT_TRUE(x->Click(window, kKeyList.x, kKeyList.y));
        for (const KeyCase& k : group.keys) {
            x->PressKey(k);
        }
        x->PressKey(kEndMark);
        ASSERT_TRUE(Sim({"press", "10", "20", std::to_string(g + 2)}));
        ASSERT_TRUE(WaitUntil([&] {
            return Count(Log(), std::string("learning mode: pulse ") + pulse) > 0;
        })) << "the pulse of slot "
            << slot << " was not captured";
        ASSERT_TRUE(x->Click(window, kComment.x, kComment.y));
        x->Type(group.comment);
        ASSERT_TRUE(x->Click(window, kWindowName.x, kWindowName.y));
        x->Type("qvlayouttarget");
        ASSERT_TRUE(x->Click(window, kStore.x, kStore.y));
        ASSERT_TRUE(WaitUntil([&] { return !IniValue(ini, "Remote" + slot, "KeyList").empty(); }))
            << "slot " << slot << " was not stored";
        EXPECT_EQ(IniValue(ini, "Remote" + slot, "Pulse"), pulse);
        EXPECT_EQ(IniValue(ini, "Remote" + slot, "Comment"), group.comment);
        EXPECT_EQ(IniValue(ini, "Remote" + slot, "WindowName"), "qvlayouttarget");
        stored.push_back(IniValue(ini, "Remote" + slot, "KeyList"));
        EXPECT_EQ(stored.back(), ExpectedKeyList(group)) << group.comment;
        if (g + 1 < groups.size()) {
            ASSERT_TRUE(x->Click(window, kForward.x, kForward.y));  // the next, free slot
        }
    }

    // Run mode: each slot fires into the target.
    ASSERT_TRUE(x->Click(window, kRunTab.x, kRunTab.y));
    ASSERT_TRUE(WaitUntil([&] { return Count(Log(), "tab 1 selected") > 0; }))
        << "the run-mode tab was not selected";
    const std::size_t before = Releases(target.Events(), "F9");
    const std::vector<std::string> comments = [&] {
        std::vector<std::string> c{"names"};
        for (const Group& group : groups) {
            c.push_back(group.comment);
        }
        return c;
    }();
    for (std::size_t slot = 1; slot <= comments.size(); ++slot) {
        ASSERT_TRUE(Sim({"press", "10", "20", std::to_string(slot)}));
        ASSERT_TRUE(WaitUntil([&] {
            return Count(Log(), "receive-list: " + comments[slot - 1] + "\n") > 0;
        })) << "slot "
            << slot << " did not fire";
        ASSERT_TRUE(WaitUntil([&] { return Releases(target.Events(), "F9") == before + slot; }))
            << "the keys of slot " << slot << " did not all arrive";
    }

    const std::vector<Event> events = target.Events();
    // The names of slot 1.
    EXPECT_EQ(PressesOfGroup(events, seen), namesReplay);
    XkbStateRec state{};
    XkbGetState(d.get(), XkbUseCoreKbd, &state);
    EXPECT_EQ(state.locked_mods & LockMask, 0u) << "Caps Lock was locked";

    std::printf("layout %s\n%-5s %-5s %-13s %-18s %s\n", layout.c_str(), "key", "shift", "recorded",
                "typed directly", "received");
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Group& group = groups[g];
        const std::vector<std::string> received = PressesOfGroup(events, seen);
        const std::vector<std::string> recorded = PressedNames(stored[g]);
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < group.keys.size(); ++i) {
            const KeyCase& k = group.keys[i];
            expected.push_back(k.replays.empty() ? typed[g][i] : k.replays);
        }
        EXPECT_EQ(received, expected) << group.comment;
        // Received keysyms in order, one per key.
        for (std::size_t i = 0; i < group.keys.size(); ++i) {
            const KeyCase& k = group.keys[i];
            const std::string got = i < received.size() ? received[i] : "-";
            std::printf("%-5s %-5s %-13s %-18s %s\n", k.key.c_str(), k.shift ? "yes" : "",
                        i < recorded.size() ? recorded[i].c_str() : "?", typed[g][i].c_str(),
                        got.c_str());
        }
    }
    EXPECT_EQ(seen, events.size()) << "keys arrived after the last slot's";
}

}  // namespace
}  // namespace qv
