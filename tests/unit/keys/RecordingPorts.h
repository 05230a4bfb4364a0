#pragma once
// Recording fakes of the keystroke-output ports for tests: an input injector
// that keeps every batch, a window system with scripted windows that logs
// every call as text ("SetShowState(7,Normal)") and follows the state changes
// a real one would make (show state, foreground), and a clock whose sleeps
// are logged into the same call list and move its time on.

#include <chrono>
#include <cstdint>
#include <map>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/AsciiCase.h"
#include "common/Clock.h"
#include "keys/InputInjector.h"
#include "keys/WindowSystem.h"

namespace qv {

// Failure messages show windows and show states by number.
inline void PrintTo(const Window& window, std::ostream* out) {
    *out << "window " << window.id;
}
inline void PrintTo(ShowState state, std::ostream* out) {
    *out << "show state " << static_cast<int>(state);
}

}  // namespace qv

namespace qv::test {

class RecordingInjector : public InputInjector {
public:
    // One entry per Send call, each holding the whole batch.
    std::vector<std::vector<KeyStroke>> batches;

    void Send(std::span<const KeyStroke> batch) override {
        batches.emplace_back(batch.begin(), batch.end());
    }
};

inline std::string ShowStateName(ShowState state) {
    switch (state) {
        case ShowState::Normal:
            return "Normal";
        case ShowState::Minimized:
            return "Minimized";
        case ShowState::Maximized:
            return "Maximized";
        case ShowState::Unknown:
            break;
    }
    return "Unknown";
}

class RecordingWindowSystem : public WindowSystem {
public:
    struct Scripted {
        std::string className;
        ShowState showState = ShowState::Normal;
        bool takesForeground = true;  // false: Activate leaves the foreground where it is
    };

    // The scripted windows by id; id 0 is never a window. FindByClass takes
    // the highest id of a class as the top-most one.
    std::map<std::uint64_t, Scripted> windows;
    Window foreground;
    std::vector<std::string> calls;

    // Adds a window; returns it.
    Window AddWindow(std::uint64_t id, std::string className,
                     ShowState showState = ShowState::Normal) {
        windows[id] = Scripted{std::move(className), showState, true};
        return Window{id};
    }

    Window FindByClass(std::string_view className) override {
        Log("FindByClass(" + std::string(className) + ")");
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if (EqualsIgnoringAsciiCase(it->second.className, className)) {
                return Window{it->first};
            }
        }
        return {};
    }
    Window Foreground() override {
        Log("Foreground()");
        return foreground;
    }
    ShowState GetShowState(Window window) override {
        Log("GetShowState(" + std::to_string(window.id) + ")");
        const Scripted* w = Find(window);
        return w != nullptr ? w->showState : ShowState::Unknown;
    }
    void SetShowState(Window window, ShowState state) override {
        Log("SetShowState(" + std::to_string(window.id) + "," + ShowStateName(state) + ")");
        if (Scripted* w = Find(window); w != nullptr && state != ShowState::Unknown) {
            w->showState = state;
        }
    }
    bool Activate(Window window) override {
        Log("Activate(" + std::to_string(window.id) + ")");
        const Scripted* w = Find(window);
        if (w == nullptr || !w->takesForeground) {
            return false;
        }
        foreground = window;
        return true;
    }

    void Log(std::string call) { calls.push_back(std::move(call)); }

private:
    Scripted* Find(Window window) {
        const auto it = windows.find(window.id);
        return it != windows.end() ? &it->second : nullptr;
    }
};

// A clock that stands still except when slept on; each sleep is logged as
// "Sleep(ms)" into `log` (typically the window system's call list).
class RecordingClock : public Clock {
public:
    explicit RecordingClock(std::vector<std::string>& log) : log_(log) {}
    TimePoint Now() override { return now_; }
    void Sleep(std::chrono::milliseconds duration) override {
        log_.push_back("Sleep(" + std::to_string(duration.count()) + ")");
        if (duration.count() > 0) {
            now_ += duration;
        }
    }

private:
    std::vector<std::string>& log_;
    TimePoint now_{};
};

}  // namespace qv::test
