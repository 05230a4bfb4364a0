#include "keys/x11/XErrorTrap.h"

#include <atomic>

namespace qv {
namespace {

// The error slot of the innermost trap on this thread, nullptr for none.
// Xlib calls the error handler on the thread that reads the error from its
// connection, which is the thread that made the request.
thread_local int* gCurrentError = nullptr;

// The handler that was installed before ours, for errors no trap expects.
std::atomic<XErrorHandler> gPrevious{nullptr};

int RecordError(Display* display, XErrorEvent* event) {
    if (gCurrentError != nullptr) {
        if (*gCurrentError == 0) {
            *gCurrentError = event->error_code;
        }
        return 0;
    }
    const XErrorHandler previous = gPrevious.load();
    return previous != nullptr ? previous(display, event) : 0;
}

// Installs RecordError unless it is in place. Every thread installs the same
// handler, so racing installs agree; a handler someone else put in since is
// kept as the one to hand foreign errors to.
void InstallHandler() {
    const XErrorHandler before = XSetErrorHandler(RecordError);
    if (before != RecordError) {
        gPrevious.store(before);
    }
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display) : display_(display), outer_(gCurrentError) {
    InstallHandler();
    gCurrentError = &error_;
}

XErrorTrap::~XErrorTrap() {
    // Only requests whose answer has not come yet can still fail.
    if (LastKnownRequestProcessed(display_) != NextRequest(display_) - 1) {
        XSync(display_, False);
    }
    gCurrentError = outer_;
}

int XErrorTrap::Sync() {
    XSync(display_, False);
    return error_;
}

}  // namespace qv
