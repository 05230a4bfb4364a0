// The real program on headless sway, once per keyboard layout (us with the
// pc105 model, jp with jp106), the layout set in sway's input configuration
// before the program starts. Keys are pressed on a keyboard of the test's
// own with that layout (LayoutKeyboard) into the key-list box "送信キーリスト"
// of the learning page, the slot is stored with "追加 / 変更" and its KeyList
// line read back from the configuration file; in run mode the slot is fired
// into a native Wayland client. Each key must be stored with the code
// Windows gives it on the layout and must replay what pressing the same key
// directly into the client typed there. Prints the table of keys tried,
// recorded and received.
//
// The window is made floating without border at (0, 0), so its controls lie
// at their places in the client area (LayoutKeyTable.h); a pointer of the
// test's own (TestPointer) clicks them. Runs inside with-sway.sh.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "LayoutKeyboard.h"
#include "ProgramSession.h"
#include "TestPointer.h"
#include "support/LayoutKeyTable.h"

namespace qv::wayland {
namespace {

using namespace test;
using qv::test::ExpectedKeyList;
using qv::test::Group;
using qv::test::Groups;
using qv::test::kComment;
using qv::test::kEndMark;
using qv::test::KeyCase;
using qv::test::kForward;
using qv::test::kKeyList;
using qv::test::kRunTab;
using qv::test::kStore;
using qv::test::kWindowName;
using qv::test::PressedNames;
using qv::test::Spot;

// The value of `key` in section `section` of an INI file, "" when absent.
std::string IniValue(const std::string& path, const std::string& section, const std::string& key) {
    std::istringstream in(ReadAll(path));
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

// The key presses among `keys` from `from` on, Shift left out (it only
// accompanies keys), up to the end mark (F9); `from` moves past it.
std::vector<std::string> PressesOfGroup(const std::vector<Logged>& keys, std::size_t& from) {
    std::vector<std::string> presses;
    for (; from < keys.size(); ++from) {
        const Logged& k = keys[from];
        if (k.kind == "release" && k.keysym == "F9") {
            ++from;
            break;
        }
        if (k.kind == "press" && k.keysym != "F9" && k.keysym != "Shift_L" &&
            k.keysym != "Shift_R") {
            presses.push_back(k.keysym);
        }
    }
    return presses;
}

std::size_t Releases(const Target& target, const std::string& keysym) {
    std::size_t n = 0;
    for (const Logged& k : target.Keys()) {
        n += k.kind == "release" && k.keysym == keysym ? 1 : 0;
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

struct Layout {
    const char* layout;
    const char* model;
};

class ProgramOnSwayLayout : public ProgramOnSway, public ::testing::WithParamInterface<Layout> {
protected:
    void SetUp() override { ASSERT_TRUE(SetLayout(GetParam())); }
    void TearDown() override { SetLayout({"us", "pc105"}); }

    bool SetLayout(const Layout& l) {
        return sway_.Command(std::string("input * xkb_model ") + l.model) &&
               sway_.Command(std::string("input * xkb_layout ") + l.layout);
    }

    // A click with the left button at `spot` of the program's window, which
    // lies at (0, 0) of the 1280x800 output.
    void Click(const Spot& spot) {
        pointer_.Click(static_cast<std::uint32_t>(spot.x), static_cast<std::uint32_t>(spot.y));
    }

    TestPointer pointer_{1280, 800};
};

TEST_P(ProgramOnSwayLayout, KeysAreStoredAsOnWindowsAndReplayWhatTheyTyped) {
    const std::string layout = GetParam().layout;
    const std::vector<Group> groups = Groups(layout);
    Simulator sim;
    LayoutKeyboard keyboard(layout, GetParam().model);
    ASSERT_TRUE(keyboard.Ready());
    // The keypad keys are recorded with Num Lock on.
    keyboard.Tap("NMLK");

    // What each key types when pressed directly into the target.
    auto target = Start(ClientKind::Native, "LayoutTarget");
    ASSERT_NO_FATAL_FAILURE(Focus(*target));
    for (const Group& group : groups) {
        for (const KeyCase& k : group.keys) {
            ASSERT_NO_FATAL_FAILURE(keyboard.Tap(k.key, k.shift));
        }
        ASSERT_NO_FATAL_FAILURE(keyboard.Tap(kEndMark.key));
    }
    ASSERT_TRUE(WaitUntil([&] { return Releases(*target, "F9") == groups.size(); }, kLogBound))
        << "the directly pressed keys did not all arrive";
    std::vector<std::vector<std::string>> typed;
    std::size_t seen = 0;
    {
        const std::vector<Logged> keys = target->Keys();
        for (const Group& group : groups) {
            typed.push_back(PressesOfGroup(keys, seen));
            ASSERT_EQ(typed.back().size(), group.keys.size())
                << group.comment << ": " << Joined(typed.back());
        }
    }

    Program program(sim, {"[General]", "WindowChangeTime=0"},
                    {"QT_WAYLAND_DISABLE_WINDOWDECORATION=1"}, {"--show", "--tab", "2"});
    const std::string window = "[pid=" + std::to_string(program.Pid()) + "]";
    ASSERT_TRUE(WaitUntil(
        [&] {
            return sway_.CommandSucceeds(window +
                                         " floating enable, border none, move position 0 0, focus");
        },
        kStartBound))
        << "the program's window did not show";
    EXPECT_NE(program.Log().find("keys: keyboard layout from the compositor: " +
                                 std::string(layout == "jp" ? "Japanese" : "English (US)")),
              std::string::npos)
        << program.Log();

    // Learning mode: one slot per group.
    const std::string ini = program.IniPath();
    std::vector<std::string> stored;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Group& group = groups[g];
        const std::string slot = std::to_string(g + 1);
        const std::string pulse = std::string("10,20,") + (g + 1 < 10 ? "0" : "") + slot;

        ASSERT_NO_FATAL_FAILURE(Click(kKeyList));
        for (const KeyCase& k : group.keys) {
            ASSERT_NO_FATAL_FAILURE(keyboard.Tap(k.key, k.shift));
        }
        ASSERT_NO_FATAL_FAILURE(keyboard.Tap(kEndMark.key));
        sim.Press(10, 20, static_cast<int>(g + 1));
        ASSERT_TRUE(WaitForText(program.LogPath(), std::string("learning mode: pulse ") + pulse))
            << "the pulse of slot " << slot << " was not captured";
        ASSERT_NO_FATAL_FAILURE(Click(kComment));
        ASSERT_NO_FATAL_FAILURE(keyboard.Type(group.comment));
        ASSERT_NO_FATAL_FAILURE(Click(kWindowName));
        ASSERT_NO_FATAL_FAILURE(keyboard.Type(target->Name()));
        ASSERT_NO_FATAL_FAILURE(Click(kStore));
        ASSERT_TRUE(WaitUntil([&] { return !IniValue(ini, "Remote" + slot, "KeyList").empty(); },
                              kLogBound))
            << "slot " << slot << " was not stored\n"
            << program.Log();
        EXPECT_EQ(IniValue(ini, "Remote" + slot, "Pulse"), pulse);
        EXPECT_EQ(IniValue(ini, "Remote" + slot, "Comment"), group.comment);
        EXPECT_EQ(IniValue(ini, "Remote" + slot, "WindowName"), target->Name());
        stored.push_back(IniValue(ini, "Remote" + slot, "KeyList"));
        EXPECT_EQ(stored.back(), ExpectedKeyList(group)) << group.comment;
        if (g + 1 < groups.size()) {
            ASSERT_NO_FATAL_FAILURE(Click(kForward));  // the next, free slot
        }
    }

    // Run mode: each slot fires into the target.
    ASSERT_NO_FATAL_FAILURE(Click(kRunTab));
    ASSERT_TRUE(WaitForText(program.LogPath(), "tab 1 selected"))
        << "the run-mode tab was not selected";
    const std::size_t before = Releases(*target, "F9");
    for (std::size_t g = 0; g < groups.size(); ++g) {
        sim.Press(10, 20, static_cast<int>(g + 1));
        ASSERT_TRUE(
            WaitUntil([&] { return Releases(*target, "F9") == before + g + 1; }, kProgramBound))
            << "the keys of slot " << g + 1 << " did not all arrive\n"
            << program.Log();
    }

    const std::vector<Logged> keys = target->Keys();
    std::printf("sway, layout %s\n%-5s %-5s %-13s %-18s %s\n", layout.c_str(), "key", "shift",
                "recorded", "typed directly", "received");
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Group& group = groups[g];
        const std::vector<std::string> received = PressesOfGroup(keys, seen);
        const std::vector<std::string> recorded = PressedNames(stored[g]);
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < group.keys.size(); ++i) {
            const KeyCase& k = group.keys[i];
            expected.push_back(k.replays.empty() ? typed[g][i] : k.replays);
        }
        EXPECT_EQ(received, expected) << group.comment;
        for (std::size_t i = 0; i < group.keys.size(); ++i) {
            const KeyCase& k = group.keys[i];
            std::printf("%-5s %-5s %-13s %-18s %s\n", k.key.c_str(), k.shift ? "yes" : "",
                        i < recorded.size() ? recorded[i].c_str() : "?", typed[g][i].c_str(),
                        i < received.size() ? received[i].c_str() : "-");
        }
    }
    EXPECT_EQ(seen, keys.size()) << "keys arrived after the last slot's";
}

INSTANTIATE_TEST_SUITE_P(Layouts, ProgramOnSwayLayout,
                         ::testing::Values(Layout{"us", "pc105"}, Layout{"jp", "jp106"}),
                         [](const auto& info) { return std::string(info.param.layout); });

}  // namespace
}  // namespace qv::wayland
