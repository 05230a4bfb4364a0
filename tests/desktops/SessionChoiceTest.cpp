// Which backends a KDE Plasma or GNOME session gets, part by part, and how
// the desktop's names are read from the environment.

#include <gtest/gtest.h>

#include "keys/wayland/KeysBackendChoice.h"

namespace qv {
namespace {

SessionFacts Kde(bool fakeInput, bool plasmaWindows, bool uinput) {
    SessionFacts f;
    f.x11Display = true;
    f.waylandDisplay = true;
    f.kde = true;
    f.kwinFakeInput = fakeInput;
    f.plasmaWindows = plasmaWindows;
    f.uinputWritable = uinput;
    return f;
}

SessionFacts Gnome(bool remoteDesktop, bool extension, bool uinput) {
    SessionFacts f;
    f.x11Display = true;
    f.waylandDisplay = true;
    f.gnome = true;
    f.mutterRemoteDesktop = remoteDesktop;
    f.gnomeExtension = extension;
    f.uinputWritable = uinput;
    return f;
}

TEST(DesktopNames, XdgCurrentDesktopAndKdeFullSessionNameTheDesktop) {
    const auto read = [](const char* current, const char* full) {
        SessionFacts f;
        ReadDesktopNames(current, full, f);
        return std::pair{f.kde, f.gnome};
    };
    EXPECT_EQ(read("KDE", nullptr), std::pair(true, false));
    EXPECT_EQ(read("GNOME", nullptr), std::pair(false, true));
    EXPECT_EQ(read("ubuntu:GNOME", nullptr), std::pair(false, true));
    EXPECT_EQ(read("gnome", nullptr), std::pair(false, true));
    EXPECT_EQ(read("GNOME-Flashback:GNOME:", nullptr), std::pair(false, true));
    EXPECT_EQ(read(nullptr, "true"), std::pair(true, false));
    EXPECT_EQ(read("", ""), std::pair(false, false));
    EXPECT_EQ(read("sway", nullptr), std::pair(false, false));
    // Names that merely contain a desktop's are not it.
    EXPECT_EQ(read("KDEish:NOTGNOME", nullptr), std::pair(false, false));
    EXPECT_EQ(read(nullptr, nullptr), std::pair(false, false));
}

TEST(DesktopChoice, KdeWithItsGrantsUsesKWinsOwnMeansWithoutANotice) {
    const auto choice = ChooseKeysBackend(Kde(true, true, false));
    EXPECT_EQ(choice.backend, KeysBackend::Kde);
    EXPECT_EQ(choice.keys, KeysRoute::Desktop);
    EXPECT_EQ(choice.windows, WindowsRoute::Desktop);
    EXPECT_TRUE(choice.switching);
    EXPECT_TRUE(choice.notice.empty()) << choice.notice;
}

TEST(DesktopChoice, KdeWithoutItsGrantsSaysWhatToDoAndFallsBackPartByPart) {
    const auto none = ChooseKeysBackend(Kde(false, false, true));
    EXPECT_EQ(none.backend, KeysBackend::Kde);
    EXPECT_EQ(none.keys, KeysRoute::Uinput);
    EXPECT_EQ(none.windows, WindowsRoute::KWinScript);
    EXPECT_TRUE(none.switching);
    EXPECT_NE(none.notice.find("/usr/share/applications/quorvane.desktop"), std::string::npos);
    EXPECT_NE(none.notice.find("KWin scripting"), std::string::npos);
    EXPECT_NE(none.notice.find("uinput"), std::string::npos);

    // No uinput access: XTest through XWayland, and how to get access.
    const auto noUinput = ChooseKeysBackend(Kde(false, true, false));
    EXPECT_EQ(noUinput.keys, KeysRoute::XTest);
    EXPECT_EQ(noUinput.windows, WindowsRoute::Desktop);
    EXPECT_NE(noUinput.notice.find("X programs only"), std::string::npos);
    EXPECT_NE(noUinput.notice.find("60-quorvane-uinput.rules"), std::string::npos);
    EXPECT_EQ(noUinput.notice.find("KWin scripting"), std::string::npos);

    const auto keysOnly = ChooseKeysBackend(Kde(true, false, false));
    EXPECT_EQ(keysOnly.keys, KeysRoute::Desktop);
    EXPECT_EQ(keysOnly.windows, WindowsRoute::KWinScript);
}

TEST(DesktopChoice, GnomeWithTheExtensionSwitchesWithoutANotice) {
    const auto choice = ChooseKeysBackend(Gnome(true, true, false));
    EXPECT_EQ(choice.backend, KeysBackend::Gnome);
    EXPECT_EQ(choice.keys, KeysRoute::Desktop);
    EXPECT_EQ(choice.windows, WindowsRoute::Desktop);
    EXPECT_TRUE(choice.switching);
    EXPECT_TRUE(choice.notice.empty()) << choice.notice;
}

TEST(DesktopChoice, GnomeWithoutTheExtensionSendsToTheWindowInFrontAndSaysHowToEnableIt) {
    const auto choice = ChooseKeysBackend(Gnome(true, false, false));
    EXPECT_EQ(choice.backend, KeysBackend::Gnome);
    EXPECT_EQ(choice.keys, KeysRoute::Desktop);
    EXPECT_EQ(choice.windows, WindowsRoute::FocusedOnly);
    EXPECT_FALSE(choice.switching);
    EXPECT_NE(choice.notice.find("gnome-extensions enable quorvane-windows@quorvane"),
              std::string::npos);
    EXPECT_NE(choice.notice.find("next login"), std::string::npos);

    const auto noRemote = ChooseKeysBackend(Gnome(false, true, true));
    EXPECT_EQ(noRemote.keys, KeysRoute::Uinput);
    EXPECT_EQ(noRemote.windows, WindowsRoute::Desktop);
    EXPECT_NE(noRemote.notice.find("org.gnome.Mutter.RemoteDesktop"), std::string::npos);
}

TEST(DesktopChoice, SwayAndOtherWlrootsCompositorsAreUnchangedByDesktopNames) {
    SessionFacts sway = Kde(false, false, false);
    sway.virtualKeyboard = true;
    sway.swaySocket = true;
    EXPECT_EQ(ChooseKeysBackend(sway).backend, KeysBackend::Sway);
    SessionFacts wlroots = Gnome(false, false, false);
    wlroots.virtualKeyboard = true;
    EXPECT_EQ(ChooseKeysBackend(wlroots).backend, KeysBackend::Wlroots);
    // Without Wayland the desktop's names change nothing.
    SessionFacts x11 = Kde(true, true, true);
    x11.waylandDisplay = false;
    EXPECT_EQ(ChooseKeysBackend(x11).backend, KeysBackend::X11);
}

TEST(DesktopChoice, TheBackendOptionNamesTheDesktopAndItsFallbacksStillApply) {
    SessionFacts bare;
    bare.waylandDisplay = true;
    EXPECT_EQ(KeysBackendFromName("kde"), KeysBackend::Kde);
    EXPECT_EQ(KeysBackendFromName("gnome"), KeysBackend::Gnome);
    EXPECT_EQ(KeysBackendName(KeysBackend::Kde), "kde");
    EXPECT_EQ(KeysBackendName(KeysBackend::Gnome), "gnome");
    const auto kde = ChooseKeysBackend(bare, KeysBackend::Kde);
    EXPECT_EQ(kde.backend, KeysBackend::Kde);
    EXPECT_EQ(kde.windows, WindowsRoute::KWinScript);
    EXPECT_EQ(kde.keys, KeysRoute::XTest);
    const auto gnome = ChooseKeysBackend(Gnome(true, true, false), KeysBackend::Gnome);
    EXPECT_EQ(gnome.windows, WindowsRoute::Desktop);
}

}  // namespace
}  // namespace qv
