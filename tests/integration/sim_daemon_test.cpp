// The quorvane-sim daemon in its own process, driven by its command-line
// client and reached through the backends the program uses, over both
// transports: its Unix socket and its TCP port.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "PendingCalls.h"
#include "device/sim/SimClient.h"
#include "device/sim/TcpSimTransport.h"
#include "device/sim/unix/UnixSimTransport.h"

namespace qv::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kReceiver = "/dev/sim/hidraw0";

bool Readable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) == 1 && (entry.revents & POLLIN) != 0;
}

// Reads everything from `fd` until end of file.
std::string Drain(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            return text;
        }
    }
}

// Runs quorvane-sim with `args`; stdout and stderr go to `out`/`err`.
pid_t Spawn(const std::vector<std::string>& args, int outFd, int errFd) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        std::vector<char*> argv;
        std::string binary = QV_SIM_BINARY;
        argv.push_back(binary.data());
        std::vector<std::string> copy = args;
        for (std::string& arg : copy) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return 128 + WTERMSIG(status);
}

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CliResult RunCli(std::vector<std::string> args) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2: " << std::strerror(errno);
        return {};
    }
    const pid_t pid = Spawn(args, out[1], err[1]);
    ::close(out[1]);
    ::close(err[1]);
    CliResult result;
    result.out = Drain(out[0]);  // small outputs: stderr fits its pipe meanwhile
    result.err = Drain(err[0]);
    ::close(out[0]);
    ::close(err[0]);
    result.exitCode = WaitExit(pid);
    return result;
}

// A private folder for one test's socket.
class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/qv-sim-test-XXXXXX";
        if (::mkdtemp(name) == nullptr) {
            ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
        }
        path_ = name;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// One `quorvane-sim serve` in the background; stopped with SIGTERM at the end.
class Daemon {
public:
    Daemon(const std::string& socket, std::vector<std::string> options = {}) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2: " << std::strerror(errno);
            return;
        }
        std::vector<std::string> args{"serve", "--socket", socket};
        args.insert(args.end(), options.begin(), options.end());
        pid_ = Spawn(args, out[1], STDERR_FILENO);
        ::close(out[1]);
        out_ = out[0];
    }
    ~Daemon() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            WaitExit(pid_);
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }
    // Waits for the "ready" line; false when the daemon ended or said nothing.
    // A "tcp HOST:PORT" line before it (serve --tcp) gives TcpAddress().
    bool WaitReady() {
        std::string line;
        const auto deadline = Clock::now() + 5s;
        while (Clock::now() < deadline && Readable(out_, 5000)) {
            char c = 0;
            if (::read(out_, &c, 1) != 1) {
                return false;
            }
            if (c != '\n') {
                line += c;
                continue;
            }
            if (line == "ready") {
                return true;
            }
            if (line.rfind("tcp ", 0) == 0) {
                tcpAddress_ = "tcp:" + line.substr(4);
            }
            line.clear();
        }
        return false;
    }
    // "tcp:127.0.0.1:PORT" when serving TCP too.
    const std::string& TcpAddress() const { return tcpAddress_; }
    // Sends `signal` and returns the exit status.
    int Stop(int signal = SIGTERM) {
        ::kill(pid_, signal);
        const int code = WaitExit(pid_);
        pid_ = -1;
        return code;
    }
    // Waits for the daemon to end by itself.
    int Wait() {
        const int code = WaitExit(pid_);
        pid_ = -1;
        return code;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string tcpAddress_;
};

std::vector<std::uint8_t> Command(std::uint8_t code, std::uint8_t p1, std::uint8_t p2,
                                  std::size_t length) {
    std::vector<std::uint8_t> report(length, 0);
    report[1] = code;
    report[2] = p1;
    report[3] = p2;
    return report;
}

// How the program's backends reach the daemon in a test.
enum class Transport { Unix, Tcp };

