#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

CommandLineResult Parse(std::vector<std::string> args) {
    return ParseCommandLine(args, "quorvane");
}

TEST(CommandLine, NoOptionsRunsWithDefaults) {
    const auto r = Parse({});
    ASSERT_EQ(r.action, CommandLineResult::Action::Run);
    EXPECT_TRUE(r.options.configPath.empty());
    EXPECT_FALSE(r.options.simulator);
    EXPECT_FALSE(r.options.debug);
    EXPECT_FALSE(r.options.show);
    EXPECT_FALSE(r.options.tab.has_value());
    EXPECT_FALSE(r.options.autostart.has_value());
}

TEST(CommandLine, ValuesSeparateOrAttached) {
    auto r = Parse({"--config", "/tmp/a.ini", "--simulator", "--debug", "--tab", "2", "--show"});
    ASSERT_EQ(r.action, CommandLineResult::Action::Run);
    EXPECT_EQ(r.options.configPath, "/tmp/a.ini");
    EXPECT_TRUE(r.options.simulator);
    EXPECT_TRUE(r.options.simSocket.empty());
    EXPECT_TRUE(r.options.debug);
    EXPECT_TRUE(r.options.show);
    EXPECT_EQ(r.options.tab, 2);

    r = Parse({"--config=/x/y.ini", "--simulator=/run/s.sock", "--tab=1"});
    ASSERT_EQ(r.action, CommandLineResult::Action::Run);
    EXPECT_EQ(r.options.configPath, "/x/y.ini");
    EXPECT_EQ(r.options.simSocket, "/run/s.sock");
    EXPECT_EQ(r.options.tab, 1);
}

TEST(CommandLine, BackendNamesOneOfTheLinuxKeystrokeBackends) {
    EXPECT_TRUE(Parse({}).options.keysBackend.empty());
    for (const char* name : {"x11", "sway", "wlroots", "kde", "gnome", "uinput"}) {
        const auto r = Parse({"--backend", name});
        ASSERT_EQ(r.action, CommandLineResult::Action::Run) << name;
        EXPECT_EQ(r.options.keysBackend, name);
    }
    EXPECT_EQ(Parse({"--backend=sway"}).options.keysBackend, "sway");
    EXPECT_EQ(Parse({"--ba", "uinput"}).options.keysBackend, "uinput");
    const auto wrong = Parse({"--backend", "plasma"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.error.find("invalid argument 'plasma' for '--backend'"), std::string::npos);
    EXPECT_NE(wrong.error.find("kde, gnome or uinput"), std::string::npos);
    EXPECT_EQ(Parse({"--backend", "X11"}).exitCode, 2);  // names are written as listed
    EXPECT_EQ(Parse({"--backend", "GNOME"}).exitCode, 2);
    EXPECT_EQ(Parse({"--backend"}).exitCode, 2);
    EXPECT_NE(UsageText("quorvane").find("--backend NAME"), std::string::npos);
    EXPECT_NE(UsageText("quorvane").find("kde (KWin's fake input"), std::string::npos);
    EXPECT_NE(UsageText("quorvane").find("gnome (mutter's remote desktop"), std::string::npos);
}

TEST(CommandLine, SimulatorTakesItsSocketOnlyAttached) {
    // An optional value must be attached, so a following word is not swallowed.
    const auto r = Parse({"--simulator", "extra"});
    EXPECT_EQ(r.action, CommandLineResult::Action::Exit);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.error.find("unexpected argument 'extra'"), std::string::npos);
}

TEST(CommandLine, UniquePrefixesAreAccepted) {
    const auto r = Parse({"--conf", "a.ini", "--deb"});
    ASSERT_EQ(r.action, CommandLineResult::Action::Run);
    EXPECT_EQ(r.options.configPath, "a.ini");
    EXPECT_TRUE(r.options.debug);
}

TEST(CommandLine, UsageErrorsExitWithTwoAndSayWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const Case cases[] = {
        {{"--frobnicate"}, "unrecognized option '--frobnicate'"},
        {{"-x"}, "unrecognized option '-x'"},
        {{"--config"}, "requires an argument"},
        {{"--config="}, "needs a file name"},
        {{"--debug=yes"}, "doesn't allow an argument"},
        {{"--tab", "3"}, "invalid argument '3'"},
        {{"--autostart"}, "requires an argument"},
        {{"--autostart", "yes"}, "invalid argument 'yes' for '--autostart' (on or off)"},
        {{"--autostart=ON"}, "invalid argument 'ON'"},
        {{"--autostart="}, "invalid argument ''"},
        {{"--s"}, "ambiguous"},  // --show, --simulator
        {{"file.ini"}, "unexpected argument 'file.ini'"},
    };
    for (const Case& c : cases) {
        const auto r = Parse(c.args);
        EXPECT_EQ(r.action, CommandLineResult::Action::Exit) << c.says;
        EXPECT_EQ(r.exitCode, 2) << c.says;
        EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
        EXPECT_NE(r.error.find("--help"), std::string::npos);
    }
}

