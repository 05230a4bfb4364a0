#include "keys/wayland/SessionProbe.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "common/DebugLog.h"
#include "keys/wayland/WaylandConnection.h"

namespace qv::wayland {
namespace {

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

SessionFacts ProbeSession(const char* uinputPath) {
    SessionFacts facts;
    facts.x11Display = EnvSet("DISPLAY");
    facts.swaySocket = EnvSet("SWAYSOCK");
    ReadDesktopNames(std::getenv("XDG_CURRENT_DESKTOP"), std::getenv("KDE_FULL_SESSION"), facts);
    if (EnvSet("WAYLAND_DISPLAY")) {
        std::string error;
        const auto connection = WaylandConnection::Connect(nullptr, error);
        if (connection) {
            facts.waylandDisplay = true;
            facts.virtualKeyboard = connection->Find("zwp_virtual_keyboard_manager_v1") != nullptr;
            facts.foreignToplevel = connection->Find("zwlr_foreign_toplevel_manager_v1") != nullptr;
            facts.kwinFakeInput = connection->Find("org_kde_kwin_fake_input") != nullptr;
            facts.plasmaWindows = connection->Find("org_kde_plasma_window_management") != nullptr;
        } else {
            DebugLog("session: $WAYLAND_DISPLAY is set but " + error);
        }
    }
    facts.uinputWritable = access(uinputPath, W_OK) == 0;
    return facts;
}

}  // namespace qv::wayland
