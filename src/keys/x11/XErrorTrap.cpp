#include "keys/x11/XErrorTrap.h"

#include <atomic>

namespace qv {
namespace {

// The error slot of the innermost trap on this thread, nullptr for none.
// Xlib calls the error handler on the thread that reads the error from its
// connection, which is the thread that made the request.
thread_local int* t_currentError = nullptr;

// The handler that was installed before ours, for errors no trap expects.
std::atomic<XErrorHandler> g_previous{nullptr};

int RecordError(Display* display, XErrorEvent* event) {
    if (t_currentError != nullptr) {
        if (*t_currentError == 0) {
            *t_currentError = event->error_code;
        }
        return 0;
    }
    const XErrorHandler previous = g_previous.load();
    return previous != nullptr ? previous(display, event) : 0;
}

// Installs RecordError unless it is in place. Every thread installs the same
// handler, so racing installs agree; a handler someone else put in since is
// kept as the one to hand foreign errors to.
void InstallHandler() {
    const XErrorHandler before = XSetErrorHandler(RecordError);
    if (before != RecordError) {
        g_previous.store(before);
    }
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display) : display_(display), outer_(t_currentError) {
    InstallHandler();
    t_currentError = &error_;
}

XErrorTrap::~XErrorTrap() {
    // Only requests whose answer has not come yet can still fail.
    if (LastKnownRequestProcessed(display_) != NextRequest(display_) - 1) {
        XSync(display_, False);
    }
    t_currentError = outer_;
}

int XErrorTrap::Sync() {
    XSync(display_, False);
    return error_;
}

}  // namespace qv
