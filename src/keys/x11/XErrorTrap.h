#pragma once
// Catches the X protocol errors of the requests made while it lives, instead
// of Xlib's default handler, which ends the process. Windows can vanish at any
// moment, so a BadWindow is an ordinary result here.
//
// Xlib has one error handler for the whole process. The first trap installs
// a handler that is never taken out again: it hands an error to the trap that
// is active on the thread that made the request, and any other error to the
// handler that was there before (Qt's, or Xlib's own). Traps on different
// threads, each thread with its own connection, thus never undo each other.

#include <X11/Xlib.h>

namespace qv {

class XErrorTrap {
public:
    explicit XErrorTrap(Display* display);
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Waits for the server to process every request so far and returns the
    // error code of the first one that failed since the trap was set (0: none).
    int Sync();

    // The error code so far without waiting: enough after a request that
    // waits for its reply (property, attribute and tree queries), since its
    // error arrives before the reply would.
    int Error() const { return error_; }

private:
    Display* display_;
    int* outer_;
    int error_ = 0;
};

}  // namespace qv
