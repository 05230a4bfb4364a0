// The KDE Plasma and GNOME keystroke and window backends on a real desktop:
// KWin's fake input with Plasma's window management (and KWin scripting for
// windows), mutter's remote desktop with the program's Shell extension,
// dispatched as the receive loop does it, against a native Wayland client
// (quorvane-waylandtarget) and an X client under XWayland
// (quorvane-keytarget). Runs inside with-desktop.sh's headless session.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "DesktopSession.h"
#include "common/Clock.h"
#include "common/DebugLog.h"
#include "keys/ActivateWindow.h"

namespace qv::desktop {
namespace {

using namespace test;

// Which window system a test drives: the desktop's own, or KWin scripting.
enum class Windows { Desktop, KWinScript };

class DesktopKeys : public ::testing::TestWithParam<std::tuple<Windows, ClientKind>> {
protected:
    void SetUp() override {
        // The backends' own account of what they waited for, beside a failure.
        SetDebugLog(true);
        desktop_ = SessionDesktop();
        windowsKind_ = std::get<0>(GetParam());
        kind_ = std::get<1>(GetParam());
        if (windowsKind_ == Windows::KWinScript && desktop_ != Desktop::Kde) {
            GTEST_SKIP() << "KWin scripting is KDE's";
        }
        xwayland_ = std::make_shared<wayland::XwaylandSync>();
        if (windowsKind_ == Windows::KWinScript) {
            std::string error;
            windows_ = kde::KWinScriptWindowSystem::Open(error);
            ASSERT_TRUE(windows_) << error;
            // The scripting route cannot tell XWayland's focus: watch it here.
            ASSERT_TRUE(xwayland_->Connect());
        } else {
            windows_ = OpenWindows(desktop_, xwayland_);
        }
        injector_ = OpenInjector(desktop_, xwayland_);
        ASSERT_TRUE(windows_ && injector_);
    }

    // Starts a target and waits until it is mapped and listed.
    std::unique_ptr<Target> Start(ClientKind kind, const std::string& stem) {
        auto target = std::make_unique<Target>(kind, UniqueName(stem));
        const bool up = WaitUntil(
            [&] { return target->Ready() && windows_->FindByClass(target->Name()); }, kStartBound);
        EXPECT_TRUE(up) << target->Name() << " did not come up";
        // Both desktops give a new window the focus once it is shown, GNOME
        // after the overview has gone (up to a third of a second after the
        // first window of a session maps): set-up steps wait for that, so
        // that it does not take the focus from the window a test chose.
        WaitUntil([&] { return target->HasFocus(); }, 2s);
        return target;
    }

    // Gives `target` the focus and waits until the client itself reports
    // it. In the first seconds of a GNOME session the shell still hands the
    // focus to windows it mapped (once its overview has gone): the set-up
    // asks again until the focus stays.
    void Focus(const Target& target) {
        const bool focused = WaitUntil(
            [&] {
                windows_->Activate(windows_->FindByClass(target.Name()));
                return WaitUntil([&] { return target.HasFocus(); }, 1s);
            },
            kLogBound);
        ASSERT_TRUE(focused) << target.Name() << " did not get the focus";
    }

    // What the receive loop does for one slot: activate the target (when
    // found), send, hand its show state back, activate the window that was
    // in front.
    void Dispatch(const std::string& className, const std::vector<KeyStroke>& strokes) {
        SteadyClock clock;
        const Window previous = windows_->Foreground();
        const Window target = windows_->FindByClass(className);
        const ShowState state = ActivateWindow(*windows_, clock, target, 0);
        injector_->Send(strokes);
        if (target) {
            windows_->SetShowState(target, state);
        }
        ActivateWindow(*windows_, clock, previous, 0);
    }

    std::string Label() const {
        return std::string(DesktopName(desktop_)) +
               (windowsKind_ == Windows::KWinScript ? "+kwinscript" : "") + "/" + KindName(kind_);
    }

