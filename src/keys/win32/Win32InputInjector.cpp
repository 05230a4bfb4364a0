#include "keys/win32/Win32InputInjector.h"

#include "common/DebugLog.h"
#include "common/win32/WideText.h"

namespace qv {

bool IsExtendedKey(int virtualKey) {
    switch (virtualKey) {
        case VK_RCONTROL:
        case VK_RMENU:
        case VK_CANCEL:  // Ctrl+Break
        case VK_PRIOR:
        case VK_NEXT:
        case VK_END:
        case VK_HOME:
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
        case VK_SNAPSHOT:
        case VK_INSERT:
        case VK_DELETE:
        case VK_LWIN:
        case VK_RWIN:
        case VK_APPS:
        case VK_DIVIDE:
        case VK_NUMLOCK:
            return true;
        default:
            // Browser, volume, media and launch keys (0xA6..0xB7).
            return virtualKey >= VK_BROWSER_BACK && virtualKey <= VK_LAUNCH_APP2;
    }
}

std::vector<INPUT> KeyboardInputs(std::span<const KeyStroke> batch) {
    std::vector<INPUT> inputs;
    inputs.reserve(batch.size());
    for (const KeyStroke& stroke : batch) {
        const int vk = stroke.virtualKey;
        if (vk < 1 || vk > 254) {
            continue;
        }
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = static_cast<WORD>(vk);
        input.ki.wScan =
            static_cast<WORD>(::MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC));
        input.ki.dwFlags = (stroke.release ? KEYEVENTF_KEYUP : 0) |
                           (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
        inputs.push_back(input);
    }
    return inputs;
}

void Win32InputInjector::Send(std::span<const KeyStroke> batch) {
    std::vector<INPUT> inputs = KeyboardInputs(batch);
    if (inputs.empty()) {
        return;
    }
    const UINT sent = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(),
                                  static_cast<int>(sizeof(INPUT)));
    if (sent != inputs.size()) {
        // Blocked by UIPI (the foreground program runs elevated) or by another
        // program's input lock; nothing to retry.
        win32::DebugLogLastError("SendInput(" + std::to_string(inputs.size()) + " events, " +
                                 std::to_string(sent) + " sent)");
    }
}

}  // namespace qv
