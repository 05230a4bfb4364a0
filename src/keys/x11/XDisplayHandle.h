#pragma once
// Owns one connection to an X server and closes it on destruction.

#include <memory>

struct _XDisplay;

namespace qv {

class XDisplayHandle {
public:
    // Connects (nullptr: $DISPLAY); nullptr when the server cannot be reached.
    static std::unique_ptr<XDisplayHandle> Open(const char* name);
    ~XDisplayHandle();
    XDisplayHandle(const XDisplayHandle&) = delete;
    XDisplayHandle& operator=(const XDisplayHandle&) = delete;

    _XDisplay* get() const { return display_; }

private:
    explicit XDisplayHandle(_XDisplay* display) : display_(display) {}
    _XDisplay* display_;
};

}  // namespace qv
