#pragma once
// The remote table as the window and the receiver thread share it: the store
// command changes it on the GUI thread while the receive loop matches codes
// against it. Every use takes its lock; a match hands out a copy of the slot,
// so the keys are sent from that copy while the table may change.

#include <cstdint>
#include <mutex>
#include <optional>

#include "config/RemoteTable.h"

namespace qv {

class IniFile;

// A slot that matched a code, copied out of the table.
struct MatchedSlot {
    int number = 0;
    RemoteEntry entry;
};

class SharedRemoteTable {
public:
    // RemoteTable::Load: the start-up load; the first free slot number.
    int Load(const IniFile& file);
    // RemoteTable::Store: false, with no change, for a number outside 1..32767.
    bool Store(int n, const RemoteEntry& entry);
    // The first slot that matches the code, nullopt when none does.
    std::optional<MatchedSlot> Match(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) const;
    // The highest slot number (0 when the table is empty).
    int UpperIndex() const;
    // A copy of slot n (0..UpperIndex()); an empty entry outside.
    RemoteEntry Entry(int n) const;

private:
    mutable std::mutex lock_;
    RemoteTable table_;
};

}  // namespace qv
