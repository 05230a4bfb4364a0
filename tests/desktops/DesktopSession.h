#pragma once
// What the KDE and GNOME system tests share: the desktop the session runs
// ($QV_DESKTOP from with-desktop.sh), the backends under test opened for it,
// and a burst of key events that types the same on the session's US layout
// whichever desktop presses it. The target windows, processes and logs are
// the Wayland tests' own (tests/wayland/SwaySession.h).

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../wayland/SwaySession.h"
#include "common/AsciiCase.h"
#include "keys/InputInjector.h"
#include "keys/WindowSystem.h"
#include "keys/gnome/RemoteDesktopInjector.h"
#include "keys/gnome/ShellWindowSystem.h"
#include "keys/kde/FakeInputInjector.h"
#include "keys/kde/KWinScriptWindowSystem.h"
#include "keys/kde/PlasmaWindowSystem.h"
#include "keys/wayland/CompositorKeymap.h"
#include "keys/wayland/XwaylandSync.h"

namespace qv::desktop::test {

using namespace qv::wayland::test;

enum class Desktop { Kde, Gnome };

inline Desktop SessionDesktop() {
    const char* name = std::getenv("QV_DESKTOP");
    return name != nullptr && std::string(name) == "gnome" ? Desktop::Gnome : Desktop::Kde;
}

inline const char* DesktopName(Desktop d) {
    return d == Desktop::Kde ? "kde" : "gnome";
}

// The keys of the session's layout, as the compositor gives them to the
// seat's keyboard (the program reads them the same way).
inline std::unique_ptr<EvdevLayout> SessionKeymap() {
    std::string error;
    auto keymap = wayland::CompositorKeymap::Open(nullptr, error);
    EXPECT_TRUE(keymap && keymap->Layout() != nullptr) << "no layout from the compositor " << error;
    return keymap;
}

inline std::unique_ptr<InputInjector> OpenInjector(
    Desktop desktop, std::shared_ptr<wayland::XwaylandSync> xwayland) {
    std::string error;
    // The layout once the injector is there: mutter's headless seat gets
    // its first keyboard when the injector primes its session.
    if (desktop == Desktop::Kde) {
        auto injector = kde::FakeInputInjector::Open(nullptr, error, std::move(xwayland));
        EXPECT_TRUE(injector) << error;
        if (injector) {
            injector->UseLayout(SessionKeymap());
        }
        return injector;
    }
    auto injector = gnome::RemoteDesktopInjector::Open(error, std::move(xwayland));
    EXPECT_TRUE(injector) << error;
    if (injector) {
        injector->UseLayout(SessionKeymap());
    }
    return injector;
}

inline std::unique_ptr<WindowSystem> OpenWindows(Desktop desktop,
                                                 std::shared_ptr<wayland::XwaylandSync> xwayland) {
    std::string error;
    std::unique_ptr<WindowSystem> windows;
    if (desktop == Desktop::Kde) {
        windows = kde::PlasmaWindowSystem::Open(nullptr, error, std::move(xwayland));
    } else {
        windows = gnome::ShellWindowSystem::Open(error, std::move(xwayland));
    }
    EXPECT_TRUE(windows) << error;
    return windows;
}

// One key event as the batch sends it and as the target should log it.
struct Expected {
    KeyStroke stroke;
    std::string keysym;
};

inline Expected Press(std::int16_t vk, std::string keysym) {
    return {{vk, false}, std::move(keysym)};
}
inline Expected Release(std::int16_t vk, std::string keysym) {
    return {{vk, true}, std::move(keysym)};
}

// 255 events, as long as a key list gets: Ctrl+C, a browser key, capitals
// typed with Shift held, then small letters and digits; the last event
// presses Shift, which the next batch lets go of.
inline std::vector<Expected> Burst255() {
    std::vector<Expected> e = {
        Press(0x11, "Control_L"),   Press('C', "c"),         Release('C', "c"),
        Release(0x11, "Control_L"), Press(0xA6, "XF86Back"), Release(0xA6, "XF86Back"),
        Press(0x10, "Shift_L"),
    };
    for (char c = 'A'; c <= 'Z'; ++c) {
        e.push_back(Press(c, std::string(1, c)));
        e.push_back(Release(c, std::string(1, c)));
    }
    e.push_back(Release(0x10, "Shift_L"));
    const std::string small = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (std::size_t i = 0; e.size() < 254; ++i) {
        const char c = small[i % small.size()];
        const auto vk = static_cast<std::int16_t>(c >= 'a' ? c - 'a' + 'A' : c);
        e.push_back(Press(vk, std::string(1, c)));
        e.push_back(Release(vk, std::string(1, c)));
    }
    e.push_back(Press(0x10, "Shift_L"));
    return e;
}

inline std::vector<KeyStroke> Strokes(const std::vector<Expected>& expected) {
    std::vector<KeyStroke> strokes;
    for (const Expected& e : expected) {
        strokes.push_back(e.stroke);
    }
    return strokes;
}

inline std::vector<std::string> Describe(const std::vector<Expected>& expected) {
    std::vector<std::string> out;
    for (const Expected& e : expected) {
        out.push_back(std::string(e.stroke.release ? "release " : "press ") + e.keysym);
    }
    return out;
}

inline std::string Upper(std::string text) {
    for (char& c : text) {
        c = AsciiUpper(c);
    }
    return text;
}

inline std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Percentile of sorted figures.
inline long long Percentile(const std::vector<long long>& sorted, int percent) {
    if (sorted.empty()) {
        return 0;
    }
    const std::size_t at = (sorted.size() - 1) * static_cast<std::size_t>(percent) / 100;
    return sorted[at];
}

}  // namespace qv::desktop::test
