// The virtual keyboard's requests for a batch: keys in the batch's order,
// the modifier state after every key that changes it.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <string>
#include <vector>

#include "keys/KeyNames.h"
#include "keys/wayland/KeyboardEncoder.h"
#include "keys/wayland/VirtualKeymap.h"

namespace qv::wayland {
namespace {

using R = KeyboardRequest;
constexpr std::uint32_t kShift = 1u << 0;
constexpr std::uint32_t kLock = 1u << 1;
constexpr std::uint32_t kControl = 1u << 2;
constexpr std::uint32_t kMod1 = 1u << 3;  // Alt
constexpr std::uint32_t kMod2 = 1u << 4;  // Num Lock

VirtualKeymap Build(const std::string& layout, const std::string& model,
                    const std::string& options = {}) {
    std::string error;
    auto built = VirtualKeymap::Build(KeymapFromNames(layout, "", model, options), error);
    if (!built) {
        ADD_FAILURE() << error;
        std::abort();
    }
    return std::move(*built);
}

const VirtualKeymap& Keymap() {
    static const VirtualKeymap kKeymap = Build("us", "pc105");
    return kKeymap;
}

std::vector<KeyStroke> Strokes(std::string_view stored) {
    return ReadKeyList(stored);
}

std::string Text(const std::vector<R>& requests) {
    std::string out;
    for (const R& r : requests) {
        if (r.kind == R::Kind::Key) {
            out += (r.pressed ? "+" : "-") + std::to_string(r.key) + " ";
        } else {
            out += "mods(" + std::to_string(r.depressed) + "," + std::to_string(r.latched) + "," +
                   std::to_string(r.locked) + "," + std::to_string(r.group) + ") ";
        }
    }
    return out;
}

TEST(KeyboardEncoder, CtrlCSendsTheModifierStateAfterEachModifierKey) {
    KeyboardEncoder encoder(Keymap());
    EXPECT_EQ(encoder.Encode(Strokes("D[CTRL], DC, UC, U[CTRL]")),
              (std::vector<R>{R::Press(KEY_LEFTCTRL), R::Mods(kControl, 0, 0, 0), R::Press(KEY_C),
                              R::Release(KEY_C), R::Release(KEY_LEFTCTRL), R::Mods(0, 0, 0, 0)}));
}

TEST(KeyboardEncoder, ModifiersCombineAndComeApartInAnyOrder) {
    KeyboardEncoder encoder(Keymap());
    EXPECT_EQ(Text(encoder.Encode(Strokes("D[SHIFT], D[ALT], U[SHIFT], DA, UA, U[ALT]"))),
              "+42 mods(1,0,0,0) +56 mods(9,0,0,0) -42 mods(8,0,0,0) +30 -30 -56 mods(0,0,0,0) ");
    EXPECT_EQ(kShift | kMod1, 9u);
}

TEST(KeyboardEncoder, LockKeysLockTheirModifierUntilPressedAgain) {
    KeyboardEncoder encoder(Keymap());
    const auto first = encoder.Encode(Strokes("D[CAPITAL], U[CAPITAL]"));
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(encoder.Modifiers().locked, kLock);
    EXPECT_EQ(encoder.Modifiers().depressed, 0u);
    encoder.Encode(Strokes("D[Numlock], U[Numlock]"));
    EXPECT_EQ(encoder.Modifiers().locked, kLock | kMod2);
    encoder.Encode(Strokes("D[CAPITAL], U[CAPITAL], D[Numlock], U[Numlock]"));
    EXPECT_EQ(encoder.Modifiers().locked, 0u);
}

TEST(KeyboardEncoder, CodesWithoutAKeySendNothingAndAreNamed) {
    KeyboardEncoder encoder(Keymap());
    EXPECT_TRUE(
        encoder.Encode(Strokes("D[NOSUCHKEY], U, D[LBUTTON], U[RBUTTON], D[MBUTTON]")).empty());
    EXPECT_EQ(encoder.Skipped(), (std::vector<int>{-1, 0, 1, 2, 4}));
    EXPECT_TRUE(encoder.Encode({}).empty());
    EXPECT_TRUE(encoder.Skipped().empty());
    // -1 and 0 among keys leave the others in order; [243] has no key on a
    // US layout.
    EXPECT_EQ(Text(encoder.Encode(Strokes("DA, D[BAD], D[243], UA, U"))), "+30 -30 ");
    EXPECT_EQ(encoder.Skipped(), (std::vector<int>{-1, 0xF3, 0}));
}

TEST(KeyboardEncoder, PunctuationPressesTheLayoutsOwnKey) {
    KeyboardEncoder us(Keymap());
    EXPECT_EQ(Text(us.Encode(Strokes("D[186], U[186], D[222], U[222]"))), "+39 -39 +40 -40 ");
    const VirtualKeymap jp = Build("jp", "jp106");
    KeyboardEncoder encoder(jp);
    // On jp106 [186] (:) is the key right of ;, [222] (^) the key right of -.
    EXPECT_EQ(Text(encoder.Encode(Strokes("D[186], U[186], D[222], U[222]"))), "+40 -40 +13 -13 ");
}

TEST(KeyboardEncoder, CapitalOnAJapaneseLayoutIsEisuAndLocksNothing) {
    const VirtualKeymap jp = Build("jp", "jp106");
    KeyboardEncoder encoder(jp);
    const std::vector<R> requests = encoder.Encode(Strokes("D[CAPITAL], U[CAPITAL], DA, UA"));
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), R::Press(KEY_CAPSLOCK));
    EXPECT_EQ(encoder.Modifiers().locked, 0u);
    // A's press goes out with no modifier on.
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (requests[i] == R::Press(KEY_A)) {
            EXPECT_EQ(encoder.Modifiers(), R::Mods(0, 0, 0, 0));
        }
    }
}

