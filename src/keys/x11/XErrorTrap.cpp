#include "keys/x11/XErrorTrap.h"

namespace qv {
namespace {

// Xlib's error handler is a plain function for the whole process, so the trap
// that is collecting errors on this thread is found through this slot.
thread_local int* t_currentError = nullptr;

int RecordError(Display*, XErrorEvent* event) {
    if (t_currentError != nullptr && *t_currentError == 0) {
        *t_currentError = event->error_code;
    }
    return 0;
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display)
    : display_(display), previous_(XSetErrorHandler(RecordError)), outer_(t_currentError) {
    t_currentError = &error_;
}

XErrorTrap::~XErrorTrap() {
    // Only requests whose answer has not come yet can still fail.
    if (LastKnownRequestProcessed(display_) != NextRequest(display_) - 1) {
        XSync(display_, False);
    }
    t_currentError = outer_;
    XSetErrorHandler(previous_);
}

int XErrorTrap::Sync() {
    XSync(display_, False);
    return error_;
}

}  // namespace qv
