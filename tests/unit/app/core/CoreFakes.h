#pragma once
// Fakes for the application core's tests: a window that keeps its controls
// as plain fields and answers message boxes from a script, hand-run GUI and
// receiver queues, a clock that moves only when told, recording keystroke,
// window, tray and geometry ports.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/core/GuiThread.h"
#include "app/core/MainView.h"
#include "app/core/ReceiverThread.h"
#include "common/AsciiCase.h"
#include "common/Clock.h"
#include "keys/InputInjector.h"
#include "keys/WindowSystem.h"
#include "shell/TrayIcon.h"
#include "shell/WindowPlacement.h"

namespace qv::test {

struct ShownBox {
    std::string text;
    MessageKind kind;
    bool question;         // Ask (Yes and No), not Tell (OK)
    Answer defaultAnswer;  // a question's default button
};

class FakeView final : public MainView {
public:
    // ---- what the test reads
    bool visible = true;
    bool parked = false;
    bool pagesLaidOut = false;
    bool minimizedOrMaximized = false;
    int selectedTab = 0;
    int shownPage = 0;
    std::vector<std::string> adjustItems;
    std::vector<std::string> windowChangeItems;
    int windowChangeIndex = -1;
    int adjustIndex = -1;
    std::string lamp = "none";  // "green", "red"
    std::string version;
    std::vector<std::string> receiveLines;
    std::string number = "1";
    std::string comment;
    std::string pulse;
    std::string windowName;
    std::string keyList;  // editor form
    bool configChecked = false;
    int x = -1;
    int y = -1;
    int quits = 0;
    std::vector<std::string> calls;  // window-level calls in order
    std::vector<ShownBox> boxes;
    // ---- how boxes answer
    std::deque<Answer> answers;          // of the questions in order; empty: Yes
    std::function<void()> whileBoxOpen;  // runs once, inside the next box

    void Tell(const std::string& text, MessageKind kind) override {
        boxes.push_back({text, kind, false, Answer::Yes});
        RunWhileBoxOpen();
    }
    Answer Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) override {
        boxes.push_back({question, kind, true, defaultAnswer});
        RunWhileBoxOpen();
        if (!answers.empty()) {
            const Answer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return Answer::Yes;
    }
    void RunWhileBoxOpen() {
        if (whileBoxOpen) {
            const std::function<void()> run = std::move(whileBoxOpen);
            whileBoxOpen = nullptr;
            run();
        }
    }
    void HideOffScreen() override {
        visible = false;
        parked = true;
        calls.push_back("HideOffScreen");
    }
    void LayOutPages() override { pagesLaidOut = true; }
    void FillTimeLists(const std::vector<std::string_view>& adjust,
                       const std::vector<std::string_view>& windowChange) override {
        adjustItems.assign(adjust.begin(), adjust.end());
        windowChangeItems.assign(windowChange.begin(), windowChange.end());
    }
    void SelectTab(int tab) override { selectedTab = tab; }
    void ShowPage(int tab) override { shownPage = tab; }
    void SetLamp(bool green) override { lamp = green ? "green" : "red"; }
    void SetVersionText(const std::string& text) override { version = text; }
    void AppendReceiveLine(const std::string& line) override { receiveLines.push_back(line); }
    int WindowChangeTimeIndex() override { return windowChangeIndex; }
    void SetWindowChangeTimeIndex(int index) override { windowChangeIndex = index; }
    std::string SlotNumberText() override { return number; }
    void SetSlotNumberText(const std::string& text) override { number = text; }
    std::string CommentText() override { return comment; }
    void SetCommentText(const std::string& text) override { comment = text; }
    void SetPulseText(const std::string& text) override { pulse = text; }
    int AdjustTimeIndex() override { return adjustIndex; }
    void SetAdjustTimeIndex(int index) override { adjustIndex = index; }
    std::string WindowNameText() override { return windowName; }
    void SetWindowNameText(const std::string& text) override { windowName = text; }
    std::string KeyListText() override { return keyList; }
    void SetKeyListText(const std::string& text) override { keyList = text; }
    void AppendKeyListLine(const std::string& line) override {
        keyList += keyList.empty() ? line : "\r\n" + line;
    }
    bool IsVisible() override { return visible; }
    void SetVisible(bool v) override {
        visible = v;
        calls.push_back(v ? "Show" : "Hide");
    }
    bool IsMinimizedOrMaximized() override { return minimizedOrMaximized; }
    void SetNormalState() override {
        minimizedOrMaximized = false;
        calls.push_back("Normal");
    }
    void EndOffScreenParking() override {
        visible = false;
        parked = false;
        calls.push_back("EndParking");
    }
    void MoveTo(int nx, int ny) override {
        x = nx;
        y = ny;
        calls.push_back("MoveTo(" + std::to_string(nx) + "," + std::to_string(ny) + ")");
    }
    bool ConfigChecked() override { return configChecked; }
    void SetConfigChecked(bool checked) override { configChecked = checked; }
    void Quit() override { ++quits; }
};

// Work for the GUI thread, run when the test says, on the test's thread.
// Post may come from any thread.
class ManualGui final : public GuiThread {
public:
    void Post(std::function<void()> work) override {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
        }
        posted_.notify_all();
    }
    std::size_t Pending() const {
        const std::lock_guard lock(mutex_);
        return queue_.size();
    }
    // Runs everything posted, including what the work itself posts.
    int RunAll() {
        int n = 0;
        while (RunOne()) {
            ++n;
        }
        return n;
    }
    // Runs posted work as it comes until `done` holds; false when it did not
    // within `limit` (a hang, not a measure of speed).
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (RunOne()) {
                continue;
            }
            std::unique_lock lock(mutex_);
            if (!posted_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) {
                return done();
            }
        }
        return true;
    }