// The daemon serves its Unix socket and a TCP port; the backends use the
// transport of the test's parameter, the command-line client the socket.
class SimDaemonTest : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        ASSERT_TRUE(daemon.WaitReady());
        ASSERT_FALSE(daemon.TcpAddress().empty());
        transport = GetParam() == Transport::Unix ? MakeUnixSimTransport(socket)
                                                  : MakeTcpSimTransport(daemon.TcpAddress());
        port = MakeSimHidPort(transport);
    }

    CliResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--socket", socket});
        return RunCli(args);
    }
    void Ok(std::vector<std::string> args) {
        const CliResult result = Cli(args);
        ASSERT_EQ(result.exitCode, 0) << args[0] << ": " << result.err;
    }
    std::unique_ptr<DeviceEvents> StartedEvents() {
        auto events = MakeSimDeviceEvents(transport);
        std::string error;
        EXPECT_TRUE(events->Start(calls.Call(), error)) << error;
        return events;
    }
    std::vector<DeviceChange> NextEvents(DeviceEvents& events) { return calls.Collect(events, 1); }
    // Writes a command (9-byte output report) and reads one 33-byte reply.
    std::vector<std::uint8_t> Transact(HidDevice& device, std::uint8_t code, std::uint8_t p1,
                                       std::uint8_t p2) {
        EXPECT_EQ(device.WriteReport(Command(code, p1, p2, 9), 1010ms), TransferStatus::Done);
        std::vector<std::uint8_t> reply(33, 0xEE);
        EXPECT_EQ(device.ReadReport(reply, 1010ms), TransferStatus::Done);
        return reply;
    }

    TempDir dir;
    std::string socket = dir.Path() + "/sim.sock";
    Daemon daemon{socket, {"--tcp", "127.0.0.1:0"}};
    std::shared_ptr<SimTransport> transport;
    std::unique_ptr<HidPort> port;
    test::PendingCalls calls;
};

INSTANTIATE_TEST_SUITE_P(Transports, SimDaemonTest,
                         ::testing::Values(Transport::Unix, Transport::Tcp),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                             return info.param == Transport::Unix ? "UnixSocket" : "Tcp";
                         });

TEST_P(SimDaemonTest, CommandLineAnswersWithItsExitCodes) {
    const CliResult status = Cli({"status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_NE(status.out.find("device /dev/sim/hidraw0 receiver 1234:0001 plugged queue=0"),
              std::string::npos)
        << status.out;
    EXPECT_NE(status.out.find("faults none"), std::string::npos);

    EXPECT_EQ(Cli({"bogus"}).exitCode, 2);
    EXPECT_EQ(Cli({"press", "1", "2"}).exitCode, 2);
    EXPECT_EQ(Cli({"press", "0", "2", "3"}).exitCode, 2);
    EXPECT_EQ(RunCli({}).exitCode, 2);

    EXPECT_EQ(RunCli({"queue", "--socket", socket}).out, "0\n") << "--socket may come last";
    EXPECT_EQ(Cli({"unplug"}).exitCode, 0);
    const CliResult again = Cli({"unplug"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("no receiver is plugged in"), std::string::npos) << again.err;

    const CliResult unreachable = RunCli({"--socket", dir.Path() + "/none.sock", "status"});
    EXPECT_EQ(unreachable.exitCode, 1);
    EXPECT_NE(unreachable.err.find("cannot reach the simulator"), std::string::npos);

    const CliResult help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"serve", "--version", "press", "fault error", "wait-idle",
                             "unplug-mid-transfer", "quorvane --simulator"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
}

TEST_P(SimDaemonTest, PressedCodeIsPolledOnceAndWaitIdleSeesIt) {
    auto device = port->Open(kReceiver);
    ASSERT_NE(device, nullptr);
    Ok({"press", "5", "120", "7"});
    EXPECT_EQ(Cli({"wait-idle", "--timeout", "0"}).exitCode, 1) << "not polled yet";

    const auto code = Transact(*device, 0x1E, 4, 4);
    EXPECT_EQ(code[0], 0);
    EXPECT_EQ(code[1], 1);
    EXPECT_EQ((std::vector<int>{code[3], code[4], code[5]}), (std::vector<int>{5, 120, 7}));
    const auto nothing = Transact(*device, 0x1E, 4, 4);
    EXPECT_EQ(nothing[1], 1);
    EXPECT_EQ(nothing[3], 0);

    EXPECT_EQ(Cli({"wait-idle", "--timeout", "2"}).exitCode, 0);
    const std::string status = Cli({"status"}).out;
    EXPECT_NE(status.find("PicPoll=2"), std::string::npos) << status;
    EXPECT_NE(status.find("delivered 1"), std::string::npos) << status;
    EXPECT_NE(status.find("open=1"), std::string::npos) << status;
}

TEST_P(SimDaemonTest, SilenceHoldsTheReadUntilTheCallersDeadline) {
    auto device = port->Open(kReceiver);
    ASSERT_NE(device, nullptr);
    Ok({"fault", "silence"});
    ASSERT_EQ(device->WriteReport(Command(0x1C, 5, 0x64, 9), 1010ms), TransferStatus::Done);
    std::vector<std::uint8_t> reply(33, 0xEE);
    const auto start = Clock::now();
    EXPECT_EQ(device->ReadReport(reply, 1010ms), TransferStatus::TimedOut);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 1010ms);
    EXPECT_EQ(reply[1], 0xEE);

    Ok({"fault", "clear"});
    EXPECT_EQ(Transact(*device, 0x1C, 5, 0x64)[1], 1);
    EXPECT_NE(Cli({"status"}).out.find("unanswered 1"), std::string::npos);
}

TEST_P(SimDaemonTest, UnplugAndPlugReachEnumerationAndEvents) {
    auto events = StartedEvents();
    EXPECT_TRUE(events->ReadPending().empty());
    EXPECT_EQ(calls.Count(), 0);
    EXPECT_EQ(port->EnumerateHidInterfaces(), (std::vector<std::string>{kReceiver}));

    Ok({"unplug"});
    auto removed = NextEvents(*events);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0], (DeviceChange{DeviceChange::Kind::Removal, kReceiver}));
    EXPECT_TRUE(port->EnumerateHidInterfaces().empty());
    EXPECT_EQ(port->Open(kReceiver), nullptr);

    Ok({"plug"});
    auto arrived = NextEvents(*events);
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_EQ(arrived[0].kind, DeviceChange::Kind::Arrival);
    EXPECT_EQ(arrived[0].path, kReceiver);
    EXPECT_EQ(port->EnumerateHidInterfaces(), (std::vector<std::string>{kReceiver}));
    EXPECT_NE(port->Open(kReceiver), nullptr);

    Ok({"event", "removal"});
    Ok({"event", "arrival", "/dev/sim/other"});
    const std::vector<DeviceChange> raw = calls.Collect(*events, 2);
    EXPECT_EQ(raw, (std::vector<DeviceChange>{{DeviceChange::Kind::Removal, ""},
                                              {DeviceChange::Kind::Arrival, "/dev/sim/other"}}));
}