TEST(CommandLine, HelpAndVersionExitWithZero) {
    auto r = Parse({"--help"});
    EXPECT_EQ(r.action, CommandLineResult::Action::Exit);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("--simulator[=SOCKET]"), std::string::npos);
    r = Parse({"--debug", "--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output.rfind("quorvane ", 0), 0u);
}

TEST(CommandLine, AutostartOnOrOffWithTheConfigFileItRecords) {
    auto r = Parse({"--autostart", "on"});
    ASSERT_EQ(r.action, CommandLineResult::Action::Run);
    EXPECT_EQ(r.options.autostart, true);
    r = Parse({"--autostart=off"});
    ASSERT_EQ(r.action, CommandLineResult::Action::Run);
    EXPECT_EQ(r.options.autostart, false);
    r = Parse({"--config", "a.ini", "--auto", "on"});
    ASSERT_EQ(r.action, CommandLineResult::Action::Run);
    EXPECT_EQ(r.options.autostart, true);
    EXPECT_EQ(r.options.configPath, "a.ini");
    // The value is not taken for an option: "--autostart --debug" is an error.
    r = Parse({"--autostart", "--debug"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(Parse({"--help"}).output.find("--autostart on|off"), std::string::npos);
}

TEST(CommandLine, DoubleDashEndsOptions) {
    EXPECT_EQ(Parse({"--debug", "--"}).action, CommandLineResult::Action::Run);
    EXPECT_EQ(Parse({"--", "--debug"}).exitCode, 2);
}

CommandLineResult ParseOnWindows(std::vector<std::string> args) {
    return ParseCommandLine(args, "quorvane", Platform::Windows);
}

TEST(WindowsCommandLine, TheOptionsBothProgramsShareWorkAlike) {
    const auto r = ParseOnWindows(
        {"--config", "C:\\q\\a.ini", "--deb", "--show", "--tab=2", "--autostart", "off"});
    ASSERT_EQ(r.action, CommandLineResult::Action::Run) << r.error;
    EXPECT_EQ(r.options.configPath, "C:\\q\\a.ini");
    EXPECT_TRUE(r.options.debug);
    EXPECT_TRUE(r.options.show);
    EXPECT_EQ(r.options.tab, 2);
    EXPECT_EQ(r.options.autostart, false);
    EXPECT_EQ(ParseOnWindows({"--tab", "3"}).exitCode, 2);
    EXPECT_EQ(ParseOnWindows({"--autostart", "yes"}).exitCode, 2);
    EXPECT_EQ(ParseOnWindows({"--version"}).output.rfind("quorvane ", 0), 0u);
}

TEST(WindowsCommandLine, OptionsOfTheLinuxProgramAreUsageErrors) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--backend", "x11"}, {"--backend=sway"}, {"--ba"}}) {
        const auto r = ParseOnWindows(args);
        EXPECT_EQ(r.action, CommandLineResult::Action::Exit) << args[0];
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_NE(r.error.find("unrecognized option '" + args[0] + "'"), std::string::npos)
            << r.error;
    }
    // Without --backend, "--s" is still --show or --simulator, and "--b" nothing.
    EXPECT_NE(ParseOnWindows({"--s"}).error.find("ambiguous"), std::string::npos);
    EXPECT_NE(ParseOnWindows({"--b"}).error.find("unrecognized"), std::string::npos);
}

TEST(WindowsCommandLine, TheSimulatorIsAddressedOverTcp) {
    auto r = ParseOnWindows({"--simulator=tcp:127.0.0.1:4711"});
    ASSERT_EQ(r.action, CommandLineResult::Action::Run) << r.error;
    EXPECT_TRUE(r.options.simulator);
    EXPECT_EQ(r.options.simSocket, "tcp:127.0.0.1:4711");
    // The address is required, so it may also be the next word.
    r = ParseOnWindows({"--simulator", "tcp:sim.local:65535"});
    ASSERT_EQ(r.action, CommandLineResult::Action::Run) << r.error;
    EXPECT_EQ(r.options.simSocket, "tcp:sim.local:65535");

    EXPECT_NE(ParseOnWindows({"--simulator"}).error.find("requires an argument"),
              std::string::npos);
    for (const char* wrong : {"/run/sim.sock", "tcp:", "tcp:host", "tcp::4711", "tcp:h:0",
                              "tcp:h:65536", "tcp:h:47a1", "tcp:h:123456", "udp:h:4711"}) {
        const auto bad = ParseOnWindows({std::string("--simulator=") + wrong});
        EXPECT_EQ(bad.exitCode, 2) << wrong;
        EXPECT_NE(bad.error.find("for '--simulator' (tcp:HOST:PORT)"), std::string::npos)
            << bad.error;
    }
}

TEST(WindowsCommandLine, HelpDescribesTheWindowsProgram) {
    const std::string windows = ParseOnWindows({"--help"}).output;
    EXPECT_NE(windows.find("Quorvane.ini beside quorvane.exe"), std::string::npos);
    EXPECT_NE(windows.find("%APPDATA%\\Quorvane\\Quorvane.ini"), std::string::npos);
    EXPECT_NE(windows.find("--simulator=tcp:HOST:PORT"), std::string::npos);
    EXPECT_NE(windows.find("Startup"), std::string::npos);
    for (const char* linuxOnly : {"--backend", "XDG", ".desktop", "SOCKET", "uinput"}) {
        EXPECT_EQ(windows.find(linuxOnly), std::string::npos) << linuxOnly;
    }
    const std::string linuxHelp = Parse({"--help"}).output;
    EXPECT_EQ(linuxHelp.find("APPDATA"), std::string::npos);
    EXPECT_EQ(linuxHelp.find("Startup"), std::string::npos);
    EXPECT_EQ(UsageText("quorvane", Platform::Windows), windows);
}

}  // namespace
}  // namespace qv
