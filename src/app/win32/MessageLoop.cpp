#include "common/win32/Windows.h"

#include "app/win32/MessageLoop.h"

namespace qv {

void DispatchProgramMessage(HWND window, MSG& msg) {
    if (window != nullptr && ::IsDialogMessageW(window, &msg)) {
        return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

int RunMessageLoop(HWND window) {
    MSG msg{};
    BOOL got = 0;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        DispatchProgramMessage(window, msg);
    }
    return got < 0 ? 1 : static_cast<int>(msg.wParam);
}

bool PumpWaitingMessages(HWND window) {
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            return false;
        }
        DispatchProgramMessage(window, msg);
    }
    return true;
}

}  // namespace qv
