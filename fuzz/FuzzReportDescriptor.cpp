// fuzz_report_descriptor: report lengths from a HID report descriptor (what a device
// tells about itself).
//
// The input is the descriptor. A second parser written straight from the item format
// (short items: one prefix byte whose low two bits give 0, 1, 2 or 4 data bytes; long
// items: 0xFE, a size byte, a tag byte, data) sums the bits of every Input, Output and
// Feature item per report ID in 128 bits; the lengths must agree with it: per type, the
// longest report in whole bytes plus the ID byte, capped at INT32_MAX.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "device/ReportDescriptor.h"

namespace {

using Bits = unsigned __int128;

struct RefLengths {
    std::int32_t input = 0, output = 0, feature = 0;
    bool numbered = false;
};

std::int32_t Longest(const std::map<std::uint32_t, Bits>& byId) {
    if (byId.empty()) {
        return 0;
    }
    Bits most = 0;
    for (const auto& [id, bits] : byId) {
        most = std::max(most, (bits + 7) / 8 + 1);
    }
    return most > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(most);
}

std::optional<RefLengths> RefParse(std::span<const std::uint8_t> d) {
    struct Globals {
        std::uint32_t size = 0, count = 0, id = 0;
    } g;
    std::vector<Globals> stack;
    std::map<std::uint32_t, Bits> in, out, feat;
    RefLengths r;
    for (std::size_t i = 0; i < d.size();) {
        if (d[i] == 0xFE) {
            if (d.size() - i < 3 || d.size() - i - 3 < d[i + 1]) {
                return std::nullopt;
            }
            i += 3 + d[i + 1];
            continue;
        }
        const std::size_t n = (d[i] & 3) == 3 ? 4 : (d[i] & 3);
        if (d.size() - i - 1 < n) {
            return std::nullopt;
        }
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < n; ++k) {
            v |= std::uint32_t{d[i + 1 + k]} << (8 * k);
        }
        const std::uint8_t tag = d[i] & 0xFC;
        i += 1 + n;
        const Bits bits = Bits{g.size} * g.count;
        if (tag == 0x80) {
            in[g.id] += bits;
        } else if (tag == 0x90) {
            out[g.id] += bits;
        } else if (tag == 0xB0) {
            feat[g.id] += bits;
        } else if (tag == 0x74) {
            g.size = v;
        } else if (tag == 0x94) {
            g.count = v;
        } else if (tag == 0x84) {
            g.id = v;
            r.numbered = true;
        } else if (tag == 0xA4) {
            stack.push_back(g);
        } else if (tag == 0xB4) {
            if (stack.empty()) {
                return std::nullopt;
            }
            g = stack.back();
            stack.pop_back();
        }
    }
    r.input = Longest(in);
    r.output = Longest(out);
    r.feature = Longest(feat);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> descriptor(data, size);
    const std::optional<qv::ReportLengths> got = qv::ParseReportLengths(descriptor);
    const std::optional<RefLengths> want = RefParse(descriptor);
    QV_FUZZ_CHECK(got.has_value() == want.has_value());
    if (got) {
        QV_FUZZ_CHECK(got->input == want->input);
        QV_FUZZ_CHECK(got->output == want->output);
        QV_FUZZ_CHECK(got->feature == want->feature);
        QV_FUZZ_CHECK(got->numbered == want->numbered);
    }
    return 0;
}
