#pragma once
// One key press or release of a key list, as parsed and as sent.

#include <cstdint>

namespace qv {

// A Windows virtual-key code pressed or released. Codes that are no key (-1
// for a name outside the vocabulary, 0 for an empty one) keep their place:
// the backends send nothing for codes they have no key for.
struct KeyStroke {
    std::int16_t virtualKey = 0;
    bool release = false;  // false for a press ("D"), true for anything else
    friend bool operator==(const KeyStroke&, const KeyStroke&) = default;
};

}  // namespace qv
