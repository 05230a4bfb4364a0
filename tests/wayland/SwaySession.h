#pragma once
// What the Wayland system tests share: child processes, key-logging target
// windows of both kinds (quorvane-waylandtarget, quorvane-keytarget under
// XWayland) and their logs, sway's own view of the session, bounded waits and
// the figures file. Used inside with-sway.sh's session.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "keys/wayland/SwayIpc.h"
#include "keys/wayland/SwayTree.h"

extern char** environ;

namespace qv::wayland::test {

using namespace std::chrono_literals;
using SteadyTime = std::chrono::steady_clock;

// Bounds for things a loaded machine may take long over (a client starting,
// its window showing up in the tree, its keys reaching its log).
constexpr auto kStartBound = 20s;
constexpr auto kLogBound = 10s;

template <typename Done>
inline bool WaitUntil(Done done, SteadyTime::duration bound) {
    const auto deadline = SteadyTime::now() + bound;
    while (!done()) {
        if (SteadyTime::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

inline long long NowMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000LL + ts.tv_nsec / 1000;
}

inline std::string WorkDir() {
    const char* dir = std::getenv("QV_TEST_WORKDIR");
    return dir != nullptr ? dir : "/tmp";
}

// Figures measured on the way, kept beside the logs for the closing note.
inline void Figure(const std::string& text) {
    std::ofstream(WorkDir() + "/figures.txt", std::ios::app) << text << "\n";
    std::printf("[figure] %s\n", text.c_str());
}

struct Logged {
    std::string kind;         // press, release, focusin, focusout, modifiers, ...
    std::string keysym;       // press and release
    long long depressed = 0;  // modifiers
    long long time = 0;       // CLOCK_MONOTONIC microseconds
};

// A child process, ended and waited for when it goes.
class Process {
public:
    // `output`: a file for the process's standard output and error (empty:
    // inherited); `env`: NAME=VALUE settings over this process's environment.
    explicit Process(std::vector<std::string> args, const std::string& output = {},
                     const std::vector<std::string>& env = {}) {
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        // The settings given replace those of the same name.
        std::vector<std::string> envText;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            const std::string name = entry.substr(0, entry.find('=') + 1);
            if (std::none_of(env.begin(), env.end(),
                             [&](const std::string& s) { return s.rfind(name, 0) == 0; })) {
                envText.push_back(entry);
            }
        }
        envText.insert(envText.end(), env.begin(), env.end());
        std::vector<char*> envp;
        for (std::string& e : envText) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!output.empty()) {
            posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_adddup2(&actions, 1, 2);
        }
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process() { End(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // Waits for the process to end by itself; its exit status, -1 on a signal.
    int Wait() {
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Ends the process with SIGTERM; its exit status, -1 when a signal ended it.
    int End() {
        if (pid_ <= 0) {
            return -1;
        }
        kill(pid_, SIGTERM);
        return Wait();
    }

private:
    pid_t pid_ = -1;
};

// Runs a command to its end; its exit status.
inline int Run(std::vector<std::string> args, const std::string& output = {}) {
    Process p(std::move(args), output);
    return p.Started() ? p.Wait() : -1;
}

// The whole text of a file; empty when there is none.
inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

enum class ClientKind { Native, X };

inline const char* KindName(ClientKind kind) {
    return kind == ClientKind::Native ? "native" : "xwayland";
}

// One target window: a key-logging client of either kind, started with a
// name (app_id or WM_CLASS) of its own.
class Target {
public:
    Target(ClientKind kind, std::string name) : kind_(kind), name_(std::move(name)) {
        log_ = WorkDir() + "/" + name_ + ".log";
        std::remove(log_.c_str());
        if (kind == ClientKind::Native) {
            process_ = std::make_unique<Process>(
                std::vector<std::string>{QV_WAYLANDTARGET, "--app-id", name_, "--output", log_});
        } else {
            process_ = std::make_unique<Process>(
                std::vector<std::string>{QV_KEYTARGET, "--class", name_, "--output", log_});
        }
    }

    const std::string& Name() const { return name_; }
    ClientKind Kind() const { return kind_; }

    std::vector<Logged> Log() const {
        std::vector<Logged> lines;
        std::ifstream in(log_);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            Logged l;
            fields >> l.kind;
            if (l.kind == "press" || l.kind == "release") {
                int keycode = 0;
                fields >> l.keysym >> keycode >> l.time;
            } else if (l.kind == "modifiers") {
                long long latched = 0, locked = 0, group = 0;
                fields >> l.depressed >> latched >> locked >> group >> l.time;
            } else {
                fields >> l.time;
            }
            lines.push_back(l);
        }
        return lines;
    }

    std::vector<Logged> Keys() const {
        std::vector<Logged> keys;
        for (const Logged& l : Log()) {
            if (l.kind == "press" || l.kind == "release") {
                keys.push_back(l);
            }
        }
        return keys;
    }

    // Asks the client for a round trip to its server and waits (bounded)
    // until it logged that it is done: every event the server had sent it
    // before the request is then in its log, above that line.
    bool Sync() const {
        const auto synced = [this] {
            const auto log = Log();
            return std::count_if(log.begin(), log.end(),
                                 [](const Logged& l) { return l.kind == "synced"; });
        };
        const auto before = synced();
        if (!process_ || kill(process_->Pid(), SIGUSR1) != 0) {
            return false;
        }
        return WaitUntil([&] { return synced() > before; }, kLogBound);
    }

    // The key events logged before the last "synced" line.
    std::vector<Logged> KeysBeforeLastSync() const {
        std::vector<Logged> keys;
        std::size_t kept = 0;
        for (const Logged& l : Log()) {
            if (l.kind == "press" || l.kind == "release") {
                keys.push_back(l);
            } else if (l.kind == "synced") {
                kept = keys.size();
            }
        }
        keys.resize(kept);
        return keys;
    }

    bool Ready() const {
        const auto log = Log();
        return std::any_of(log.begin(), log.end(),
                           [](const Logged& l) { return l.kind == "ready"; });
    }

    // Whether the window has the keyboard focus by its own log.
    bool HasFocus() const {
        bool focus = false;
        for (const Logged& l : Log()) {
            if (l.kind == "focusin") {
                focus = true;
            } else if (l.kind == "focusout" || l.kind == "nokeyboard") {
                focus = false;
            }
        }
        return focus;
    }

    // Whether the window had the focus when its first key arrived after the
    // first `skip` keys.
    bool FocusedBeforeKey(std::size_t skip) const {
        bool focus = false;
        std::size_t keys = 0;
        for (const Logged& l : Log()) {
            if (l.kind == "focusin") {
                focus = true;
            } else if (l.kind == "focusout" || l.kind == "nokeyboard") {
                focus = false;
            } else if (l.kind == "press" || l.kind == "release") {
                if (keys++ == skip) {
                    return focus;
                }
            }
        }
        return false;
    }

private:
    ClientKind kind_;
    std::string name_;
    std::string log_;
    std::unique_ptr<Process> process_;
};

// The logged keys from `from` on, as "press a" lines, for readable failures.
inline std::vector<std::string> Describe(const std::vector<Logged>& keys, std::size_t from = 0) {
    std::vector<std::string> out;
    for (std::size_t i = from; i < keys.size(); ++i) {
        out.push_back(keys[i].kind + " " + keys[i].keysym);
    }
    return out;
}

inline bool WaitForKeys(const Target& target, std::size_t count) {
    return WaitUntil([&] { return target.Keys().size() >= count; }, kLogBound);
}

// sway's own view of the session, for set-up steps and checks that do not go
// through the backend under test.
class Sway {
public:
    Sway() {
        std::string error;
        ipc_ = SwayIpc::Connect({}, error);
        EXPECT_TRUE(ipc_) << error;
    }
    bool Command(const std::string& command) {
        return ipc_ && ipc_->Request(kSwayRunCommand, command).has_value();
    }
    // Runs a command; true when sway carried out every part of it (criteria
    // that match no window fail).
    bool CommandSucceeds(const std::string& command) {
        const auto reply = ipc_ ? ipc_->Request(kSwayRunCommand, command) : std::nullopt;
        return reply && reply->find("true") != std::string::npos &&
               reply->find("false") == std::string::npos;
    }
    std::vector<SwayView> Views() {
        const auto tree = ipc_ ? ipc_->Request(kSwayGetTree, {}) : std::nullopt;
        return tree ? ParseSwayTree(*tree) : std::vector<SwayView>{};
    }
    std::optional<SwayView> ViewOf(const std::string& name) {
        for (const SwayView& v : Views()) {
            if (MatchesClass(v, name)) {
                return v;
            }
        }
        return std::nullopt;
    }

private:
    std::unique_ptr<SwayIpc> ipc_;
};

inline int gSerial = 0;

inline std::string UniqueName(const std::string& stem) {
    return "Qv" + stem + std::to_string(getpid()) + "n" + std::to_string(++gSerial);
}

}  // namespace qv::wayland::test
