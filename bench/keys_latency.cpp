// End-to-end latency of keystroke output on a real X server: the time from
// SendKeyList to the moment the target client has read the last event of the
// batch, for key lists of 2, 20 and 255 events, measured side by side with
// `xdotool key --delay 0` sending the same keys to the same client.
//
// Run under an X server with a target that may take the focus, e.g.
//   tests/support/with-xvfb.sh -- build/bench/bench_keys_latency [rounds]
// (bench/keys_latency.sh does exactly this).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/Clock.h"
#include "keys/ActivateWindow.h"
#include "keys/KeySender.h"
#include "keys/x11/X11WindowSystem.h"
#include "keys/x11/XTestInjector.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

long long NowMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000LL + ts.tv_nsec / 1000;
}

pid_t Spawn(std::vector<std::string> args, int stdoutFd = -1) {
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    }
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// The keytarget's output, read line by line from a pipe.
class TargetReader {
public:
    explicit TargetReader(int fd) : fd_(fd) {}

    // The next line, or "" when nothing came within the bound.
    std::string NextLine(int timeoutMs = 5000) {
        while (true) {
            const std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            pollfd pfd{fd_, POLLIN, 0};
            if (poll(&pfd, 1, timeoutMs) <= 0) {
                return "";
            }
            char chunk[4096];
            const ssize_t n = read(fd_, chunk, sizeof chunk);
            if (n <= 0) {
                return "";
            }
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Reads `count` key events and returns the time stamp of the last, -1 on
    // timeout; `first` gets the time stamp of the first.
    long long LastOfKeyEvents(int count, long long* first = nullptr) {
        long long last = -1;
        for (int seen = 0; seen < count;) {
            const std::string line = NextLine();
            if (line.empty()) {
                return -1;
            }
            std::istringstream fields(line);
            std::string kind, keysym;
            int keycode = 0;
            fields >> kind;
            if (kind == "press" || kind == "release") {
                fields >> keysym >> keycode >> last;
                if (seen == 0 && first != nullptr) {
                    *first = last;
                }
                ++seen;
            }
        }
        return last;
    }

private:
    int fd_;
    std::string buffer_;
};

struct Stats {
    std::vector<long long> samples;
    long long Percentile(double p) const {
        std::vector<long long> s = samples;
        std::sort(s.begin(), s.end());
        return s.empty() ? -1 : s[static_cast<std::size_t>(p * static_cast<double>(s.size() - 1))];
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    auto windows = qv::X11WindowSystem::Open();
    auto injector = qv::XTestInjector::Open();
    if (!windows || !injector) {
        std::fprintf(stderr, "bench_keys_latency: no X server with XTEST\n");
        return 1;
    }
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        std::perror("pipe");
        return 1;
    }
    const pid_t target = Spawn({QV_KEYTARGET, "--class", "QvBench"}, pipeFds[1]);
    close(pipeFds[1]);
    if (target < 0) {
        std::fprintf(stderr, "bench_keys_latency: cannot start %s\n", QV_KEYTARGET);
        return 1;
    }
    TargetReader reader(pipeFds[0]);
    const std::string ready = reader.NextLine();
    if (ready.rfind("ready ", 0) != 0) {
        std::fprintf(stderr, "bench_keys_latency: the target did not start\n");
        return 1;
    }
    const qv::Window window{std::stoull(ready.substr(6))};
    for (int i = 0; i < 200 && windows->Foreground() != window; ++i) {
        windows->Activate(window);
        std::this_thread::sleep_for(5ms);
    }
    if (windows->Foreground() != window) {
        std::fprintf(stderr, "bench_keys_latency: the target did not get the focus\n");
        return 1;
    }

    std::printf(
        "Latency: from the call (SendKeyList) or the process start (xdotool) until the target\n"
        "has read the last event. Spread: from the first to the last event in the target.\n\n");
    std::printf("%-6s %-22s %9s %9s %9s %9s %11s\n", "events", "sender", "min us", "median us",
                "p90 us", "max us", "spread med");
    for (const int events : {2, 20, 255}) {
        // Press/release pairs of letters; an odd count ends with a press whose
        // release is sent after the measurement.
        std::string keyList;
        std::vector<std::string> xdoArgs = {"xdotool", "key", "--delay", "0"};
        for (int i = 0; i + 1 < events; i += 2) {
            const char letter = static_cast<char>('a' + (i / 2) % 26);
            keyList += std::string(keyList.empty() ? "" : ", ") + "D" +
                       static_cast<char>(letter - 32) + ", U" + static_cast<char>(letter - 32);
            xdoArgs.emplace_back(1, letter);
        }
        const bool trailingPress = events % 2 == 1;
        if (trailingPress) {
            keyList += ", DZ";
            xdoArgs.insert(xdoArgs.end(), {"keydown", "--delay", "0", "z"});
        }
        Stats ours, xdo, oursSpread, xdoSpread;
        long long first = 0;
        for (int r = 0; r < rounds; ++r) {
            long long start = NowMicros();
            qv::SendKeyList(*injector, keyList);
            long long last = reader.LastOfKeyEvents(events, &first);
            if (last < 0) {
                std::fprintf(stderr, "bench_keys_latency: SendKeyList events missing\n");
                return 1;
            }
            ours.samples.push_back(last - start);
            oursSpread.samples.push_back(last - first);
            if (trailingPress) {
                qv::SendKeyList(*injector, "UZ");
                reader.LastOfKeyEvents(1);
            }

            start = NowMicros();
            const pid_t xdotool = Spawn(xdoArgs);
            last = reader.LastOfKeyEvents(events, &first);
            int status = 0;
            waitpid(xdotool, &status, 0);
            if (last < 0) {
                std::fprintf(stderr, "bench_keys_latency: xdotool events missing\n");
                return 1;
            }
            xdo.samples.push_back(last - start);
            xdoSpread.samples.push_back(last - first);
            if (trailingPress) {
                qv::SendKeyList(*injector, "UZ");
                reader.LastOfKeyEvents(1);
            }
        }
        const auto row = [events](const char* sender, const Stats& latency, const Stats& spread) {
            std::printf("%-6d %-22s %9lld %9lld %9lld %9lld %11lld\n", events, sender,
                        latency.Percentile(0), latency.Percentile(0.5), latency.Percentile(0.9),
                        latency.Percentile(1), spread.Percentile(0.5));
        };
        row("SendKeyList (XTest)", ours, oursSpread);
        row("xdotool key --delay 0", xdo, xdoSpread);
        std::printf(
            "%-6d %-22s %9.1fx median latency, %.1fx median spread (xdotool / SendKeyList)\n",
            events, "ratio",
            static_cast<double>(xdo.Percentile(0.5)) / static_cast<double>(ours.Percentile(0.5)),
            static_cast<double>(xdoSpread.Percentile(0.5)) /
                static_cast<double>(std::max(1LL, oursSpread.Percentile(0.5))));
    }

    // With a window manager: one whole dispatch as the receive loop does it
    // (remember the foreground, find the target, activate it with a switch
    // time of 0, send two events, restore its state, activate the old
    // foreground window again), target and old foreground being two clients.
    if (windows->HasWindowManager()) {
        int otherPipe[2];
        if (pipe(otherPipe) != 0) {
            std::perror("pipe");
            return 1;
        }
        const pid_t other = Spawn({QV_KEYTARGET, "--class", "QvBenchOther"}, otherPipe[1]);
        close(otherPipe[1]);
        TargetReader otherReader(otherPipe[0]);
        const std::string otherReady = otherReader.NextLine();
        if (other < 0 || otherReady.rfind("ready ", 0) != 0) {
            std::fprintf(stderr, "bench_keys_latency: the second target did not start\n");
            return 1;
        }
        const qv::Window otherWindow{std::stoull(otherReady.substr(6))};
        for (int i = 0; i < 200 && windows->Foreground() != otherWindow; ++i) {
            windows->Activate(otherWindow);
            std::this_thread::sleep_for(5ms);
        }
        qv::SteadyClock clock;
        Stats toKeys, whole;
        for (int r = 0; r < rounds; ++r) {
            const long long start = NowMicros();
            const qv::Window previous = windows->Foreground();
            const qv::Window found = windows->FindByClass("QvBench");
            const qv::ShowState state = qv::ActivateWindow(*windows, clock, found, 0);
            qv::SendKeyList(*injector, "DA, UA");
            windows->SetShowState(found, state);
            qv::ActivateWindow(*windows, clock, previous, 0);
            const long long end = NowMicros();
            const long long last = reader.LastOfKeyEvents(2);
            if (last < 0 || windows->Foreground() != otherWindow) {
                std::fprintf(stderr, "bench_keys_latency: dispatch round %d went wrong\n", r);
                return 1;
            }
            toKeys.samples.push_back(last - start);
            whole.samples.push_back(end - start);
        }
        std::printf(
            "\nDispatch with activation under the window manager (2 events, switch time 0):\n");
        std::printf("%-28s %9s %9s %9s %9s\n", "", "min us", "median us", "p90 us", "max us");
        for (const auto& [label, stats] :
             {std::pair<const char*, const Stats*>{"until the target has the keys", &toKeys},
              std::pair<const char*, const Stats*>{"whole dispatch (focus back)", &whole}}) {
            std::printf("%-28s %9lld %9lld %9lld %9lld\n", label, stats->Percentile(0),
                        stats->Percentile(0.5), stats->Percentile(0.9), stats->Percentile(1));
        }
        kill(other, SIGTERM);
        int otherStatus = 0;
        waitpid(other, &otherStatus, 0);
    }
    kill(target, SIGTERM);
    int status = 0;
    waitpid(target, &status, 0);
    return 0;
}
