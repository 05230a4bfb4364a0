// The choices the KDE and GNOME window systems make over a desktop's list of
// windows: which window a name finds, its show state, the user's list.

#include <gtest/gtest.h>

#include "keys/desktop/DesktopWindows.h"

namespace qv::desktop {
namespace {

DesktopWindow Make(std::uint64_t id, std::string appId, std::string instance = {},
                   std::string applicationId = {}) {
    DesktopWindow w;
    w.id = id;
    w.appId = std::move(appId);
    w.instance = std::move(instance);
    w.applicationId = std::move(applicationId);
    w.title = "window " + std::to_string(id);
    return w;
}

TEST(DesktopWindows, ANameFindsTheFrontMostWindowByAnyOfItsNamesIgnoringAsciiCase) {
    // KWin gives an X window's class lower-cased as its app_id.
    const std::vector<DesktopWindow> frontFirst = {
        Make(7, "firefox-esr", "Navigator"),
        Make(3, "xterm", "xterm"),
        Make(9, "org.gnome.Terminal", "gnome-terminal-server", "org.gnome.Terminal"),
        Make(4, "xterm", "xterm"),
    };
    EXPECT_EQ(PickByClass(frontFirst, "XTerm"), Window{3});
    EXPECT_EQ(PickByClass(frontFirst, "navigator"), Window{7});
    EXPECT_EQ(PickByClass(frontFirst, "GNOME-TERMINAL-SERVER"), Window{9});
    EXPECT_EQ(PickByClass(frontFirst, "org.gnome.terminal"), Window{9});
    EXPECT_FALSE(PickByClass(frontFirst, "xter"));
    EXPECT_FALSE(PickByClass(frontFirst, "xterm "));
    // An empty name finds nothing, not a window whose names are empty.
    EXPECT_FALSE(PickByClass({Make(5, "")}, ""));
    EXPECT_FALSE(PickByClass({}, "xterm"));
}

TEST(DesktopWindows, CaseFoldingIsAsciiOnly) {
    const std::vector<DesktopWindow> windows = {Make(1, "Ärger"), Make(2, "\xC3\xA4rger")};
    EXPECT_EQ(PickByClass(windows, "äRGER"), Window{2});
    EXPECT_FALSE(PickByClass({Make(1, "Ärger")}, "ärger"));
}

TEST(DesktopWindows, TheActiveWindowIsTheForeground) {
    std::vector<DesktopWindow> windows = {Make(1, "a"), Make(2, "b")};
    EXPECT_FALSE(ActiveWindow(windows));
    windows[1].active = true;
    EXPECT_EQ(ActiveWindow(windows), Window{2});
}

TEST(DesktopWindows, MinimisedWinsOverMaximisedAndFullscreenCountsAsMaximised) {
    DesktopWindow w = Make(1, "a");
    EXPECT_EQ(StateOf(w), ShowState::Normal);
    w.maximized = true;
    EXPECT_EQ(StateOf(w), ShowState::Maximized);
    w.minimized = true;
    EXPECT_EQ(StateOf(w), ShowState::Minimized);
    w.minimized = w.maximized = false;
    w.fullscreen = true;
    EXPECT_EQ(StateOf(w), ShowState::Maximized);
}

TEST(DesktopWindows, TheListNamesEachWindowAsItIsFound) {
    const std::vector<ListedWindow> listed =
        ListFrom({Make(1, "xterm", "xterm"), Make(2, "", "", "org.example.App"),
                  Make(3, "", "only-instance")});
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].window, Window{1});
    EXPECT_EQ(listed[0].className, "xterm");
    EXPECT_EQ(listed[0].title, "window 1");
    EXPECT_EQ(listed[1].className, "org.example.App");
    EXPECT_EQ(listed[2].className, "only-instance");
}

TEST(DesktopWindows, TheStackingOrderPutsTheTopWindowFirstAndUnlistedOnesLastNewestFirst) {
    const std::vector<DesktopWindow> announced = {Make(1, "a"), Make(2, "b"), Make(3, "c"),
                                                  Make(4, "d"), Make(5, "e")};
    // Bottom to top: 2, 4, 1; 3 and 5 are not in the order (yet).
    const auto sorted = FrontFirst(announced, {2, 4, 1});
    std::vector<std::uint64_t> ids;
    for (const DesktopWindow& w : sorted) {
        ids.push_back(w.id);
    }
    EXPECT_EQ(ids, (std::vector<std::uint64_t>{1, 4, 2, 5, 3}));
    // Ids in the order that no window has are ignored.
    EXPECT_EQ(FrontFirst({Make(1, "a")}, {99, 1, 98}).front().id, 1u);
    EXPECT_TRUE(FrontFirst({}, {1, 2}).empty());
}

}  // namespace
}  // namespace qv::desktop
