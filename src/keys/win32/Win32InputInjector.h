#pragma once
// Keystroke injection on Windows: the whole batch goes to SendInput in one call,
// so it enters the input stream as one piece, in order. Each key is given by its
// virtual-key code with the scan code of the current keyboard layout beside it,
// and the extended-key flag where Windows' own keyboard driver would set it.
//
// SendInput returns once the events wait in the input queue of the thread of
// the window in front. That thread takes them when it next reads its queue, and
// what it makes of a key depends on its window's state at that moment: a window
// minimised again meanwhile gets WM_SYSKEYDOWN instead of WM_KEYDOWN, one that
// lost the foreground may lose the rest or see Ctrl released. So Send returns
// only once that thread has read them (bounded): GetMessage hands a thread
// WM_PAINT only when neither input nor posted messages are waiting, so a part
// of its window invalidated after SendInput is painted once every key before
// it (and each character TranslateMessage posted for one) has been handled.

#include <chrono>
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
    // `wait` bounds the wait for the window in front to read the keys.
    explicit Win32InputInjector(std::chrono::milliseconds wait = std::chrono::milliseconds(250))
        : wait_(wait) {}

    // SendInput, then waits until the window in front has read every event, or
    // `wait` has passed (which the debug log reports). A window that cannot show
    // it (nothing of it to paint: hidden, empty, drawn by its program alone)
    // gets the whole `wait`.
    void Send(std::span<const KeyStroke> batch) override;

private:
    std::chrono::milliseconds wait_;
};

}  // namespace qv
