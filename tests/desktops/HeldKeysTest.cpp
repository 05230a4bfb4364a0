// The key events the KDE and GNOME injectors press for a batch, and the keys
// they keep track of as held.

#include <gtest/gtest.h>

#include "keys/desktop/HeldKeys.h"

namespace qv::desktop {
namespace {

// A small table: A=30, Shift (0x10) and left Shift (0xA0) both 42, Ctrl=29;
// everything else has no key.
std::uint16_t Table(int vk) {
    switch (vk) {
        case 'A':
            return 30;
        case 0x10:
        case 0xA0:
            return 42;
        case 0x11:
            return 29;
        default:
            return 0;
    }
}

TEST(HeldKeys, PressesAndReleasesInTheBatchsOrder) {
    HeldKeys held(Table);
    const std::vector<KeyStroke> batch = {{0x11, false}, {'A', false}, {'A', true}, {0x11, true}};
    EXPECT_EQ(held.Encode(batch),
              (std::vector<KeyEvent>{{29, true}, {30, true}, {30, false}, {29, false}}));
    EXPECT_FALSE(held.AnyDown());
}

TEST(HeldKeys, StrokesWithoutAKeyAndReleasesOfKeysNotDownAreLeftOut) {
    HeldKeys held(Table);
    // mutter refuses the release of a key that is not down.
    const std::vector<KeyStroke> batch = {{'A', true},  {-1, false},  {0, false},
                                          {'B', false}, {'A', false}, {'B', true}};
    EXPECT_EQ(held.Encode(batch), (std::vector<KeyEvent>{{30, true}}));
    EXPECT_TRUE(held.AnyDown());
}

TEST(HeldKeys, TwoVirtualKeysOnOneKeyReleaseItOnce) {
    HeldKeys held(Table);
    const std::vector<KeyStroke> batch = {{0x10, false}, {0xA0, false}, {0x10, true}, {0xA0, true}};
    EXPECT_EQ(held.Encode(batch), (std::vector<KeyEvent>{{42, true}, {42, true}, {42, false}}));
    EXPECT_FALSE(held.AnyDown());
}

TEST(HeldKeys, KeysLeftDownAcrossBatchesAreReleasedOnceAtTheEnd) {
    HeldKeys held(Table);
    held.Encode(std::vector<KeyStroke>{{0x11, false}});
    held.Encode(std::vector<KeyStroke>{{'A', false}});
    // The next batch releases one of them.
    EXPECT_EQ(held.Encode(std::vector<KeyStroke>{{0x11, true}}),
              (std::vector<KeyEvent>{{29, false}}));
    EXPECT_EQ(held.ReleaseAll(), (std::vector<KeyEvent>{{30, false}}));
    EXPECT_TRUE(held.ReleaseAll().empty());
    EXPECT_TRUE(held.Encode(std::vector<KeyStroke>{{'A', true}}).empty());
}

TEST(HeldKeys, WithoutALookupNothingIsPressed) {
    HeldKeys held(nullptr);
    EXPECT_TRUE(held.Encode(std::vector<KeyStroke>{{'A', false}}).empty());
    EXPECT_FALSE(held.AnyDown());
}

}  // namespace
}  // namespace qv::desktop