TEST_P(SimDaemonTest, ChangesArePendingFromTheReadersThreadUntilStop) {
    auto events = StartedEvents();
    Ok({"unplug"});
    ASSERT_EQ(NextEvents(*events).size(), 1u);
    EXPECT_NE(calls.LastThread(), std::this_thread::get_id());

    // Stop ends the reader that waits on a silent daemon; what comes after
    // it is not announced, and a new start sees only what follows it.
    events->Stop();
    const int callsWhenStopped = calls.Count();
    Ok({"plug"});
    EXPECT_TRUE(events->ReadPending().empty());
    std::string error;
    ASSERT_TRUE(events->Start(calls.Call(), error)) << error;
    Ok({"unplug"});
    const std::vector<DeviceChange> removed = NextEvents(*events);
    EXPECT_EQ(removed, (std::vector<DeviceChange>{{DeviceChange::Kind::Removal, kReceiver}}));
    EXPECT_EQ(calls.Count(), callsWhenStopped + 1);
}

TEST_P(SimDaemonTest, UnplugMidTransferEndsThePendingReadAsGone) {
    auto events = StartedEvents();
    auto device = port->Open(kReceiver);
    ASSERT_NE(device, nullptr);
    Ok({"fault", "unplug-mid-transfer"});
    ASSERT_EQ(device->WriteReport(Command(0x1E, 4, 4, 9), 1010ms), TransferStatus::Done);
    std::vector<std::uint8_t> reply(33);
    // Gone, not TimedOut: the read ends with the unplug, before its deadline.
    EXPECT_EQ(device->ReadReport(reply, 1010ms), TransferStatus::Gone);
    EXPECT_EQ(device->WriteReport(Command(0x1E, 4, 4, 9), 100ms), TransferStatus::Gone);
    auto removed = NextEvents(*events);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].kind, DeviceChange::Kind::Removal);
    EXPECT_TRUE(port->EnumerateHidInterfaces().empty());
}

