// Which keystroke backends a session gets, row by row.

#include <gtest/gtest.h>

#include "keys/wayland/KeysBackendChoice.h"

namespace qv {
namespace {

SessionFacts X11Session() {
    SessionFacts f;
    f.x11Display = true;
    return f;
}

SessionFacts Wayland(bool sway, bool virtualKeyboard, bool foreignToplevel, bool uinput) {
    SessionFacts f;
    f.x11Display = true;  // XWayland
    f.waylandDisplay = true;
    f.swaySocket = sway;
    f.virtualKeyboard = virtualKeyboard;
    f.foreignToplevel = foreignToplevel;
    f.uinputWritable = uinput;
    return f;
}

TEST(KeysBackendChoice, AnX11SessionKeepsXTestAndEwmhWithoutANotice) {
    const auto choice = ChooseKeysBackend(X11Session());
    EXPECT_EQ(choice.backend, KeysBackend::X11);
    EXPECT_TRUE(choice.switching);
    EXPECT_TRUE(choice.notice.empty());
    // A sway socket or a writable /dev/uinput change nothing without Wayland.
    SessionFacts f = X11Session();
    f.swaySocket = true;
    f.uinputWritable = true;
    EXPECT_EQ(ChooseKeysBackend(f).backend, KeysBackend::X11);
}

TEST(KeysBackendChoice, SwayGetsTheVirtualKeyboardAndItsIpc) {
    const auto choice = ChooseKeysBackend(Wayland(true, true, true, true));
    EXPECT_EQ(choice.backend, KeysBackend::Sway);
    EXPECT_TRUE(choice.switching);
    EXPECT_TRUE(choice.notice.empty());
}

TEST(KeysBackendChoice, OtherWlrootsCompositorsGetTheForeignToplevelWindowList) {
    const auto choice = ChooseKeysBackend(Wayland(false, true, true, false));
    EXPECT_EQ(choice.backend, KeysBackend::Wlroots);
    EXPECT_TRUE(choice.switching);
    EXPECT_TRUE(choice.notice.empty());
    // Without the window list: keys still, switching not, and it is said.
    const auto bare = ChooseKeysBackend(Wayland(false, true, false, true));
    EXPECT_EQ(bare.backend, KeysBackend::Wlroots);
    EXPECT_FALSE(bare.switching);
    EXPECT_NE(bare.notice.find("not available"), std::string::npos);
}

TEST(KeysBackendChoice, OtherCompositorsGetUinputWhenItIsWritableAndAreToldSwitchingIsOff) {
    const auto choice = ChooseKeysBackend(Wayland(false, false, false, true));
    EXPECT_EQ(choice.backend, KeysBackend::Uinput);
    EXPECT_FALSE(choice.switching);
    EXPECT_NE(choice.notice.find("not available in this session"), std::string::npos);
    EXPECT_NE(choice.notice.find("layout"), std::string::npos);
}

TEST(KeysBackendChoice, WithoutUinputAccessXWaylandServesXProgramsAndTheWayToAccessIsSaid) {
    const auto choice = ChooseKeysBackend(Wayland(false, false, false, false));
    EXPECT_EQ(choice.backend, KeysBackend::X11);
    EXPECT_NE(choice.notice.find("X programs only"), std::string::npos);
    EXPECT_NE(choice.notice.find("60-quorvane-uinput.rules"), std::string::npos);
    EXPECT_NE(choice.notice.find("modprobe uinput"), std::string::npos);
}

TEST(KeysBackendChoice, TheBackendOptionWins) {
    const SessionFacts sway = Wayland(true, true, true, false);
    EXPECT_EQ(ChooseKeysBackend(sway, KeysBackend::X11).backend, KeysBackend::X11);
    EXPECT_EQ(ChooseKeysBackend(sway, KeysBackend::Wlroots).backend, KeysBackend::Wlroots);
    EXPECT_EQ(ChooseKeysBackend(X11Session(), KeysBackend::Sway).backend, KeysBackend::Sway);
    const auto uinput = ChooseKeysBackend(sway, KeysBackend::Uinput);
    EXPECT_EQ(uinput.backend, KeysBackend::Uinput);
    EXPECT_FALSE(uinput.switching);
    EXPECT_FALSE(uinput.notice.empty());
}

TEST(KeysBackendChoice, BackendNamesGoBothWays) {
    for (const KeysBackend b : {KeysBackend::X11, KeysBackend::Sway, KeysBackend::Wlroots,
                                KeysBackend::Uinput, KeysBackend::Kde, KeysBackend::Gnome}) {
        EXPECT_EQ(KeysBackendFromName(KeysBackendName(b)), b);
    }
    EXPECT_FALSE(KeysBackendFromName("X11"));
    EXPECT_FALSE(KeysBackendFromName(""));
    EXPECT_FALSE(KeysBackendFromName("GNOME"));
    EXPECT_FALSE(KeysBackendFromName("plasma"));
}

}  // namespace
}  // namespace qv