    Desktop desktop_ = Desktop::Kde;
    Windows windowsKind_ = Windows::Desktop;
    ClientKind kind_ = ClientKind::Native;
    std::shared_ptr<wayland::XwaylandSync> xwayland_;
    std::unique_ptr<WindowSystem> windows_;
    std::unique_ptr<InputInjector> injector_;
};

// Ten bursts of 255 events arrive complete and in order in the target,
// which had the focus before the first key; the user's window has the focus
// again after each.
TEST_P(DesktopKeys, BurstsArriveCompleteInTheTargetAndTheFocusComesBack) {
    auto user = Start(ClientKind::Native, "User");
    auto target = Start(kind_, "Target");
    ASSERT_NO_FATAL_FAILURE(Focus(*user));
    const std::vector<Expected> expected = Burst255();
    ASSERT_EQ(expected.size(), 255u);
    std::vector<std::string> want = Describe(expected);
    want.push_back("release Shift_L");

    constexpr int kRuns = 10;
    int exact = 0;
    std::vector<long long> lastKey;
    std::size_t before = 0;
    std::size_t userBefore = 0;
    for (int run = 0; run < kRuns; ++run) {
        const long long sent = NowMicros();
        Dispatch(target->Name(), Strokes(expected));
        // The batch ends with Shift down (255 is odd); the target lets go of
        // it once it has the focus again, which the next run's set-up gives.
        ASSERT_TRUE(WaitForKeys(*target, before + 255))
            << "run " << run << ": " << target->Keys().size() - before << " of 255 keys";
        ASSERT_TRUE(WaitUntil([&] { return user->HasFocus(); }, kLogBound))
            << "run " << run << ": the focus did not come back";
        EXPECT_EQ(windows_->Foreground(), windows_->FindByClass(user->Name()));
        // The release of Shift goes to the user's window, which has the focus.
        injector_->Send(std::vector<KeyStroke>{{0x10, true}});
        ASSERT_TRUE(WaitForKeys(*user, userBefore + 1));
        const std::vector<Logged> keys = target->Keys();
        std::vector<std::string> got = Describe(keys, before);
        got.resize(255);
        std::vector<std::string> wantBatch(want.begin(), want.begin() + 255);
        EXPECT_EQ(got, wantBatch) << "run " << run;
        if (got == wantBatch) {
            ++exact;
        }
        EXPECT_TRUE(target->FocusedBeforeKey(before)) << "run " << run;
        lastKey.push_back(keys[before + 254].time - sent);
        // A release after the focus left may reach the target (X clients
        // learn of keys up on leaving): count what the log holds.
        before = target->Keys().size();
        userBefore = user->Keys().size();
        EXPECT_EQ(Describe(user->Keys(), userBefore - 1),
                  std::vector<std::string>{"release Shift_L"})
            << "run " << run << ": keys of the batch went to the user's window";
    }
    std::sort(lastKey.begin(), lastKey.end());
    Figure(Label() + ": " + std::to_string(exact) + " of " + std::to_string(kRuns) +
           " dispatches of 255 events exact; last event after the dispatch began: median " +
           std::to_string(Percentile(lastKey, 50)) + " us, max " + std::to_string(lastKey.back()) +
           " us");
}

// Ctrl+C: the target sees Control held when c arrives; Shift+Q types a
// capital (the desktop's own keyboard state applies the modifiers).
TEST_P(DesktopKeys, ModifiersApplyToTheKeysThatFollow) {
    auto target = Start(kind_, "Mods");
    ASSERT_NO_FATAL_FAILURE(Focus(*target));
    injector_->Send(HeldModifiers());
    ExpectHeldModifiersArrived(*target, kind_);
}

// A class that no window has: nothing is activated and the keys go to the
// window that has the focus.
TEST_P(DesktopKeys, MissingTargetSendsToTheFocusedWindow) {
    auto focused = Start(kind_, "Focused");
    ASSERT_NO_FATAL_FAILURE(Focus(*focused));
    Dispatch("QvNoSuchWindowClass", {{'A', false}, {'A', true}});
    ASSERT_TRUE(WaitForKeys(*focused, 2));
    EXPECT_EQ(Describe(focused->Keys()), (std::vector<std::string>{"press a", "release a"}));
    EXPECT_TRUE(focused->HasFocus());
}

// A window is found by its app_id (native) or X class, in any ASCII case,
// and listed with that name and its title, front-most first.
TEST_P(DesktopKeys, FindsAndListsTheTargetByItsName) {
    auto other = Start(ClientKind::Native, "Other");
    auto target = Start(kind_, "Case");
    ASSERT_NO_FATAL_FAILURE(Focus(*target));
    const Window exact = windows_->FindByClass(target->Name());
    ASSERT_TRUE(exact);
    EXPECT_EQ(windows_->FindByClass(Upper(target->Name())), exact);
    EXPECT_EQ(windows_->FindByClass(Lower(target->Name())), exact);
    EXPECT_FALSE(windows_->FindByClass(target->Name() + "x"));
    EXPECT_NE(windows_->FindByClass(other->Name()), exact);
    EXPECT_EQ(windows_->GetShowState(exact), ShowState::Normal);
    EXPECT_EQ(windows_->GetShowState(Window{}), ShowState::Unknown);
    EXPECT_EQ(windows_->Foreground(), exact);

    const std::vector<ListedWindow> listed = windows_->ListWindows();
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed.front().window, exact) << "the window in front is not listed first";
    const auto of = [&](Window w) {
        return std::find_if(listed.begin(), listed.end(),
                            [w](const ListedWindow& l) { return l.window == w; });
    };
    const auto entry = of(exact);
    ASSERT_NE(entry, listed.end());
    EXPECT_TRUE(EqualsIgnoringAsciiCase(entry->className, target->Name())) << entry->className;
    EXPECT_EQ(windows_->FindByClass(entry->className), exact);
    EXPECT_NE(of(windows_->FindByClass(other->Name())), listed.end());
}

// A minimised target is restored for the keys, gets them, and is
// minimised again; the user's window has the focus afterwards.
TEST_P(DesktopKeys, MinimisedTargetIsRestoredForTheKeysAndMinimisedAgain) {
    auto user = Start(ClientKind::Native, "User");
    auto target = Start(kind_, "Hidden");
    const Window window = windows_->FindByClass(target->Name());
    windows_->SetShowState(window, ShowState::Minimized);
    ASSERT_EQ(windows_->GetShowState(window), ShowState::Minimized);
    ASSERT_NO_FATAL_FAILURE(Focus(*user));

    Dispatch(target->Name(), {{'Z', false}, {'Z', true}});

    ASSERT_TRUE(WaitForKeys(*target, 2));
    EXPECT_EQ(Describe(target->Keys()), (std::vector<std::string>{"press z", "release z"}));
    EXPECT_TRUE(target->FocusedBeforeKey(0));
    EXPECT_EQ(windows_->GetShowState(window), ShowState::Minimized)
        << "the target was not minimised again";
    EXPECT_EQ(windows_->Foreground(), windows_->FindByClass(user->Name()));
    EXPECT_TRUE(WaitUntil([&] { return user->HasFocus(); }, kLogBound));
    EXPECT_TRUE(user->Keys().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Backends, DesktopKeys,
    ::testing::Combine(::testing::Values(Windows::Desktop, Windows::KWinScript),
                       ::testing::Values(ClientKind::Native, ClientKind::X)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Windows::Desktop ? "desktop" : "kwinscript") +
               "_" + KindName(std::get<1>(info.param));
    });

}  // namespace
}  // namespace qv::desktop
