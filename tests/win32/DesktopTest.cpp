// The Windows keystroke and window backends against real windows: target windows
// of another process (win32_keytarget) on the Wine desktop of this test run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "keys/KeyNames.h"
#include "keys/win32/Win32InputInjector.h"
#include "keys/win32/Win32WindowSystem.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;

// Generous: only a broken backend runs into it.
constexpr auto kPatience = 20s;

// One key message as the target window reported it.
struct KeyMessage {
    bool down;
    unsigned vk;
    bool extended;
    friend bool operator==(const KeyMessage&, const KeyMessage&) = default;
};

void PrintTo(const KeyMessage& m, std::ostream* out) {
    *out << (m.down ? "down " : "up ") << std::hex << "0x" << m.vk << (m.extended ? " ext" : "");
}

std::vector<KeyMessage> KeyMessages(ChildProcess& target) {
    std::vector<KeyMessage> keys;
    for (const std::string& line : target.Lines()) {
        char direction[8] = {};
        unsigned vk = 0, scan = 0;
        int ext = 0;
        if (std::sscanf(line.c_str(), "key %7s vk=%x scan=%x ext=%d", direction, &vk, &scan,
                        &ext) == 4) {
            keys.push_back({std::string(direction) == "down", vk, ext != 0});
        }
    }
    return keys;
}

// Waits until the target has reported `count` key messages; all it reported.
std::vector<KeyMessage> WaitForKeys(ChildProcess& target, std::size_t count) {
    target.WaitForLines(
        [&](const std::vector<std::string>& lines) {
            return static_cast<std::size_t>(
                       std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                           return line.rfind("key ", 0) == 0;
                       })) >= count;
        },
        kPatience);
    return KeyMessages(target);
}

class TargetWindow {
public:
    TargetWindow(const std::wstring& className, const std::wstring& options)
        : process_(test::WindowsPath(QV_WIN32_KEYTARGET), className + L" " + options) {
        const std::string ready = process_.WaitForPrefix("ready ", kPatience);
        unsigned long long hwnd = 0;
        if (std::sscanf(ready.c_str(), "ready hwnd=0x%llx", &hwnd) != 1) {
            throw std::runtime_error("the target window did not start");
        }
        window_ = Window{hwnd};
    }
    Window window() const { return window_; }
    ChildProcess& process() { return process_; }

private:
    ChildProcess process_;
    Window window_;
};

// Waits until `window` is the foreground window (a window started with
// --foreground takes it itself).
bool WaitForForeground(WindowSystem& windows, Window window) {
    for (int i = 0; i < 20000 && windows.Foreground() != window; ++i) {
        ::Sleep(1);
    }
    return windows.Foreground() == window;
}

TEST(Win32Desktop, AKeyListReachesTheForegroundWindowAsOneOrderedBatch) {
    Win32WindowSystem windows;
    TargetWindow target(L"QvWinKeys", L"--foreground");
    ASSERT_TRUE(WaitForForeground(windows, target.window()));

    const std::vector<KeyStroke> batch = {
        {VK_SHIFT, false},  {'A', false},         {'A', true},         {VK_SHIFT, true},
        {-1, false},        {VK_RCONTROL, false}, {VK_RCONTROL, true}, {0, true},
        {VK_LEFT, false},   {VK_LEFT, true},      {VK_RETURN, false},  {VK_RETURN, true},
        {VK_DIVIDE, false}, {VK_DIVIDE, true},    {VK_F5, false},      {VK_F5, true}};
    Win32InputInjector().Send(batch);

    // Windows reports left and right modifiers by their generic code; the right
    // one carries the extended bit.
    const std::vector<KeyMessage> expected = {
        {true, VK_SHIFT, false},   {true, 'A', false},       {false, 'A', false},
        {false, VK_SHIFT, false},  {true, VK_CONTROL, true}, {false, VK_CONTROL, true},
        {true, VK_LEFT, true},     {false, VK_LEFT, true},   {true, VK_RETURN, false},
        {false, VK_RETURN, false}, {true, VK_DIVIDE, true},  {false, VK_DIVIDE, true},
        {true, VK_F5, false},      {false, VK_F5, false}};
    EXPECT_EQ(WaitForKeys(target.process(), expected.size()), expected);
}

