#pragma once
// Key batches the Wayland and desktop system tests send, with what the target
// should log for them: a 255-event burst, and modifiers held over the keys
// that follow.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "SwaySession.h"
#include "keys/KeyStroke.h"

namespace qv::wayland::test {

// One key event as the batch sends it and as the target should log it.
struct Expected {
    KeyStroke stroke;
    std::string keysym;
};

inline Expected Press(std::int16_t vk, std::string keysym) {
    return {{vk, false}, std::move(keysym)};
}
inline Expected Release(std::int16_t vk, std::string keysym) {
    return {{vk, true}, std::move(keysym)};
}

// 255 events, as long as a key list gets: Ctrl+C, `extra` (keys a session's
// layout has beyond the letters), a browser key, capitals typed with Shift
// held, then small letters and digits; the last event presses Shift, which
// the next batch lets go of.
inline std::vector<Expected> Burst255(const std::vector<Expected>& extra = {}) {
    std::vector<Expected> e = {Press(0x11, "Control_L"), Press('C', "c"), Release('C', "c"),
                               Release(0x11, "Control_L")};
    e.insert(e.end(), extra.begin(), extra.end());
    e.insert(e.end(), {Press(0xA6, "XF86Back"), Release(0xA6, "XF86Back"), Press(0x10, "Shift_L")});
    for (char c = 'A'; c <= 'Z'; ++c) {
        e.push_back(Press(c, std::string(1, c)));
        e.push_back(Release(c, std::string(1, c)));
    }
    e.push_back(Release(0x10, "Shift_L"));
    const std::string small = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (std::size_t i = 0; e.size() < 254; ++i) {
        const char c = small[i % small.size()];
        const auto vk = static_cast<std::int16_t>(c >= 'a' ? c - 'a' + 'A' : c);
        e.push_back(Press(vk, std::string(1, c)));
        e.push_back(Release(vk, std::string(1, c)));
    }
    e.push_back(Press(0x10, "Shift_L"));
    return e;
}

inline std::vector<KeyStroke> Strokes(const std::vector<Expected>& expected) {
    std::vector<KeyStroke> strokes;
    for (const Expected& e : expected) {
        strokes.push_back(e.stroke);
    }
    return strokes;
}

inline std::vector<std::string> Describe(const std::vector<Expected>& expected) {
    std::vector<std::string> out;
    for (const Expected& e : expected) {
        out.push_back(std::string(e.stroke.release ? "release " : "press ") + e.keysym);
    }
    return out;
}

// Ctrl+C, Shift+Q, then q: each modifier applies to the keys sent while it is
// down, and to nothing after.
inline std::vector<KeyStroke> HeldModifiers() {
    return {{0x11, false}, {'C', false}, {'C', true},  {0x11, true}, {0x10, false},
            {'Q', false},  {'Q', true},  {0x10, true}, {'Q', false}, {'Q', true}};
}

inline void ExpectHeldModifiersArrived(const Target& target, ClientKind kind) {
    ASSERT_TRUE(WaitForKeys(target, 10));
    EXPECT_EQ(Describe(target.Keys()),
              (std::vector<std::string>{"press Control_L", "press c", "release c",
                                        "release Control_L", "press Shift_L", "press Q",
                                        "release Q", "release Shift_L", "press q", "release q"}));
    if (kind == ClientKind::Native) {
        // The modifier state the client had when c went down.
        long long depressed = -1;
        for (const Logged& l : target.Log()) {
            if (l.kind == "modifiers") {
                depressed = l.depressed;
            } else if (l.kind == "press" && l.keysym == "c") {
                break;
            }
        }
        EXPECT_EQ(depressed & 0x4, 0x4) << "Control was not down when c arrived";
    }
}

}  // namespace qv::wayland::test
