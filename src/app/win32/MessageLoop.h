#pragma once
// The program's message loop: dialog navigation (Tab, the arrow keys) among
// the window's controls, then the usual translation and dispatch. Tests run
// the same steps for the messages they post.

#include "common/win32/Windows.h"

namespace qv {

// Handles one message as the program's loop does.
void DispatchProgramMessage(HWND window, MSG& msg);
// Runs the loop until WM_QUIT; the exit code it carries (1 when the loop failed).
int RunMessageLoop(HWND window);
// Handles the messages that are waiting, without blocking; false when a
// WM_QUIT came (it is not handled further).
bool PumpWaitingMessages(HWND window);

}  // namespace qv
