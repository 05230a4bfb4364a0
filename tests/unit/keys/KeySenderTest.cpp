#include "keys/KeySender.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordingPorts.h"

namespace qv {
namespace {

using test::RecordingInjector;
using Batch = std::vector<KeyStroke>;

constexpr bool kPress = false;
constexpr bool kRelease = true;

TEST(SendKeyList, EmptyTextSendsNothing) {
    RecordingInjector injector;
    SendKeyList(injector, "");
    EXPECT_TRUE(injector.batches.empty());
}

TEST(SendKeyList, ReturnPressAndReleaseInOneBatch) {
    RecordingInjector injector;
    SendKeyList(injector, "D[RETURN], U[RETURN]");
    ASSERT_EQ(injector.batches.size(), 1u);
    EXPECT_EQ(injector.batches[0], (Batch{{0x0D, kPress}, {0x0D, kRelease}}));
}

TEST(SendKeyList, NothingIsAddedOrDropped) {
    RecordingInjector injector;
    SendKeyList(injector, "D[SHIFT]");  // Shift stays down: no release is added
    SendKeyList(injector, "UA");        // a release without a press goes out too
    SendKeyList(injector, "dA");        // only a capital D is a press
    ASSERT_EQ(injector.batches.size(), 3u);
    EXPECT_EQ(injector.batches[0], (Batch{{0x10, kPress}}));
    EXPECT_EQ(injector.batches[1], (Batch{{0x41, kRelease}}));
    EXPECT_EQ(injector.batches[2], (Batch{{0x41, kRelease}}));
}

TEST(SendKeyList, UnknownAndEmptyNamesKeepTheirPlace) {
    RecordingInjector injector;
    SendKeyList(injector, "D[NOSUCHKEY]");
    SendKeyList(injector, "U[186]");  // a captured key without a name reads as -1 too
    SendKeyList(injector, "DA,,UA");
    ASSERT_EQ(injector.batches.size(), 3u);
    EXPECT_EQ(injector.batches[0], (Batch{{-1, kPress}}));
    EXPECT_EQ(injector.batches[1], (Batch{{-1, kRelease}}));
    EXPECT_EQ(injector.batches[2], (Batch{{0x41, kPress}, {0, kRelease}, {0x41, kRelease}}));
}

TEST(SendKeyList, CtrlCChordInOrder) {
    RecordingInjector injector;
    SendKeyList(injector, "D[CTRL], DC, UC, U[CTRL]");
    ASSERT_EQ(injector.batches.size(), 1u);
    EXPECT_EQ(injector.batches[0],
              (Batch{{0x11, kPress}, {0x43, kPress}, {0x43, kRelease}, {0x11, kRelease}}));
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
            const KeyStroke& s = injector.batches[0][static_cast<std::size_t>(i)];
            EXPECT_EQ(s.virtualKey, 'A' + (i / 2) % 26) << i;
            EXPECT_EQ(s.release, i % 2 == 1) << i;
        }
    }
}

TEST(SendKeyEvent, SendsExactlyNEvents) {
    RecordingInjector injector;
    const std::vector<std::int16_t> codes = {0x41, 0x42, 0x43};
    const std::vector<std::int16_t> releases = {0, 1, 5};  // any non-zero flag is a release
    SendKeyEvent(injector, 3, codes, releases);
    SendKeyEvent(injector, 2, codes, releases);
    SendKeyEvent(injector, 0, codes, releases);                      // nothing to send: no call
    SendKeyEvent(injector, -4, codes, releases);                     // nor for a negative count
    SendKeyEvent(injector, 9, codes, releases);                      // never reads past the arrays
    SendKeyEvent(injector, 3, codes, std::vector<std::int16_t>{1});  // the shorter array counts
    ASSERT_EQ(injector.batches.size(), 4u);
    EXPECT_EQ(injector.batches[0], (Batch{{0x41, kPress}, {0x42, kRelease}, {0x43, kRelease}}));
    EXPECT_EQ(injector.batches[1], (Batch{{0x41, kPress}, {0x42, kRelease}}));
    EXPECT_EQ(injector.batches[2].size(), 3u);
    EXPECT_EQ(injector.batches[3], (Batch{{0x41, kRelease}}));
}

}  // namespace
}  // namespace qv
