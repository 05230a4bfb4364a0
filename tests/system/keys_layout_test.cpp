// Key capture and replay by physical key on a real X server, per keyboard
// layout (QV_LAYOUT: "us", or "jp" with the jp106 model). Each key of a table
// is pressed through XTest into a window of this test; its code is taken from
// the key event as key capture takes it; the code is replayed through the
// XTest injector into quorvane-keytarget; what arrives there must be what
// pressing the key itself typed, codes without a name included. Runs under
// with-xvfb.sh without a window manager, which would take some keys.

#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "keys/KeyNames.h"
#include "keys/KeySender.h"
#include "keys/x11/X11KeyboardLayout.h"
#include "keys/x11/XTestInjector.h"
#include "keys_target.h"

// Last: Xlib's macros (None, Bool, Status) clash with GoogleTest's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::Event;
using test::WaitUntil;
using DisplayPtr = std::unique_ptr<Display, int (*)(Display*)>;

// One key of the table: its name in X's keycode list, whether Shift is held,
// and the code Windows gives that key on the layout (its scan-code tables for
// US 101/104 and Japanese 106/109 keyboards).
struct KeyCase {
    std::string key;
    bool shift;
    int code;
    // What the replay types where it is not what the key typed: the keypad's
    // Enter shares VK_RETURN with the main Enter key, whose code a key list
    // replays (on Windows too, a key list cannot tell the two apart).
    const char* replays = nullptr;
};

std::vector<KeyCase> Cases(const std::string& layout) {
    std::vector<KeyCase> cases;
    const auto both = [&cases](const char* key, int code) {
        cases.push_back({key, false, code});
        cases.push_back({key, true, code});
    };
    const char* letters[] = {"AC01 A", "AB05 B", "AB03 C", "AC03 D", "AD03 E", "AC04 F", "AC05 G",
                             "AC06 H", "AD08 I", "AC07 J", "AC08 K", "AC09 L", "AB07 M", "AB06 N",
                             "AD09 O", "AD10 P", "AD01 Q", "AD04 R", "AC02 S", "AD05 T", "AD07 U",
                             "AB04 V", "AD02 W", "AB02 X", "AD06 Y", "AB01 Z"};
    for (const char* letter : letters) {
        cases.push_back({std::string(letter, 4), false, letter[5]});
    }
    for (int digit = 1; digit <= 10; ++digit) {
        char key[5];
        std::snprintf(key, sizeof key, "AE%02d", digit);
        both(key, '0' + digit % 10);
    }
    if (layout == "jp") {
        both("AE11", 0xBD);                      // - =
        both("AE12", 0xDE);                      // ^ ~
        both("AE13", 0xDC);                      // ¥ |
        both("AD11", 0xC0);                      // @ `
        both("AD12", 0xDB);                      // [ {
        both("AC10", 0xBB);                      // ; +
        both("AC11", 0xBA);                      // : *
        both("BKSL", 0xDD);                      // ] }
        both("AB08", 0xBC);                      // , <
        both("AB09", 0xBE);                      // . >
        both("AB10", 0xBF);                      // / ?
        both("AB11", 0xE2);                      // \ _ (ろ)
        cases.push_back({"TLDE", false, 0xF3});  // 半角/全角
        cases.push_back({"CAPS", false, 0xF0});  // 英数
        cases.push_back({"HKTG", false, 0xF2});  // カタカナ/ひらがな
        cases.push_back({"HENK", false, 0x1C});  // 変換
        cases.push_back({"MUHE", false, 0x1D});  // 無変換
    } else {
        both("TLDE", 0xC0);  // ` ~
        both("AE11", 0xBD);  // - _
        both("AE12", 0xBB);  // = +
        both("AD11", 0xDB);  // [ {
        both("AD12", 0xDD);  // ] }
        both("BKSL", 0xDC);  // \ |
        both("AC10", 0xBA);  // ; :
        both("AC11", 0xDE);  // ' "
        both("AB08", 0xBC);  // , <
        both("AB09", 0xBE);  // . >
        both("AB10", 0xBF);  // / ?
    }
    // The keypad with Num Lock on.
    for (int digit = 0; digit <= 9; ++digit) {
        cases.push_back({"KP" + std::to_string(digit), false, 0x60 + digit});
    }
    for (const KeyCase& k :
         {KeyCase{"KPDL", false, 0x6E}, KeyCase{"KPAD", false, 0x6B}, KeyCase{"KPSU", false, 0x6D},
          KeyCase{"KPMU", false, 0x6A}, KeyCase{"KPDV", false, 0x6F},
          KeyCase{"KPEN", false, 0x0D, "Return"}}) {
        cases.push_back(k);
    }
    for (const KeyCase& k : {KeyCase{"SPCE", false, 0x20}, KeyCase{"RTRN", false, 0x0D},
                             KeyCase{"ESC", false, 0x1B}, KeyCase{"TAB", false, 0x09},
                             KeyCase{"BKSP", false, 0x08}, KeyCase{"FK05", false, 0x74}}) {
        cases.push_back(k);
    }
    return cases;
}

