#include "keys/modKeyboard.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "keys/KeyNames.h"

namespace qv {
namespace {

// Scan codes (set 1, without the E0 prefix) of the US layout, indexed by
// virtual-key code; the codes that the layout does not map stay 0, as
// MapVirtualKeyA gives 0 for them.
constexpr std::array<std::uint16_t, 256> MakeScanCodeTable() {
    std::array<std::uint16_t, 256> t{};
    constexpr std::pair<int, std::uint16_t> kPairs[] = {
        {0x03, 0x46},  // CANCEL (Ctrl+Break)
        {0x08, 0x0E},
        {0x09, 0x0F},
        {0x0C, 0x4C},
        {0x0D, 0x1C},
        {0x10, 0x2A},
        {0x11, 0x1D},
        {0x12, 0x38},
        {0x13, 0x45},
        {0x14, 0x3A},
        {0x1B, 0x01},
        {0x20, 0x39},
        {0x21, 0x49},
        {0x22, 0x51},
        {0x23, 0x4F},
        {0x24, 0x47},
        {0x25, 0x4B},
        {0x26, 0x48},
        {0x27, 0x4D},
        {0x28, 0x50},
        {0x2C, 0x54},
        {0x2D, 0x52},
        {0x2E, 0x53},
        {0x2F, 0x63},
        {0x30, 0x0B},
        {0x31, 0x02},
        {0x32, 0x03},
        {0x33, 0x04},
        {0x34, 0x05},
        {0x35, 0x06},
        {0x36, 0x07},
        {0x37, 0x08},
        {0x38, 0x09},
        {0x39, 0x0A},
        {'A', 0x1E},
        {'B', 0x30},
        {'C', 0x2E},
        {'D', 0x20},
        {'E', 0x12},
        {'F', 0x21},
        {'G', 0x22},
        {'H', 0x23},
        {'I', 0x17},
        {'J', 0x24},
        {'K', 0x25},
        {'L', 0x26},
        {'M', 0x32},
        {'N', 0x31},
        {'O', 0x18},
        {'P', 0x19},
        {'Q', 0x10},
        {'R', 0x13},
        {'S', 0x1F},
        {'T', 0x14},
        {'U', 0x16},
        {'V', 0x2F},
        {'W', 0x11},
        {'X', 0x2D},
        {'Y', 0x15},
        {'Z', 0x2C},
        {0x5B, 0x5B},
        {0x5C, 0x5C},
        {0x5D, 0x5D},
        {0x5F, 0x5F},
        {0x60, 0x52},
        {0x61, 0x4F},
        {0x62, 0x50},
        {0x63, 0x51},
        {0x64, 0x4B},
        {0x65, 0x4C},
        {0x66, 0x4D},
        {0x67, 0x47},
        {0x68, 0x48},
        {0x69, 0x49},
        {0x6A, 0x37},
        {0x6B, 0x4E},
        {0x6D, 0x4A},
        {0x6E, 0x53},
        {0x6F, 0x35},
        {0x70, 0x3B},
        {0x71, 0x3C},
        {0x72, 0x3D},
        {0x73, 0x3E},
        {0x74, 0x3F},
        {0x75, 0x40},
        {0x76, 0x41},
        {0x77, 0x42},
        {0x78, 0x43},
        {0x79, 0x44},
        {0x7A, 0x57},
        {0x7B, 0x58},
        {0x7C, 0x64},
        {0x7D, 0x65},
        {0x7E, 0x66},
        {0x7F, 0x67},
        {0x80, 0x68},
        {0x81, 0x69},
        {0x82, 0x6A},
        {0x83, 0x6B},
        {0x84, 0x6C},
        {0x85, 0x6D},
        {0x86, 0x6E},
        {0x87, 0x76},
        {0x90, 0x45},
        {0x91, 0x46},
        {0xA0, 0x2A},
        {0xA1, 0x36},
        {0xA2, 0x1D},
        {0xA3, 0x1D},
        {0xA4, 0x38},
        {0xA5, 0x38},
        {0xA6, 0x6A},
        {0xA7, 0x69},
        {0xA8, 0x67},
        {0xA9, 0x68},
        {0xAA, 0x65},
        {0xAB, 0x66},
        {0xAC, 0x32},
        {0xAD, 0x20},
        {0xAE, 0x2E},
        {0xAF, 0x30},
        {0xB0, 0x19},
        {0xB1, 0x10},
        {0xB2, 0x24},
        {0xB3, 0x22},
        {0xB4, 0x6C},
        {0xB5, 0x6D},
        {0xB6, 0x6B},
        {0xB7, 0x21},
        // Punctuation of the main block (no names in key lists, but captured
        // keys such as [186] still carry their scan code).
        {0xBA, 0x27},
        {0xBB, 0x0D},
        {0xBC, 0x33},
        {0xBD, 0x0C},
        {0xBE, 0x34},
        {0xBF, 0x35},
        {0xC0, 0x29},
        {0xC1, 0x73},
        {0xC2, 0x7E},
        {0xDB, 0x1A},
        {0xDC, 0x2B},
        {0xDD, 0x1B},
        {0xDE, 0x28},
        {0xE2, 0x56},
    };
    for (const auto& [code, scan] : kPairs) {
        t[static_cast<std::size_t>(code)] = scan;
    }
    return t;
}

constexpr std::array<std::uint16_t, 256> kScanCodes = MakeScanCodeTable();

}  // namespace

std::uint16_t MapVirtualKeyA(std::int16_t code) {
    // MapVirtualKeyA takes an unsigned code: -1 arrives as 0xFFFFFFFF and,
    // like every code above 0xFF, maps to nothing.
    if (code < 0 || code > 0xFF) {
        return 0;
    }
    return kScanCodes[static_cast<std::size_t>(code)];
}

void SendKeyList(InputInjector& injector, std::string_view keyList) {
    if (keyList.empty()) {
        return;
    }
    const std::vector<KeyEvent> events = ReadKeyList(keyList);
    // Lists longer than kMaxKeyListEntries are sent whole: cutting them could
    // leave a key pressed whose release lies beyond the cut, and the platform
    // takes any number of records in one call.
    std::vector<std::int16_t> codes(events.size());
    std::vector<std::int16_t> releases(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        codes[i] = events[i].code;
        releases[i] = events[i].release ? 1 : 0;
    }
    SendKeyEvent(injector, static_cast<int>(events.size()), codes, releases);
}

void SendKeyEvent(InputInjector& injector, int n, std::span<const std::int16_t> codes,
                  std::span<const std::int16_t> releases) {
    const std::size_t count = std::min(
        {n < 0 ? std::size_t{0} : static_cast<std::size_t>(n), codes.size(), releases.size()});
    if (count == 0) {
        return;
    }
    std::vector<KeyboardInput> batch(count);
    for (std::size_t i = 0; i < count; ++i) {
        batch[i].wVk = codes[i];
        batch[i].wScan = MapVirtualKeyA(codes[i]);
        // Every record carries the extended-key flag, presses included.
        batch[i].dwFlags =
            releases[i] != 0 ? (kKeyEventExtendedKey | kKeyEventKeyUp) : kKeyEventExtendedKey;
    }
    injector.SendInput(batch);
}

}  // namespace qv