// Keys captured without a name are sent by their code: VK_OEM_1 and
// VK_OEM_102 arrive as those codes with the scan codes Windows gives their
// keys (0x27 and 0x56 on the US and Japanese layouts).
TEST(Win32Desktop, CodesWithoutANameArriveWithTheirKeysScanCodes) {
    Win32WindowSystem windows;
    TargetWindow target(L"QvWinOem", L"--foreground");
    ASSERT_TRUE(WaitForForeground(windows, target.window()));

    const std::vector<KeyStroke> batch = ReadKeyList("D[186], U[186], D[226], U[226]");
    ASSERT_EQ(batch.size(), 4u);
    Win32InputInjector().Send(batch);
    WaitForKeys(target.process(), batch.size());

    struct Message {
        std::string direction;
        unsigned vk;
        unsigned scan;
    };
    std::vector<Message> messages;
    for (const std::string& line : target.process().Lines()) {
        char direction[8] = {};
        unsigned vk = 0, scan = 0;
        int ext = 0;
        if (std::sscanf(line.c_str(), "key %7s vk=%x scan=%x ext=%d", direction, &vk, &scan,
                        &ext) == 4) {
            messages.push_back({direction, vk, scan});
        }
    }
    const std::vector<Message> expected = {
        {"down", 0xBA, 0x27}, {"up", 0xBA, 0x27}, {"down", 0xE2, 0x56}, {"up", 0xE2, 0x56}};
    ASSERT_EQ(messages.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(messages[i].direction, expected[i].direction) << i;
        EXPECT_EQ(messages[i].vk, expected[i].vk) << i;
        EXPECT_EQ(messages[i].scan, expected[i].scan) << i;
        EXPECT_EQ(messages[i].scan, ::MapVirtualKeyW(expected[i].vk, MAPVK_VK_TO_VSC)) << i;
    }
}

TEST(Win32Desktop, A255EventBatchArrivesCompleteAndInOrder) {
    Win32WindowSystem windows;
    TargetWindow target(L"QvWinLong", L"--foreground");
    ASSERT_TRUE(WaitForForeground(windows, target.window()));

    std::vector<KeyStroke> batch;
    std::vector<KeyMessage> expected;
    for (int i = 0; batch.size() < 255; ++i) {
        const auto vk = static_cast<std::int16_t>('A' + i % 26);
        const bool release = i % 2 == 1;
        batch.push_back({vk, release});
        expected.push_back({!release, static_cast<unsigned>(vk), false});
    }
    // The list ends on a press: release it again so the keyboard state stays clean.
    Win32InputInjector().Send(batch);
    const KeyStroke cleanUp[] = {batch.back().virtualKey, true};
    Win32InputInjector().Send(cleanUp);
    expected.push_back({false, static_cast<unsigned>(batch.back().virtualKey), false});

    EXPECT_EQ(WaitForKeys(target.process(), expected.size()), expected);
}

TEST(Win32Desktop, FindsWindowsByClassIgnoringCase) {
    Win32WindowSystem windows;
    TargetWindow target(L"QvWinFind", L"");
    EXPECT_EQ(windows.FindByClass("QvWinFind"), target.window());
    EXPECT_EQ(windows.FindByClass("qvwinFIND"), target.window());
    EXPECT_FALSE(windows.FindByClass("QvWinFin"));
    EXPECT_FALSE(windows.FindByClass(""));
    EXPECT_FALSE(windows.FindByClass("QvNoSuchWindowClass"));
}

TEST(Win32Desktop, ShowStatesAreReadAndSet) {
    Win32WindowSystem windows;
    TargetWindow target(L"QvWinShow", L"--maximized");
    EXPECT_EQ(windows.GetShowState(target.window()), ShowState::Maximized);
    windows.SetShowState(target.window(), ShowState::Minimized);
    EXPECT_EQ(windows.GetShowState(target.window()), ShowState::Minimized);
    windows.SetShowState(target.window(), ShowState::Normal);
    EXPECT_EQ(windows.GetShowState(target.window()), ShowState::Normal);
    windows.SetShowState(target.window(), ShowState::Maximized);
    EXPECT_EQ(windows.GetShowState(target.window()), ShowState::Maximized);
    // Unknown changes nothing.
    windows.SetShowState(target.window(), ShowState::Unknown);
    EXPECT_EQ(windows.GetShowState(target.window()), ShowState::Maximized);
}

TEST(Win32Desktop, WindowsThatDoNotExistHaveNoStateAndCannotBeActivated) {
    Win32WindowSystem windows(50ms);
    Window gone;
    {
        TargetWindow target(L"QvWinGone", L"");
        gone = target.window();
    }
    EXPECT_EQ(windows.GetShowState(gone), ShowState::Unknown);
    EXPECT_EQ(windows.GetShowState(Window{}), ShowState::Unknown);
    EXPECT_FALSE(windows.Activate(gone));
    EXPECT_FALSE(windows.Activate(Window{}));
    windows.SetShowState(gone, ShowState::Normal);  // harmless
}