// Runs a program and waits for it; true when it exited with 0.
bool RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The keycode of a key by its name in the server's keycode list, 0 for none.
KeyCode KeycodeOf(Display* d, const std::string& name) {
    XkbDescPtr desc = XkbGetMap(d, 0, XkbUseCoreKbd);
    KeyCode found = 0;
    if (desc != nullptr && XkbGetNames(d, XkbKeyNamesMask, desc) == Success &&
        desc->names != nullptr) {
        for (int code = desc->min_key_code; code <= desc->max_key_code && found == 0; ++code) {
            if (std::strncmp(desc->names->keys[code].name, name.c_str(), XkbKeyNameLength) == 0) {
                found = static_cast<KeyCode>(code);
            }
        }
    }
    if (desc != nullptr) {
        XkbFreeKeyboard(desc, XkbAllComponentsMask, True);
    }
    return found;
}

// Waits (bounded) for the next event of `d` that `wanted` accepts.
template <typename Wanted>
bool NextEvent(Display* d, XEvent* event, Wanted wanted) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        while (XPending(d) > 0) {
            XNextEvent(d, event);
            if (wanted(*event)) {
                return true;
            }
        }
        pollfd pfd{ConnectionNumber(d), POLLIN, 0};
        poll(&pfd, 1, 50);
    }
    return false;
}

std::string KeysymName(KeySym keysym) {
    const char* name = keysym != NoSymbol ? XKeysymToString(keysym) : nullptr;
    return name != nullptr ? name : "NoSymbol";
}

class KeyboardLayoutOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        const char* env = std::getenv("QV_LAYOUT");
        layout = env != nullptr ? env : "us";
        ASSERT_TRUE(layout == "jp" ? RunProgram({"setxkbmap", "-layout", "jp", "-model", "jp106"})
                                   : RunProgram({"setxkbmap", "-layout", "us", "-model", "pc105"}))
            << "setxkbmap failed";
        d.reset(XOpenDisplay(nullptr));
        ASSERT_TRUE(d) << "no X server";
        injector = XTestInjector::Open();
        ASSERT_TRUE(injector) << "no XTEST";
        const unsigned numLock = XkbKeysymToModifiers(d.get(), XK_Num_Lock);
        ASSERT_NE(numLock, 0u);
        XkbLockModifiers(d.get(), XkbUseCoreKbd, numLock, numLock);
        XSync(d.get(), False);
    }

    // Presses every key of the table into a window of this test, as a user
    // would type into the key-list box, and fills in what capture records
    // and what the key typed.
    void PressIntoOwnWindow(std::vector<KeyCase>& cases, std::vector<std::int16_t>& recorded,
                            std::vector<std::string>& typed) {
        Display* dp = d.get();
        const ::Window window = XCreateSimpleWindow(dp, DefaultRootWindow(dp), 0, 0, 200, 100, 0, 0,
                                                    WhitePixel(dp, DefaultScreen(dp)));
        XSelectInput(dp, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapRaised(dp, window);
        XEvent event;
        ASSERT_TRUE(NextEvent(dp, &event, [](const XEvent& e) { return e.type == MapNotify; }));
        XSetInputFocus(dp, window, RevertToParent, CurrentTime);
        const KeyCode shift = KeycodeOf(dp, "LFSH");
        for (const KeyCase& k : cases) {
            const KeyCode code = KeycodeOf(dp, k.key);
            ASSERT_NE(code, 0) << k.key << " is not in the keymap";
            if (k.shift) {
                XTestFakeKeyEvent(dp, shift, True, CurrentTime);
            }
            XTestFakeKeyEvent(dp, code, True, CurrentTime);
            XTestFakeKeyEvent(dp, code, False, CurrentTime);
            if (k.shift) {
                XTestFakeKeyEvent(dp, shift, False, CurrentTime);
            }
            XSync(dp, False);
            ASSERT_TRUE(NextEvent(dp, &event, [code](const XEvent& e) {
                return e.type == KeyPress && e.xkey.keycode == code;
            })) << k.key;
            KeySym keysym = NoSymbol;
            char text[16];
            XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
            typed.push_back(KeysymName(keysym));
            recorded.push_back(VirtualKeyFromX11Keycode(dp, event.xkey.keycode));
            const KeyCode last = k.shift ? shift : code;
            ASSERT_TRUE(NextEvent(dp, &event, [last](const XEvent& e) {
                return e.type == KeyRelease && e.xkey.keycode == last;
            })) << k.key;
        }
        XDestroyWindow(dp, window);
        XSync(dp, False);
    }

    // Starts a target window and gives it the focus.
    std::unique_ptr<test::KeyTarget> StartTarget() {
        auto target = std::make_unique<test::KeyTarget>("QvLayoutTarget");
        EXPECT_TRUE(WaitUntil([&] { return target->WindowId() != 0; }));
        const auto window = static_cast<::Window>(target->WindowId());
        EXPECT_TRUE(WaitUntil([&] {
            XWindowAttributes a;
            return XGetWindowAttributes(d.get(), window, &a) != 0 && a.map_state == IsViewable;
        }));
        XSetInputFocus(d.get(), window, RevertToParent, CurrentTime);
        XSync(d.get(), False);
        return target;
    }

    std::string layout;
    DisplayPtr d{nullptr, XCloseDisplay};
    std::unique_ptr<XTestInjector> injector;
};

TEST_F(KeyboardLayoutOnX11, EveryKeyIsRecordedAsOnWindowsAndReplaysWhatItTyped) {
    std::vector<KeyCase> cases = Cases(layout);
    std::vector<std::int16_t> recorded;
    std::vector<std::string> typed;
    PressIntoOwnWindow(cases, recorded, typed);
    ASSERT_EQ(recorded.size(), cases.size());

    const auto target = StartTarget();
    // Each key's list ends with F9 so that what the key brought (or did not)
    // is known once F9 has come.
    std::size_t seen = 0;
    std::printf("layout %s\n%-6s %-5s %-9s %-16s %s\n", layout.c_str(), "key", "shift", "recorded",
                "typed", "replayed");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const KeyCase& k = cases[i];
        const std::string name = KeyCodeToName(recorded[i]);
        EXPECT_EQ(recorded[i], k.code) << k.key << (k.shift ? " with Shift" : "");
        const std::string shiftDown = k.shift ? "D[SHIFT], " : "";
        const std::string shiftUp = k.shift ? ", U[SHIFT]" : "";
        SendKeyList(*injector, shiftDown + "D" + name + ", U" + name + shiftUp + ", D[F9], U[F9]");
        ASSERT_TRUE(WaitUntil([&] {
            const std::vector<Event> events = target->Events();
            return !events.empty() && events.size() > seen && events.back().kind == "release" &&
                   events.back().keysym == "F9";
        })) << k.key;
        const std::vector<Event> events = target->Events();
        std::vector<std::string> replayed;
        for (std::size_t e = seen; e + 2 < events.size(); ++e) {
            if (events[e].kind == "press" && events[e].keysym != "Shift_L") {
                replayed.push_back(events[e].keysym);
            }
        }
        seen = events.size();
        // The name reads back as the code recorded, with or without a name.
        EXPECT_EQ(KeyNameToCode(name), recorded[i]) << name;
        std::printf("%-6s %-5s %-9s %-16s %s\n", k.key.c_str(), k.shift ? "yes" : "", name.c_str(),
                    typed[i].c_str(), replayed.empty() ? "-" : replayed.front().c_str());
        const std::string expected = k.replays != nullptr ? k.replays : typed[i];
        EXPECT_EQ(replayed, std::vector<std::string>{expected})
            << k.key << (k.shift ? " with Shift" : "") << " recorded as " << name;
    }
}

