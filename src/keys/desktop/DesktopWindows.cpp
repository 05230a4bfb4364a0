#include "keys/desktop/DesktopWindows.h"

#include <algorithm>
#include <unordered_map>

#include "common/AsciiCase.h"

namespace qv::desktop {

bool HasName(const DesktopWindow& window, std::string_view className) {
    if (className.empty()) {
        return false;
    }
    return EqualsIgnoringAsciiCase(window.appId, className) ||
           EqualsIgnoringAsciiCase(window.instance, className) ||
           EqualsIgnoringAsciiCase(window.applicationId, className);
}

Window PickByClass(const std::vector<DesktopWindow>& frontFirst, std::string_view className) {
    for (const DesktopWindow& w : frontFirst) {
        if (HasName(w, className)) {
            return Window{w.id};
        }
    }
    return {};
}

Window ActiveWindow(const std::vector<DesktopWindow>& windows) {
    for (const DesktopWindow& w : windows) {
        if (w.active) {
            return Window{w.id};
        }
    }
    return {};
}

ShowState StateOf(const DesktopWindow& window) {
    if (window.minimized) {
        return ShowState::Minimized;
    }
    return (window.maximized || window.fullscreen) ? ShowState::Maximized : ShowState::Normal;
}

std::vector<ListedWindow> ListFrom(const std::vector<DesktopWindow>& frontFirst) {
    std::vector<ListedWindow> listed;
    listed.reserve(frontFirst.size());
    for (const DesktopWindow& w : frontFirst) {
        std::string name = !w.appId.empty()           ? w.appId
                           : !w.applicationId.empty() ? w.applicationId
                                                      : w.instance;
        listed.push_back(ListedWindow{Window{w.id}, w.title, std::move(name)});
    }
    return listed;
}

std::vector<DesktopWindow> FrontFirst(std::vector<DesktopWindow> windows,
                                      const std::vector<std::uint64_t>& bottomToTop) {
    std::unordered_map<std::uint64_t, std::size_t> height;
    for (std::size_t i = 0; i < bottomToTop.size(); ++i) {
        height[bottomToTop[i]] = i + 1;
    }
    // Unlisted windows (height 0) go last, newest first; listed ones by height.
    std::vector<std::size_t> order(windows.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    const auto heightOf = [&](std::size_t i) {
        const auto it = height.find(windows[i].id);
        return it == height.end() ? std::size_t{0} : it->second;
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const std::size_t ha = heightOf(a), hb = heightOf(b);
        if (ha != hb) {
            return ha > hb;
        }
        return ha == 0 && a > b;
    });
    std::vector<DesktopWindow> sorted;
    sorted.reserve(windows.size());
    for (std::size_t i : order) {
        sorted.push_back(std::move(windows[i]));
    }
    return sorted;
}

}  // namespace qv::desktop
