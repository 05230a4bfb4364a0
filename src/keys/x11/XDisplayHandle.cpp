#include "keys/x11/XDisplayHandle.h"

#include <X11/Xlib.h>

#include <string>

#include "common/DebugLog.h"

namespace qv {

std::unique_ptr<XDisplayHandle> XDisplayHandle::Open(const char* name) {
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        const char* shown = name != nullptr ? name : XDisplayName(nullptr);
        DebugLog(std::string("XOpenDisplay(") + (shown != nullptr ? shown : "") +
                 "): cannot connect");
        return nullptr;
    }
    return std::unique_ptr<XDisplayHandle>(new XDisplayHandle(display));
}

XDisplayHandle::~XDisplayHandle() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
}

}  // namespace qv
