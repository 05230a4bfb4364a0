// The program itself on headless sway: quorvane --simulator, running natively
// on Wayland, with the quorvane-sim daemon. A simulated button press must end
// as the slot's keys in a Wayland client (or an X client under XWayland) and
// the window that was in front must be in front again; with waybar's tray and
// a session bus, the tray icon is registered. Runs inside with-sway.sh.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ProgramSession.h"

namespace qv::wayland {
namespace {

using namespace test;

// Once as sway (its IPC), once as another wlroots compositor would be seen
// (no $SWAYSOCK for the program: the foreign-toplevel window list).
class ProgramDispatch : public ProgramOnSway, public ::testing::WithParamInterface<bool> {};

TEST_P(ProgramDispatch, PressedButtonsSendTheirKeysToTheirWindowsAndTheFocusComesBack) {
    const bool otherWlroots = GetParam();
    Simulator sim;
    auto user = Start(ClientKind::Native, "User");
    auto native = Start(ClientKind::Native, "Native");
    auto x = Start(ClientKind::X, "X");
    auto hidden = Start(ClientKind::Native, "Hidden");
    ASSERT_TRUE(sway_.Command("[con_id=" + std::to_string(sway_.ViewOf(hidden->Name())->id) +
                              "] move scratchpad"));
    ASSERT_NO_FATAL_FAILURE(Focus(*user));

    std::string lowerNative = native->Name();
    std::transform(lowerNative.begin(), lowerNative.end(), lowerNative.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    Program program(sim,
                    {"[General]",
                     "WindowChangeTime=0",
                     "[Remote1]",
                     "Pulse=12,34,56",
                     "Comment=to native",
                     "AdjustTime=0",
                     "WindowName=" + lowerNative,  // ASCII case is ignored
                     "KeyList=D[SHIFT], DA, UA, U[SHIFT], D[KANJI], U[KANJI], D[CTRL], DC, "
                     "UC, U[CTRL]",
                     "[Remote2]",
                     "Pulse=12,34,57",
                     "Comment=to x",
                     "AdjustTime=0",
                     "WindowName=" + x->Name(),
                     "KeyList=DB, UB, D[RETURN], U[RETURN]",
                     "[Remote3]",
                     "Pulse=12,34,58",
                     "Comment=to hidden",
                     "AdjustTime=0",
                     "WindowName=" + hidden->Name(),
                     "KeyList=DZ, UZ",
                     "[Remote4]",
                     "Pulse=12,34,59",
                     "Comment=to the front",
                     "AdjustTime=0",
                     "KeyList=D[F5], U[F5]"},
                    {otherWlroots ? "SWAYSOCK=" : "QV_SWAY=1"});
    EXPECT_NE(program.Log().find(otherWlroots ? "keys: session: wlroots (virtual keyboard, "
                                                "foreign-toplevel window list)"
                                              : "keys: session: sway (virtual keyboard, sway IPC)"),
              std::string::npos)
        << program.Log();

    sim.Press(12, 34, 56);
    ASSERT_TRUE(WaitForKeys(*native, 10)) << program.Log();
    EXPECT_EQ(Describe(native->Keys()),
              (std::vector<std::string>{"press Shift_L", "press A", "release A", "release Shift_L",
                                        "press Kanji", "release Kanji", "press Control_L",
                                        "press c", "release c", "release Control_L"}));
    EXPECT_TRUE(native->FocusedBeforeKey(0));
    EXPECT_TRUE(WaitUntil([&] { return Focused(*user); }, kLogBound))
        << "the focus did not come back";

    sim.Press(12, 34, 57);
    ASSERT_TRUE(WaitForKeys(*x, 4)) << program.Log();
    EXPECT_EQ(Describe(x->Keys()),
              (std::vector<std::string>{"press b", "release b", "press Return", "release Return"}));
    EXPECT_TRUE(x->FocusedBeforeKey(0));
    EXPECT_TRUE(WaitUntil([&] { return Focused(*user); }, kLogBound));

    // sway takes no minimise request through the window list: the scratchpad
    // counts as minimised through its IPC only.
    if (!otherWlroots) {
        sim.Press(12, 34, 58);
        ASSERT_TRUE(WaitForKeys(*hidden, 2)) << program.Log();
        EXPECT_EQ(Describe(hidden->Keys()), (std::vector<std::string>{"press z", "release z"}));
        EXPECT_TRUE(WaitUntil(
            [&] {
                const auto view = sway_.ViewOf(hidden->Name());
                return view && view->inScratchpad;
            },
            kLogBound))
            << "the scratchpad target did not go back to the scratchpad";
        EXPECT_TRUE(WaitUntil([&] { return Focused(*user); }, kLogBound));
    }

    // No window named: the keys go to the window in front.
    sim.Press(12, 34, 59);
    ASSERT_TRUE(WaitForKeys(*user, 2)) << program.Log();
    EXPECT_EQ(Describe(user->Keys()), (std::vector<std::string>{"press F5", "release F5"}));
    EXPECT_EQ(native->Keys().size(), 10u);
    EXPECT_EQ(x->Keys().size(), 4u);
    EXPECT_EQ(hidden->Keys().size(), otherWlroots ? 0u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Session, ProgramDispatch, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "wlroots" : "sway"; });

// --backend uinput where /dev/uinput cannot be written: the program says
// why and how to fix it, and does not start.
TEST(ProgramBackendOption, UinputWithoutAccessEndsWithTheReason) {
    if (access("/dev/uinput", W_OK) == 0) {
        GTEST_SKIP() << "/dev/uinput is writable here";
    }
    Simulator sim;
    const std::string log = WorkDir() + "/uinput.log";
    EXPECT_EQ(test::Run({QV_PROGRAM, "--simulator=" + sim.Socket(), "--config",
                         WorkDir() + "/uinput.ini", "--backend", "uinput"},
                        log),
              1);
    const std::string text = ReadAll(log);
    EXPECT_NE(text.find("cannot create the uinput keyboard: open(/dev/uinput): "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("60-quorvane-uinput.rules"), std::string::npos) << text;
    EXPECT_NE(text.find("Switching to a slot's target window is not available"), std::string::npos)
        << text;
}

// With waybar's tray (a StatusNotifierWatcher and host) on a session bus,
// the program's icon is registered with the watcher.
TEST_F(ProgramOnSway, TheTrayIconRegistersWithWaybarsTray) {
    const std::string busLog = WorkDir() + "/dbus.log";
    Process bus({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, busLog);
    ASSERT_TRUE(WaitForText(busLog, "unix:")) << ReadAll(busLog);
    std::string address = ReadAll(busLog);
    address = address.substr(0, address.find('\n'));
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);

    const std::string config = WorkDir() + "/waybar.json";
    std::ofstream(config) << R"({"layer": "top", "modules-right": ["tray"], "tray": {}})";
    Process waybar({"waybar", "--config", config}, WorkDir() + "/waybar.log");
    const auto query = [&](const std::vector<std::string>& args) {
        const std::string out = WorkDir() + "/dbus-send.out";
        std::vector<std::string> all = {"dbus-send", "--session", "--print-reply"};
        all.insert(all.end(), args.begin(), args.end());
        return test::Run(all, out) == 0 ? ReadAll(out) : std::string();
    };
    ASSERT_TRUE(WaitUntil(
        [&] {
            return query({"--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                          "org.freedesktop.DBus.NameHasOwner",
                          "string:org.kde.StatusNotifierWatcher"})
                       .find("boolean true") != std::string::npos;
        },
        kProgramBound))
        << "waybar's tray did not take the watcher's name\n"
        << ReadAll(WorkDir() + "/waybar.log");

    Simulator sim;
    Program program(sim, {"[General]", "WindowChangeTime=0"},
                    {"DBUS_SESSION_BUS_ADDRESS=" + address});
    // The watcher lists items by the bus connection that registered them;
    // the bus tells whose process that connection is.
    const auto registeredByProgram = [&] {
        const std::string items =
            query({"--dest=org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                   "org.freedesktop.DBus.Properties.Get", "string:org.kde.StatusNotifierWatcher",
                   "string:RegisteredStatusNotifierItems"});
        for (std::size_t at = items.find("\":"); at != std::string::npos;
             at = items.find("\":", at + 1)) {
            const std::string connection = items.substr(at + 1, items.find('/', at) - at - 1);
            const std::string pid =
                query({"--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                       "org.freedesktop.DBus.GetConnectionUnixProcessID", "string:" + connection});
            if (pid.find("uint32 " + std::to_string(program.Pid())) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(WaitUntil(registeredByProgram, kProgramBound))
        << "the program's icon is not registered\n"
        << program.Log();
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

// The window picker with sway's window list, and with the foreign-toplevel
// list another wlroots compositor offers: two Wayland windows of the test are
// listed by their app_id and title (the program's own is not), the one chosen
// fills "送信ウィンドウ", and the slot stored with it fires into that window.
// The program's window runs under XWayland here, so that the test can click it
// and type into it (xdotool); its window list is the compositor's all the same.
class ProgramPicker : public ProgramOnSway, public ::testing::WithParamInterface<bool> {};

TEST_P(ProgramPicker, ListsWindowsByAppIdAndTheChoiceIsWhereTheKeysGo) {
    const bool otherWlroots = GetParam();
    Simulator sim;
    auto mail = Start(ClientKind::Native, "Mail", "受信トレイ - メール");
    auto notes = Start(ClientKind::Native, "Notes", "notes.txt");
    auto work = Start(ClientKind::Native, "Work", "the window in use");
    Program program(sim, {"[General]", "WindowChangeTime=0"},
                    {"QT_QPA_PLATFORM=xcb", otherWlroots ? "SWAYSOCK=" : "QV_SWAY=1"},
                    {"--show", "--tab", "2"});
    ASSERT_NE(program.Log().find(otherWlroots ? "keys: session: wlroots (virtual keyboard, "
                                                "foreign-toplevel window list)"
                                              : "keys: session: sway (virtual keyboard, sway IPC)"),
              std::string::npos)
        << program.Log();
    ASSERT_TRUE(WaitForText(program.LogPath(), "receiver: 受信中")) << program.Log();
    const std::string xdotoolLog = WorkDir() + "/xdotool.log";
    const auto xdotool = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        return test::Run(args, xdotoolLog) == 0;
    };
    std::string window;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (!xdotool({"search", "--onlyvisible", "--name", "^Quorvane$"})) {
                return false;
            }
            const std::string found = ReadAll(xdotoolLog);
            window = found.substr(0, found.find('\n'));
            return !window.empty();
        },
        kProgramBound))
        << program.Log();
    const auto click = [&](int x, int y) {
        ASSERT_TRUE(xdotool(
            {"mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1"}))
            << ReadAll(xdotoolLog);
    };

    // "選択…" (at 322,140 58x24 on the page at 10,36).
    click(361, 188);
    ASSERT_TRUE(WaitForText(program.LogPath(), "window picker:")) << program.Log();
    const std::string log = program.Log();
    const std::string offered = log.substr(log.rfind("window picker:"));
    const std::string line = offered.substr(0, offered.find('\n'));
    EXPECT_NE(line.find("[" + mail->Name() + "] 受信トレイ - メール;"), std::string::npos) << line;
    EXPECT_NE(line.find("[" + notes->Name() + "] notes.txt;"), std::string::npos) << line;
    EXPECT_EQ(line.find("[quorvane]"), std::string::npos) << "its own window is left out: " << line;
    EXPECT_EQ(line.find("[Quorvane]"), std::string::npos) << "its own window is left out: " << line;
    // The list is in the order offered; Down moves onto its first item.
    const std::size_t notesAt = line.find("[" + notes->Name() + "]");
    ASSERT_NE(notesAt, std::string::npos);
    const auto before = std::count(line.begin(), line.begin() + static_cast<long>(notesAt), '[');
    std::vector<std::string> keys = {"key"};
    keys.insert(keys.end(), static_cast<std::size_t>(before) + 1, "Down");
    keys.push_back("Return");
    ASSERT_TRUE(WaitUntil(
        [&] {
            return xdotool({"search", "--onlyvisible", "--classname", "^quorvane$"}) &&
                   Count(ReadAll(xdotoolLog), "\n") >= 2;
        },
        kProgramBound))
        << "the list did not open";
    ASSERT_TRUE(xdotool(keys)) << ReadAll(xdotoolLog);

    // Store: a pulse, a key in the key list (145,172), "追加 / 変更" (265,268).
    sim.Press(4, 5, 6);
    ASSERT_TRUE(WaitForText(program.LogPath(), "learning mode: pulse 04,05,06")) << program.Log();
    click(272, 252);
    ASSERT_TRUE(xdotool({"key", "x"}));
    click(332, 318);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return ReadAll(program.IniPath()).find("WindowName=" + notes->Name()) !=
                   std::string::npos;
        },
        kProgramBound))
        << ReadAll(program.IniPath()) << program.Log();

    // Fired in run mode (the first tab, at 8,8) with another window in front.
    click(28, 21);
    ASSERT_TRUE(WaitForText(program.LogPath(), "tab 1 selected")) << program.Log();
    ASSERT_NO_FATAL_FAILURE(Focus(*work));
    sim.Press(4, 5, 6);
    ASSERT_TRUE(WaitForKeys(*notes, 2)) << program.Log();
    EXPECT_EQ(Describe(notes->Keys()), (std::vector<std::string>{"press x", "release x"}));
    EXPECT_TRUE(mail->Keys().empty());
}

INSTANTIATE_TEST_SUITE_P(Session, ProgramPicker, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "wlroots" : "sway"; });

}  // namespace
}  // namespace qv::wayland
