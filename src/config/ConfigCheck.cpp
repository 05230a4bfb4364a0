#include "config/ConfigCheck.h"

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "config/IniFile.h"
#include "config/RemoteTable.h"
#include "config/Settings.h"

namespace qv {
namespace {

std::string Quoted(std::string_view s) {
    return "\"" + std::string(s) + "\"";
}

const char* Why(PulseProblem p) {
    switch (p) {
        case PulseProblem::None:
            break;
        case PulseProblem::NoEntry:
            return "nothing is stored there";
        case PulseProblem::EmptyPart:
            return "a value between the commas is empty";
        case PulseProblem::NotANumber:
            return "a value is not a decimal number";
        case PulseProblem::ValueTooLarge:
            return "a value is above 255";
        case PulseProblem::TooManyValues:
            return "it has more than 129 values";
    }
    return "";
}

// A slot's values as one key: count in the top byte, values below.
std::uint32_t PrefixKey(const RemoteEntry& e, int count) {
    std::uint32_t key = static_cast<std::uint32_t>(count) << 24;
    for (int j = 0; j < count; ++j) {
        key |= static_cast<std::uint32_t>(e.pulse[static_cast<std::size_t>(j)]) << (8 * j);
    }
    return key;
}

void CheckSettings(const IniFile& file, std::vector<ConfigProblem>& out) {
    if (auto text = file.Find("General", "WindowChangeTime")) {
        const int index = RoundHalfEven(LeadingNumber(*text));
        if (index < 0 || index > 10) {
            out.push_back({0, "[General] WindowChangeTime=" + std::string(*text) +
                                  " is outside 0..10; 0 (no pause) is used"});
        }
    }
    for (const char* key : {"VendorID", "ProductID"}) {
        if (auto text = file.Find("HID", key)) {
            const std::int32_t id = ReadIdentifier(TrimSpaces(*text));
            if (id < -32768 || id > 32767) {
                out.push_back({0, std::string("[HID] ") + key + "=" + std::string(*text) +
                                      " matches no receiver (identifiers are 16-bit; write up "
                                      "to four hexadecimal digits after &H)"});
            }
        }
    }
}

void CheckSlots(const IniFile& file, const RemoteTable& table, std::vector<ConfigProblem>& out) {
    // Codes taken by an earlier slot: a later slot whose values begin with them never fires.
    std::unordered_map<std::uint32_t, int> taken;
    for (int n = 1; n <= table.UpperIndex(); ++n) {
        const RemoteEntry& e = table[n];
        const std::string section = RemoteSection(n);
        for (const char* key : {"AdjustTime", "AdjustPulse"}) {
            if (auto text = file.Find(section, key)) {
                const int value = RoundHalfEven(LeadingNumber(*text));
                if (value < 0 || value > 255) {
                    out.push_back({n, "slot " + std::to_string(n) + ": " + key + "=" +
                                          std::string(*text) + " is stored as " +
                                          (value < 0 ? "0" : "255")});
                }
            }
        }
        const std::string pulse = std::string(TrimSpaces(file.Find(section, "Pulse").value_or("")));
        const std::string head = "slot " + std::to_string(n) + " never fires: ";
        if (e.problem != PulseProblem::None) {
            out.push_back({n, head + "pulse text " + Quoted(pulse) + ": " + Why(e.problem)});
            continue;
        }
        if (e.pulseCount > kMatchedPulseValues) {
            out.push_back({n, head + "pulse text " + Quoted(pulse) + " has " +
                                  std::to_string(e.pulseCount) +
                                  " values; only slots of at most 3 values are matched"});
            continue;
        }
        if (e.pulse[0] == 0) {
            out.push_back({n, head + "its first value is 0, which the receiver never reports"});
            continue;
        }
        bool shadowed = false;
        for (int count = 1; count <= e.pulseCount && !shadowed; ++count) {
            auto it = taken.find(PrefixKey(e, count));
            if (it != taken.end()) {
                out.push_back({n, head + "slot " + std::to_string(it->second) +
                                      " comes first and matches every code this one would"});
                shadowed = true;
            }
        }
        if (!shadowed) {
            taken.emplace(PrefixKey(e, e.pulseCount), n);
        }
    }
}

// Slot sections that loading never reaches, or whose names are no slot number.
void CheckSections(const IniFile& file, const RemoteTable& table, std::vector<ConfigProblem>& out) {
    const int stop = table.UpperIndex() + 1;
    std::vector<int> beyond;
    std::unordered_map<std::string, int> seen;
    for (const std::string& name : file.SectionNames()) {
        std::string folded = name;
        for (char& c : folded) {
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
        if (++seen[folded] == 2) {
            out.push_back({0, "section [" + name +
                                  "] appears more than once; only the first is "
                                  "read"});
        }
        if (folded.rfind("remote", 0) != 0 || seen[folded] > 1) {
            continue;
        }
        const std::string_view digits = std::string_view(name).substr(6);
        bool isNumber = !digits.empty() && digits.size() <= 5 && digits.front() != '0';
        for (char c : digits) {
            isNumber = isNumber && c >= '0' && c <= '9';
        }
        const int n = isNumber ? std::stoi(std::string(digits)) : 0;
        if (!isNumber || n > kMaxSlot) {
            out.push_back({0, "section [" + name +
                                  "] is never read: slot sections are named "
                                  "Remote1 to Remote32767, without leading zeros"});
            continue;
        }
        if (n > stop && !TrimSpaces(file.Find(name, "Pulse").value_or("")).empty()) {
            beyond.push_back(n);
        }
    }
    if (!beyond.empty()) {
        std::string list;
        for (std::size_t i = 0; i < beyond.size() && i < 10; ++i) {
            list += (i == 0 ? "Remote" : ", Remote") + std::to_string(beyond[i]);
        }
        if (beyond.size() > 10) {
            list += ", …";
        }
        out.push_back({0, "loading stops at slot " + std::to_string(stop) +
                              ", which has no Pulse; " + std::to_string(beyond.size()) +
                              " later slot section(s) are ignored: " + list +
                              " (they load once the gap is filled)"});
    }
}

}  // namespace

std::vector<ConfigProblem> CheckConfig(const IniFile& file, const RemoteTable& table) {
    std::vector<ConfigProblem> out;
    CheckSettings(file, out);
    CheckSlots(file, table, out);
    CheckSections(file, table, out);
    return out;
}

}  // namespace qv
