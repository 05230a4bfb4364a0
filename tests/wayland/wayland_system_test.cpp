// The Wayland keystroke-output path on a real compositor: the virtual-keyboard
// injector with sway's IPC window system and with the wlr foreign-toplevel
// one, dispatched as the receive loop does it, against a native Wayland
// client (quorvane-waylandtarget) and an X client under XWayland
// (quorvane-keytarget). Runs inside with-sway.sh's headless session.

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "KeyBursts.h"
#include "SwaySession.h"
#include "support/DelayedLink.h"

#include "common/Clock.h"
#include "keys/ActivateWindow.h"
#include "keys/KeyNames.h"
#include "keys/wayland/ForeignToplevelWindowSystem.h"
#include "keys/wayland/SessionProbe.h"
#include "keys/wayland/SwayIpc.h"
#include "keys/wayland/SwayWindowSystem.h"
#include "keys/wayland/VirtualKeyboardInjector.h"
#include "keys/wayland/XwaylandSync.h"

namespace qv::wayland {
namespace {

using namespace test;

// A key outside the US layout (Kanji) after Ctrl+C.
std::vector<Expected> Burst255() {
    return test::Burst255({Press(0x19, "Kanji"), Release(0x19, "Kanji")});
}

enum class Windows { Sway, ForeignToplevel };

const char* WindowsName(Windows w) {
    return w == Windows::Sway ? "sway" : "foreigntoplevel";
}

std::unique_ptr<WindowSystem> OpenWindows(Windows which, std::shared_ptr<XwaylandSync> xwayland) {
    std::string error;
    std::unique_ptr<WindowSystem> windows;
    if (which == Windows::Sway) {
        windows = SwayWindowSystem::Open(error, std::move(xwayland));
    } else {
        windows = ForeignToplevelWindowSystem::Open(nullptr, error, std::move(xwayland));
    }
    EXPECT_TRUE(windows) << error;
    return windows;
}

std::unique_ptr<VirtualKeyboardInjector> OpenInjector(
    std::shared_ptr<XwaylandSync> xwayland = nullptr) {
    std::string error;
    auto injector = VirtualKeyboardInjector::Open(nullptr, error, std::move(xwayland));
    EXPECT_TRUE(injector) << error;
    return injector;
}

class WaylandKeys : public ::testing::TestWithParam<std::tuple<Windows, ClientKind>> {
protected:
    void SetUp() override {
        windowsKind_ = std::get<0>(GetParam());
        kind_ = std::get<1>(GetParam());
        // The session's XWayland watch, shared as the program shares it.
        auto xwayland = std::make_shared<XwaylandSync>();
        windows_ = OpenWindows(windowsKind_, xwayland);
        injector_ = OpenInjector(xwayland);
        ASSERT_TRUE(windows_ && injector_);
    }

    // Starts a target and waits until it is mapped and in sway's tree.
    std::unique_ptr<Target> Start(ClientKind kind, const std::string& stem) {
        auto target = std::make_unique<Target>(kind, UniqueName(stem));
        const bool up =
            WaitUntil([&] { return target->Ready() && sway_.ViewOf(target->Name()).has_value(); },
                      kStartBound);
        EXPECT_TRUE(up) << target->Name() << " did not come up";
        return target;
    }

    // Focuses `target` through sway directly (set-up, not under test) and
    // waits until the client itself reports the focus.
    void Focus(const Target& target) {
        ASSERT_TRUE(sway_.Command("[con_id=" + std::to_string(sway_.ViewOf(target.Name())->id) +
                                  "] focus"));
        ASSERT_TRUE(WaitUntil([&] { return target.HasFocus(); }, kLogBound))
            << target.Name() << " did not report the focus";
    }

