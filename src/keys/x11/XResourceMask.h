#pragma once
// The server's resource-id mask: the bits of an XID that a client chooses;
// the other bits are the base that names the client.

#include <X11/Xlib.h>

namespace qv {

unsigned long XResourceIdMask(Display* display);

}  // namespace qv
