// quorvane-sim: the receiver simulator daemon and its command-line client.

#include <signal.h>
#include <sys/signalfd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "SimCommand.h"
#include "SimDaemon.h"
#include "common/ErrnoText.h"
#include "common/posix/UniqueFd.h"
#include "device/sim/SimClient.h"
#include "device/sim/unix/UnixSimTransport.h"

namespace {

using namespace qv::sim;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::string HelpText() {
    return "Usage:\n"
           "  quorvane-sim serve [--socket PATH] [--tcp HOST:PORT] [--vid HEX] [--pid HEX]\n"
           "                     [--version MAJOR.MINOR] [--unplugged]\n"
           "                     [--input-length N] [--output-length N]\n"
           "  quorvane-sim [--socket PATH] COMMAND [ARGUMENTS]\n"
           "  quorvane-sim --help\n"
           "\n"
           "serve runs the simulated receiver in the foreground and prints \"ready\" once it\n"
           "listens. It replaces a stale socket, refuses a socket another simulator serves,\n"
           "and ends on SIGTERM, SIGINT or the quit command, removing its devices first.\n"
           "  --socket PATH        socket to serve or to reach (default:\n"
           "                       $XDG_RUNTIME_DIR/quorvane-sim.sock, else\n"
           "                       /tmp/quorvane-sim-<uid>.sock; here " +
           DefaultSimSocketPath() +
           ")\n"
           "  --tcp HOST:PORT      also serve on this loopback TCP port (PORT 0: any free\n"
           "                       one), length-framed, for the Windows program under Wine\n"
           "                       (quorvane.exe --simulator=tcp:HOST:PORT); prints\n"
           "                       \"tcp HOST:PORT\" with the port before \"ready\"\n"
           "  --vid HEX, --pid HEX the receiver's identifiers (default 1234 and 0001)\n"
           "  --version M.N        the control chip version the receiver reports (default\n"
           "                       1.05: M and N are each 0..255, \"1.05\" and \"1.5\" are alike)\n"
           "  --unplugged          start with the receiver unplugged\n"
           "  --input-length N     input report length, report ID included (default 33;\n"
           "                       the reply frame needs 19)\n"
           "  --output-length N    output report length, report ID included (default 9;\n"
           "                       the command frame needs 4)\n"
           "\n"
           "Commands to a running simulator:\n" +
           SimCommandUsage() +
           "\n"
           "Start the program against it with: quorvane --simulator[=SOCKET]\n"
           "Exit status: 0 done, 1 the simulator is unreachable or the command failed,\n"
           "2 usage error.\n";
}

int UsageFailure(const std::string& message) {
    std::fprintf(stderr, "quorvane-sim: %s\nTry 'quorvane-sim --help'.\n", message.c_str());
    return kExitUsage;
}

bool ParseUnsigned(const std::string& text, int base, unsigned long max, unsigned long& value) {
    if (text.empty()) {
        return false;
    }
    std::string digits = text;
    if (base == 16 && digits.size() > 2 && digits[0] == '0' &&
        (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(digits.c_str(), &end, base);
    return errno == 0 && end != nullptr && *end == '\0' && !digits.empty() && digits[0] != '-' &&
           digits[0] != '+' && value <= max;
}

// Takes "--name VALUE" or "--name=VALUE" at args[i]; advances i past it.
bool TakeOption(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                std::string& value, bool& missing) {
    const std::string& arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size()) {
            missing = true;
            return true;
        }
        value = args[++i];
        return true;
    }
    if (arg.rfind(name + "=", 0) == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

int Serve(const std::vector<std::string>& args, std::string socketPath) {
    DaemonOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string value;
        bool missing = false;
        unsigned long number = 0;
        if (args[i] == "--unplugged") {
            options.bus.plugged = false;
        } else if (TakeOption(args, i, "--socket", value, missing)) {
            if (missing || value.empty()) {
                return UsageFailure("--socket needs a path");
            }
            socketPath = value;
        } else if (TakeOption(args, i, "--tcp", value, missing)) {
            std::string host, error;
            std::uint16_t port = 0;
            if (missing || !ParseTcpEndpoint(value, host, port, error)) {
                return UsageFailure(missing ? "--tcp needs HOST:PORT" : error);
            }
            options.tcp = value;
        } else if (TakeOption(args, i, "--vid", value, missing)) {
            if (missing || !ParseUnsigned(value, 16, 0xFFFF, number)) {
                return UsageFailure("--vid needs a hexadecimal identifier 0..ffff");
            }
            options.bus.vendorId = static_cast<std::uint16_t>(number);
        } else if (TakeOption(args, i, "--pid", value, missing)) {
            if (missing || !ParseUnsigned(value, 16, 0xFFFF, number)) {
                return UsageFailure("--pid needs a hexadecimal identifier 0..ffff");
            }
            options.bus.productId = static_cast<std::uint16_t>(number);
        } else if (TakeOption(args, i, "--version", value, missing)) {
            const std::size_t dot = value.find('.');
            unsigned long major = 0;
            unsigned long minor = 0;
            if (missing || dot == std::string::npos ||
                !ParseUnsigned(value.substr(0, dot), 10, 255, major) ||
                !ParseUnsigned(value.substr(dot + 1), 10, 255, minor)) {
                return UsageFailure("--version needs MAJOR.MINOR, each 0..255");
            }
            options.bus.versionMajor = static_cast<std::uint8_t>(major);
            options.bus.versionMinor = static_cast<std::uint8_t>(minor);
        } else if (TakeOption(args, i, "--input-length", value, missing)) {
            if (missing || !ParseUnsigned(value, 10, kMaxReportLength, number) || number < 2) {
                return UsageFailure("--input-length needs 2.." + std::to_string(kMaxReportLength));
            }
            options.bus.inputReportLength = static_cast<int>(number);
        } else if (TakeOption(args, i, "--output-length", value, missing)) {
            if (missing || !ParseUnsigned(value, 10, kMaxReportLength, number) || number < 2) {
                return UsageFailure("--output-length needs 2.." + std::to_string(kMaxReportLength));
            }
            options.bus.outputReportLength = static_cast<int>(number);
        } else {
            return UsageFailure("serve: unknown option '" + args[i] + "'");
        }
    }
    if (options.bus.inputReportLength < kMinInputReportLength ||
        options.bus.outputReportLength < kMinOutputReportLength) {
        std::fprintf(stderr,
                     "quorvane-sim: warning: reports of %d/%d bytes are too short for the "
                     "frames (%d/%d); the program will not be served\n",
                     options.bus.inputReportLength, options.bus.outputReportLength,
                     kMinInputReportLength, kMinOutputReportLength);
    }
    options.socketPath = socketPath;

    // SIGTERM and SIGINT arrive through a signalfd, so the event loop ends
    // cleanly between two messages.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        std::fprintf(stderr, "quorvane-sim: sigprocmask: %s\n", qv::ErrnoText(errno).c_str());
        return kExitFailed;
    }
    qv::UniqueFd stopFd(::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!stopFd.Valid()) {
        std::fprintf(stderr, "quorvane-sim: signalfd: %s\n", qv::ErrnoText(errno).c_str());
        return kExitFailed;
    }
    if (::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
        std::fprintf(stderr, "quorvane-sim: signal(SIGPIPE): %s\n", qv::ErrnoText(errno).c_str());
        return kExitFailed;
    }

    SimDaemon daemon(options);
    std::string error;
    if (!daemon.Listen(error)) {
        std::fprintf(stderr, "quorvane-sim: %s\n", error.c_str());
        return kExitFailed;
    }
    if (!daemon.TcpEndpoint().empty()) {
        std::printf("tcp %s\n", daemon.TcpEndpoint().c_str());
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return daemon.Run(stopFd.Get()) ? kExitOk : kExitFailed;
}

int Report(const SimReply& reply) {
    switch (reply.code) {
        case SimReply::Code::Ok:
            if (!reply.text.empty()) {
                std::fputs(reply.text.c_str(), stdout);
                if (reply.text.back() != '\n') {
                    std::fputc('\n', stdout);
                }
            }
            return kExitOk;
        case SimReply::Code::Usage:
            return UsageFailure(reply.text);
        case SimReply::Code::Failed:
        case SimReply::Code::Unreachable:
            std::fprintf(stderr, "quorvane-sim: %s\n", reply.text.c_str());
            return kExitFailed;
    }
    return kExitFailed;
}

int WaitIdle(const std::string& socketPath, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const SimReply reply = SendSimCommand(*MakeUnixSimTransport(socketPath), {"queue"});
        if (reply.code != SimReply::Code::Ok) {
            return Report(reply);
        }
        if (reply.text == "0") {
            return kExitOk;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "quorvane-sim: timed out: %s codes still queued\n",
                         reply.text.c_str());
            return kExitFailed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int Main(const std::vector<std::string>& args) {
    std::string socketPath = DefaultSimSocketPath();
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        std::string value;
        bool missing = false;
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(HelpText().c_str(), stdout);
            return kExitOk;
        }
        if (TakeOption(args, i, "--socket", value, missing)) {
            if (missing || value.empty()) {
                return UsageFailure("--socket needs a path");
            }
            socketPath = value;
            continue;
        }
        break;
    }
    if (i >= args.size()) {
        return UsageFailure("no command given");
    }
    if (args[i] == "serve") {
        return Serve(
            std::vector<std::string>(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end()),
            socketPath);
    }
    // A client command may also carry --socket after its words.
    std::vector<std::string> rest;
    for (; i < args.size(); ++i) {
        std::string value;
        bool missing = false;
        if (TakeOption(args, i, "--socket", value, missing)) {
            if (missing || value.empty()) {
                return UsageFailure("--socket needs a path");
            }
            socketPath = value;
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.size() == 2 && rest[1] == "--help") {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    const auto parsed = ParseSimCommand(rest);
    if (const auto* usage = std::get_if<UsageError>(&parsed)) {
        return UsageFailure(usage->message);
    }
    const SimCommand& command = std::get<SimCommand>(parsed);
    if (command.verb == SimCommand::Verb::WaitIdle) {
        return WaitIdle(socketPath, command.timeout);
    }
    return Report(SendSimCommand(*MakeUnixSimTransport(socketPath), rest));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return Main(args);
}
