#pragma once
// Looks at the session the program runs in (environment, the Wayland
// compositor's globals, /dev/uinput) for ChooseKeysBackend; what the session
// bus tells is added by desktop::ProbeSessionBus.

#include "keys/wayland/KeysBackendChoice.h"

namespace qv::wayland {

// Connects to $WAYLAND_DISPLAY (when set) only to list its globals.
SessionFacts ProbeSession(const char* uinputPath = "/dev/uinput");

}  // namespace qv::wayland