TEST_F(KeyboardLayoutOnX11, InputMethodNamesPressTheLayoutsOwnKeys) {
    const auto target = StartTarget();
    struct Expected {
        const char* name;
        const char* keysym;
        const char* key;  // the physical key, "" where the layout has none
    };
    std::vector<Expected> expected;
    if (layout == "jp") {
        expected = {{"[KANJI]", "Zenkaku_Hankaku", "TLDE"},
                    {"[KANA]", "Hiragana_Katakana", "HKTG"},
                    {"[CONVERT]", "Henkan_Mode", "HENK"},
                    {"[NONCONVERT]", "Muhenkan", "MUHE"},
                    {"[CAPITAL]", "Eisu_toggle", "CAPS"}};
    } else {
        // [CAPITAL] is left out here: on this layout it is Caps Lock and locks it.
        expected = {{"[KANJI]", "Kanji", ""},  // no such key: a borrowed keycode
                    {"[KANA]", "Hiragana_Katakana", "HKTG"},
                    {"[CONVERT]", "Henkan_Mode", "HENK"},
                    {"[NONCONVERT]", "Muhenkan", "MUHE"}};
    }
    std::string list;
    for (const Expected& e : expected) {
        list += std::string(list.empty() ? "" : ", ") + "D" + e.name + ", U" + e.name;
    }
    SendKeyList(*injector, list);
    ASSERT_TRUE(target->WaitForEvents(2 * expected.size()));
    const std::vector<Event> events = target->Events();
    ASSERT_EQ(events.size(), 2 * expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        for (const Event& e : {events[2 * i], events[2 * i + 1]}) {
            EXPECT_EQ(e.keysym, expected[i].keysym) << expected[i].name;
            if (*expected[i].key != '\0') {
                EXPECT_EQ(e.keycode, KeycodeOf(d.get(), expected[i].key)) << expected[i].name;
            }
        }
    }
    XkbStateRec state{};
    XkbGetState(d.get(), XkbUseCoreKbd, &state);
    EXPECT_EQ(state.locked_mods & LockMask, 0u) << "Caps Lock was locked";
}

TEST_F(KeyboardLayoutOnX11, ALayoutChangeWhileRunningIsFollowed) {
    // One connection throughout, as the window's is: the key right of P is
    // "[" on us and "@" on jp, and capture follows the switch at once.
    const KeyCode rightOfP = KeycodeOf(d.get(), "AD11");
    const std::int16_t before = VirtualKeyFromX11Keycode(d.get(), rightOfP);
    const bool jp = layout == "jp";
    ASSERT_TRUE(jp ? RunProgram({"setxkbmap", "-layout", "us", "-model", "pc105"})
                   : RunProgram({"setxkbmap", "-layout", "jp", "-model", "jp106"}));
    const std::int16_t after = VirtualKeyFromX11Keycode(d.get(), rightOfP);
    EXPECT_EQ(before, jp ? 0xC0 : 0xDB);
    EXPECT_EQ(after, jp ? 0xDB : 0xC0);
}

}  // namespace
}  // namespace qv
