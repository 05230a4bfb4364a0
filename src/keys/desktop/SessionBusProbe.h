#pragma once
// What the session bus tells about the desktop, for ChooseKeysBackend:
// whether KWin, GNOME Shell, mutter's remote desktop and the program's Shell
// extension are there.

#include "keys/wayland/KeysBackendChoice.h"

namespace qv::desktop {

// Adds to `facts` what the session bus shows; leaves them as they are when
// there is no session bus.
void ProbeSessionBus(SessionFacts& facts);

}  // namespace qv::desktop
