// quorvane-app-bench: end-to-end figures of the program against the
// simulator daemon. Run through bench/app_run.sh, which provides the X server,
// the daemon and the key-target client.
//
//   quorvane-app-bench latency SOCKET KEYLOG N
//       N presses of 12,34,56; for each, the time from the press command to
//       the target's first KeyPress (its log stamps events with
//       CLOCK_MONOTONIC, the clock used here). Prints p50, p90, p99, max.
//   quorvane-app-bench startup N QUORVANE ARGS...
//       Starts the program N times and measures the time from exec to its
//       "start-up done" debug line; ends each run with SIGTERM.
//   quorvane-app-bench idle SECONDS QUORVANE ARGS...
//       Starts the program, waits for start-up, and reports the CPU time it
//       used over SECONDS of idling and its resident memory.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/sim/SimClient.h"
#include "device/sim/unix/UnixSimTransport.h"

namespace {

using Clock = std::chrono::steady_clock;

long long NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

// Lines of `path` from byte `offset` on; advances `offset` past complete lines.
std::vector<std::string> NewLines(const std::string& path, std::streamoff& offset) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return lines;
    }
    in.seekg(offset);
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) {
            break;  // an incomplete last line: read it next time
        }
        offset += static_cast<std::streamoff>(line.size() + 1);
        lines.push_back(line);
    }
    return lines;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const std::size_t i =
        std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

int Latency(const std::string& socket, const std::string& keylog, int n) {
    const auto transport = qv::sim::MakeUnixSimTransport(socket);
    std::streamoff offset = 0;
    NewLines(keylog, offset);  // skip what is there
    std::vector<double> ms;
    unsigned seed = 12345;
    for (int i = 0; i < n; ++i) {
        const long long t0 = NowMicros();
        const qv::sim::SimReply reply =
            qv::sim::SendSimCommand(*transport, {"press", "12", "34", "56"});
        if (reply.code != qv::sim::SimReply::Code::Ok) {
            std::fprintf(stderr, "press failed: %s\n", reply.text.c_str());
            return 1;
        }
        long long pressTime = -1;
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (pressTime < 0 && Clock::now() < deadline) {
            for (const std::string& line : NewLines(keylog, offset)) {
                if (pressTime < 0 && line.rfind("press ", 0) == 0) {
                    std::istringstream fields(line);
                    std::string word, keysym, keycode;
                    fields >> word >> keysym >> keycode >> pressTime;
                }
            }
            if (pressTime < 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        }
        if (pressTime < 0) {
            std::fprintf(stderr, "press %d: no key arrived within 5 s\n", i);
            return 1;
        }
        ms.push_back(static_cast<double>(pressTime - t0) / 1000.0);
        // Wait for the release, then a pseudo-random pause so presses fall at
        // every phase of the 50 ms poll.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        NewLines(keylog, offset);
        seed = seed * 1103515245u + 12345u;
        std::this_thread::sleep_for(std::chrono::milliseconds((seed >> 16) % 50));
    }
    std::printf("latency over %d presses (press command to first KeyPress in the target):\n", n);
    std::printf("  min %.1f ms  p50 %.1f ms  p90 %.1f ms  p99 %.1f ms  max %.1f ms\n",
                Percentile(ms, 0.0), Percentile(ms, 0.5), Percentile(ms, 0.9), Percentile(ms, 0.99),
                Percentile(ms, 1.0));
    return 0;
}

struct Child {
    pid_t pid = -1;
    int errFd = -1;
};

Child Spawn(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("pipe2");
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    return {pid, fds[0]};
}

// Reads the child's stderr until `marker`; false at end of stream.
bool WaitForLine(int fd, const std::string& marker) {
    std::string buffer;
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0) {
            return false;
        }
        buffer.append(chunk, static_cast<std::size_t>(got));
        if (buffer.find(marker) != std::string::npos) {
            return true;
        }
    }
}

void Stop(Child& child) {
    kill(child.pid, SIGTERM);
    int status = 0;
    waitpid(child.pid, &status, 0);
    close(child.errFd);
}

int Startup(int n, const std::vector<std::string>& args) {
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        const long long t0 = NowMicros();
        Child child = Spawn(args);
        if (child.pid < 0 || !WaitForLine(child.errFd, "start-up done")) {
            std::fprintf(stderr, "the program did not report the end of start-up\n");
            return 1;
        }
        ms.push_back(static_cast<double>(NowMicros() - t0) / 1000.0);
        Stop(child);
    }
    std::printf("start-up (exec to the end of start-up, tray icon added) over %d runs:\n", n);
    std::printf("  min %.1f ms  p50 %.1f ms  max %.1f ms\n", Percentile(ms, 0.0),
                Percentile(ms, 0.5), Percentile(ms, 1.0));
    return 0;
}

long long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoll(field);
        if (i == 15)
            stime = std::stoll(field);
    }
    return utime + stime;
}

std::string StatusField(pid_t pid, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(name + ":", 0) == 0) {
            return line.substr(name.size() + 1);
        }
    }
    return "?";
}

int Idle(int seconds, const std::vector<std::string>& args) {
    Child child = Spawn(args);
    if (child.pid < 0 || !WaitForLine(child.errFd, "start-up done")) {
        std::fprintf(stderr, "the program did not report the end of start-up\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long long before = CpuTicks(child.pid);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long long after = CpuTicks(child.pid);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu =
        static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::printf("idle with a connected simulated receiver, polling every 50 ms, over %.0f s:\n",
                wall);
    std::printf("  CPU %.2f s = %.3f %% of one core\n", cpu, 100.0 * cpu / wall);
    std::printf("  VmRSS%s  VmHWM%s\n", StatusField(child.pid, "VmRSS").c_str(),
                StatusField(child.pid, "VmHWM").c_str());
    Stop(child);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() >= 4 && a[0] == "latency") {
        return Latency(a[1], a[2], std::stoi(a[3]));
    }
    if (a.size() >= 3 && a[0] == "startup") {
        return Startup(std::stoi(a[1]), std::vector<std::string>(a.begin() + 2, a.end()));
    }
    if (a.size() >= 3 && a[0] == "idle") {
        return Idle(std::stoi(a[1]), std::vector<std::string>(a.begin() + 2, a.end()));
    }
    std::fprintf(stderr,
                 "usage: quorvane-app-bench latency SOCKET KEYLOG N\n"
                 "       quorvane-app-bench startup N QUORVANE ARGS...\n"
                 "       quorvane-app-bench idle SECONDS QUORVANE ARGS...\n");
    return 2;
}