TEST(KeyboardEncoder, ALockAnAddedKeySetIsLetGoAtTheEndOfTheBatch) {
    // No key of this layout locks Caps: [CAPITAL] is an added key.
    const VirtualKeymap keymap = Build("us", "pc105", "caps:none");
    const std::uint32_t caps = *keymap.KeyFor(0x14);
    ASSERT_TRUE(keymap.IsAddedKey(caps));
    KeyboardEncoder encoder(keymap);
    const std::string capsKey = std::to_string(caps);
    // Within the batch the lock holds (A comes out as a capital there); at
    // its end it is let go again.
    EXPECT_EQ(
        Text(encoder.Encode(Strokes("D[CAPITAL], U[CAPITAL], DA, UA"))),
        "+" + capsKey + " mods(2,0,2,0) -" + capsKey + " mods(0,0,2,0) +30 -30 mods(0,0,0,0) ");
    EXPECT_EQ(encoder.Modifiers().locked, 0u);
    // A lock the layout's own key sets stays: Num Lock is the user's key.
    encoder.Encode(Strokes("D[Numlock], U[Numlock]"));
    EXPECT_EQ(encoder.Modifiers().locked, kMod2);
    EXPECT_FALSE(keymap.IsAddedKey(*keymap.KeyFor(0x90)));
}

TEST(KeyboardEncoder, RepeatedPressesAndStrayReleasesGoOutButLeaveTheStateAlone) {
    KeyboardEncoder encoder(Keymap());
    // Shift pressed twice is still one Shift down; one release lets go of it.
    EXPECT_EQ(Text(encoder.Encode(Strokes("D[SHIFT], D[SHIFT], U[SHIFT]"))),
              "+42 mods(1,0,0,0) +42 -42 mods(0,0,0,0) ");
    // A release of a key that is up changes nothing.
    EXPECT_EQ(Text(encoder.Encode(Strokes("U[CTRL], U[CTRL]"))), "-29 -29 ");
    // [SHIFT] and [LSHIFT] are the same key.
    EXPECT_EQ(Text(encoder.Encode(Strokes("D[SHIFT], U[LSHIFT]"))),
              "+42 mods(1,0,0,0) -42 mods(0,0,0,0) ");
}

TEST(KeyboardEncoder, StateCarriesFromOneBatchToTheNext) {
    KeyboardEncoder encoder(Keymap());
    EXPECT_EQ(Text(encoder.Encode(Strokes("D[SHIFT]"))), "+42 mods(1,0,0,0) ");
    EXPECT_EQ(encoder.Modifiers(), R::Mods(kShift, 0, 0, 0));
    EXPECT_EQ(Text(encoder.Encode(Strokes("DA, UA, U[SHIFT]"))), "+30 -30 -42 mods(0,0,0,0) ");
}

TEST(KeyboardEncoder, ReleaseHeldLetsGoOfWhatKeyListsLeftDown) {
    KeyboardEncoder encoder(Keymap());
    encoder.Encode(Strokes("D[CTRL], DX, D[F5], U[F5]"));
    EXPECT_EQ(Text(encoder.ReleaseHeld()), "-29 mods(0,0,0,0) -45 ");
    EXPECT_TRUE(encoder.ReleaseHeld().empty());
}

TEST(KeyboardEncoder, AFullKeyListGivesEveryKeyInOrder) {
    KeyboardEncoder encoder(Keymap());
    std::vector<KeyStroke> batch;
    for (int i = 0; batch.size() < 255; ++i) {
        const auto vk = static_cast<std::int16_t>('A' + i % 26);
        batch.push_back({vk, false});
        if (batch.size() < 255) {
            batch.push_back({vk, true});
        }
    }
    const std::vector<R> requests = encoder.Encode(batch);
    ASSERT_EQ(requests.size(), 255u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].key, *Keymap().KeyFor(batch[i].virtualKey)) << i;
        EXPECT_EQ(requests[i].pressed, !batch[i].release) << i;
    }
}

}  // namespace
}  // namespace qv::wayland
