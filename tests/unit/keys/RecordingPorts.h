#pragma once
// Recording fakes of the keystroke-output ports for tests: an input injector
// that keeps every batch, and a window system with scripted windows that logs
// every call as text ("ShowWindow(7,1)") and follows the state changes a real
// one would make (show state, foreground, lock timeout).

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keys/InputInjector.h"
#include "keys/WindowSystem.h"

namespace qv::test {

class RecordingInjector : public InputInjector {
public:
    // One entry per SendInput call, each holding the whole batch.
    std::vector<std::vector<KeyboardInput>> batches;

    void SendInput(std::span<const KeyboardInput> batch) override {
        batches.emplace_back(batch.begin(), batch.end());
    }
};

class RecordingWindowSystem : public WindowSystem {
public:
    struct Window {
        std::string className;
        int showState = kSwShowNormal;
        std::uint32_t thread = 1;
        bool topmost = false;
    };

    // The scripted windows; handle 0 is never a window. FindWindowA takes the
    // highest handle of a class as the top-most one.
    std::map<HWND, Window> windows;
    HWND foreground = 0;
    std::uint32_t lockTimeout = 200000;
    bool attached = false;  // an AttachThreadInput(..., true) not yet undone
    std::vector<std::string> calls;

    // Adds a window; returns its handle.
    HWND AddWindow(HWND hwnd, std::string className, std::uint32_t thread,
                   int showState = kSwShowNormal) {
        windows[hwnd] = Window{std::move(className), showState, thread, false};
        return hwnd;
    }

    HWND FindWindowA(std::string_view className) override {
        Log("FindWindowA(" + std::string(className) + ")");
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if (EqualsIgnoringAsciiCase(it->second.className, className)) {
                return it->first;
            }
        }
        return 0;
    }
    HWND GetForegroundWindow() override {
        Log("GetForegroundWindow()");
        return foreground;
    }
    int GetWindowPlacement(HWND hwnd) override {
        Log("GetWindowPlacement(" + std::to_string(hwnd) + ")");
        const Window* w = Find(hwnd);
        return w != nullptr ? w->showState : 0;
    }
    std::uint32_t GetWindowThreadProcessId(HWND hwnd) override {
        Log("GetWindowThreadProcessId(" + std::to_string(hwnd) + ")");
        const Window* w = Find(hwnd);
        return w != nullptr ? w->thread : 0;
    }
    void AttachThreadInput(std::uint32_t attach, std::uint32_t attachTo, bool doAttach) override {
        Log("AttachThreadInput(" + std::to_string(attach) + "," + std::to_string(attachTo) + "," +
            (doAttach ? "1" : "0") + ")");
        attached = doAttach;
    }
    std::uint32_t GetForegroundLockTimeout() override {
        Log("GetForegroundLockTimeout()");
        return lockTimeout;
    }
    void SetForegroundLockTimeout(std::uint32_t value) override {
        Log("SetForegroundLockTimeout(" + std::to_string(value) + ")");
        lockTimeout = value;
    }
    void ShowWindow(HWND hwnd, int cmd) override {
        Log("ShowWindow(" + std::to_string(hwnd) + "," + std::to_string(cmd) + ")");
        if (Window* w = Find(hwnd)) {
            switch (cmd) {
                case kSwShowMinimized:
                case kSwMinimize:
                case kSwShowMinNoActive:
                case kSwForceMinimize:
                    w->showState = kSwShowMinimized;
                    break;
                case kSwShowMaximized:
                    w->showState = kSwShowMaximized;
                    break;
                case kSwShowNormal:
                case kSwRestore:
                case kSwShowDefault:
                    w->showState = kSwShowNormal;
                    break;
                default:
                    break;
            }
        }
    }
    void SetWindowPos(HWND hwnd, bool topmost) override {
        Log("SetWindowPos(" + std::to_string(hwnd) + "," + (topmost ? "TOPMOST" : "NOTOPMOST") +
            ")");
        if (Window* w = Find(hwnd)) {
            w->topmost = topmost;
        }
    }
    void SetForegroundWindow(HWND hwnd) override {
        Log("SetForegroundWindow(" + std::to_string(hwnd) + ")");
        if (Find(hwnd) != nullptr) {
            foreground = hwnd;
        }
    }
    void Sleep(std::uint32_t ms) override { Log("Sleep(" + std::to_string(ms) + ")"); }

private:
    void Log(std::string call) { calls.push_back(std::move(call)); }

    Window* Find(HWND hwnd) {
        const auto it = windows.find(hwnd);
        return it != windows.end() ? &it->second : nullptr;
    }

    static bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            auto lower = [](char c) {
                return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
            };
            if (lower(a[i]) != lower(b[i])) {
                return false;
            }
        }
        return true;
    }
};

}  // namespace qv::test
