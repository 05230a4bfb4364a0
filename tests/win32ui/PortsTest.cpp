// The Windows window's and shell's pieces on their own: message-box flags,
// the icon's activating messages, the drawn application icon, control names, the
// GUI-thread hand-over, the single-instance mutex, the screen measurements.
#include "common/win32/Windows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "WindowHarness.h"
#include "app/win32/SingleInstance.h"

namespace qv {
namespace {

TEST(MessageBoxFlags, CarryTheIconTheButtonsAndTheDefault) {
    EXPECT_EQ(MessageBoxFlags(MessageKind::Warning, std::nullopt, true),
              static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND | MB_APPLMODAL));
    EXPECT_EQ(MessageBoxFlags(MessageKind::Question, Answer::No, true),
              static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND |
                                MB_APPLMODAL));
    EXPECT_EQ(MessageBoxFlags(MessageKind::Question, Answer::Yes, true) & MB_DEFMASK,
              static_cast<UINT>(MB_DEFBUTTON1));
    EXPECT_EQ(MessageBoxFlags(MessageKind::Error, std::nullopt, true) & MB_ICONMASK,
              static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(MessageBoxFlags(MessageKind::Information, std::nullopt, true) & MB_ICONMASK,
              static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(MessageBoxFlags(MessageKind::Plain, std::nullopt, true) & MB_ICONMASK, 0u);
    EXPECT_EQ(MessageBoxFlags(MessageKind::Plain, std::nullopt, true) & MB_DEFMASK, 0u);
    // Without a shown window to own it, a box holds the whole thread.
    EXPECT_EQ(MessageBoxFlags(MessageKind::Plain, std::nullopt, false) & MB_MODEMASK,
              static_cast<UINT>(MB_TASKMODAL));
}

TEST(TrayActivationFromMessage, APressOfEachButtonAndNothingElse) {
    const std::pair<UINT, TrayButton> presses[] = {
        {WM_LBUTTONDOWN, TrayButton::Left},
        {WM_RBUTTONDOWN, TrayButton::Right},
        {WM_MBUTTONDOWN, TrayButton::Middle},
    };
    for (const auto& [message, button] : presses) {
        const std::optional<TrayButton> got = TrayActivationFromMessage(message);
        ASSERT_TRUE(got.has_value()) << message;
        EXPECT_EQ(*got, button) << message;
    }
    // Releases, moves, double clicks (whose first press activated already),
    // messages of newer icon versions and anything else activate nothing.
    for (UINT other : {UINT{WM_LBUTTONUP}, UINT{WM_RBUTTONUP}, UINT{WM_MBUTTONUP},
                       UINT{WM_LBUTTONDBLCLK}, UINT{WM_RBUTTONDBLCLK}, UINT{WM_MOUSEMOVE},
                       UINT{WM_CONTEXTMENU}, UINT{NIN_SELECT}, UINT{WM_XBUTTONDOWN}, 0u}) {
        EXPECT_FALSE(TrayActivationFromMessage(other).has_value()) << other;
    }
}

// The window's and the tray's icons come from the program's icon resource,
// at the sizes asked for.
TEST(AppIcon, IsLoadedFromTheProgramsIconResourceAtEachSize) {
    for (int size : {16, 20, 32, 48}) {
        const IconHandle icon = MakeAppIcon(size);
        ASSERT_NE(icon.Get(), nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon.Get(), &info));
        BITMAP color{};
        ::GetObjectW(info.hbmColor, sizeof color, &color);
        EXPECT_EQ(color.bmWidth, size);
        EXPECT_EQ(color.bmHeight, size);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
    }
    EXPECT_EQ(MakeAppIcon(0).Get(), nullptr);
}

TEST(ControlName, NamesEveryControlOnceAndNothingElse) {
    std::set<std::string_view> names;
    for (int id = kFirstControlId; id <= kLastControlId; ++id) {
        const std::string_view name = ControlName(id);
        EXPECT_FALSE(name.empty()) << id;
        EXPECT_TRUE(names.insert(name).second) << name;
    }
    EXPECT_EQ(ControlName(IDC_NEXT_SLOT), "nextSlotButton");
    EXPECT_EQ(ControlName(IDC_LEARN_PAGE), "learnPage");
    EXPECT_EQ(ControlName(IDC_PICK_WINDOW), "pickWindowButton");
    EXPECT_EQ(ControlName(IDC_RECEIVER_STATUS), "receiverStatusLine");
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kControlCount));
    EXPECT_TRUE(ControlName(kFirstControlId - 1).empty());
    EXPECT_TRUE(ControlName(kLastControlId + 1).empty());
}

