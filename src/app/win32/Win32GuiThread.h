#pragma once
// GuiThread over a window message: posted work waits in a queue, and a
// message to a message-only window of the GUI thread runs it there, in the
// order it was posted. Every message loop of the thread delivers that
// message, a message box's and a menu's included, so work posted by the
// receiver thread also runs while a box waits for the user.

#include <deque>
#include <functional>
#include <mutex>

#include "app/core/GuiThread.h"
#include "common/win32/Windows.h"

namespace qv {

class Win32GuiThread final : public GuiThread {
public:
    // Made on the GUI thread, which must run a message loop.
    Win32GuiThread();
    // Work still queued is dropped; Post() from then on does nothing.
    ~Win32GuiThread() override;
    Win32GuiThread(const Win32GuiThread&) = delete;
    Win32GuiThread& operator=(const Win32GuiThread&) = delete;

    void Post(std::function<void()> work) override;
    // Runs the queued work, oldest first (the window's message calls this).
    void RunPending();

    // The message-only window; nullptr when it could not be made.
    HWND Window() const { return window_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // With the lock held: makes sure one message is on its way.
    void PostMessageLocked();

    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    bool messagePosted_ = false;
    HWND window_ = nullptr;
};

}  // namespace qv
