#include "shell/WindowPlacement.h"

#include <array>

namespace qv {

namespace {

// The largest whole number not greater than n / 2 (also for negative n).
std::int32_t FloorHalf(std::int32_t n) {
    return n >= 0 ? n / 2 : -((-n + 1) / 2);
}

std::int64_t DistanceSquared(const Rect& r, std::int32_t x, std::int32_t y) {
    const std::int64_t dx = x < r.left ? r.left - x : (x >= r.right ? x - r.right + 1 : 0);
    const std::int64_t dy = y < r.top ? r.top - y : (y >= r.bottom ? y - r.bottom + 1 : 0);
    return dx * dx + dy * dy;
}

}  // namespace

Size WindowPlacement::OuterSize() {
    const Rect r = geometry_.WindowRect();
    return {r.right - r.left, r.bottom - r.top};
}

TaskbarExtent WindowPlacement::Taskbar() {
    const Rect r = geometry_.TaskbarRect();
    const std::int32_t cx = geometry_.ScreenWidth();
    const std::int32_t cy = geometry_.ScreenHeight();
    const std::int32_t w = r.right - r.left;
    const std::int32_t h = r.bottom - r.top;
    // The long side is the screen's; the short side loses half of what the
    // bar sticks out beyond the screen (bars overhang by their border).
    if (w >= cx) {
        return {r.bottom >= cy ? TaskbarEdge::Bottom : TaskbarEdge::Top, cx, h - FloorHalf(w - cx)};
    }
    return {r.right >= cx ? TaskbarEdge::Right : TaskbarEdge::Left, w - FloorHalf(h - cy), cy};
}

Point WindowPlacement::BesideTray() {
    const Size window = OuterSize();

    const Rect bar = geometry_.TaskbarRect();
    if (bar.Width() <= 0 || bar.Height() <= 0) {
        // No taskbar known: the arithmetic below would run on zeros and give
        // a meaningless spot; take the work area's bottom-right corner.
        Rect area = geometry_.WorkArea();
        if (area.Width() <= 0 || area.Height() <= 0) {
            area = Rect{0, 0, geometry_.ScreenWidth(), geometry_.ScreenHeight()};
        }
        return {area.right - window.width, area.bottom - window.height};
    }

    const TaskbarExtent taskbar = Taskbar();
    switch (taskbar.edge) {
        case TaskbarEdge::Left:
            return {taskbar.width, taskbar.height - window.height};
        case TaskbarEdge::Top:
            return {taskbar.width - window.width, taskbar.height};
        case TaskbarEdge::Right:
            return {geometry_.ScreenWidth() - taskbar.width - window.width,
                    taskbar.height - window.height};
        case TaskbarEdge::Bottom:
            break;
    }
    return {taskbar.width - window.width,
            geometry_.ScreenHeight() - taskbar.height - window.height};
}

Rect TaskbarRectFromWorkArea(const Rect& screen, const Rect& workArea,
                             std::optional<Rect> trayIcon) {
    struct Strip {
        Rect rect;
        std::int32_t thickness;
    };
    // In order of preference when nothing else decides: bottom, right, top, left.
    const std::array<Strip, 4> all{{
        {{screen.left, workArea.bottom, screen.right, screen.bottom},
         screen.bottom - workArea.bottom},
        {{workArea.right, screen.top, screen.right, screen.bottom}, screen.right - workArea.right},
        {{screen.left, screen.top, screen.right, workArea.top}, workArea.top - screen.top},
        {{screen.left, screen.top, workArea.left, screen.bottom}, workArea.left - screen.left},
    }};
    const Strip* best = nullptr;
    if (trayIcon && trayIcon->Width() > 0 && trayIcon->Height() > 0) {
        const std::int32_t cx = trayIcon->left + trayIcon->Width() / 2;
        const std::int32_t cy = trayIcon->top + trayIcon->Height() / 2;
        std::int64_t bestDistance = 0;
        for (const Strip& s : all) {
            if (s.thickness <= 0)
                continue;
            const std::int64_t d = DistanceSquared(s.rect, cx, cy);
            if (!best || d < bestDistance) {
                best = &s;
                bestDistance = d;
            }
        }
    } else {
        for (const Strip& s : all) {
            if (s.thickness > 0 && (!best || s.thickness > best->thickness)) {
                best = &s;
            }
        }
    }
    return best ? best->rect : Rect{};
}

}  // namespace qv
