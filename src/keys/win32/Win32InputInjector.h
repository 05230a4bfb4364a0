#pragma once
// Keystroke injection on Windows: the whole batch goes to SendInput in one call,
// so it enters the input stream as one piece, in order. Each key is given by its
// virtual-key code with the scan code of the current keyboard layout beside it,
// and the extended-key flag where Windows' own keyboard driver would set it.

#include <span>
#include <vector>

#include "common/win32/Windows.h"
#include "keys/InputInjector.h"

namespace qv {

// Whether Windows marks the key as extended (the E0-prefixed keys: right-hand
// Ctrl and Alt, the navigation block, the arrows, numpad divide, Num Lock,
// Print Screen, the Windows and menu keys, the browser and media keys). Setting
// the flag on any other key changes what it is: Enter would become the numpad's.
bool IsExtendedKey(int virtualKey);

// The SendInput records for a batch: one per stroke whose code names a key
// (1..254); codes without a key (-1, 0, out of range) are left out.
std::vector<INPUT> KeyboardInputs(std::span<const KeyStroke> batch);

class Win32InputInjector final : public InputInjector {
public:
    void Send(std::span<const KeyStroke> batch) override;
};

}  // namespace qv
