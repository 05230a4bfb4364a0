// Keys on the user's layout on sway: the layout set in sway's input
// configuration (input * xkb_layout ...) before the virtual keyboard opens,
// and switched while it runs. Each code must arrive at a native Wayland
// client and at an X client under XWayland as the keysym the key that
// carries the code types on that layout; [CAPITAL] on a Japanese layout is
// 英数 and locks nothing. Prints the table of keys tried per layout. Runs
// inside with-sway.sh's headless session.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "SwaySession.h"

#include "keys/KeyNames.h"
#include "keys/wayland/LayoutKeys.h"
#include "keys/wayland/VirtualKeyboardInjector.h"
#include "keys/wayland/WaylandCaptureLayout.h"

namespace qv::wayland {
namespace {

using namespace test;

// The layout every keyboard gets, as the user's sway configuration sets it.
bool SetLayout(Sway& sway, const std::string& layout, const std::string& model) {
    return sway.Command("input * xkb_model " + model) &&
           sway.Command("input * xkb_layout " + layout);
}

// The keysyms of the key presses among `keys` from `from` on, Shift left out.
std::vector<std::string> Presses(const std::vector<Logged>& keys, std::size_t from = 0) {
    std::vector<std::string> presses;
    for (std::size_t i = from; i < keys.size(); ++i) {
        if (keys[i].kind == "press" && keys[i].keysym != "Shift_L") {
            presses.push_back(keys[i].keysym);
        }
    }
    return presses;
}

// The locked modifiers the native client last reported; -1 for none.
long long LastLocked(const Target& target) {
    long long locked = -1;
    std::istringstream lines(ReadAll(WorkDir() + "/" + target.Name() + ".log"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind;
        long long depressed = 0, latched = 0;
        if (fields >> kind && kind == "modifiers") {
            fields >> depressed >> latched >> locked;
        }
    }
    return locked;
}

class SwayLayouts : public ::testing::TestWithParam<ClientKind> {
protected:
    void SetUp() override { ASSERT_TRUE(SetLayout(sway_, "us", "pc105")); }
    void TearDown() override { SetLayout(sway_, "us", "pc105"); }

    std::unique_ptr<Target> StartFocused(const std::string& stem) {
        auto target = std::make_unique<Target>(GetParam(), UniqueName(stem));
        EXPECT_TRUE(
            WaitUntil([&] { return target->Ready() && sway_.ViewOf(target->Name()).has_value(); },
                      kStartBound))
            << target->Name() << " did not come up";
        const auto view = sway_.ViewOf(target->Name());
        if (view) {
            EXPECT_TRUE(sway_.Command("[con_id=" + std::to_string(view->id) + "] focus"));
            EXPECT_TRUE(
                WaitUntil([&] { return sway_.ViewOf(target->Name())->focused; }, kLogBound));
        }
        return target;
    }

    std::unique_ptr<VirtualKeyboardInjector> Open() {
        std::string error;
        auto injector = VirtualKeyboardInjector::Open(nullptr, error);
        EXPECT_TRUE(injector) << error;
        return injector;
    }

    // Sends a key list and waits for its `presses` key presses (Shift left
    // out); what they typed.
    std::vector<std::string> Type(VirtualKeyboardInjector& injector, Target& target,
                                  const std::string& keyList) {
        const std::size_t before = target.Keys().size();
        const std::vector<KeyStroke> strokes = ReadKeyList(keyList);
        injector.Send(strokes);
        EXPECT_TRUE(WaitForKeys(target, before + strokes.size()))
            << keyList << ": " << target.Keys().size() - before << " of " << strokes.size();
        return Presses(target.Keys(), before);
    }

    Sway sway_;
};

const std::string kJapaneseChecks =
    "D[SHIFT], D2, U2, D7, U7, U[SHIFT], D[KANJI], U[KANJI], D[CAPITAL], U[CAPITAL], DA, UA";
const std::vector<std::string> kJapaneseTyped = {"quotedbl", "apostrophe", "Zenkaku_Hankaku",
                                                 "Eisu_toggle", "a"};

TEST_P(SwayLayouts, AJapaneseLayoutSetBeforeTheStartTypesJapanese) {
    ASSERT_TRUE(SetLayout(sway_, "jp", "jp106"));
    auto target = StartFocused("JpBefore");
    auto injector = Open();
    ASSERT_TRUE(injector);
    EXPECT_EQ(injector->LayoutName(), "Japanese");
    EXPECT_EQ(Type(*injector, *target, kJapaneseChecks), kJapaneseTyped);
    if (GetParam() == ClientKind::Native) {
        EXPECT_EQ(LastLocked(*target), 0) << "a lock is left on";
    }
}

TEST_P(SwayLayouts, ALayoutSwitchWhileRunningIsFollowed) {
    auto target = StartFocused("Switch");
    auto injector = Open();
    ASSERT_TRUE(injector);
    EXPECT_EQ(injector->LayoutName(), "English (US)");
    EXPECT_EQ(Type(*injector, *target, "D[SHIFT], D2, U2, U[SHIFT], D[KANJI], U[KANJI]"),
              (std::vector<std::string>{"at", "Kanji"}));

    ASSERT_TRUE(SetLayout(sway_, "jp", "jp106"));
    EXPECT_EQ(Type(*injector, *target, kJapaneseChecks), kJapaneseTyped);
    EXPECT_EQ(injector->LayoutName(), "Japanese");
    if (GetParam() == ClientKind::Native) {
        EXPECT_EQ(LastLocked(*target), 0) << "a lock is left on";
    }

    // Back on us, Caps Lock is the layout's own lock key and locks.
    ASSERT_TRUE(SetLayout(sway_, "us", "pc105"));
    EXPECT_EQ(
        Type(*injector, *target,
             "D[SHIFT], D2, U2, D7, U7, U[SHIFT], D[KANJI], U[KANJI], D[CAPITAL], "
             "U[CAPITAL], DA, UA, D[CAPITAL], U[CAPITAL], DA, UA"),
        (std::vector<std::string>{"at", "ampersand", "Kanji", "Caps_Lock", "A", "Caps_Lock", "a"}));
    EXPECT_EQ(injector->LayoutName(), "English (US)");
}

// One physical key of a layout: its name in the keycodes, whether Shift is
// held, and the code Windows gives it on that layout (its US 101/104 and
// Japanese 106/109 scan-code tables), as key capture records it.
struct KeyCase {
    const char* key;
    bool shift;
    int code;
};

std::vector<KeyCase> Cases(bool jp) {
    std::vector<KeyCase> cases;
    const auto both = [&cases](const char* key, int code) {
        cases.push_back({key, false, code});
        cases.push_back({key, true, code});
    };
    const char* letters[] = {"AC01", "AB05", "AB03", "AC03", "AD03", "AC04", "AC05", "AC06", "AD08",
                             "AC07", "AC08", "AC09", "AB07", "AB06", "AD09", "AD10", "AD01", "AD04",
                             "AC02", "AD05", "AD07", "AB04", "AD02", "AB02", "AD06", "AB01"};
    for (int i = 0; i < 26; ++i) {
        both(letters[i], 'A' + i);
    }
    static const char* digits[] = {"AE01", "AE02", "AE03", "AE04", "AE05",
                                   "AE06", "AE07", "AE08", "AE09", "AE10"};
    for (int d = 1; d <= 10; ++d) {
        both(digits[d - 1], '0' + d % 10);
    }
    if (jp) {
        for (const auto& [key, code] : std::vector<std::pair<const char*, int>>{{"AE11", 0xBD},
                                                                                {"AE12", 0xDE},
                                                                                {"AE13", 0xDC},
                                                                                {"AD11", 0xC0},
                                                                                {"AD12", 0xDB},
                                                                                {"AC10", 0xBB},
                                                                                {"AC11", 0xBA},
                                                                                {"BKSL", 0xDD},
                                                                                {"AB08", 0xBC},
                                                                                {"AB09", 0xBE},
                                                                                {"AB10", 0xBF},
                                                                                {"AB11", 0xE2}}) {
            both(key, code);
        }
        cases.push_back({"TLDE", false, 0xF3});  // 半角/全角
        cases.push_back({"CAPS", false, 0xF0});  // 英数
    } else {
        for (const auto& [key, code] : std::vector<std::pair<const char*, int>>{{"TLDE", 0xC0},
                                                                                {"AE11", 0xBD},
                                                                                {"AE12", 0xBB},
                                                                                {"AD11", 0xDB},
                                                                                {"AD12", 0xDD},
                                                                                {"BKSL", 0xDC},
                                                                                {"AC10", 0xBA},
                                                                                {"AC11", 0xDE},
                                                                                {"AB08", 0xBC},
                                                                                {"AB09", 0xBE},
                                                                                {"AB10", 0xBF},
                                                                                {"LSGT", 0xE2}}) {
            both(key, code);
        }
    }
    for (const KeyCase& k :
         {KeyCase{"HKTG", false, 0xF2}, KeyCase{"HENK", false, 0x1C}, KeyCase{"MUHE", false, 0x1D},
          KeyCase{"SPCE", false, 0x20}, KeyCase{"RTRN", false, 0x0D}, KeyCase{"TAB", false, 0x09},
          KeyCase{"BKSP", false, 0x08}, KeyCase{"FK05", false, 0x74}, KeyCase{"INS", false, 0x2D},
          KeyCase{"HOME", false, 0x24}, KeyCase{"LEFT", false, 0x25}}) {
        cases.push_back(k);
    }
    return cases;
}

std::string KeysymName(xkb_keysym_t sym) {
    char name[64] = "NoSymbol";
    if (sym != XKB_KEY_NoSymbol) {
        xkb_keysym_get_name(sym, name, sizeof name);
    }
    return name;
}

// Every key of the layout, sent by the code Windows records for it, arrives
// as what pressing that key types on the layout (xkbcommon's reading of the
// layout sway was given).
TEST_P(SwayLayouts, EveryKeyArrivesAsTheKeyTypesOnTheLayout) {
    auto target = StartFocused("Table");
    auto injector = Open();
    ASSERT_TRUE(injector);
    for (const auto& [layout, model] :
         {std::pair<std::string, std::string>{"us", "pc105"}, {"jp", "jp106"}}) {
        ASSERT_TRUE(SetLayout(sway_, layout, model));
        const LayoutKeys keys(KeymapFromNames(layout, "", model));
        ASSERT_TRUE(keys.Keymap());
        std::printf("sway, %s client, layout %s\n%-5s %-5s %-9s %-18s %s\n", KindName(GetParam()),
                    layout.c_str(), "key", "shift", "recorded", "typed directly", "received");
        for (const KeyCase& k : Cases(layout == "jp")) {
            const xkb_keycode_t keycode = xkb_keymap_key_by_name(keys.Keymap(), k.key);
            ASSERT_NE(keycode, XKB_KEYCODE_INVALID) << k.key;
            EXPECT_EQ(keys.VirtualKeyOf(keycode), k.code) << layout << " " << k.key;
            const std::string typed =
                KeysymName(k.shift ? keys.Shifted(keycode) : keys.Unshifted(keycode));
            const std::string name = KeyCodeToName(static_cast<std::int16_t>(k.code));
            const std::string list = std::string(k.shift ? "D[SHIFT], " : "") + "D" + name + ", U" +
                                     name + (k.shift ? ", U[SHIFT]" : "");
            const std::vector<std::string> received = Type(*injector, *target, list);
            std::printf("%-5s %-5s %-9s %-18s %s\n", k.key, k.shift ? "yes" : "", name.c_str(),
                        typed.c_str(), received.empty() ? "-" : received.front().c_str());
            EXPECT_EQ(received, std::vector<std::string>{typed})
                << layout << " " << k.key << (k.shift ? " with Shift" : "") << " as " << name;
        }
    }
}

// Key capture's view of the layout: the code Windows gives each physical key
// (named by its xkb keycode, as Qt reports it) on the layout sway has, set
// before capture starts and switched while it runs; the keypad as Num Lock
// has it in the event's modifiers (Mod2).
TEST(CaptureLayout, ReadsTheCompositorsLayoutAndFollowsASwitch) {
    Sway sway;
    ASSERT_TRUE(SetLayout(sway, "jp", "jp106"));
    // The program's keyboard is on the seat before capture starts.
    std::string error;
    const auto injector = VirtualKeyboardInjector::Open(nullptr, error);
    ASSERT_TRUE(injector) << error;
    const auto capture = WaylandCaptureLayout::Open(nullptr, error);
    ASSERT_TRUE(capture) << error;
    constexpr std::uint32_t kNumLock = 1u << 4;
    const auto code = [&](int evdevKey, std::uint32_t mods = 0) {
        return capture->VirtualKeyOfKey(static_cast<std::uint32_t>(evdevKey + 8), mods);
    };
    EXPECT_EQ(capture->LayoutName(), "Japanese");
    EXPECT_EQ(code(KEY_2), '2');
    EXPECT_EQ(code(KEY_APOSTROPHE), 0xBA);  // : *
    EXPECT_EQ(code(KEY_LEFTBRACE), 0xC0);   // @ `
    EXPECT_EQ(code(KEY_GRAVE), 0xF3);       // 半角/全角
    EXPECT_EQ(code(KEY_CAPSLOCK), 0xF0);    // 英数
    EXPECT_EQ(code(KEY_RO), 0xE2);          // ろ
    EXPECT_EQ(code(KEY_KP1, kNumLock), 0x61);
    EXPECT_EQ(code(KEY_KP1), 0x23);

    ASSERT_TRUE(SetLayout(sway, "us", "pc105"));
    // sway hands every client the new keymap; the next key reads it.
    EXPECT_TRUE(WaitUntil([&] { return code(KEY_APOSTROPHE) == 0xDE; }, kLogBound))  // ' "
        << "capture still reads " << capture->LayoutName();
    EXPECT_EQ(capture->LayoutName(), "English (US)");
    EXPECT_EQ(code(KEY_GRAVE), 0xC0);
    EXPECT_EQ(code(KEY_LEFTBRACE), 0xDB);
    EXPECT_EQ(code(KEY_CAPSLOCK), 0x14);
    EXPECT_EQ(code(KEY_KP1, kNumLock), 0x61);
}

INSTANTIATE_TEST_SUITE_P(Clients, SwayLayouts, ::testing::Values(ClientKind::Native, ClientKind::X),
                         [](const auto& info) { return KindName(info.param); });

}  // namespace
}  // namespace qv::wayland
