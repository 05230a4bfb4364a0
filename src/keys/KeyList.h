#pragma once
// A key list as a slot keeps it: the stored text, as the configuration file
// holds it and the window shows it, and its strokes, read from that text
// once, when the slot is loaded or stored, not at every firing.

#include <span>
#include <string>
#include <vector>

#include "keys/KeyStroke.h"

namespace qv {

class KeyList {
public:
    KeyList() = default;
    // Reads `stored` (stored form, "D[CTRL], DC, UC, U[CTRL]").
    explicit KeyList(std::string stored);

    // The text as it was given.
    const std::string& Stored() const { return stored_; }
    // Its strokes, in order, codes without a key included.
    std::span<const KeyStroke> Strokes() const { return strokes_; }
    bool Empty() const { return strokes_.empty(); }

    friend bool operator==(const KeyList& a, const KeyList& b) { return a.stored_ == b.stored_; }

private:
    std::string stored_;
    std::vector<KeyStroke> strokes_;
};

}  // namespace qv
