#include "keys/desktop/HeldKeys.h"

namespace qv::desktop {

std::vector<KeyEvent> HeldKeys::Encode(std::span<const KeyStroke> batch) {
    std::vector<KeyEvent> events;
    events.reserve(batch.size());
    for (const KeyStroke& stroke : batch) {
        const std::uint16_t code = lookup_ ? lookup_(stroke.virtualKey) : 0;
        if (code == 0) {
            continue;
        }
        if (stroke.release) {
            if (down_.erase(code) == 0) {
                continue;
            }
        } else {
            down_[code] = true;
        }
        events.push_back(KeyEvent{code, !stroke.release});
    }
    return events;
}

std::vector<KeyEvent> HeldKeys::ReleaseAll() {
    std::vector<KeyEvent> events;
    for (const auto& [code, pressed] : down_) {
        events.push_back(KeyEvent{code, false});
    }
    down_.clear();
    return events;
}

}  // namespace qv::desktop