// What the receive loop does around a slot's key list: remember the window in
// front, bring the minimised target forward, send, give the target its show state
// back and the remembered window the foreground.
TEST(Win32Desktop, ActivationBringsAMinimisedTargetForwardAndEverythingGoesBack) {
    Win32WindowSystem windows;
    TargetWindow user(L"QvWinUser", L"--foreground");
    ASSERT_TRUE(WaitForForeground(windows, user.window()));
    TargetWindow target(L"QvWinTarget", L"--minimized");
    ASSERT_TRUE(WaitForForeground(windows, user.window()));

    const Window remembered = windows.Foreground();
    const Window found = windows.FindByClass("qvwintarget");
    ASSERT_EQ(found, target.window());
    const ShowState before = windows.GetShowState(found);
    EXPECT_EQ(before, ShowState::Minimized);

    windows.SetShowState(found, ShowState::Normal);
    EXPECT_EQ(windows.GetShowState(found), ShowState::Normal);
    ASSERT_TRUE(windows.Activate(found));
    EXPECT_EQ(windows.Foreground(), found);

    const KeyStroke keys[] = {{VK_F7, false}, {VK_F7, true}};
    Win32InputInjector().Send(keys);
    const std::vector<KeyMessage> f7 = {{true, VK_F7, false}, {false, VK_F7, false}};
    EXPECT_EQ(WaitForKeys(target.process(), 2), f7);

    windows.SetShowState(found, before);
    EXPECT_EQ(windows.GetShowState(found), ShowState::Minimized);
    ASSERT_TRUE(windows.Activate(remembered));
    EXPECT_EQ(windows.Foreground(), user.window());

    // Keys go to the user's window again, and no more to the target.
    const KeyStroke more[] = {{VK_F8, false}, {VK_F8, true}};
    Win32InputInjector().Send(more);
    const std::vector<KeyMessage> f8 = {{true, VK_F8, false}, {false, VK_F8, false}};
    EXPECT_EQ(WaitForKeys(user.process(), 2), f8);
    EXPECT_EQ(KeyMessages(target.process()), f7);
}

// Every key and character message a target reported: "down 0x10", "up 0x43 sys",
// "char 0x03" and so on.
std::vector<std::string> KeyAndCharMessages(const std::vector<std::string>& lines) {
    std::vector<std::string> messages;
    for (const std::string& line : lines) {
        char direction[8] = {};
        unsigned code = 0;
        int system = 0;
        const char* sys = std::strstr(line.c_str(), " sys=");
        if (sys != nullptr) {
            system = std::atoi(sys + 5);
        }
        std::string text;
        if (std::sscanf(line.c_str(), "key %7s vk=%x", direction, &code) == 2) {
            text = std::string(direction) + " ";
        } else if (std::sscanf(line.c_str(), "char %x", &code) == 1) {
            text = "char ";
        } else {
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02x", code);
        messages.push_back(text + hex + (system != 0 ? " sys" : ""));
    }
    return messages;
}

// What the receive loop does after a slot's keys: the target is minimised again
// at once. Send returns only once the target has read its keys, so they arrive
// as plain keys (a minimised window reads WM_SYSKEYDOWN instead), with Ctrl
// still held for C.
TEST(Win32Desktop, KeysAreReadBeforeSendReturns) {
    Win32WindowSystem windows;
    TargetWindow target(L"QvWinTaken", L"--foreground");
    ASSERT_TRUE(WaitForForeground(windows, target.window()));
    Win32InputInjector injector;
    const std::vector<KeyStroke> burst = {{VK_SHIFT, false}, {'Q', false},        {'Q', true},
                                          {VK_SHIFT, true},  {VK_CONTROL, false}, {'C', false},
                                          {'C', true},       {VK_CONTROL, true}};
    const std::vector<std::string> once = {"down 0x10", "down 0x51", "char 0x51", "up 0x51",
                                           "up 0x10",   "down 0x11", "down 0x43", "char 0x03",
                                           "up 0x43",   "up 0x11"};
    constexpr int kBursts = 20;
    for (int i = 0; i < kBursts; ++i) {
        windows.SetShowState(target.window(), ShowState::Normal);
        ASSERT_TRUE(windows.Activate(target.window()));
        injector.Send(burst);
        windows.SetShowState(target.window(), ShowState::Minimized);
    }
    std::vector<std::string> expected;
    for (int i = 0; i < kBursts; ++i) {
        expected.insert(expected.end(), once.begin(), once.end());
    }
    ASSERT_TRUE(target.process().WaitForLines(
        [&](const std::vector<std::string>& lines) {
            return KeyAndCharMessages(lines).size() >= expected.size();
        },
        kPatience));
    EXPECT_EQ(KeyAndCharMessages(target.process().Lines()), expected);
}

// A window whose thread does not read its queue holds Send up for the bound
// only; the keys wait in its queue until it reads them.
TEST(Win32Desktop, SendWaitsForABusyWindowNoLongerThanItsBound) {
    Win32WindowSystem windows;
    TargetWindow target(L"QvWinBusy", L"--foreground --busy");
    ASSERT_TRUE(WaitForForeground(windows, target.window()));
    Win32InputInjector injector(200ms);
    const KeyStroke keys[] = {{VK_F9, false}, {VK_F9, true}};
    const auto start = std::chrono::steady_clock::now();
    injector.Send(keys);
    const auto took = std::chrono::steady_clock::now() - start;
    // It waited (less a tick count's granularity) ...
    EXPECT_GE(took, 180ms);
    // ... and returned while the window is still busy with the first key.
    EXPECT_GE(
        target.process().WaitForLine([](const std::string& l) { return l == "busy"; }, kPatience),
        0);
    const std::vector<std::string> lines = target.process().Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "busy done"), 0);

    target.process().WriteLine("go on");
    const std::vector<KeyMessage> f9 = {{true, VK_F9, false}, {false, VK_F9, false}};
    EXPECT_EQ(WaitForKeys(target.process(), 2), f9);
}

