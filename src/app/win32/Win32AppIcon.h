#pragma once
// The application icon on Windows: the icon-group resource kAppIconResource
// that quorvane.exe carries, rendered from data/icons/quorvane.svg at every
// size the Linux package renders (16 to 256 pixels). Explorer, the taskbar and
// the Startup shortcut show it from the file; the window's icons and the
// notification-area icon are loaded from it at the sizes Windows asks for.

#include "common/win32/Windows.h"

namespace qv {

// The icon group's resource id; the first icon group, so "index 0" of the file.
inline constexpr WORD kAppIconResource = 1;

// Owns an icon handle that must be destroyed (LoadImage without LR_SHARED).
class IconHandle {
public:
    IconHandle() = default;
    explicit IconHandle(HICON icon) : icon_(icon) {}
    ~IconHandle();
    IconHandle(IconHandle&& other) noexcept;
    IconHandle& operator=(IconHandle&& other) noexcept;
    IconHandle(const IconHandle&) = delete;
    IconHandle& operator=(const IconHandle&) = delete;
    HICON Get() const { return icon_; }

private:
    HICON icon_ = nullptr;
};

// The application icon at `size` x `size` pixels from the running program's
// resource (the nearest size it holds, scaled); an empty handle when the
// program has no such resource.
IconHandle MakeAppIcon(int size);

}  // namespace qv
