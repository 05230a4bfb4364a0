// Kept apart: Xlibint.h, the only public way to the connection's resource-id
// mask, defines min and max macros that break the standard library headers.
#include <X11/Xlibint.h>

#include "keys/x11/XResourceMask.h"

namespace qv {

unsigned long XResourceIdMask(Display* display) {
    return display->resource_mask;
}

}  // namespace qv