private:
    bool RunOne() {
        std::function<void()> work;
        {
            const std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                return false;
            }
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        work();
        return true;
    }
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

// The receiver thread's jobs, run when the test says; the timer is a flag.
class ManualJobs final : public ReceiverJobs {
public:
    std::deque<std::function<void()>> queue;
    bool timer = false;
    void Post(std::function<void()> job) override { queue.push_back(std::move(job)); }
    void SetTimerEnabled(bool enabled) override { timer = enabled; }
    bool TimerEnabled() const override { return timer; }
    int RunAll() {
        int n = 0;
        while (!queue.empty()) {
            std::function<void()> job = std::move(queue.front());
            queue.pop_front();
            job();
            ++n;
        }
        return n;
    }
};

class FakeClock final : public Clock {
public:
    TimePoint now = TimePoint{} + std::chrono::seconds(1000);
    std::vector<long long> sleeps;  // milliseconds, in order
    TimePoint Now() override { return now; }
    void Sleep(std::chrono::milliseconds d) override {
        sleeps.push_back(d.count());
        if (d.count() > 0) {
            now += d;
        }
    }
    void SetSeconds(long long s) { now = TimePoint{} + std::chrono::seconds(s); }
};

class RecordingInjector final : public InputInjector {
public:
    std::vector<std::vector<KeyStroke>> batches;
    std::function<void()> onSend;  // what the test sees happen at the send
    void Send(std::span<const KeyStroke> batch) override {
        batches.emplace_back(batch.begin(), batch.end());
        if (onSend) {
            onSend();
        }
    }
    // All batches as "D41 U41 | ..." (virtual-key codes in hex).
    std::string Text() const {
        std::string out;
        for (const auto& batch : batches) {
            for (const KeyStroke& k : batch) {
                char text[16];
                std::snprintf(text, sizeof text, "%s%X ", k.release ? "U" : "D",
                              static_cast<unsigned>(static_cast<std::uint16_t>(k.virtualKey)));
                out += text;
            }
            out += "| ";
        }
        return out;
    }
};

// A desktop of windows with classes and show states; every call is logged.
class FakeWindows final : public WindowSystem {
public:
    struct Entry {
        std::string className;
        ShowState state = ShowState::Normal;
    };
    std::map<std::uint64_t, Entry> windows;  // ordered: lower ids are higher in the stack
    Window foreground;
    std::vector<std::string> calls;

    void Add(std::uint64_t id, const std::string& className, ShowState state = ShowState::Normal) {
        windows[id] = {className, state};
    }
    Window FindByClass(std::string_view name) override {
        calls.push_back("FindByClass(" + std::string(name) + ")");
        for (const auto& [id, w] : windows) {
            if (EqualsIgnoringAsciiCase(w.className, name)) {
                return Window{id};
            }
        }
        return {};
    }
    Window Foreground() override {
        calls.push_back("Foreground()");
        return foreground;
    }
    ShowState GetShowState(Window w) override {
        calls.push_back("GetShowState(" + std::to_string(w.id) + ")");
        const auto it = windows.find(w.id);
        return it == windows.end() ? ShowState::Unknown : it->second.state;
    }
    void SetShowState(Window w, ShowState state) override {
        calls.push_back("SetShowState(" + std::to_string(w.id) + "," +
                        std::to_string(static_cast<int>(state)) + ")");
        const auto it = windows.find(w.id);
        if (it != windows.end() && state != ShowState::Unknown) {
            it->second.state = state;
        }
    }
    bool Activate(Window w) override {
        calls.push_back("Activate(" + std::to_string(w.id) + ")");
        if (windows.count(w.id) == 0) {
            return false;
        }
        foreground = w;
        return true;
    }
};

class FakeTrayIcon final : public TrayIcon {
public:
    TrayIconSink* sink = nullptr;
    bool shown = false;
    std::string toolTip;
    std::vector<std::string> calls;
    std::vector<TrayMenu> menus;
    int choose = -1;  // what the next menu returns
    std::function<void()> whileMenuOpen;

    void SetSink(TrayIconSink* s) override { sink = s; }
    bool Show(std::string_view tip) override {
        shown = true;
        toolTip = std::string(tip);
        calls.push_back("Show(" + toolTip + ")");
        return true;
    }
    void Hide() override {
        shown = false;
        calls.push_back("Hide");
    }
    int PopupMenu(const TrayMenu& menu) override {
        menus.push_back(menu);
        if (whileMenuOpen) {
            const std::function<void()> run = std::move(whileMenuOpen);
            whileMenuOpen = nullptr;
            run();
        }
        return choose;
    }
    // The user presses and releases `button` on the icon.
    void Click(TrayButton button) {
        sink->TrayMouseEvent({TrayMouse::Kind::Down, button});
        if (sink != nullptr) {
            sink->TrayMouseEvent({TrayMouse::Kind::Up, button});
        }
    }
};

class FixedGeometry final : public ScreenGeometryPort {
public:
    Rect WindowRect() override { return {0, 0, 410, 440}; }
    Rect TaskbarRect() override { return {0, 984, 1280, 1024}; }
    std::int32_t ScreenWidth() override { return 1280; }
    std::int32_t ScreenHeight() override { return 1024; }
    Rect WorkArea() override { return {0, 0, 1280, 984}; }
};

}  // namespace qv::test
