#pragma once
// Keystroke synthesis: a key list goes into the system's input stream as one
// batch, with no pause and nothing added.

#include <span>
#include <string_view>

#include "keys/InputInjector.h"

namespace qv {

// The number of entries a key list is meant to hold. Longer lists (they can
// only arise within one run) are still sent whole, in one batch.
inline constexpr int kMaxKeyListEntries = 255;

// Sends the strokes in one batch, codes without a key included (the backend
// skips them); no strokes send nothing.
void SendKeys(InputInjector& injector, std::span<const KeyStroke> strokes);

// Reads a key list in stored form and sends its strokes (SendKeys); for
// callers that hold the text only.
void SendKeyList(InputInjector& injector, std::string_view keyList);

}  // namespace qv
