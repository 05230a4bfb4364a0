// fuzz_pulse: pulse texts and the matching of received codes against the remote table.
//
// Input: slots (a slot number text and a pulse text each), then codes of three values.
// Each pulse text is parsed once more by a plain reference; the table's answer for every
// code is checked against a scan of all slots with the reference's values.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "config/RemoteTable.h"

namespace {

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

// A number of digits only (spaces around allowed), or -1; values past `limit` give limit + 1.
long Decimal(std::string_view s, long limit) {
    s = TrimSpaces(s);
    if (s.empty() || s.find_first_not_of("0123456789") != std::string_view::npos) {
        return -1;
    }
    long value = 0;
    for (char c : s) {
        value = std::min(value * 10 + (c - '0'), limit + 1);
    }
    return value;
}

struct RefPulse {
    qv::PulseProblem problem = qv::PulseProblem::None;
    std::size_t parts = 0;
    std::vector<int> values;
};

// The pulse text rules, spelled out: split at every ','; at most 129 parts count; each
// part is a decimal number 0..255, spaces around it allowed; the first bad part names the
// problem, and more than 129 parts overrides it.
RefPulse RefParse(std::string_view text) {
    RefPulse r;
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ',') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    r.parts = parts.size();
    for (std::size_t i = 0; i < parts.size() && i < qv::kMaxPulseValues; ++i) {
        const long v = Decimal(parts[i], 255);
        qv::PulseProblem p = qv::PulseProblem::None;
        if (TrimSpaces(parts[i]).empty()) {
            p = qv::PulseProblem::EmptyPart;
        } else if (v < 0) {
            p = qv::PulseProblem::NotANumber;
        } else if (v > 255) {
            p = qv::PulseProblem::ValueTooLarge;
        }
        if (r.problem == qv::PulseProblem::None) {
            r.problem = p;
        }
        r.values.push_back(static_cast<int>(v));
    }
    if (parts.size() > qv::kMaxPulseValues) {
        r.problem = qv::PulseProblem::TooManyValues;
    }
    return r;
}

bool Fires(const RefPulse& r, const std::array<std::uint8_t, 3>& code) {
    if (r.problem != qv::PulseProblem::None || r.parts < 1 || r.parts > qv::kMatchedPulseValues) {
        return false;
    }
    for (std::size_t j = 0; j < r.parts; ++j) {
        if (r.values[j] != code[j]) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    qv::RemoteTable table;
    std::map<int, RefPulse> slots;  // what the reference says each stored slot holds
    const int count = input.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < count; ++i) {
        // Mostly small slot numbers; sometimes any text, as the editor's text box holds.
        const std::string number = input.ConsumeBool()
                                       ? std::to_string(input.ConsumeIntegralInRange(0, 40))
                                       : input.ConsumeRandomLengthString(8);
        const std::string pulse = input.ConsumeRandomLengthString(700);

        qv::RemoteEntry entry;
        qv::ParsePulseText(pulse, entry);
        const RefPulse ref = RefParse(pulse);
        QV_FUZZ_CHECK(entry.problem == ref.problem);
        QV_FUZZ_CHECK(entry.pulseCount == std::min<std::size_t>(ref.parts, qv::kMaxPulseValues));
        if (ref.problem == qv::PulseProblem::None) {
            for (std::size_t j = 0; j < ref.parts; ++j) {
                QV_FUZZ_CHECK(entry.pulse[j] == ref.values[j]);
            }
        }
        QV_FUZZ_CHECK(entry.CanMatch() ==
                      (ref.problem == qv::PulseProblem::None && ref.parts >= 1 && ref.parts <= 3));

        const long n = Decimal(number, qv::kMaxSlot);
        const std::optional<int> slot = qv::SlotNumber(number);
        QV_FUZZ_CHECK(slot.has_value() == (n >= 1 && n <= qv::kMaxSlot));
        const bool stored = slot && table.Store(*slot, entry);
        QV_FUZZ_CHECK(stored == slot.has_value());
        if (stored) {
            slots[static_cast<int>(n)] = ref;
        }
    }
    QV_FUZZ_CHECK(table.UpperIndex() == (slots.empty() ? 0 : slots.rbegin()->first));

    while (input.remaining_bytes() >= 3) {
        std::array<std::uint8_t, 3> code{};
        for (auto& v : code) {
            v = input.ConsumeIntegral<std::uint8_t>();
        }
        int expected = 0;
        for (const auto& [n, ref] : slots) {
            if (Fires(ref, code)) {
                expected = n;
                break;
            }
        }
        QV_FUZZ_CHECK(table.Match(code[0], code[1], code[2]) == expected);
    }
    // Codes made from the stored slots' own values, which random codes rarely hit.
    for (const auto& [n, ref] : slots) {
        if (ref.problem != qv::PulseProblem::None || ref.parts == 0 || ref.parts > 3) {
            continue;
        }
        std::array<std::uint8_t, 3> code{};
        for (std::size_t j = 0; j < ref.parts; ++j) {
            code[j] = static_cast<std::uint8_t>(ref.values[j]);
        }
        const int hit = table.Match(code[0], code[1], code[2]);
        QV_FUZZ_CHECK(hit >= 1 && hit <= n && Fires(slots.at(hit), code));
    }
    return 0;
}