    // A dispatch as the receive loop does it: remember the foreground, find
    // and activate the target, send, give the show state back, activate the
    // remembered window again.
    void Dispatch(std::string_view className, const std::vector<KeyStroke>& strokes) {
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

    Windows windowsKind_ = Windows::Sway;
    ClientKind kind_ = ClientKind::Native;
    Sway sway_;
    std::unique_ptr<WindowSystem> windows_;
    std::unique_ptr<VirtualKeyboardInjector> injector_;
};

// The burst arrives complete and in order in the target, which had the focus
// before the first key; the user's window has the focus again afterwards.
TEST_P(WaylandKeys, BurstArrivesCompleteInTheTargetAndTheFocusComesBack) {
    auto user = Start(ClientKind::Native, "User");
    auto target = Start(kind_, "Target");
    ASSERT_NO_FATAL_FAILURE(Focus(*user));
    const std::vector<Expected> expected = Burst255();
    ASSERT_EQ(expected.size(), 255u);

    const long long sent = NowMicros();
    Dispatch(target->Name(), Strokes(expected));
    // The batch ends with Shift down (255 is odd); let go of it, in the
    // user's window, which has the focus again.
    injector_->Send(std::vector<KeyStroke>{{0x10, true}});

    ASSERT_TRUE(WaitForKeys(*target, 255)) << target->Keys().size() << " of 255 keys arrived";
    std::vector<Logged> keys = target->Keys();
    keys.resize(255);
    EXPECT_EQ(Describe(keys), Describe(expected));
    EXPECT_TRUE(target->FocusedBeforeKey(0)) << "the first key came before the focus";
    ASSERT_TRUE(WaitForKeys(*user, 1));
    EXPECT_EQ(Describe(user->Keys()), std::vector<std::string>{"release Shift_L"})
        << "keys of the batch went to the user's window";

    // The focus is back with the user's window, in sway and in the client.
    EXPECT_EQ(windows_->Foreground(), windows_->FindByClass(user->Name()));
    EXPECT_TRUE(WaitUntil([&] { return user->HasFocus(); }, kLogBound));
    // An X target hears of it from XWayland, which may come a little after
    // the Wayland window heard from sway.
    EXPECT_TRUE(WaitUntil([&] { return !target->HasFocus(); }, kLogBound))
        << "the target kept the focus";

    if (keys.size() >= 255) {
        Figure(std::string(WindowsName(windowsKind_)) + "/" + KindName(kind_) +
               ": dispatch of 255 events (activation, send, focus back), last event " +
               std::to_string(keys[254].time - sent) + " us after the dispatch began");
    }
}

// The compositor's socket, as libwayland finds it from $WAYLAND_DISPLAY.
std::string CompositorSocket() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string display = name != nullptr ? name : "wayland-0";
    return display[0] == '/' ? display
                             : std::string(runtime != nullptr ? runtime : "") + "/" + display;
}

// Send returns once the compositor has handed every event of the batch to
// the focused window (for an X window: once XWayland has read them all): a
// round trip the target makes right after Send returns finds every event
// already there. The injector reaches the compositor over a link that holds
// its requests back for a while, so an injector that returned after a mere
// flush would leave the target's round trip (on its own, direct connection)
// with none of the batch's events. Several rounds, each a full key list.
TEST_P(WaylandKeys, SendReturnsOnceTheFocusedWindowHasBeenHandedEveryEvent) {
    auto target = Start(kind_, "Handed");
    ASSERT_NO_FATAL_FAILURE(Focus(*target));
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    ASSERT_NE(runtime, nullptr);
    qv::test::DelayedLink link(CompositorSocket(),
                               std::string(runtime) + "/" + UniqueName("slow-wayland"), 300ms);
    ASSERT_EQ(link.Error(), "");
    // The watch on XWayland, connected as the window system connects it once
    // an X window is the target.
    auto xwayland = std::make_shared<XwaylandSync>();
    if (kind_ == ClientKind::X) {
        ASSERT_TRUE(xwayland->Connect());
    }
    std::string error;
    const auto slow = VirtualKeyboardInjector::Open(link.Address().c_str(), error, xwayland);
    ASSERT_TRUE(slow) << error;
    std::vector<KeyStroke> batch;
    for (int i = 0; batch.size() < 254; ++i) {
        const auto vk = static_cast<std::int16_t>('A' + i % 26);
        batch.push_back({vk, false});
        batch.push_back({vk, true});
    }
    constexpr int kRounds = 3;
    for (int round = 1; round <= kRounds; ++round) {
        slow->Send(batch);
        ASSERT_TRUE(target->Sync()) << "round " << round << ": the target did not sync";
        EXPECT_EQ(target->KeysBeforeLastSync().size(), round * batch.size())
            << "round " << round << ": events came after Send had returned";
    }
    EXPECT_EQ(link.Connections(), 1);
}

// This session's XWayland: the process named Xwayland serving $DISPLAY, of
// this user (the session runs as an unprivileged user in namespaces of its
// own, where only its processes are seen); 0 when there is none.
pid_t XwaylandPid() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || getuid() == 0) {
        return 0;
    }
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        struct stat info {};
        std::string comm = ReadAll(entry.path() / "comm");
        std::string cmdline = ReadAll(entry.path() / "cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (comm == "Xwayland\n" && stat(entry.path().c_str(), &info) == 0 &&
            info.st_uid == getuid() &&
            (cmdline + " ").find(std::string(" ") + display + " ") != std::string::npos) {
            return static_cast<pid_t>(std::stoi(name));
        }
    }
    return 0;
}