// A layered window is drawn by its program, not through WM_PAINT: nothing tells
// when it has read its keys, so Send gives it the whole bound.
TEST(Win32Desktop, AWindowThatCannotShowItReadTheKeysGetsTheWholeBound) {
    Win32WindowSystem windows;
    TargetWindow target(L"QvWinLayered", L"--foreground --layered");
    ASSERT_TRUE(WaitForForeground(windows, target.window()));
    Win32InputInjector injector(300ms);
    const KeyStroke keys[] = {{VK_F10, false}, {VK_F10, true}};
    const auto start = std::chrono::steady_clock::now();
    injector.Send(keys);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 280ms);
    const std::vector<KeyMessage> f10 = {{true, VK_F10, false}, {false, VK_F10, false}};
    EXPECT_EQ(WaitForKeys(target.process(), 2), f10);
}

TEST(Win32Desktop, ActivatingTheForegroundWindowChangesNothing) {
    Win32WindowSystem windows;
    TargetWindow target(L"QvWinFront", L"--foreground");
    ASSERT_TRUE(WaitForForeground(windows, target.window()));
    const std::size_t before = target.process().Lines().size();
    EXPECT_TRUE(windows.Activate(target.window()));
    EXPECT_EQ(windows.Foreground(), target.window());
    EXPECT_EQ(windows.GetShowState(target.window()), ShowState::Normal);
    EXPECT_EQ(target.process().Lines().size(), before) << "no activation messages";
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// The listed window with this id; nullptr when it is not listed.
const ListedWindow* Listed(const std::vector<ListedWindow>& listed, Window window) {
    for (const ListedWindow& w : listed) {
        if (w.window == window) {
            return &w;
        }
    }
    return nullptr;
}

TEST(Win32Desktop, ListWindowsGivesTheVisibleUnownedWindowsWithTitlesTopFirst) {
    Win32WindowSystem windows;
    TargetWindow mail(L"QvWinListMail", L"--title \"受信トレイ - メール\"");
    TargetWindow notes(L"QvWinListNotes", L"--title notes.txt --foreground");
    ASSERT_TRUE(WaitForForeground(windows, notes.window()));

    // Windows of this process: one shown, one it owns, one hidden.
    HWND shown = ::CreateWindowExW(0, L"STATIC", L"shown", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 50, 50,
                                   nullptr, nullptr, nullptr, nullptr);
    HWND owned = ::CreateWindowExW(0, L"STATIC", L"owned", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                   shown, nullptr, nullptr, nullptr);
    HWND hidden = ::CreateWindowExW(0, L"STATIC", L"hidden", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                                    nullptr, nullptr, nullptr);
    ASSERT_NE(shown, nullptr);
    ASSERT_NE(owned, nullptr);
    ASSERT_NE(hidden, nullptr);

    const std::vector<ListedWindow> listed = windows.ListWindows();
    const ListedWindow* m = Listed(listed, mail.window());
    const ListedWindow* n = Listed(listed, notes.window());
    ASSERT_NE(m, nullptr);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(m->className, "QvWinListMail");
    EXPECT_EQ(m->title, "受信トレイ - メール");
    EXPECT_EQ(n->className, "QvWinListNotes");
    EXPECT_EQ(n->title, "notes.txt");
    EXPECT_LT(n, m) << "the window in front comes first";
    const ListedWindow* own = Listed(listed, Win32WindowSystem::FromHwnd(shown));
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->title, "shown");
    EXPECT_EQ(Listed(listed, Win32WindowSystem::FromHwnd(owned)), nullptr);
    EXPECT_EQ(Listed(listed, Win32WindowSystem::FromHwnd(hidden)), nullptr);
    // What is listed is found again by its name.
    EXPECT_EQ(windows.FindByClass(m->className), mail.window());

    ::DestroyWindow(owned);
    ::DestroyWindow(shown);
    ::DestroyWindow(hidden);
}

}  // namespace
}  // namespace qv
