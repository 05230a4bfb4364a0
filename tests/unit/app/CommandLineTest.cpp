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

}  // namespace
}  // namespace qv
