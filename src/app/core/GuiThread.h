#pragma once
// Hands work to the GUI thread: the receiver thread reports to the window
// through it, in order. Qt posts a queued call; Win32 posts a message; tests
// keep a queue they run by hand.

#include <functional>

namespace qv {

class GuiThread {
public:
    virtual ~GuiThread() = default;
    // Runs `work` on the GUI thread later, after everything posted before it.
    // Safe to call from any thread.
    virtual void Post(std::function<void()> work) = 0;
};

}  // namespace qv
