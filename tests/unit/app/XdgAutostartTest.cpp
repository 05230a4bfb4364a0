#include "app/linux/XdgAutostart.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A fresh folder for one test, removed afterwards.
class AutostartFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qv-autostart-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(root_, fs::perms::owner_all, ec);
        fs::remove_all(root_, ec);
    }
    fs::path root_;
};

TEST(AutostartPath, XdgConfigHomeWhenAbsoluteElseHomeConfig) {
    EXPECT_EQ(AutostartEntryPath("/x/cfg", "/home/u"), "/x/cfg/autostart/quorvane.desktop");
    EXPECT_EQ(AutostartEntryPath("", "/home/u"), "/home/u/.config/autostart/quorvane.desktop");
    // A relative XDG_CONFIG_HOME is invalid by the base directory rules.
    EXPECT_EQ(AutostartEntryPath("cfg", "/home/u"), "/home/u/.config/autostart/quorvane.desktop");
    EXPECT_EQ(AutostartEntryPath("/x/cfg", ""), "/x/cfg/autostart/quorvane.desktop");
    EXPECT_EQ(AutostartEntryPath("", ""), "");
}

TEST(AutostartExec, ArgumentsAreQuotedOnlyWhenTheyMustBe) {
    struct Case {
        std::string arg;
        std::string exec;
    };
    const Case cases[] = {
        {"/usr/bin/quorvane", "/usr/bin/quorvane"},
        {"/home/u/リモコン/quorvane", "/home/u/リモコン/quorvane"},
        {"/home/u/my build/quorvane", "\"/home/u/my build/quorvane\""},
        {"/a/\"q\"", "\"/a/\\\"q\\\"\""},
        {"/a/$HOME`x`", "\"/a/\\$HOME\\`x\\`\""},
        {"/a/b\\c", "\"/a/b\\\\c\""},
        {"/a/it's", "\"/a/it's\""},
        {"/a/100%", "/a/100%%"},  // % would start a field code
        {"/a/50% off", "\"/a/50%% off\""},
        {"", "\"\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QuoteExecArgument(c.arg), c.exec) << c.arg;
    }
}

TEST(AutostartEntry, StartsTheProgramWithItsConfigurationFile) {
    const std::string plain = AutostartEntryText("/usr/bin/quorvane", "");
    EXPECT_EQ(plain.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(plain.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(plain.find("\nExec=/usr/bin/quorvane\n"), std::string::npos);

    const std::string withConfig = AutostartEntryText("/usr/bin/quorvane", "/home/u/my.ini");
    EXPECT_NE(withConfig.find("\nExec=/usr/bin/quorvane --config /home/u/my.ini\n"),
              std::string::npos);

    // A backslash is escaped once for the Exec quoting and once more as a
    // desktop entry string.
    const std::string backslash = AutostartEntryText("/a/b\\c", "");
    EXPECT_NE(backslash.find("\nExec=\"/a/b\\\\\\\\c\"\n"), std::string::npos) << backslash;
}

TEST(AutostartEntry, PathsThatCannotBeWrittenAreRefused) {
    EXPECT_EQ(AutostartEntryText("", ""), "");
    EXPECT_EQ(AutostartEntryText("/a/line\nbreak", ""), "");
    EXPECT_EQ(AutostartEntryText("/a/tab\there", ""), "");
    EXPECT_EQ(AutostartEntryText("/usr/bin/quorvane", "/a/\x7f"), "");
    EXPECT_EQ(AutostartEntryText("/a/\xff", ""), "");              // not UTF-8
    EXPECT_EQ(AutostartEntryText("/a/\xe3\x83", ""), "");          // cut short
    EXPECT_EQ(AutostartEntryText("/a/\xc0\xaf", ""), "");          // overlong '/'
    EXPECT_EQ(AutostartEntryText("/a/\xed\xa0\x80", ""), "");      // surrogate
    EXPECT_NE(AutostartEntryText("/a/\xf0\x9f\x93\xba", ""), "");  // U+1F4FA
}

TEST_F(AutostartFiles, OnWritesTheEntryInNewPrivateFoldersAndOffRemovesIt) {
    const fs::path entry = root_ / "cfg" / "autostart" / "quorvane.desktop";
    AutostartResult r = SetAutostart(true, entry.string(), "/usr/bin/quorvane", "", "quorvane");
    ASSERT_EQ(r.exitCode, 0) << r.error;
    EXPECT_EQ(r.output, "quorvane: autostart on: " + entry.string() + "\n");
    EXPECT_EQ(ReadAll(entry), AutostartEntryText("/usr/bin/quorvane", ""));
    for (const fs::path& folder : {root_ / "cfg", root_ / "cfg" / "autostart"}) {
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all)
            << folder;
    }

    // On again replaces the entry, with nothing left beside it.
    r = SetAutostart(true, entry.string(), "/opt/q/quorvane", "/etc/q.ini", "quorvane");
    ASSERT_EQ(r.exitCode, 0) << r.error;
    EXPECT_EQ(ReadAll(entry), AutostartEntryText("/opt/q/quorvane", "/etc/q.ini"));
    EXPECT_EQ(std::distance(fs::directory_iterator(entry.parent_path()), fs::directory_iterator()),
              1);

    r = SetAutostart(false, entry.string(), "", "", "quorvane");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "quorvane: autostart off: removed " + entry.string() + "\n");
    EXPECT_FALSE(fs::exists(entry));
    // Off when it is off already is no error, and says so.
    r = SetAutostart(false, entry.string(), "", "", "quorvane");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("was off"), std::string::npos);
}

