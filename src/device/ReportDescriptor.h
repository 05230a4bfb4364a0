#pragma once
// Report lengths from a HID report descriptor, computed as Windows'
// HidP_GetCaps reports them: per report type, the largest report over all
// report IDs, in whole bytes, plus one byte for the report ID (also when the
// device's reports are unnumbered); 0 for a type without reports.

#include <cstdint>
#include <optional>
#include <span>

namespace qv {

struct ReportLengths {
    std::int32_t input = 0;
    std::int32_t output = 0;
    std::int32_t feature = 0;
    // True when the descriptor declares report IDs (reports then carry their
    // ID byte on the wire); false for unnumbered reports.
    bool numbered = false;
};

// Parses `descriptor`; nullopt when it is malformed (a truncated item, a Pop
// without a Push).
std::optional<ReportLengths> ParseReportLengths(std::span<const std::uint8_t> descriptor);

}  // namespace qv
