// Problems the checker reports, and the quorvane-inicheck tool's output and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "TempDir.h"
#include "config/ConfigCheck.h"
#include "config/IniFile.h"
#include "config/RemoteTable.h"

namespace qv {
namespace {

std::vector<std::string> Check(const std::string& bytes) {
    IconvTextCodec codec;
    IniFile file = IniFile::Parse(bytes, codec);
    RemoteTable table;
    table.Load(file);
    std::vector<std::string> texts;
    for (const ConfigProblem& p : CheckConfig(file, table)) {
        texts.push_back(p.text);
    }
    return texts;
}

bool Has(const std::vector<std::string>& texts, const std::string& part) {
    for (const auto& t : texts) {
        if (t.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(ConfigCheckTest, SoundFileHasNoProblems) {
    EXPECT_TRUE(Check("[General]\nWindowChangeTime=10\n[HID]\nVendorID=&HFFFF\n"
                      "ProductID=-1\n[Remote1]\nPulse=12,34,56\nAdjustTime=5\n"
                      "[Remote2]\nPulse=12,34,57\n[Remote3]\nPulse=12,35\n")
                    .empty());
}

TEST(ConfigCheckTest, SettingsTheProgramCannotUse) {
    const auto p = Check(
        "[General]\nWindowChangeTime=11\n[HID]\nVendorID=65535\n"
        "ProductID=&H00001\n");
    ASSERT_EQ(p.size(), 2u);
    EXPECT_TRUE(Has(p, "WindowChangeTime=11 is outside 0..10"));
    EXPECT_TRUE(Has(p, "VendorID=65535 matches no receiver"));
    // Five digits are a 32-bit value even when it is small: 1 is still in range.
    EXPECT_FALSE(Has(p, "ProductID"));
}

TEST(ConfigCheckTest, SlotsThatNeverFireAndWhy) {
    const auto p = Check(
        "[Remote1]\nPulse=12,34\n"
        "[Remote2]\nPulse=12,34,56\n"  // Remote1 takes every code beginning 12,34
        "[Remote3]\nPulse=1,x\n"
        "[Remote4]\nPulse=1,2,3,4\n"
        "[Remote5]\nPulse=0,1,2\n"
        "[Remote6]\nPulse=7,8,9\n");
    EXPECT_TRUE(Has(p, "slot 2 never fires: slot 1 comes first"));
    EXPECT_TRUE(Has(p, "slot 3 never fires: pulse text \"1,x\": a value is not a decimal"));
    EXPECT_TRUE(Has(p, "slot 4 never fires: pulse text \"1,2,3,4\" has 4 values"));
    EXPECT_TRUE(Has(p, "slot 5 never fires: its first value is 0"));
    EXPECT_FALSE(Has(p, "slot 1 never"));
    EXPECT_FALSE(Has(p, "slot 6"));
    EXPECT_EQ(p.size(), 4u);
}

TEST(ConfigCheckTest, ClampedValuesAndIgnoredSections) {
    const auto p = Check(
        "[Remote1]\nPulse=1\nAdjustTime=-3\nAdjustPulse=256\n"
        "[Remote2]\nPulse=2\nAdjustTime=255\n"
        "[Remote4]\nPulse=4\n[Remote5]\nPulse=5\n[Remote6]\nPulse=\n"
        "[Remote02]\nPulse=2\n[remote1]\nPulse=9\n");
    EXPECT_TRUE(Has(p, "slot 1: AdjustTime=-3 is stored as 0"));
    EXPECT_TRUE(Has(p, "slot 1: AdjustPulse=256 is stored as 255"));
    EXPECT_FALSE(Has(p, "slot 2:"));
    EXPECT_TRUE(Has(p,
                    "loading stops at slot 3, which has no Pulse; 2 later slot section(s) "
                    "are ignored: Remote4, Remote5"));
    EXPECT_TRUE(Has(p, "[Remote02] is never read"));
    EXPECT_TRUE(Has(p, "[remote1] appears more than once"));
}

// --- The tool ------------------------------------------------------------------

struct ToolRun {
    int status;
    std::string out;
};

ToolRun RunCommand(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ToolRun run{-1, {}};
    if (pipe == nullptr) {
        return run;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        run.out.append(buf, n);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

ToolRun RunTool(const std::string& args) {
    return RunCommand(std::string(QV_INICHECK) + " " + args + " 2>/dev/null");
}

TEST(InicheckToolTest, PrintsSettingsTableAndProblems) {
    test::TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    test::WriteBytes(path,
                     "[HID]\r\nVendorID=0x04d8\r\n[Remote1]\r\nPulse=05,120,07\r\n"
                     "Comment=\x89\xB9\x97\xCA\r\nKeyList=D[UP], U[UP]\r\n"
                     "[Remote3]\r\nPulse=1\r\n");
    const ToolRun run = RunTool(path);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Shift-JIS"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("VendorID = \"0x04d8\" -> 1240 (0x04D8)"), std::string::npos);
    EXPECT_NE(run.out.find("ProductID = (missing, default \"&H1\") -> 1 (0x0001)"),
              std::string::npos);
    EXPECT_NE(run.out.find("WindowChangeTime = (missing) -> 0"), std::string::npos);
    EXPECT_NE(run.out.find("first free slot 2"), std::string::npos);
    EXPECT_NE(run.out.find("pulse 5,120,7"), std::string::npos);
    EXPECT_NE(run.out.find("comment \"音量\""), std::string::npos);
    EXPECT_NE(run.out.find("keys  D[UP], U[UP]"), std::string::npos);
    EXPECT_NE(run.out.find("Remote3"), std::string::npos);
}

TEST(InicheckToolTest, UnreadableFilesGiveOneUsageErrorsTwoAndReadFilesZero) {
    test::TempDir dir;
    EXPECT_EQ(RunTool(dir.File("missing.ini")).status, 1);
    EXPECT_EQ(RunTool(dir.path().string()).status, 1);  // a folder cannot be read
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(RunTool(dir.File("fifo")).status, 1);  // nor a FIFO, which is not even opened
    EXPECT_EQ(RunTool("a.ini b.ini").status, 2);
    EXPECT_EQ(RunTool("--bogus").status, 2);
    EXPECT_EQ(RunTool("--help").status, 0);
    test::WriteBytes(dir.File("empty.ini"), "");
    const ToolRun empty = RunTool(dir.File("empty.ini"));
    EXPECT_EQ(empty.status, 0);
    EXPECT_NE(empty.out.find("No problems found."), std::string::npos);
    test::WriteBytes(dir.File("wide.ini"), std::string("\xFF\xFE[\0S\0]\0\r\0", 10));
    const ToolRun wide = RunTool(dir.File("wide.ini"));
    EXPECT_EQ(wide.status, 0);
    EXPECT_NE(wide.out.find("(UTF-16LE, CR line ends)"), std::string::npos) << wide.out;
}

// The tool copied into `folder` and run there without a file, with only the
// given environment; its standard output and error together.
ToolRun RunCopiedToolWithoutFile(const std::filesystem::path& folder, const std::string& env) {
    const std::filesystem::path tool = folder / "quorvane-inicheck";
    std::filesystem::copy_file(QV_INICHECK, tool,
                               std::filesystem::copy_options::overwrite_existing);
    return RunCommand("env -i " + env + " " + tool.string() + " 2>&1");
}

// A stand-in for the program: an executable file named quorvane.
void MakeProgram(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const std::string program = (folder / "quorvane").string();
    test::WriteBytes(program, "#!/bin/sh\n");
    ::chmod(program.c_str(), 0755);
}

TEST(InicheckToolTest, WithoutAFileTheProgramBesideItDecides) {
    test::TempDir dir;
    const std::filesystem::path bin = dir.path() / "bin";
    MakeProgram(bin);
    test::WriteBytes((bin / "Quorvane.ini").string(), "[General]\r\nWindowChangeTime=2\r\n");
    const ToolRun run = RunCopiedToolWithoutFile(bin, "PATH=/nonexistent HOME=" + dir.File("home"));
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.rfind("The file " + (bin / "quorvane").string() +
                                " uses without --config: " + (bin / "Quorvane.ini").string() + "\n",
                            0),
              0u)
        << run.out;
    EXPECT_NE(run.out.find("WindowChangeTime = \"2\" -> 2"), std::string::npos) << run.out;
}

TEST(InicheckToolTest, WithoutAFileAndNoProgramBesideItThePathDecides) {
    test::TempDir dir;
    const std::filesystem::path tools = dir.path() / "tools";
    std::filesystem::create_directories(tools);
    const std::filesystem::path onPath = dir.path() / "on-path";
    MakeProgram(onPath);
    const ToolRun run = RunCopiedToolWithoutFile(
        tools, "PATH=/nonexistent:" + onPath.string() + " HOME=" + dir.File("home"));
    // That program keeps its file beside itself, where there is none yet.
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("The file " + (onPath / "quorvane").string() +
                           " uses without --config: " + (onPath / "Quorvane.ini").string()),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find((onPath / "Quorvane.ini").string() + ": no such file"),
              std::string::npos)
        << run.out;
}

TEST(InicheckToolTest, WithoutAFileOrAProgramTheUsersFileOfAnInstalledOneIsChecked) {
    test::TempDir dir;
    const std::filesystem::path tools = dir.path() / "tools";
    std::filesystem::create_directories(tools);
    std::filesystem::create_directories(dir.path() / "config" / "quorvane");
    test::WriteBytes(dir.File("config/quorvane/Quorvane.ini"), "");
    const ToolRun run =
        RunCopiedToolWithoutFile(tools, "PATH=/nonexistent HOME=" + dir.File("home") +
                                            " XDG_CONFIG_HOME=" + dir.File("config"));
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("No quorvane beside quorvane-inicheck or on PATH; the file an "
                           "installed one uses without --config: " +
                           dir.File("config/quorvane/Quorvane.ini")),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("No problems found."), std::string::npos) << run.out;
}

}  // namespace
}  // namespace qv
