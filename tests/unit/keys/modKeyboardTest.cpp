#include "keys/modKeyboard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RecordingPorts.h"
#include "keys/KeyNames.h"

namespace qv {
namespace {

using test::RecordingInjector;

TEST(SendKeyList, EmptyTextSendsNothing) {
    RecordingInjector injector;
    SendKeyList(injector, "");
    EXPECT_TRUE(injector.batches.empty());
}

TEST(SendKeyList, ReturnPressAndReleaseInOneBatch) {
    RecordingInjector injector;
    SendKeyList(injector, "D[RETURN], U[RETURN]");
    ASSERT_EQ(injector.batches.size(), 1u);
    const std::vector<KeyboardInput> expected = {{0x0D, 0x1C, 1}, {0x0D, 0x1C, 3}};
    EXPECT_EQ(injector.batches[0], expected);
}

TEST(SendKeyList, NothingIsAddedOrDropped) {
    RecordingInjector injector;
    SendKeyList(injector, "D[SHIFT]");  // Shift stays down: no release is added
    SendKeyList(injector, "UA");        // a release without a press goes out too
    SendKeyList(injector, "DA");        // letters carry the extended-key flag as well
    ASSERT_EQ(injector.batches.size(), 3u);
    EXPECT_EQ(injector.batches[0], (std::vector<KeyboardInput>{{0x10, 0x2A, 1}}));
    EXPECT_EQ(injector.batches[1], (std::vector<KeyboardInput>{{0x41, 0x1E, 3}}));
    EXPECT_EQ(injector.batches[2], (std::vector<KeyboardInput>{{0x41, 0x1E, 1}}));
}

TEST(SendKeyList, UnknownAndEmptyNamesKeepTheirPlace) {
    RecordingInjector injector;
    SendKeyList(injector, "D[NOSUCHKEY]");
    SendKeyList(injector, "U[NOSUCHKEY]");
    SendKeyList(injector, "DA,,UA");
    ASSERT_EQ(injector.batches.size(), 3u);
    EXPECT_EQ(injector.batches[0], (std::vector<KeyboardInput>{{-1, 0, 1}}));
    EXPECT_EQ(static_cast<std::uint16_t>(injector.batches[0][0].wVk), 0xFFFF);
    EXPECT_EQ(injector.batches[1], (std::vector<KeyboardInput>{{-1, 0, 3}}));
    EXPECT_EQ(injector.batches[2],
              (std::vector<KeyboardInput>{{0x41, 0x1E, 1}, {0, 0, 3}, {0x41, 0x1E, 3}}));
}

TEST(SendKeyList, CtrlCChordInOrder) {
    RecordingInjector injector;
    SendKeyList(injector, "D[CTRL], DC, UC, U[CTRL]");
    ASSERT_EQ(injector.batches.size(), 1u);
    EXPECT_EQ(injector.batches[0],
              (std::vector<KeyboardInput>{
                  {0x11, 0x1D, 1}, {0x43, 0x2E, 1}, {0x43, 0x2E, 3}, {0x11, 0x1D, 3}}));
}

std::string LetterList(int entries) {
    std::string list;
    for (int i = 0; i < entries; ++i) {
        if (i != 0) {
            list += ", ";
        }
        list += (i % 2 == 0 ? "D" : "U");
        list += static_cast<char>('A' + (i / 2) % 26);
    }
    return list;
}

TEST(SendKeyList, LongListsGoOutWholeInOneCall) {
    for (int entries : {255, 256, 600}) {
        RecordingInjector injector;
        SendKeyList(injector, LetterList(entries));
        ASSERT_EQ(injector.batches.size(), 1u) << entries;
        ASSERT_EQ(injector.batches[0].size(), static_cast<std::size_t>(entries));
        for (int i = 0; i < entries; ++i) {
            const KeyboardInput& r = injector.batches[0][static_cast<std::size_t>(i)];
            EXPECT_EQ(r.wVk, 'A' + (i / 2) % 26) << i;
            EXPECT_EQ(r.dwFlags, i % 2 == 0 ? 1u : 3u) << i;
        }
    }
}

TEST(SendKeyEvent, SendsExactlyNRecords) {
    RecordingInjector injector;
    const std::vector<std::int16_t> codes = {0x41, 0x42, 0x43};
    const std::vector<std::int16_t> releases = {0, 1, 5};  // any non-zero flag is a release
    SendKeyEvent(injector, 3, codes, releases);
    SendKeyEvent(injector, 2, codes, releases);
    SendKeyEvent(injector, 0, codes, releases);  // nothing to send: no call
    SendKeyEvent(injector, 9, codes, releases);  // never reads past the arrays
    ASSERT_EQ(injector.batches.size(), 3u);
    EXPECT_EQ(injector.batches[0],
              (std::vector<KeyboardInput>{{0x41, 0x1E, 1}, {0x42, 0x30, 3}, {0x43, 0x2E, 3}}));
    EXPECT_EQ(injector.batches[1].size(), 2u);
    EXPECT_EQ(injector.batches[2].size(), 3u);
}

TEST(MapVirtualKeyA, UsLayoutScanCodes) {
    EXPECT_EQ(MapVirtualKeyA(0x0D), 0x1C);
    EXPECT_EQ(MapVirtualKeyA(0x1B), 0x01);
    EXPECT_EQ(MapVirtualKeyA('Q'), 0x10);
    EXPECT_EQ(MapVirtualKeyA('M'), 0x32);
    EXPECT_EQ(MapVirtualKeyA('0'), 0x0B);
    EXPECT_EQ(MapVirtualKeyA('1'), 0x02);
    EXPECT_EQ(MapVirtualKeyA(0x70), 0x3B);  // F1
    EXPECT_EQ(MapVirtualKeyA(0x7A), 0x57);  // F11
    EXPECT_EQ(MapVirtualKeyA(0x87), 0x76);  // F24
    EXPECT_EQ(MapVirtualKeyA(0x60), 0x52);  // NUMPAD0 shares the scan code of Insert
    EXPECT_EQ(MapVirtualKeyA(0xA1), 0x36);  // RSHIFT
    EXPECT_EQ(MapVirtualKeyA(0xA3), 0x1D);  // RCONTROL: the E0 prefix is not part of map type 0
    EXPECT_EQ(MapVirtualKeyA(0xAD), 0x20);  // VOLUME_MUTE
    EXPECT_EQ(MapVirtualKeyA(0xBA), 0x27);  // the ";" key, written [186]
}

TEST(MapVirtualKeyA, ZeroWhereTheLayoutHasNoKey) {
    for (int code : {-1, -32768, 0, 0x01, 0x02, 0x04, 0x05, 0x15, 0x19, 0x1C, 0x1D, 0x1F, 0x29,
                     0x2A, 0x2B, 0x6C, 0xFF, 0x100, 0x7FFF}) {
        EXPECT_EQ(MapVirtualKeyA(static_cast<std::int16_t>(code)), 0) << code;
    }
}

TEST(MapVirtualKeyA, EveryKeyOfTheMainBlockHasADistinctScanCode) {
    // Letters and digits are the keys of one physical key each.
    std::vector<int> seen;
    for (int code = '0'; code <= 'Z'; ++code) {
        if (code > '9' && code < 'A') {
            continue;
        }
        const int scan = MapVirtualKeyA(static_cast<std::int16_t>(code));
        EXPECT_NE(scan, 0) << code;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), scan), 0) << code;
        seen.push_back(scan);
    }
}

}  // namespace
}  // namespace qv