TEST_F(AutostartFiles, ExistingFoldersKeepTheirPermissions) {
    fs::create_directories(root_ / "autostart");
    fs::permissions(root_ / "autostart", fs::perms(0755), fs::perm_options::replace);
    const fs::path entry = root_ / "autostart" / "quorvane.desktop";
    ASSERT_EQ(SetAutostart(true, entry.string(), "/usr/bin/quorvane", "", "q").exitCode, 0);
    EXPECT_EQ(fs::status(root_ / "autostart").permissions() & fs::perms::all, fs::perms(0755));
}

TEST_F(AutostartFiles, FailuresExitWithOneAndSayWhat) {
    // The autostart "folder" is a file.
    std::ofstream(root_ / "autostart") << "x";
    const fs::path entry = root_ / "autostart" / "quorvane.desktop";
    AutostartResult r = SetAutostart(true, entry.string(), "/usr/bin/quorvane", "", "quorvane");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.error.find("cannot create the folder"), std::string::npos) << r.error;
    EXPECT_TRUE(r.output.empty());

    r = SetAutostart(true, "", "/usr/bin/quorvane", "", "quorvane");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.error.find("no autostart folder"), std::string::npos);

    r = SetAutostart(true, (root_ / "quorvane.desktop").string(), "/a/b\nc", "", "quorvane");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(fs::exists(root_ / "quorvane.desktop"));

    if (::geteuid() != 0) {  // root writes into read-only folders
        fs::create_directories(root_ / "ro");
        fs::permissions(root_ / "ro", fs::perms(0555), fs::perm_options::replace);
        r = SetAutostart(true, (root_ / "ro" / "quorvane.desktop").string(), "/usr/bin/quorvane",
                         "", "quorvane");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.error.find("cannot write"), std::string::npos) << r.error;
        fs::permissions(root_ / "ro", fs::perms::owner_all, fs::perm_options::replace);
    }
}

TEST_F(AutostartFiles, TheOptionNamesThisProgramAndAnAbsoluteConfigFile) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    ASSERT_EQ(::setenv("XDG_CONFIG_HOME", root_.c_str(), 1), 0);
    const fs::path oldCwd = fs::current_path();
    fs::current_path(root_);

    testing::internal::CaptureStdout();
    const int on = RunAutostartOption(true, "sub/../my.ini", "quorvane");
    const std::string said = testing::internal::GetCapturedStdout();
    fs::current_path(oldCwd);
    const fs::path entry = root_ / "autostart" / "quorvane.desktop";
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(on, 0);
    EXPECT_EQ(said, "quorvane: autostart on: " + entry.string() + "\n");
    EXPECT_EQ(ReadAll(entry), AutostartEntryText(self, (root_ / "my.ini").string()));

    testing::internal::CaptureStdout();
    EXPECT_EQ(RunAutostartOption(false, "", "quorvane"), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(fs::exists(entry));

    if (oldXdg != nullptr) {
        ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace qv