// Keeps a process stopped while it lives.
class Stopped {
public:
    explicit Stopped(pid_t pid) : pid_(pid) { stopped_ = pid_ > 0 && kill(pid_, SIGSTOP) == 0; }
    ~Stopped() { Continue(); }
    Stopped(const Stopped&) = delete;
    Stopped& operator=(const Stopped&) = delete;
    bool IsStopped() const { return stopped_; }
    void Continue() {
        if (stopped_) {
            kill(pid_, SIGCONT);
            stopped_ = false;
        }
    }

private:
    pid_t pid_;
    bool stopped_ = false;
};

// For an X window, "handed every event" means XWayland has read the batch
// from the compositor: while XWayland is stopped, Send does not return, and
// once it goes on, the target finds every event there. (XWayland reads a
// batch within milliseconds, so a round trip right after Send cannot tell
// an injector that did not wait for it from one that did.)
class XwaylandKeys : public WaylandKeys {};

TEST_P(XwaylandKeys, SendForAnXWindowReturnsOnceXwaylandHasReadTheBatch) {
    auto target = Start(ClientKind::X, "Read");
    ASSERT_NO_FATAL_FAILURE(Focus(*target));
    // The watch on XWayland, connected as the window system connects it once
    // an X window is the target.
    auto xwayland = std::make_shared<XwaylandSync>();
    ASSERT_TRUE(xwayland->Connect());
    std::string error;
    const auto injector = VirtualKeyboardInjector::Open(nullptr, error, xwayland);
    ASSERT_TRUE(injector) << error;
    const pid_t server = XwaylandPid();
    ASSERT_GT(server, 0) << "XWayland's process was not found";
    std::vector<KeyStroke> batch;
    for (int i = 0; batch.size() < 254; ++i) {
        const auto vk = static_cast<std::int16_t>('A' + i % 26);
        batch.push_back({vk, false});
        batch.push_back({vk, true});
    }
    for (int round = 1; round <= 2; ++round) {
        std::atomic<bool> returned{false};
        bool returnedWhileStopped = false;
        {
            Stopped stopped(server);
            ASSERT_TRUE(stopped.IsStopped());
            std::thread send([&] {
                injector->Send(batch);
                returned = true;
            });
            returnedWhileStopped = WaitUntil([&] { return returned.load(); }, 1s);
            stopped.Continue();
            send.join();
        }
        EXPECT_FALSE(returnedWhileStopped)
            << "round " << round << ": Send returned before XWayland had read the batch";
        ASSERT_TRUE(target->Sync()) << "round " << round << ": the target did not sync";
        EXPECT_EQ(target->KeysBeforeLastSync().size(), round * batch.size()) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(XClients, XwaylandKeys,
                         ::testing::Combine(::testing::Values(Windows::Sway,
                                                              Windows::ForeignToplevel),
                                            ::testing::Values(ClientKind::X)),
                         [](const auto& info) { return WindowsName(std::get<0>(info.param)); });

// Ctrl+C: the target sees Control held when c arrives (the compositor
// derives no modifier state from a virtual keyboard's keys; the injector
// sends it). The X client shows it by the capitals typed with Shift held.
TEST_P(WaylandKeys, ModifierStateReachesTheTarget) {
    auto target = Start(kind_, "Mods");
    ASSERT_NO_FATAL_FAILURE(Focus(*target));
    injector_->Send(HeldModifiers());
    ExpectHeldModifiersArrived(*target, kind_);
}

// A class that no window has: nothing is activated and the keys go to the
// window that has the focus.
TEST_P(WaylandKeys, MissingTargetSendsToTheFocusedWindow) {
    auto focused = Start(kind_, "Focused");
    ASSERT_NO_FATAL_FAILURE(Focus(*focused));
    Dispatch("QvNoSuchWindowClass", {{'A', false}, {'A', true}});
    ASSERT_TRUE(WaitForKeys(*focused, 2));
    EXPECT_EQ(Describe(focused->Keys()), (std::vector<std::string>{"press a", "release a"}));
    EXPECT_TRUE(focused->HasFocus());
}

// Window classes are compared without regard to ASCII case.
TEST_P(WaylandKeys, FindsTheTargetIgnoringAsciiCase) {
    auto target = Start(kind_, "Case");
    std::string upper = target->Name();
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    const Window exact = windows_->FindByClass(target->Name());
    EXPECT_TRUE(exact);
    EXPECT_EQ(windows_->FindByClass(upper), exact);
    EXPECT_FALSE(windows_->FindByClass(target->Name() + "x"));
    EXPECT_EQ(windows_->GetShowState(exact), ShowState::Normal);
    EXPECT_EQ(windows_->GetShowState(Window{}), ShowState::Unknown);
}

INSTANTIATE_TEST_SUITE_P(AllBackends, WaylandKeys,
                         ::testing::Combine(::testing::Values(Windows::Sway,
                                                              Windows::ForeignToplevel),
                                            ::testing::Values(ClientKind::Native, ClientKind::X)),
                         [](const auto& info) {
                             return std::string(WindowsName(std::get<0>(info.param))) + "_" +
                                    KindName(std::get<1>(info.param));
                         });

// sway has no minimised state: a target hidden in the scratchpad counts as
// minimised. It is shown for the keys and goes back to the scratchpad.
class SwayScratchpad : public WaylandKeys {};

TEST_P(SwayScratchpad, ScratchpadTargetIsShownForTheKeysAndGoesBack) {
    auto user = Start(ClientKind::Native, "User");
    auto target = Start(kind_, "Hidden");
    ASSERT_TRUE(sway_.Command("[con_id=" + std::to_string(sway_.ViewOf(target->Name())->id) +
                              "] move scratchpad"));
    ASSERT_NO_FATAL_FAILURE(Focus(*user));
    const Window window = windows_->FindByClass(target->Name());
    ASSERT_TRUE(window) << "a window in the scratchpad is still found";
    EXPECT_EQ(windows_->GetShowState(window), ShowState::Minimized);

    Dispatch(target->Name(), {{'Z', false}, {'Z', true}});

    ASSERT_TRUE(WaitForKeys(*target, 2));
    EXPECT_EQ(Describe(target->Keys()), (std::vector<std::string>{"press z", "release z"}));
    EXPECT_TRUE(target->FocusedBeforeKey(0));
    const auto view = sway_.ViewOf(target->Name());
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->inScratchpad) << "the target did not go back to the scratchpad";
    EXPECT_EQ(windows_->GetShowState(window), ShowState::Minimized);
    EXPECT_EQ(windows_->Foreground(), windows_->FindByClass(user->Name()));
    EXPECT_TRUE(user->Keys().empty());
}

INSTANTIATE_TEST_SUITE_P(Sway, SwayScratchpad,
                         ::testing::Combine(::testing::Values(Windows::Sway),
                                            ::testing::Values(ClientKind::Native, ClientKind::X)),
                         [](const auto& info) { return KindName(std::get<1>(info.param)); });

// The compositor lost the first burst on a newly created virtual keyboard in
// about 4 of 10 runs before the keyboard was primed; every fresh keyboard
// here must deliver its first burst complete. Beside it, wtype types the
// same 255 key events (it makes a new keyboard per run as well).
class FirstBurst : public ::testing::TestWithParam<ClientKind> {};

TEST_P(FirstBurst, FirstBurstOnAFreshKeyboardIsComplete) {
    Sway sway;
    auto target = std::make_unique<Target>(GetParam(), UniqueName("Fresh"));
    ASSERT_TRUE(
        WaitUntil([&] { return target->Ready() && sway.ViewOf(target->Name()); }, kStartBound));
    // No keyboard exists yet: the target learns of its focus once the first
    // keyboard appears, which sway's tree shows at once.
    ASSERT_TRUE(
        sway.Command("[con_id=" + std::to_string(sway.ViewOf(target->Name())->id) + "] focus"));
    ASSERT_TRUE(WaitUntil([&] { return sway.ViewOf(target->Name())->focused; }, kLogBound));

    // For an X client the injector waits until XWayland has read each batch.
    auto xwayland = std::make_shared<XwaylandSync>();
    if (GetParam() == ClientKind::X) {
        ASSERT_TRUE(xwayland->Connect());
    }
    const std::vector<Expected> expected = Burst255();
    const std::vector<KeyStroke> strokes = Strokes(expected);
    constexpr int kRuns = 8;
    std::size_t before = 0;
    std::vector<long long> lastAfterSend;
    for (int run = 0; run < kRuns; ++run) {
        {
            auto injector = OpenInjector(xwayland);
            ASSERT_TRUE(injector);
            const long long sent = NowMicros();
            injector->Send(strokes);
            injector->Send(std::vector<KeyStroke>{{0x10, true}});
            ASSERT_TRUE(WaitForKeys(*target, before + 256))
                << "run " << run << ": " << target->Keys().size() - before << " of 256 keys";
            const std::vector<Logged> keys = target->Keys();
            auto want = Describe(expected);
            want.push_back("release Shift_L");
            EXPECT_EQ(Describe(keys, before), want) << "run " << run;
            lastAfterSend.push_back(keys[before + 254].time - sent);
            before = keys.size();
        }
    }
    std::sort(lastAfterSend.begin(), lastAfterSend.end());
    Figure(std::string(KindName(GetParam())) + ": first 255-event burst on a fresh keyboard, " +
           std::to_string(kRuns) + " of " + std::to_string(kRuns) +
           " complete; last event after the send: min " + std::to_string(lastAfterSend.front()) +
           " us, median " + std::to_string(lastAfterSend[lastAfterSend.size() / 2]) + " us, max " +
           std::to_string(lastAfterSend.back()) + " us");

    // The same burst on the kept keyboard (its keymap already in the target).
    auto injector = OpenInjector(xwayland);
    ASSERT_TRUE(injector);
    injector->Send(std::vector<KeyStroke>{{'A', false}, {'A', true}});
    ASSERT_TRUE(WaitForKeys(*target, before + 2));
    before = target->Keys().size();
    std::vector<long long> kept;
    for (int run = 0; run < kRuns; ++run) {
        const long long sent = NowMicros();
        injector->Send(strokes);
        injector->Send(std::vector<KeyStroke>{{0x10, true}});
        ASSERT_TRUE(WaitForKeys(*target, before + 256));
        const std::vector<Logged> keys = target->Keys();
        kept.push_back(keys[before + 254].time - sent);
        before = keys.size();
    }
    std::sort(kept.begin(), kept.end());
    Figure(std::string(KindName(GetParam())) +
           ": 255-event burst on the kept keyboard: " + "last event after the send: min " +
           std::to_string(kept.front()) + " us, median " + std::to_string(kept[kept.size() / 2]) +
           " us, max " + std::to_string(kept.back()) + " us");

    // wtype with the same key events, by keysym.
    std::vector<std::string> args = {"wtype"};
    for (const Expected& e : expected) {
        args.push_back(e.stroke.release ? "-p" : "-P");
        args.push_back(e.keysym);
    }
    args.push_back("-p");
    args.push_back("Shift_L");
    const long long started = NowMicros();
    Process wtype(args);
    ASSERT_TRUE(wtype.Started()) << "wtype did not start";
    const int status = wtype.Wait();
    const long long ended = NowMicros();
    // Whatever wtype delivered has arrived once its keyboard is gone and a
    // marker key of ours follows it.
    injector->Send(std::vector<KeyStroke>{{0x7B, false}, {0x7B, true}});  // F12
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto keys = target->Keys();
            return !keys.empty() && keys.back().keysym == "F12";
        },
        kLogBound));
    const std::vector<Logged> keys = target->Keys();
    const std::size_t arrived = keys.size() - before - 2;
    long long first = 0, last = 0;
    if (arrived > 0) {
        first = keys[before].time;
        last = keys[before + arrived - 1].time;
    }
    Figure(std::string(KindName(GetParam())) + ": wtype (exit " + std::to_string(status) +
           ") with the same 256 key events: " + std::to_string(arrived) + " arrived; " +
           std::to_string(ended - started) + " us from start to exit, first to last arrival " +
           std::to_string(last - first) + " us");

    // wtype typing the burst's characters as text, the way it is mostly used.
    std::string text;
    for (const Expected& e : expected) {
        if (!e.stroke.release && e.keysym.size() == 1) {
            text += e.keysym;
        }
    }
    before = target->Keys().size();
    const long long textStarted = NowMicros();
    Process wtypeText({"wtype", text});
    ASSERT_TRUE(wtypeText.Started());
    const int textStatus = wtypeText.Wait();
    const long long textEnded = NowMicros();
    injector->Send(std::vector<KeyStroke>{{0x7B, false}, {0x7B, true}});
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto keys = target->Keys();
            return keys.size() > before && keys.back().keysym == "F12";
        },
        kLogBound));
    Figure(std::string(KindName(GetParam())) + ": wtype (exit " + std::to_string(textStatus) +
           ") typing the burst's " + std::to_string(text.size()) + " characters as text: " +
           std::to_string(target->Keys().size() - before - 2) + " key events arrived; " +
           std::to_string(textEnded - textStarted) + " us from start to exit");
}

