#pragma once
// Catches the X protocol errors of the requests made while it lives, instead
// of Xlib's default handler, which ends the process. Windows can vanish at any
// moment, so a BadWindow is an ordinary result here.

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
    XErrorHandler previous_;
    int* outer_;
    int error_ = 0;
};

}  // namespace qv
