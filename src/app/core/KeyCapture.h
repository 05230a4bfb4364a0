#pragma once
// Key capture in the key-list box: every press and every release of a key
// while the box has the focus becomes one line of the key list in editor
// form ("DA", "U[RETURN]"). The key-state table drops the platform's automatic
// repetition of a key that is still down. GUI thread only.

#include <array>
#include <cstdint>

namespace qv {

class MainView;

class KeyCapture {
public:
    explicit KeyCapture(MainView& view) : view_(view) {}

    // A key went down (code 0..256); a repeat of a key still down is dropped.
    void KeyPressed(std::int16_t keyCode);
    // A key went up; recorded even when its press was not.
    void KeyReleased(std::int16_t keyCode);
    // The clear command's share: entries 0..255 back to "not held" (256 stays).
    void ClearKeyState();

    // 1 while the key's press is recorded and its release not yet.
    std::uint8_t KeyState(int keyCode) const {
        return keyState_.at(static_cast<std::size_t>(keyCode));
    }

private:
    MainView& view_;
    std::array<std::uint8_t, 257> keyState_{};
};

}  // namespace qv