TEST(Win32GuiThread, RunsWorkFromOtherThreadsOnItsOwnInTheOrderPosted) {
    Win32GuiThread gui;
    const DWORD self = ::GetCurrentThreadId();
    std::vector<int> ran;
    std::atomic<int> wrongThread{0};
    constexpr int kPerThread = 200;
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                gui.Post([&, t, i] {
                    if (::GetCurrentThreadId() != self) {
                        ++wrongThread;
                    }
                    ran.push_back(t * 1000 + i);
                });
            }
        });
    }
    for (std::thread& p : posters) {
        p.join();
    }
    EXPECT_TRUE(ran.empty()) << "nothing runs before the thread handles its messages";
    ASSERT_TRUE(test::PumpUntil(nullptr, [&] { return ran.size() == 4 * kPerThread; }));
    EXPECT_EQ(wrongThread.load(), 0);
    // Each poster's work in its order.
    std::vector<int> next(4, 0);
    for (int v : ran) {
        const int t = v / 1000;
        EXPECT_EQ(v % 1000, next[static_cast<std::size_t>(t)]++);
    }
}

TEST(Win32GuiThread, WorkPostedWhileAModalLoopRunsRunsThereInOrder) {
    Win32GuiThread gui;
    std::vector<std::string> ran;
    gui.Post([&] {
        ran.push_back("box opens");
        // A message box's loop, as far as this is concerned.
        std::thread other([&] { gui.Post([&] { ran.push_back("posted meanwhile"); }); });
        other.join();
        ASSERT_TRUE(test::PumpUntil(nullptr, [&] { return ran.size() >= 3; }));
        ran.push_back("box closes");
    });
    gui.Post([&] { ran.push_back("posted before"); });
    ASSERT_TRUE(test::PumpUntil(nullptr, [&] { return ran.size() == 4; }));
    EXPECT_EQ(ran, (std::vector<std::string>{"box opens", "posted before", "posted meanwhile",
                                             "box closes"}));
}

TEST(Win32GuiThread, DropsWorkOnceItHasEnded) {
    bool ran = false;
    {
        Win32GuiThread gui;
        gui.Post([&] { ran = true; });
    }
    test::PumpWaiting(nullptr);
    EXPECT_FALSE(ran);
}

TEST(SingleInstance, TheFirstHoldsTheNameUntilItEnds) {
    const std::wstring name = L"Local\\Quorvane.Test." + std::to_wstring(::GetCurrentProcessId());
    {
        const SingleInstance first(name);
        EXPECT_TRUE(first.Held());
        EXPECT_FALSE(first.HeldByOther());
        const SingleInstance second(name);
        EXPECT_FALSE(second.Held());
        EXPECT_TRUE(second.HeldByOther());
        // The second let its handle go: the name still belongs to the first.
        const SingleInstance third(name);
        EXPECT_TRUE(third.HeldByOther());
    }
    const SingleInstance later(name);
    EXPECT_TRUE(later.Held());
}

TEST(Win32ScreenGeometry, MeasuresTheWindowTheScreenAndTheTaskbar) {
    test::Program program;
    ::SetWindowPos(program.Hwnd(), nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RECT r{};
    ::GetWindowRect(program.Hwnd(), &r);
    Win32ScreenGeometry& geometry = *program.geometry;
    EXPECT_EQ(geometry.WindowRect(), (Rect{r.left, r.top, r.right, r.bottom}));
    EXPECT_EQ(geometry.WindowRect().left, 100);
    EXPECT_EQ(geometry.ScreenWidth(), ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(geometry.ScreenHeight(), ::GetSystemMetrics(SM_CYSCREEN));
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(geometry.WorkArea(), (Rect{work.left, work.top, work.right, work.bottom}));

    // The taskbar as the desktop shows it.
    const RECT bar = test::DesktopTaskbar();
    EXPECT_EQ(geometry.TaskbarRect(), (Rect{bar.left, bar.top, bar.right, bar.bottom}));
    EXPECT_EQ(Win32ScreenGeometry(nullptr).WindowRect(), Rect{});
}

}  // namespace
}  // namespace qv
