#include "keys/win32/Win32InputInjector.h"

#include "common/DebugLog.h"
#include "common/win32/WideText.h"

namespace qv {
namespace {

// Polls `done` until it holds or `deadline` (GetTickCount64) has passed.
template <typename Predicate>
bool WaitUntil(ULONGLONG deadline, Predicate done) {
    while (!done()) {
        if (::GetTickCount64() >= deadline) {
            return done();
        }
        ::Sleep(1);
    }
    return true;
}

// The window of `thread` whose painting shows that the thread has read its
// input, and a point in it (its client coordinates) that nothing covers: the
// deepest visible window at the middle of `front` (a window may be covered all
// over by children it clips). None when there is nothing to paint there:
// `front` hidden, minimised, empty or layered (such windows are drawn by their
// program, not through WM_PAINT), or the point inside another thread's window.
HWND PaintableWindow(HWND front, DWORD thread, POINT& point) {
    RECT client{};
    if (!::IsWindowVisible(front) || ::IsIconic(front) || !::GetClientRect(front, &client) ||
        ::IsRectEmpty(&client) || (::GetWindowLongPtrW(front, GWL_EXSTYLE) & WS_EX_LAYERED) != 0) {
        return nullptr;
    }
    HWND window = front;
    point = POINT{client.right / 2, client.bottom / 2};
    for (int depth = 0; depth < 64; ++depth) {
        const HWND child =
            ::ChildWindowFromPointEx(window, point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        if (child == nullptr || child == window) {
            break;
        }
        ::MapWindowPoints(window, child, &point, 1);
        window = child;
    }
    return ::GetWindowThreadProcessId(window, nullptr) == thread ? window : nullptr;
}

// Invalidates the pixel at `point` of `window` and waits until the window's
// thread has painted it; false when `deadline` came first.
bool Repainted(HWND window, POINT point, ULONGLONG deadline) {
    const RECT pixel{point.x, point.y, point.x + 1, point.y + 1};
    if (!::RedrawWindow(window, &pixel, nullptr, RDW_INVALIDATE | RDW_NOCHILDREN)) {
        return false;
    }
    return WaitUntil(deadline, [&] {
        return !::IsWindow(window) || ::GetUpdateRect(window, nullptr, FALSE) == 0;
    });
}

// Waits until the thread of `front` has read what SendInput queued for it.
// Two rounds: a thread that was already painting when the keys went out may
// take the first invalidation with that paint, before it reads the keys; the
// second one it can only paint after them.
void WaitUntilRead(HWND front, DWORD thread, std::size_t events, std::chrono::milliseconds wait) {
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(wait.count());
    const std::string what = std::to_string(events) + " key events";
    POINT point{};
    const HWND window = PaintableWindow(front, thread, point);
    if (window == nullptr) {
        // Nothing tells when it is done: the whole bound is its time.
        WaitUntil(deadline, [] { return false; });
        DebugLog("keys: no sign from the window in front that it read its " + what + "; waited " +
                 std::to_string(wait.count()) + " ms");
        return;
    }
    if (!Repainted(window, point, deadline) || !Repainted(window, point, deadline)) {
        DebugLog("keys: the window in front did not read its " + what + " within " +
                 std::to_string(wait.count()) + " ms; going on");
    }
}

}  // namespace

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
    // The keys go to the thread of the window in front.
    const HWND front = ::GetForegroundWindow();
    const UINT sent = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(),
                                  static_cast<int>(sizeof(INPUT)));
    if (sent != inputs.size()) {
        // Blocked by UIPI (the foreground program runs elevated) or by another
        // program's input lock; nothing to retry.
        win32::DebugLogLastError("SendInput(" + std::to_string(inputs.size()) + " events, " +
                                 std::to_string(sent) + " sent)");
        return;
    }
    const DWORD thread = front != nullptr ? ::GetWindowThreadProcessId(front, nullptr) : 0;
    // No window in front: nobody reads them. This thread's own window reads
    // them only once this thread returns to its messages.
    if (thread != 0 && thread != ::GetCurrentThreadId()) {
        WaitUntilRead(front, thread, inputs.size(), wait_);
    }
}

}  // namespace qv
