#pragma once
// A program started by a test, its standard output collected line by line on a
// thread of its own. The program's standard input is a pipe that closes when the
// object goes, which tells helper programs to end; they are waited for (bounded)
// and terminated if they do not.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/win32/UniqueHandle.h"
#include "common/win32/Windows.h"

namespace qv::test {

// A path as Wine's programs see it: a Linux path becomes one on drive Z:.
std::wstring WindowsPath(std::string_view path);

class ChildProcess {
public:
    // Where the program's standard error goes: the test's own, or into the
    // lines collected from its standard output.
    enum class Errors { Inherited, Collected };
    // Starts `program` with `arguments` (already quoted where needed).
    ChildProcess(const std::wstring& program, const std::wstring& arguments,
                 Errors errors = Errors::Inherited);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits until an output line satisfies `match` (searching from line `from`);
    // its index, or -1 when none came within `timeout` or the output ended.
    int WaitForLine(const std::function<bool(const std::string&)>& match,
                    std::chrono::milliseconds timeout, std::size_t from = 0);
    // Waits until the lines so far satisfy `done`; whether they did within `timeout`.
    bool WaitForLines(const std::function<bool(const std::vector<std::string>&)>& done,
                      std::chrono::milliseconds timeout);
    // The first line starting with `prefix`, waited for; empty when none came.
    std::string WaitForPrefix(std::string_view prefix, std::chrono::milliseconds timeout);
    // Every line so far.
    std::vector<std::string> Lines();
    // Writes `line` and a line break to the program's standard input.
    void WriteLine(std::string_view line);
    // Waits for the program to end by itself; its exit code, or -1 on timeout.
    int WaitForExit(std::chrono::milliseconds timeout);
    DWORD Pid() const { return pid_; }

private:
    void ReadOutput();

    win32::UniqueHandle process_;
    win32::UniqueHandle input_;   // our end of the program's standard input
    win32::UniqueHandle output_;  // our end of its standard output
    DWORD pid_ = 0;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool ended_ = false;
};

}  // namespace qv::test
