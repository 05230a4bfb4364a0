#pragma once
// The remote table: the stored slots that received codes are matched against.
// Slot 0 always exists and never holds an entry; slot n holds section "Remote<n>".
// The table is filled from the configuration file at start-up and afterwards changed
// only by Store (the entry editor's store command).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keys/KeyList.h"

namespace qv {

class IniFile;
class IniStore;

inline constexpr int kMaxPulseValues = 129;
// Slot numbers are 16-bit signed: 1..32767.
inline constexpr int kMaxSlot = 32767;
// Values compared when matching; a slot with more values never matches.
inline constexpr int kMatchedPulseValues = 3;

// Why a slot's pulse text keeps it from ever firing. The slot stays in the table (slot
// numbers stay aligned and the editor can show it), only matching skips it.
enum class PulseProblem : std::uint8_t {
    None,           // the pulse text is sound
    NoEntry,        // a slot inside a gap: nothing was stored there
    EmptyPart,      // a part between commas is empty (or only spaces)
    NotANumber,     // a part is not a decimal number
    ValueTooLarge,  // a part is above 255
    TooManyValues,  // more than 129 parts; only the first 129 are kept
};

// One stored slot.
struct RemoteEntry {
    std::string comment;
    std::array<std::uint8_t, kMaxPulseValues> pulse{};
    std::uint8_t pulseCount = 0;   // parts of the pulse text (at most 129)
    std::uint8_t adjustPulse = 0;  // kept, consulted by nothing
    std::uint8_t adjustTime = 0;   // repeat-suppression time in seconds
    std::string windowName;        // target window class, empty: the foreground window
    KeyList keyList;               // the stored text and its strokes
    PulseProblem problem = PulseProblem::NoEntry;

    // Whether this slot can ever match a code: a sound pulse text of 1..3 values.
    bool CanMatch() const {
        return problem == PulseProblem::None && pulseCount >= 1 &&
               pulseCount <= kMatchedPulseValues;
    }
};

class RemoteTable {
public:
    RemoteTable();

    // Back to slot 0 only.
    void Reset();
    // The highest slot number (the number of stored slots; 0 when empty).
    int UpperIndex() const { return static_cast<int>(slots_.size()) - 1; }
    // Slot `n`, 0..UpperIndex().
    const RemoteEntry& operator[](int n) const { return slots_[static_cast<std::size_t>(n)]; }

    // Stores `entry` (its pulse read with ParsePulseText) into slot n. A number past the
    // end grows the table to it (gap slots stay empty and never fire). False, with no
    // change, when n is outside 1..32767.
    bool Store(int n, const RemoteEntry& entry);

    // The start-up load from a parsed file: resets the table, then reads Remote1, Remote2, …
    // up to the first section without Pulse (a value of only spaces counts as empty).
    // Returns the first free slot number, for the editor's slot number box.
    int Load(const IniFile& file);
    // The same, reading the store's INI file once (a missing or unreadable file: no slots).
    int Load(IniStore& store);

    // The first slot n >= 1 that matches the code, 0 when none does (linear scan).
    int Match(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) const;

private:
    // What matching compares, packed: a code (v0 | v1 << 8 | v2 << 16) matches slot n when
    // (code & mask) == value. A slot that can never fire has mask 0 and value 1.
    struct MatchKey {
        std::uint32_t mask = 0;
        std::uint32_t value = 1;
    };

    std::vector<RemoteEntry> slots_;
    std::vector<MatchKey> keys_;  // one per slot, kept beside the entries for a compact scan
};

// Splits a pulse text into an entry's Pulse, PulseCount and Problem.
void ParsePulseText(std::string_view pulseText, RemoteEntry& entry);
// The slot number of a text (decimal digits, blanks around them allowed); nullopt when
// it is not a whole number in 1..32767.
std::optional<int> SlotNumber(std::string_view text);
// An adjust value as a slot keeps it: clamped to 0..255.
std::uint8_t AdjustValue(int value);
// The section name of slot n: "Remote" followed by n in decimal.
std::string RemoteSection(int n);

}  // namespace qv
