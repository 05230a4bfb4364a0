#include "keys/KeySender.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordingPorts.h"
#include "keys/KeyList.h"

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
    SendKeyList(injector, "U[255]");  // no key code: unknown as well
    SendKeyList(injector, "DA,,UA");
    ASSERT_EQ(injector.batches.size(), 3u);
    EXPECT_EQ(injector.batches[0], (Batch{{-1, kPress}}));
    EXPECT_EQ(injector.batches[1], (Batch{{-1, kRelease}}));
    EXPECT_EQ(injector.batches[2], (Batch{{0x41, kPress}, {0, kRelease}, {0x41, kRelease}}));
}

TEST(SendKeyList, CapturedKeysWithoutANameAreSentByTheirCode) {
    RecordingInjector injector;
    SendKeyList(injector, "D[SHIFT], D[186], U[186], U[SHIFT], D[243], U[243]");
    ASSERT_EQ(injector.batches.size(), 1u);
    EXPECT_EQ(injector.batches[0], (Batch{{0x10, kPress},
                                          {0xBA, kPress},
                                          {0xBA, kRelease},
                                          {0x10, kRelease},
                                          {0xF3, kPress},
                                          {0xF3, kRelease}}));
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

TEST(SendKeys, ParsedStrokesGoOutAsTheyAreInOneBatch) {
    RecordingInjector injector;
    const KeyList list("D[CTRL], DC, UC, U[CTRL], D[NOSUCHKEY]");
    SendKeys(injector, list.Strokes());
    SendKeys(injector, list.Strokes());       // the same parsed list fires again unchanged
    SendKeys(injector, KeyList().Strokes());  // nothing to send: no call
    SendKeys(injector, KeyList("").Strokes());
    ASSERT_EQ(injector.batches.size(), 2u);
    const Batch expected = {
        {0x11, kPress}, {0x43, kPress}, {0x43, kRelease}, {0x11, kRelease}, {-1, kPress}};
    EXPECT_EQ(injector.batches[0], expected);
    EXPECT_EQ(injector.batches[1], expected);
}

TEST(KeyList, KeepsItsTextAndTheStrokesReadFromIt) {
    const KeyList list(" D[RETURN] ,U[return],UX");
    EXPECT_EQ(list.Stored(), " D[RETURN] ,U[return],UX");
    EXPECT_EQ(Batch(list.Strokes().begin(), list.Strokes().end()),
              (Batch{{0x0D, kPress}, {0x0D, kRelease}, {0x58, kRelease}}));
    EXPECT_FALSE(list.Empty());
    EXPECT_TRUE(KeyList().Empty());
    EXPECT_TRUE(KeyList("").Stored().empty());
    // A copy holds strokes of its own: the original may go.
    KeyList copy;
    {
        const KeyList original("DA, UA");
        copy = original;
    }
    EXPECT_EQ(Batch(copy.Strokes().begin(), copy.Strokes().end()),
              (Batch{{0x41, kPress}, {0x41, kRelease}}));
    EXPECT_EQ(copy, KeyList("DA, UA"));
    EXPECT_FALSE(copy == KeyList("DA,UA"));
}

}  // namespace
}  // namespace qv
