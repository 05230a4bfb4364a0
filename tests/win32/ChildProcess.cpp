#include "ChildProcess.h"

#include <stdexcept>

#include "common/win32/WideText.h"

namespace qv::test {

std::wstring WindowsPath(std::string_view path) {
    std::wstring wide = win32::Utf8ToWide(path);
    if (!wide.empty() && wide.front() == L'/') {
        wide = L"Z:" + wide;
    }
    for (wchar_t& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return wide;
}

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments,
                           Errors errors) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, ourIn = nullptr, ourOut = nullptr, childOut = nullptr;
    if (!::CreatePipe(&childIn, &ourIn, &inherit, 0) ||
        !::CreatePipe(&ourOut, &childOut, &inherit, 0)) {
        throw std::runtime_error("CreatePipe failed");
    }
    win32::UniqueHandle childInOwner(childIn), childOutOwner(childOut);
    input_.Reset(ourIn);
    output_.Reset(ourOut);
    ::SetHandleInformation(ourIn, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(ourOut, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = errors == Errors::Collected ? childOut : ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          nullptr, &startup, &info)) {
        throw std::runtime_error(win32::ErrorText(
            "CreateProcessW(" + win32::WideToUtf8(program) + ")", ::GetLastError()));
    }
    ::CloseHandle(info.hThread);
    process_.Reset(info.hProcess);
    pid_ = info.dwProcessId;
    reader_ = std::thread([this] { ReadOutput(); });
}

void ChildProcess::WriteLine(std::string_view line) {
    const std::string text = std::string(line) + "\n";
    DWORD written = 0;
    if (!::WriteFile(input_.Get(), text.data(), static_cast<DWORD>(text.size()), &written,
                     nullptr) ||
        written != text.size()) {
        throw std::runtime_error("WriteFile to the program's standard input failed");
    }
}

ChildProcess::~ChildProcess() {
    input_.Reset();
    if (::WaitForSingleObject(process_.Get(), 5000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_.Get(), 1);
        ::WaitForSingleObject(process_.Get(), 5000);
    }
    // The program's end closes its side of the output pipe, which ends the reader.
    if (reader_.joinable()) {
        reader_.join();
    }
}

void ChildProcess::ReadOutput() {
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(output_.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        pending.append(buffer, got);
        std::size_t end;
        std::lock_guard lock(mutex_);
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines_.push_back(std::move(line));
            pending.erase(0, end + 1);
        }
        changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

int ChildProcess::WaitForLine(const std::function<bool(const std::string&)>& match,
                              std::chrono::milliseconds timeout, std::size_t from) {
    std::unique_lock lock(mutex_);
    int found = -1;
    changed_.wait_for(lock, timeout, [&] {
        for (std::size_t i = from; i < lines_.size(); ++i) {
            if (match(lines_[i])) {
                found = static_cast<int>(i);
                return true;
            }
        }
        return ended_;
    });
    return found;
}

bool ChildProcess::WaitForLines(const std::function<bool(const std::vector<std::string>&)>& done,
                                std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(lines_) || ended_; }) && done(lines_);
}

std::string ChildProcess::WaitForPrefix(std::string_view prefix,
                                        std::chrono::milliseconds timeout) {
    const int index =
        WaitForLine([&](const std::string& line) { return line.rfind(prefix, 0) == 0; }, timeout);
    if (index < 0) {
        return {};
    }
    std::lock_guard lock(mutex_);
    return lines_[static_cast<std::size_t>(index)];
}

std::vector<std::string> ChildProcess::Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
}

int ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (::WaitForSingleObject(process_.Get(), static_cast<DWORD>(timeout.count())) !=
        WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process_.Get(), &code);
    return static_cast<int>(code);
}

}  // namespace qv::test