TEST_P(SimDaemonTest, ForeignAndNonHidDevicesComeAndGo) {
    auto events = StartedEvents();
    const CliResult foreign = Cli({"add-foreign", "046d", "c52b"});
    ASSERT_EQ(foreign.exitCode, 0);
    const std::string foreignPath = foreign.out.substr(0, foreign.out.find('\n'));
    const CliResult node = Cli({"add-nonhid"});
    ASSERT_EQ(node.exitCode, 0);
    const std::string nodePath = node.out.substr(0, node.out.find('\n'));

    EXPECT_EQ(port->EnumerateHidInterfaces(), (std::vector<std::string>{kReceiver, foreignPath}));
    auto keyboard = port->Open(foreignPath);
    ASSERT_NE(keyboard, nullptr);
    EXPECT_EQ(keyboard->GetAttributes()->vendorId, 0x046D);
    EXPECT_EQ(keyboard->GetAttributes()->productId, 0xC52B);
    auto opened = port->Open(nodePath);
    ASSERT_NE(opened, nullptr) << "a non-HID node opens";
    EXPECT_FALSE(opened->GetAttributes().has_value());
    EXPECT_FALSE(opened->GetCaps().has_value());
    std::vector<std::uint8_t> none(9);
    EXPECT_EQ(opened->WriteReport(Command(0x18, 0, 0, 9), 100ms), TransferStatus::Failed);
    EXPECT_EQ(opened->ReadReport(none, 100ms), TransferStatus::Failed);

    Ok({"remove-foreign", "all"});
    Ok({"remove-nonhid", nodePath});
    const std::vector<DeviceChange> changes = calls.Collect(*events, 4);
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0].path, foreignPath);
    EXPECT_EQ(changes[1].path, nodePath);
    EXPECT_EQ(changes[2].kind, DeviceChange::Kind::Removal);
    EXPECT_EQ(changes[2].path, foreignPath);
    EXPECT_EQ(changes[3].path, nodePath);
    std::vector<std::uint8_t> report(9);
    EXPECT_EQ(keyboard->ReadReport(report, 1000ms), TransferStatus::Gone);
}

TEST_P(SimDaemonTest, FaultsReachTheSocketBackends) {
    Ok({"fault", "short"});
    auto shortDevice = port->Open(kReceiver);
    ASSERT_NE(shortDevice, nullptr);
    EXPECT_EQ(shortDevice->GetCaps()->inputReportByteLength, 18);
    EXPECT_EQ(shortDevice->GetCaps()->outputReportByteLength, 3);

    Ok({"fault", "clear"});
    Ok({"fault", "error", "PicInit2", "0"});
    auto device = port->Open(kReceiver);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(Transact(*device, 0x1D, 0x10, 0xF0)[1], 0);
    EXPECT_EQ(Transact(*device, 0x1C, 0x05, 0x64)[1], 1);

    Ok({"fault", "refuse-open"});
    EXPECT_EQ(port->Open(kReceiver), nullptr);
    EXPECT_EQ(port->EnumerateHidInterfaces().size(), 1u);

    Ok({"fault", "refuse-events", "13"});
    auto events = MakeSimDeviceEvents(transport);
    std::string error;
    EXPECT_FALSE(events->Start(calls.Call(), error));
    EXPECT_EQ(error, "simulator: Permission denied");
    EXPECT_TRUE(events->ReadPending().empty());
}

TEST_P(SimDaemonTest, StoppingTheDaemonRemovesItsDevicesAndSocket) {
    auto events = StartedEvents();
    auto device = port->Open(kReceiver);
    ASSERT_NE(device, nullptr);
    const CliResult second = RunCli({"serve", "--socket", socket});
    EXPECT_EQ(second.exitCode, 1) << "a live daemon's socket is not taken over";
    EXPECT_NE(second.err.find("another simulator"), std::string::npos) << second.err;

    EXPECT_EQ(daemon.Stop(SIGTERM), 0);
    EXPECT_FALSE(std::filesystem::exists(socket));
    auto removed = NextEvents(*events);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].kind, DeviceChange::Kind::Removal);
    EXPECT_EQ(removed[0].path, kReceiver);
    // The reader has ended with the connection: nothing more comes.
    const int callsAfterRemoval = calls.Count();
    EXPECT_FALSE(calls.WaitBeyond(callsAfterRemoval, 50ms));
    EXPECT_TRUE(events->ReadPending().empty());
    events->Stop();

    std::vector<std::uint8_t> reply(33);
    EXPECT_EQ(device->ReadReport(reply, 1000ms), TransferStatus::Gone);
    EXPECT_TRUE(port->EnumerateHidInterfaces().empty());
    EXPECT_EQ(port->Open(kReceiver), nullptr);
    EXPECT_EQ(Cli({"status"}).exitCode, 1);
}

