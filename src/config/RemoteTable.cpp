#include "config/RemoteTable.h"

#include <algorithm>

#include "config/IniFile.h"
#include "config/IniStore.h"
#include "config/Settings.h"

namespace qv {
namespace {

// A decimal number of digits only, with surrounding spaces; -1 when it is anything else,
// and `limit` + 1 when it is larger than `limit`.
long ParseDecimal(std::string_view text, long limit) {
    text = TrimSpaces(text);
    if (text.empty()) {
        return -1;
    }
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = std::min(value * 10 + (c - '0'), limit + 1);
    }
    return value;
}

int ReadNumber(const IniFile& file, const std::string& section, std::string_view key) {
    auto value = file.Find(section, key);
    return value ? RoundHalfEven(LeadingNumber(*value)) : 0;
}

std::string_view ReadText(const IniFile& file, const std::string& section, std::string_view key) {
    auto value = file.Find(section, key);
    return value ? TrimSpaces(*value) : std::string_view();
}

}  // namespace

std::uint8_t AdjustValue(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

std::optional<int> SlotNumber(std::string_view text) {
    const long n = ParseDecimal(text, kMaxSlot);
    if (n < 1 || n > kMaxSlot) {
        return std::nullopt;
    }
    return static_cast<int>(n);
}

std::string RemoteSection(int n) {
    return "Remote" + std::to_string(n);
}

void ParsePulseText(std::string_view pulseText, RemoteEntry& entry) {
    entry.problem = PulseProblem::None;
    entry.pulse.fill(0);
    std::size_t parts = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = pulseText.find(',', start);
        const std::string_view part = pulseText.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (parts < static_cast<std::size_t>(kMaxPulseValues)) {
            const long value = ParseDecimal(part, 255);
            PulseProblem problem = PulseProblem::None;
            if (TrimSpaces(part).empty()) {
                problem = PulseProblem::EmptyPart;
            } else if (value < 0) {
                problem = PulseProblem::NotANumber;
            } else if (value > 255) {
                problem = PulseProblem::ValueTooLarge;
            } else {
                entry.pulse[parts] = static_cast<std::uint8_t>(value);
            }
            if (entry.problem == PulseProblem::None) {
                entry.problem = problem;
            }
        } else {
            entry.problem = PulseProblem::TooManyValues;
        }
        ++parts;
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    entry.pulseCount =
        static_cast<std::uint8_t>(std::min(parts, static_cast<std::size_t>(kMaxPulseValues)));
}

RemoteTable::RemoteTable() {
    Reset();
}

void RemoteTable::Reset() {
    slots_.assign(1, RemoteEntry{});
    keys_.assign(1, MatchKey{});
}

bool RemoteTable::Store(int n, const RemoteEntry& entry) {
    if (n < 1 || n > kMaxSlot) {
        return false;
    }
    const auto slot = static_cast<std::size_t>(n);
    if (slot >= slots_.size()) {
        slots_.resize(slot + 1);
        keys_.resize(slot + 1);
    }
    slots_[slot] = entry;

    MatchKey key;
    if (entry.CanMatch()) {
        key.mask = 0;
        key.value = 0;
        for (int j = 0; j < entry.pulseCount; ++j) {
            key.mask |= 0xFFu << (8 * j);
            key.value |= static_cast<std::uint32_t>(entry.pulse[static_cast<std::size_t>(j)])
                         << (8 * j);
        }
    }
    keys_[slot] = key;
    return true;
}

int RemoteTable::Load(const IniFile& file) {
    Reset();
    const std::size_t most = std::min<std::size_t>(file.SectionCount(), kMaxSlot) + 1;
    slots_.reserve(most);
    keys_.reserve(most);
    for (int n = 1; n <= kMaxSlot; ++n) {
        const std::string section = RemoteSection(n);
        const std::string_view pulse = ReadText(file, section, "Pulse");
        if (pulse.empty()) {
            break;
        }
        RemoteEntry entry;
        entry.comment = ReadText(file, section, "Comment");
        ParsePulseText(pulse, entry);
        entry.adjustPulse = AdjustValue(ReadNumber(file, section, "AdjustPulse"));
        entry.adjustTime = AdjustValue(ReadNumber(file, section, "AdjustTime"));
        entry.windowName = ReadText(file, section, "WindowName");
        entry.keyList = KeyList(std::string(ReadText(file, section, "KeyList")));
        Store(n, entry);
    }
    return UpperIndex() + 1;
}

int RemoteTable::Load(IniStore& store) {
    LoadedIni loaded = store.Load();
    return Load(loaded.file);
}

int RemoteTable::Match(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) const {
    const std::uint32_t code = static_cast<std::uint32_t>(v0) |
                               (static_cast<std::uint32_t>(v1) << 8) |
                               (static_cast<std::uint32_t>(v2) << 16);
    const std::size_t count = keys_.size();
    for (std::size_t n = 1; n < count; ++n) {
        if ((code & keys_[n].mask) == keys_[n].value) {
            return static_cast<int>(n);
        }
    }
    return 0;
}

}  // namespace qv
