#include "common/win32/Windows.h"

#include "app/win32/Win32GuiThread.h"

#include <utility>

#include "common/win32/WideText.h"

namespace qv {
namespace {

constexpr UINT kRunPending = WM_APP + 1;
constexpr wchar_t kClassName[] = L"QuorvaneGuiThread";

void RegisterClassOnce(WNDPROC proc) {
    static const ATOM kAtom = [proc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc);
    }();
    (void)kAtom;
}

}  // namespace

Win32GuiThread::Win32GuiThread() {
    RegisterClassOnce(&Win32GuiThread::Proc);
    window_ = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ::GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) {
        win32::DebugLogLastError("CreateWindowExW (GUI thread queue)");
    }
}

Win32GuiThread::~Win32GuiThread() {
    HWND window = nullptr;
    {
        const std::lock_guard lock(mutex_);
        window = std::exchange(window_, nullptr);
        queue_.clear();
    }
    if (window != nullptr) {
        ::DestroyWindow(window);
    }
}

void Win32GuiThread::PostMessageLocked() {
    if (!messagePosted_ && window_ != nullptr) {
        messagePosted_ = ::PostMessageW(window_, kRunPending, 0, 0) != FALSE;
    }
}

void Win32GuiThread::Post(std::function<void()> work) {
    const std::lock_guard lock(mutex_);
    if (window_ == nullptr) {
        return;
    }
    queue_.push_back(std::move(work));
    PostMessageLocked();
}

void Win32GuiThread::RunPending() {
    {
        const std::lock_guard lock(mutex_);
        messagePosted_ = false;
    }
    for (;;) {
        std::function<void()> work;
        {
            const std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                return;
            }
            work = std::move(queue_.front());
            queue_.pop_front();
            // The work may run a modal loop (a message box): with a message
            // on its way, that loop runs the rest of the queue meanwhile, in order.
            if (!queue_.empty()) {
                PostMessageLocked();
            }
        }
        work();
    }
}

LRESULT CALLBACK Win32GuiThread::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (msg == kRunPending) {
        auto* self = reinterpret_cast<Win32GuiThread*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self != nullptr) {
            self->RunPending();
        }
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace qv
