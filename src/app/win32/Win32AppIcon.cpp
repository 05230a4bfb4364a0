#include "common/win32/Windows.h"

#include "app/win32/Win32AppIcon.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "common/win32/WideText.h"

namespace qv {
namespace {

struct Color {
    int r, g, b;
};

constexpr Color kOutline{40, 40, 40};
constexpr Color kBody{70, 90, 120};
constexpr Color kInfrared{220, 40, 40};
constexpr Color kButton{230, 230, 230};

// A rectangle with rounded corners, in units of the icon's size.
struct RoundedRect {
    double x, y, w, h, radius;
    // Whether (px, py) lies inside after growing the shape by `grow`.
    bool Contains(double px, double py, double grow) const {
        const double left = x - grow;
        const double top = y - grow;
        const double right = x + w + grow;
        const double bottom = y + h + grow;
        const double r = std::max(0.0, radius + grow);
        if (px < left || px > right || py < top || py > bottom) {
            return false;
        }
        // Inside the corner squares, the point must lie inside the corner's circle.
        const double cx = std::clamp(px, left + r, right - r);
        const double cy = std::clamp(py, top + r, bottom - r);
        const double dx = px - cx;
        const double dy = py - cy;
        return dx * dx + dy * dy <= r * r;
    }
};

struct Ellipse {
    double x, y, w, h;
    bool Contains(double px, double py) const {
        const double rx = w / 2;
        const double ry = h / 2;
        const double dx = (px - (x + rx)) / rx;
        const double dy = (py - (y + ry)) / ry;
        return dx * dx + dy * dy <= 1.0;
    }
};

// The colour of the picture at (px, py) in units of the size; nothing outside it.
bool Sample(double px, double py, double pen, Color& out) {
    static constexpr RoundedRect kHandset{0.28, 0.06, 0.44, 0.88, 0.1};
    static constexpr Ellipse kWindow{0.42, 0.14, 0.16, 0.12};
    static constexpr std::array<Ellipse, 3> kButtons{{
        {0.36, 0.42, 0.12, 0.12},
        {0.52, 0.42, 0.12, 0.12},
        {0.44, 0.62, 0.12, 0.12},
    }};
    bool hit = false;
    if (kHandset.Contains(px, py, pen / 2)) {
        out = kHandset.Contains(px, py, -pen / 2) ? kBody : kOutline;
        hit = true;
    }
    if (kWindow.Contains(px, py)) {
        out = kInfrared;
        hit = true;
    }
    for (const Ellipse& button : kButtons) {
        if (button.Contains(px, py)) {
            out = kButton;
            hit = true;
        }
    }
    return hit;
}

}  // namespace

std::vector<std::uint32_t> AppIconPixels(int size) {
    if (size <= 0) {
        return {};
    }
    constexpr int kSamples = 4;
    const double pen = 1.0 / 16.0;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) *
                                      static_cast<std::size_t>(size));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int covered = 0;
            int r = 0;
            int g = 0;
            int b = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = (x + (sx + 0.5) / kSamples) / size;
                    const double py = (y + (sy + 0.5) / kSamples) / size;
                    Color c{};
                    if (Sample(px, py, pen, c)) {
                        ++covered;
                        r += c.r;
                        g += c.g;
                        b += c.b;
                    }
                }
            }
            std::uint32_t argb = 0;
            if (covered > 0) {
                const auto alpha =
                    static_cast<std::uint32_t>(covered * 255 / (kSamples * kSamples));
                argb = (alpha << 24) | (static_cast<std::uint32_t>(r / covered) << 16) |
                       (static_cast<std::uint32_t>(g / covered) << 8) |
                       static_cast<std::uint32_t>(b / covered);
            }
            pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
                   static_cast<std::size_t>(x)] = argb;
        }
    }
    return pixels;
}

IconHandle::~IconHandle() {
    if (icon_ != nullptr) {
        ::DestroyIcon(icon_);
    }
}

IconHandle::IconHandle(IconHandle&& other) noexcept : icon_(std::exchange(other.icon_, nullptr)) {}

IconHandle& IconHandle::operator=(IconHandle&& other) noexcept {
    if (this != &other) {
        if (icon_ != nullptr) {
            ::DestroyIcon(icon_);
        }
        icon_ = std::exchange(other.icon_, nullptr);
    }
    return *this;
}

IconHandle MakeAppIcon(int size) {
    const std::vector<std::uint32_t> pixels = AppIconPixels(size);
    if (pixels.empty()) {
        return IconHandle();
    }
    // A top-down 32-bit colour bitmap carries the picture with its alpha; the
    // mask is still required, and all zero lets the alpha decide.
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = size;
    header.bV5Height = -size;
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HBITMAP color = ::CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(&header),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
    ::ReleaseDC(nullptr, screen);
    if (color == nullptr || bits == nullptr) {
        win32::DebugLogLastError("CreateDIBSection (icon)");
        if (color != nullptr) {
            ::DeleteObject(color);
        }
        return IconHandle();
    }
    std::copy(pixels.begin(), pixels.end(), static_cast<std::uint32_t*>(bits));
    const std::vector<std::uint8_t> maskBits(
        static_cast<std::size_t>((size + 15) / 16 * 2) * static_cast<std::size_t>(size), 0);
    HBITMAP mask = ::CreateBitmap(size, size, 1, 1, maskBits.data());

    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = color;
    info.hbmMask = mask;
    HICON icon = ::CreateIconIndirect(&info);
    if (icon == nullptr) {
        win32::DebugLogLastError("CreateIconIndirect");
    }
    // The icon keeps copies of both bitmaps.
    ::DeleteObject(color);
    if (mask != nullptr) {
        ::DeleteObject(mask);
    }
    return IconHandle(icon);
}

}  // namespace qv
