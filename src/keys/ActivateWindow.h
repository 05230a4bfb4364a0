#pragma once
// Brings a slot's target window to the foreground for a send of keys, and
// gives the foreground back afterwards (the receive loop calls it twice).

#include <cstdint>

#include "common/Clock.h"
#include "keys/WindowSystem.h"

namespace qv {

// Activates `target` and then waits delayMs on `clock` (a negative delay
// waits 0 ms) so that the target has taken the foreground before keys go out.
// Returns the target's show state as it was before the call, on every path,
// for the caller to hand back to SetShowState once the keys are sent.
// Changes nothing when the target already is the foreground window, when
// there is no foreground window or when there is no target.
ShowState ActivateWindow(WindowSystem& windows, Clock& clock, Window target, std::int16_t delayMs);

}  // namespace qv
