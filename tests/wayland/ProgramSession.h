#pragma once
// The program itself in a test session: the quorvane-sim daemon on a socket of
// its own, and quorvane --simulator with a configuration of slots and its
// debug log in a file. Shared by the Wayland system tests and the latency
// benchmark; used inside with-sway.sh's session.

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "SwaySession.h"

namespace qv::wayland::test {

// Everything of the program's debug log that matters here arrives within
// seconds; the bound is for a loaded machine.
constexpr auto kProgramBound = 20s;

inline bool WaitForText(const std::string& path, const std::string& text,
                        SteadyTime::duration bound = kProgramBound) {
    return WaitUntil([&] { return ReadAll(path).find(text) != std::string::npos; }, bound);
}

inline std::size_t Count(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + needle.size())) {
        ++n;
    }
    return n;
}

// The simulator daemon on a socket of its own.
class Simulator {
public:
    Simulator() : socket_(WorkDir() + "/sim.sock"), log_(WorkDir() + "/sim.log") {
        process_ = std::make_unique<Process>(
            std::vector<std::string>{QV_SIM, "serve", "--socket", socket_}, log_);
        EXPECT_TRUE(WaitForText(log_, "ready")) << ReadAll(log_);
    }
    const std::string& Socket() const { return socket_; }
    void Press(int a, int b, int c) {
        EXPECT_EQ(Run({QV_SIM, "--socket", socket_, "press", std::to_string(a), std::to_string(b),
                       std::to_string(c)},
                      WorkDir() + "/sim-press.log"),
                  0);
    }

private:
    std::string socket_;
    std::string log_;
    std::unique_ptr<Process> process_;
};

// The program with a configuration of slots, its debug log in a file;
// `env` settings replace the usual ones (Qt on Wayland), `args` go on its
// command line after the usual ones.
class Program {
public:
    Program(const Simulator& sim, const std::vector<std::string>& iniLines,
            const std::vector<std::string>& env = {}, const std::vector<std::string>& args = {})
        : ini_(WorkDir() + "/Quorvane.ini"), log_(WorkDir() + "/quorvane.log") {
        {
            std::ofstream out(ini_, std::ios::trunc);
            for (const std::string& line : iniLines) {
                out << line << "\r\n";
            }
        }
        // Qt on Wayland unless `env` says otherwise.
        std::vector<std::string> fullEnv = env;
        for (const char* setting : {"QT_QPA_PLATFORM=wayland", "XDG_SESSION_TYPE=wayland"}) {
            const std::string name =
                std::string(setting).substr(0, std::string(setting).find('=') + 1);
            if (std::none_of(env.begin(), env.end(),
                             [&](const std::string& e) { return e.rfind(name, 0) == 0; })) {
                fullEnv.emplace_back(setting);
            }
        }
        std::vector<std::string> command = {QV_PROGRAM, "--simulator=" + sim.Socket(), "--config",
                                            ini_, "--debug"};
        command.insert(command.end(), args.begin(), args.end());
        process_ = std::make_unique<Process>(command, log_, fullEnv);
        EXPECT_TRUE(WaitForText(log_, "start-up done")) << ReadAll(log_);
    }
    ~Program() { EXPECT_EQ(process_->End(), 0) << "the program did not end cleanly"; }

    const std::string& LogPath() const { return log_; }
    const std::string& IniPath() const { return ini_; }
    std::string Log() const { return ReadAll(log_); }
    pid_t Pid() const { return process_->Pid(); }

private:
    std::string ini_;
    std::string log_;
    std::unique_ptr<Process> process_;
};

// A test with the session's sway at hand: starts target windows and moves
// the focus.
class ProgramOnSway : public ::testing::Test {
protected:
    std::unique_ptr<Target> Start(ClientKind kind, const std::string& stem) {
        auto target = std::make_unique<Target>(kind, UniqueName(stem));
        EXPECT_TRUE(
            WaitUntil([&] { return target->Ready() && sway_.ViewOf(target->Name()); }, kStartBound))
            << target->Name() << " did not come up";
        return target;
    }

    void Focus(const Target& target) {
        ASSERT_TRUE(sway_.Command("[con_id=" + std::to_string(sway_.ViewOf(target.Name())->id) +
                                  "] focus"));
        ASSERT_TRUE(WaitUntil([&] { return sway_.ViewOf(target.Name())->focused; }, kLogBound));
    }

    bool Focused(const Target& target) {
        const auto view = sway_.ViewOf(target.Name());
        return view && view->focused;
    }

    Sway sway_;
};

}  // namespace qv::wayland::test
