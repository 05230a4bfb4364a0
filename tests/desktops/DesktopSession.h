#pragma once
// What the KDE and GNOME system tests share: the desktop the session runs
// ($QV_DESKTOP from with-desktop.sh) and the backends under test opened for
// it. The target windows, processes, logs and key bursts are the Wayland
// tests' own (tests/wayland/SwaySession.h, tests/wayland/KeyBursts.h).

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../wayland/KeyBursts.h"
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
