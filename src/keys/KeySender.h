#pragma once
// Keystroke synthesis: a key list in stored form goes into the system's input
// stream as one batch, with no pause and nothing added.

#include <cstdint>
#include <span>
#include <string_view>

#include "keys/InputInjector.h"

namespace qv {

// The number of entries a key list is meant to hold. Longer lists (they can
// only arise within one run) are still sent whole, in one batch.
inline constexpr int kMaxKeyListEntries = 255;

// Reads a stored key list and sends all of its events in one batch; an empty
// text sends nothing.
void SendKeyList(InputInjector& injector, std::string_view keyList);

// Sends n events (codes[i], releases[i] != 0 for a release) in one batch.
// n is clamped to the shorter array; n < 1 sends nothing.
void SendKeyEvent(InputInjector& injector, int n, std::span<const std::int16_t> codes,
                  std::span<const std::int16_t> releases);

}  // namespace qv
