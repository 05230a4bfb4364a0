#include "app/core/KeyCapture.h"

#include "app/core/MainView.h"
#include "keys/KeyNames.h"

namespace qv {

void KeyCapture::KeyPressed(std::int16_t keyCode) {
    if (keyCode < 0 || keyCode > 256) {
        return;
    }
    auto& held = keyState_[static_cast<std::size_t>(keyCode)];
    if (held == 1) {
        return;  // the key is still down: automatic repetition
    }
    view_.AppendLine(Control::KeyListBox, "D" + KeyCodeToName(keyCode));
    held = 1;
}

void KeyCapture::KeyReleased(std::int16_t keyCode) {
    if (keyCode < 0 || keyCode > 256) {
        return;
    }
    view_.AppendLine(Control::KeyListBox, "U" + KeyCodeToName(keyCode));
    keyState_[static_cast<std::size_t>(keyCode)] = 0;
}

void KeyCapture::ClearKeyState() {
    for (std::size_t i = 0; i < 256; ++i) {
        keyState_[i] = 0;
    }
}

}  // namespace qv
