#pragma once
// Brings a target window to the foreground for a send of keys.

#include <cstdint>

#include "keys/WindowSystem.h"

namespace qv {

// Activates `target` (attaching input threads, zero foreground lock timeout,
// topmost and back) and then waits delayMs (a negative delay waits 0 ms).
// Returns the target's show state as it was before the call (0 when
// unreadable), on every path. Does nothing more when the target already is the
// foreground window or when either window has no owning thread.
int ActivateWindow(WindowSystem& windows, HWND target, std::int16_t delayMs);

}  // namespace qv