INSTANTIATE_TEST_SUITE_P(Clients, FirstBurst, ::testing::Values(ClientKind::Native, ClientKind::X),
                         [](const auto& info) { return KindName(info.param); });

// What the start-up probe sees in this session, and what it makes of it;
// without $SWAYSOCK sway passes for another wlroots compositor.
TEST(SessionProbe, SwayIsRecognisedAndWithoutItsSocketIsAWlrootsCompositor) {
    const SessionFacts facts = ProbeSession("/nonexistent/uinput");
    EXPECT_TRUE(facts.waylandDisplay);
    EXPECT_TRUE(facts.swaySocket);
    EXPECT_TRUE(facts.x11Display);
    EXPECT_TRUE(facts.virtualKeyboard);
    EXPECT_TRUE(facts.foreignToplevel);
    EXPECT_FALSE(facts.uinputWritable);
    EXPECT_EQ(ChooseKeysBackend(facts).backend, KeysBackend::Sway);

    const std::string socket = std::getenv("SWAYSOCK");
    unsetenv("SWAYSOCK");
    const SessionFacts other = ProbeSession("/nonexistent/uinput");
    setenv("SWAYSOCK", socket.c_str(), 1);
    EXPECT_FALSE(other.swaySocket);
    EXPECT_EQ(ChooseKeysBackend(other).backend, KeysBackend::Wlroots);
    EXPECT_TRUE(ChooseKeysBackend(other).switching);
}

}  // namespace
}  // namespace qv::wayland
