#include "keys/desktop/SessionBusProbe.h"

#include "common/DebugLog.h"
#include "keys/desktop/SessionBus.h"
#include "keys/gnome/ShellExtension.h"

namespace qv::desktop {

void ProbeSessionBus(SessionFacts& facts) {
    std::string error;
    const auto bus = SessionBus::Open(error);
    if (!bus) {
        DebugLog("session: " + error);
        return;
    }
    if (bus->NameHasOwner("org.kde.KWin")) {
        facts.kde = true;
    }
    if (bus->NameHasOwner("org.gnome.Shell")) {
        facts.gnome = true;
    }
    facts.mutterRemoteDesktop = bus->NameHasOwner("org.gnome.Mutter.RemoteDesktop");
    facts.gnomeExtension = bus->NameHasOwner(gnome::kExtensionBusName);
}

}  // namespace qv::desktop
