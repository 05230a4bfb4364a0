#pragma once
// quorvane-keytarget for the keystroke system tests: one process with a
// window of a chosen class, the file it logs to, and the key and button
// events it has logged so far.

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace qv::test {

// Polls `done` until it holds or `bound` has passed; true when it held.
template <typename Done>
bool WaitUntil(Done done, std::chrono::steady_clock::duration bound = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct Event {
    std::string kind;    // press, release, buttonpress, buttonrelease
    std::string keysym;  // for press and release
    int keycode = 0;     // the button for button events
};

class KeyTarget {
public:
    explicit KeyTarget(const std::string& className, std::vector<std::string> extra = {}) {
        char pattern[] = "/tmp/qv-keytarget-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) {
            close(fd);
        }
        output_ = pattern;
        std::vector<std::string> args = {QV_KEYTARGET, "--class", className, "--output", output_};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, QV_KEYTARGET, nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
    }
    ~KeyTarget() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        unlink(output_.c_str());
    }
    KeyTarget(const KeyTarget&) = delete;
    KeyTarget& operator=(const KeyTarget&) = delete;

    // Every key and button event logged so far.
    std::vector<Event> Events() const {
        std::vector<Event> events;
        std::ifstream in(output_);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            Event e;
            fields >> e.kind;
            if (e.kind == "press" || e.kind == "release") {
                fields >> e.keysym >> e.keycode;
                events.push_back(e);
            } else if (e.kind == "buttonpress" || e.kind == "buttonrelease") {
                fields >> e.keycode;
                events.push_back(e);
            }
        }
        return events;
    }

    // The X id of the window from the "ready" line, 0 until it is there.
    unsigned long long WindowId() const {
        std::ifstream in(output_);
        std::string kind;
        unsigned long long id = 0;
        if (in >> kind >> id && kind == "ready") {
            return id;
        }
        return 0;
    }

    bool WaitForEvents(std::size_t count) const {
        return WaitUntil([&] { return Events().size() >= count; });
    }

    // Asks the target for a round trip to the X server and waits (bounded)
    // until it has logged that it is done; the number of key and button
    // events it had logged by then (every event the server had sent it
    // before the request), -1 when it did not answer.
    long long Sync() const {
        const auto synced = [this] { return Lines("synced").size(); };
        const std::size_t before = synced();
        if (pid_ <= 0 || kill(pid_, SIGUSR1) != 0 ||
            !WaitUntil([&] { return synced() > before; })) {
            return -1;
        }
        return static_cast<long long>(Lines("synced").back());
    }

private:
    // For each line of `kind`, the number of events logged before it.
    std::vector<std::size_t> Lines(const std::string& kind) const {
        std::vector<std::size_t> found;
        std::ifstream in(output_);
        std::string line;
        std::size_t events = 0;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string k;
            fields >> k;
            if (k == kind) {
                found.push_back(events);
            } else if (k == "press" || k == "release" || k == "buttonpress" ||
                       k == "buttonrelease") {
                ++events;
            }
        }
        return found;
    }

    std::string output_;
    pid_t pid_ = -1;
};

}  // namespace qv::test
