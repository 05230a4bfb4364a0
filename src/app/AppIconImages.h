#pragma once
// The application icon as PNG images, rendered at build time from
// data/icons/quorvane.svg, the one source of the tray icon, the window icon
// and the icons the package installs. Standard library only, so every
// toolkit's view can load them.

#include <span>

namespace qv {

struct AppIconImage {
    int size;                            // width and height in pixels
    std::span<const unsigned char> png;  // the PNG file's bytes
};

// Every rendered size, smallest first.
std::span<const AppIconImage> AppIconImages();

}  // namespace qv
