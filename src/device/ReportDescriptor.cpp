#include "device/ReportDescriptor.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace qv {
namespace {

// Item prefixes with the size bits masked off: bTag (4 bits) and bType (2 bits).
constexpr std::uint8_t kMainInput = 0x80;
constexpr std::uint8_t kMainOutput = 0x90;
constexpr std::uint8_t kMainFeature = 0xB0;
constexpr std::uint8_t kGlobalReportSize = 0x74;
constexpr std::uint8_t kGlobalReportId = 0x84;
constexpr std::uint8_t kGlobalReportCount = 0x94;
constexpr std::uint8_t kGlobalPush = 0xA4;
constexpr std::uint8_t kGlobalPop = 0xB4;
constexpr std::uint8_t kLongItemPrefix = 0xFE;

// The global items that decide report sizes; Push and Pop save and restore them.
struct GlobalState {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

// Bits per report ID for one report type.
using BitsById = std::map<std::uint32_t, std::uint64_t>;

// Adds item bits to a report's total; a descriptor of absurd sizes saturates
// instead of wrapping round to a small, plausible length.
void AddBits(std::uint64_t& total, std::uint64_t bits) {
    total = bits > UINT64_MAX - total ? UINT64_MAX : total + bits;
}

std::int32_t LongestReport(const BitsById& bits) {
    if (bits.empty()) {
        return 0;
    }
    std::uint64_t longest = 0;
    for (const auto& [id, count] : bits) {
        longest = std::max(longest, count / 8 + (count % 8 != 0 ? 1 : 0));
    }
    // One byte for the report ID, also for unnumbered reports, as Windows counts.
    return static_cast<std::int32_t>(std::min<std::uint64_t>(longest + 1, INT32_MAX));
}

}  // namespace

std::optional<ReportLengths> ParseReportLengths(std::span<const std::uint8_t> descriptor) {
    GlobalState state;
    std::vector<GlobalState> stack;
    BitsById input;
    BitsById output;
    BitsById feature;
    bool numbered = false;

    std::size_t pos = 0;
    while (pos < descriptor.size()) {
        const std::uint8_t prefix = descriptor[pos];
        if (prefix == kLongItemPrefix) {
            // Long item: prefix, data size, tag, data. No long items are
            // defined; they carry nothing that sizes reports.
            if (pos + 3 > descriptor.size()) {
                return std::nullopt;
            }
            const std::size_t dataSize = descriptor[pos + 1];
            if (pos + 3 + dataSize > descriptor.size()) {
                return std::nullopt;
            }
            pos += 3 + dataSize;
            continue;
        }
        const std::size_t sizeCode = prefix & 0x03;
        const std::size_t dataSize = sizeCode == 3 ? 4 : sizeCode;
        if (pos + 1 + dataSize > descriptor.size()) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < dataSize; ++i) {
            value |= static_cast<std::uint32_t>(descriptor[pos + 1 + i]) << (8 * i);
        }
        pos += 1 + dataSize;

        const std::uint64_t bits = static_cast<std::uint64_t>(state.reportSize) * state.reportCount;
        switch (prefix & 0xFC) {
            case kMainInput:
                AddBits(input[state.reportId], bits);
                break;
            case kMainOutput:
                AddBits(output[state.reportId], bits);
                break;
            case kMainFeature:
                AddBits(feature[state.reportId], bits);
                break;
            case kGlobalReportSize:
                state.reportSize = value;
                break;
            case kGlobalReportCount:
                state.reportCount = value;
                break;
            case kGlobalReportId:
                state.reportId = value;
                numbered = true;
                break;
            case kGlobalPush:
                stack.push_back(state);
                break;
            case kGlobalPop:
                if (stack.empty()) {
                    return std::nullopt;
                }
                state = stack.back();
                stack.pop_back();
                break;
            default:
                break;  // usages, logical ranges, collections: no effect on sizes
        }
    }

    ReportLengths lengths;
    lengths.input = LongestReport(input);
    lengths.output = LongestReport(output);
    lengths.feature = LongestReport(feature);
    lengths.numbered = numbered;
    return lengths;
}

}  // namespace qv
