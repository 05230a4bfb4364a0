// The quorvane-sim daemon's TCP port (for the Windows program under Wine): the
// same conversation as on its Unix socket, each message framed by its length.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/posix/UniqueFd.h"
#include "device/sim/SimFrame.h"

namespace qv::sim {
namespace {

constexpr int kPatienceMs = 5000;

// `quorvane-sim serve --tcp 127.0.0.1:0` in the background, on a private socket.
class TcpDaemon {
public:
    explicit TcpDaemon(std::vector<std::string> extra = {}) {
        char dir[] = "/tmp/qv-sim-tcp-XXXXXX";
        if (::mkdtemp(dir) == nullptr) {
            ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
            return;
        }
        dir_ = dir;
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2: " << std::strerror(errno);
            return;
        }
        std::vector<std::string> args{QV_SIM_BINARY,      "serve", "--socket",
                                      dir_ + "/sim.sock", "--tcp", "127.0.0.1:0"};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(out[1], STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_.Reset(out[0]);
    }
    ~TcpDaemon() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            Wait();
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // The lines printed until "ready" or the end; the port from "tcp 127.0.0.1:N".
    bool WaitReady() {
        std::string line;
        for (;;) {
            pollfd entry{out_.Get(), POLLIN, 0};
            char c = 0;
            if (::poll(&entry, 1, kPatienceMs) != 1 || ::read(out_.Get(), &c, 1) != 1) {
                return false;
            }
            if (c != '\n') {
                line += c;
                continue;
            }
            output_ += line + '\n';
            if (line.rfind("tcp 127.0.0.1:", 0) == 0) {
                port_ = static_cast<std::uint16_t>(std::stoi(line.substr(14)));
            }
            if (line == "ready") {
                return port_ != 0;
            }
            line.clear();
        }
    }
    // Everything the daemon printed until it ended (for failed starts).
    std::string Output() {
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(out_.Get(), buffer, sizeof buffer)) > 0) {
            output_.append(buffer, static_cast<std::size_t>(got));
        }
        return output_;
    }
    int Wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::uint16_t Port() const { return port_; }

private:
    std::string dir_;
    pid_t pid_ = -1;
    UniqueFd out_;
    std::string output_;
    std::uint16_t port_ = 0;
};

UniqueFd ConnectTcp(std::uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ADD_FAILURE() << "connect: " << std::strerror(errno);
    }
    return fd;
}

void SendBytes(int fd, const std::string& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

// The next whole message, nullopt at the end of the stream or after the patience.
std::optional<std::string> Receive(int fd, FrameDecoder& decoder) {
    for (;;) {
        if (auto message = decoder.Next()) {
            return message;
        }
        pollfd entry{fd, POLLIN, 0};
        char buffer[4096];
        if (::poll(&entry, 1, kPatienceMs) != 1) {
            return std::nullopt;
        }
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return std::nullopt;
        }
        decoder.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
    }
}

std::optional<std::string> Exchange(std::uint16_t port, const std::string& request) {
    UniqueFd fd = ConnectTcp(port);
    FrameDecoder decoder;
    SendBytes(fd.Get(), EncodeFrame(request));
    return Receive(fd.Get(), decoder);
}

TEST(SimDaemonTcp, ServesTheSameConversationFramed) {
    TcpDaemon daemon;
    ASSERT_TRUE(daemon.WaitReady()) << daemon.Output();
    EXPECT_EQ(Exchange(daemon.Port(), "ENUM"), "OK\n/dev/sim/hidraw0\n");
    const auto pressed = Exchange(daemon.Port(), "CTL press 5 120 7");
    ASSERT_TRUE(pressed.has_value());
    EXPECT_EQ(pressed->rfind("OK\n", 0), 0u) << *pressed;
    EXPECT_EQ(Exchange(daemon.Port(), "CTL queue"), "OK\n1");
    EXPECT_EQ(Exchange(daemon.Port(), "CTL nonsense").value_or("").rfind("USAGE\n", 0), 0u);
}

TEST(SimDaemonTcp, MessagesSplitAndJoinedAnyhowByTheStreamArriveWhole) {
    TcpDaemon daemon;
    ASSERT_TRUE(daemon.WaitReady()) << daemon.Output();
    UniqueFd fd = ConnectTcp(daemon.Port());
    FrameDecoder decoder;

    // The handshake a byte at a time, then the handshake's first report in the
    // same write as nothing else: the version command.
    const std::string open = EncodeFrame("OPEN /dev/sim/hidraw0");
    for (char c : open) {
        SendBytes(fd.Get(), std::string(1, c));
    }
    const auto opened = Receive(fd.Get(), decoder);
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(opened->rfind("OK HID 4660 1 ", 0), 0u) << *opened;

    // Two commands in one write: two replies.
    std::string commands(9, '\0');
    commands[1] = 0x18;  // version
    SendBytes(fd.Get(), EncodeFrame(commands) + EncodeFrame(commands));
    for (int i = 0; i < 2; ++i) {
        const auto reply = Receive(fd.Get(), decoder);
        ASSERT_TRUE(reply.has_value()) << i;
        EXPECT_EQ(reply->size(), 33u);
    }
}

TEST(SimDaemonTcp, ALengthBeyondTheLimitEndsTheConnection) {
    TcpDaemon daemon;
    ASSERT_TRUE(daemon.WaitReady()) << daemon.Output();
    UniqueFd fd = ConnectTcp(daemon.Port());
    SendBytes(fd.Get(), std::string("\x7F\xFF\xFF\xFF", 4));
    FrameDecoder decoder;
    EXPECT_EQ(Receive(fd.Get(), decoder), std::nullopt);
    // The daemon itself goes on serving.
    EXPECT_EQ(Exchange(daemon.Port(), "ENUM"), "OK\n/dev/sim/hidraw0\n");
}

TEST(SimDaemonTcp, ServesLoopbackOnly) {
    TcpDaemon daemon({"--tcp", "0.0.0.0:0"});
    EXPECT_FALSE(daemon.WaitReady());
    EXPECT_EQ(daemon.Wait(), 2);
    EXPECT_NE(daemon.Output().find("only a loopback address"), std::string::npos)
        << daemon.Output();
}

}  // namespace
}  // namespace qv::sim
