#pragma once
// Owners of Windows handles: each closes (or destroys) its handle when it goes.

#include "common/win32/Windows.h"

#include <utility>

namespace qv::win32 {

// A kernel object handle (file, event, mutex); both NULL and INVALID_HANDLE_VALUE
// mean "none", since different calls return different ones on failure.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.h_, nullptr));
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h = nullptr) {
        if (Valid()) {
            ::CloseHandle(h_);
        }
        h_ = h;
    }
    HANDLE Release() { return std::exchange(h_, nullptr); }

private:
    HANDLE h_ = nullptr;
};

// A pop-up menu, created empty.
class PopupMenu {
public:
    PopupMenu() : menu_(::CreatePopupMenu()) {}
    ~PopupMenu() {
        if (menu_ != nullptr) {
            ::DestroyMenu(menu_);
        }
    }
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;
    HMENU Get() const { return menu_; }

private:
    HMENU menu_;
};

}  // namespace qv::win32
