// quorvane-win32-latency SIM_SOCKET N -- COMMAND [ARGS...]
// Press-to-key latency of the Windows program under Wine: starts COMMAND (the
// Windows key target, win32_keytarget.exe, under Wine) with its output on a pipe,
// presses the simulated button 12,34,56 N times through the simulator daemon at
// SIM_SOCKET, and for each takes the time from the press command to the moment
// the target's "key down" line arrives on the pipe (Linux's monotonic clock on
// both ends; the pipe adds well under a millisecond). Prints min, p50, p90, p99
// and max. quorvane.exe must be running against the same simulator, with a slot
// for 12,34,56 whose keys reach the target.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "device/sim/SimClient.h"
#include "device/sim/unix/UnixSimTransport.h"

namespace {

using Clock = std::chrono::steady_clock;

// The target's output, line by line, with the time each line arrived.
class Target {
public:
    explicit Target(const std::vector<std::string>& command) {
        int out[2], in[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0) {
            std::perror("pipe2");
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            std::vector<char*> argv;
            for (const std::string& a : command) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(in[0]);
        out_ = out[0];
        in_ = in[1];  // held open: the target ends when it closes
    }
    ~Target() {
        ::close(in_);
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
    }

    // The next line starting with `prefix` within `timeout`, and when it came.
    bool WaitFor(const std::string& prefix, std::chrono::milliseconds timeout,
                 Clock::time_point& arrived) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const std::size_t newline = buffer_.find('\n');
            if (newline != std::string::npos) {
                const std::string line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                if (line.rfind(prefix, 0) == 0) {
                    arrived = lineTime_;
                    return true;
                }
                continue;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return false;
            }
            pollfd entry{out_, POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(left.count())) != 1) {
                return false;
            }
            char chunk[4096];
            const ssize_t got = ::read(out_, chunk, sizeof chunk);
            if (got <= 0) {
                return false;
            }
            lineTime_ = Clock::now();
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
    std::string buffer_;
    Clock::time_point lineTime_;
};

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
        std::fprintf(stderr, "usage: quorvane-win32-latency SIM_SOCKET N -- COMMAND [ARGS...]\n");
        return 2;
    }
    const auto transport = qv::sim::MakeUnixSimTransport(argv[1]);
    const int n = std::atoi(argv[2]);
    Target target(std::vector<std::string>(argv + 4, argv + argc));
    Clock::time_point when;
    // With --foreground the target is active before it says it is ready.
    if (!target.WaitFor("active 1", std::chrono::seconds(60), when) ||
        !target.WaitFor("ready", std::chrono::seconds(10), when)) {
        std::fprintf(stderr, "the target did not start or take the foreground\n");
        return 1;
    }
    std::vector<double> ms;
    unsigned seed = 12345;
    for (int i = 0; i < n; ++i) {
        const auto t0 = Clock::now();
        const qv::sim::SimReply reply =
            qv::sim::SendSimCommand(*transport, {"press", "12", "34", "56"});
        if (reply.code != qv::sim::SimReply::Code::Ok) {
            std::fprintf(stderr, "press failed: %s\n", reply.text.c_str());
            return 1;
        }
        if (!target.WaitFor("key down", std::chrono::seconds(5), when)) {
            std::fprintf(stderr, "press %d: no key arrived within 5 s\n", i);
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(when - t0).count());
        target.WaitFor("key up", std::chrono::seconds(5), when);
        // A pseudo-random pause, so presses fall at every phase of the 50 ms poll.
        seed = seed * 1103515245u + 12345u;
        std::this_thread::sleep_for(std::chrono::milliseconds((seed >> 16) % 50));
    }
    std::printf("latency over %d presses (press command to the key in the Windows target):\n", n);
    std::printf("  min %.1f ms  p50 %.1f ms  p90 %.1f ms  p99 %.1f ms  max %.1f ms\n",
                Percentile(ms, 0.0), Percentile(ms, 0.5), Percentile(ms, 0.9), Percentile(ms, 0.99),
                Percentile(ms, 1.0));
    return 0;
}