TEST(SimDaemonServeTest, OptionsShapeTheReceiver) {
    TempDir dir;
    const std::string socket = dir.Path() + "/sim.sock";
    Daemon daemon(socket, {"--vid", "8001", "--pid", "0x00ff", "--version", "2.07",
                           "--input-length", "19", "--output-length", "4"});
    ASSERT_TRUE(daemon.WaitReady());
    auto device = MakeSimHidPort(MakeUnixSimTransport(socket))->Open(kReceiver);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetAttributes()->vendorId, 0x8001);
    EXPECT_EQ(device->GetAttributes()->productId, 0x00FF);
    EXPECT_EQ(device->GetCaps()->inputReportByteLength, 19);
    EXPECT_EQ(device->GetCaps()->outputReportByteLength, 4);
    ASSERT_EQ(device->WriteReport(Command(0x18, 0, 0, 4), 1010ms), TransferStatus::Done);
    std::vector<std::uint8_t> reply(19);
    ASSERT_EQ(device->ReadReport(reply, 1010ms), TransferStatus::Done);
    EXPECT_EQ(reply[1], 1);
    EXPECT_EQ(reply[3], 2);
    EXPECT_EQ(reply[4], 7);
    EXPECT_EQ(RunCli({"--socket", socket, "quit"}).exitCode, 0);
    EXPECT_EQ(daemon.Wait(), 0);
}

TEST(SimDaemonServeTest, StartsUnpluggedOnRequest) {
    TempDir dir;
    const std::string socket = dir.Path() + "/sim.sock";
    Daemon daemon(socket, {"--unplugged"});
    ASSERT_TRUE(daemon.WaitReady());
    EXPECT_TRUE(MakeSimHidPort(MakeUnixSimTransport(socket))->EnumerateHidInterfaces().empty());
    EXPECT_EQ(daemon.Stop(SIGINT), 0);
}

TEST(SimDaemonServeTest, ReplacesAStaleSocketButNoOtherFile) {
    TempDir dir;
    const std::string socket = dir.Path() + "/sim.sock";
    {
        // A socket file left behind by a daemon that died.
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    {
        Daemon daemon(socket);
        ASSERT_TRUE(daemon.WaitReady());
        EXPECT_EQ(MakeSimHidPort(MakeUnixSimTransport(socket))->EnumerateHidInterfaces().size(),
                  1u);
        struct stat info;
        ASSERT_EQ(::stat(socket.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << "only this user may drive the simulator";
    }
    const std::string file = dir.Path() + "/plain";
    std::ofstream(file) << "not a socket\n";
    const CliResult refused = RunCli({"serve", "--socket", file});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(RunCli({"serve", "--vid", "xyz"}).exitCode, 2);
    EXPECT_EQ(RunCli({"serve", "--version", "1"}).exitCode, 2);
}

TEST(SimClientTest, AnAddressNamesItsTransport) {
    EXPECT_EQ(MakeSimTransport("tcp:127.0.0.1:4000")->Address(), "tcp:127.0.0.1:4000");
    EXPECT_EQ(MakeSimTransport("/run/sim.sock")->Address(), "/run/sim.sock");
    EXPECT_EQ(MakeSimTransport("")->Address(), DefaultSimSocketPath());
    // Not a TCP address: taken as a socket path, which fails to connect.
    std::string error;
    EXPECT_EQ(MakeSimTransport("tcp:nowhere")->Connect(100ms, error), nullptr);
    EXPECT_EQ(error.rfind("connect(tcp:nowhere): ", 0), 0u) << error;
}

TEST(SimClientTest, UnreachableDaemonsAreReportedWithTheCall) {
    TempDir dir;
    const std::string socket = dir.Path() + "/none.sock";
    const SimReply reply = SendSimCommand(*MakeUnixSimTransport(socket), {"status"});
    EXPECT_EQ(reply.code, SimReply::Code::Unreachable);
    EXPECT_EQ(reply.text,
              "cannot reach the simulator: connect(" + socket + "): No such file or directory");
    auto events = MakeSimDeviceEvents(MakeUnixSimTransport(socket));
    std::string error;
    EXPECT_FALSE(events->Start(nullptr, error));
    EXPECT_EQ(error, "simulator: connect(" + socket + "): No such file or directory");
    EXPECT_TRUE(MakeSimHidPort(MakeUnixSimTransport(socket))->EnumerateHidInterfaces().empty());
    EXPECT_EQ(MakeSimHidPort(MakeUnixSimTransport(socket))->Open(kReceiver), nullptr);
}

TEST(SimClientTest, DefaultSocketPathFollowsXdgRuntimeDir) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = saved != nullptr ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(DefaultSimSocketPath(), "/run/user/4242/quorvane-sim.sock");
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(DefaultSimSocketPath(), "/tmp/quorvane-sim-" + std::to_string(::getuid()) + ".sock");
    if (saved != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

}  // namespace
}  // namespace qv::sim
