#pragma once
// Transfers and waits run against one deadline on the monotonic clock; poll()
// wants what is left of it in whole milliseconds.

#include <algorithm>
#include <chrono>
#include <climits>

namespace qv {

// Milliseconds left until `deadline`, rounded up so a wait never wakes early;
// 0 once it has passed, at most INT_MAX.
inline int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

}  // namespace qv
