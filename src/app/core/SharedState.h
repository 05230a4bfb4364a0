#pragma once
// What the window (GUI thread) and the receiver thread both use: the selected
// tab and window-switch time, which the receive loop reads at every tick, and
// the remote table, which the store command changes while the loop matches.

#include <atomic>

#include "config/SharedRemoteTable.h"

namespace qv {

struct SharedState {
    // 1 run mode, 2 learning mode.
    std::atomic<int> selectedTab{1};
    // The selected index of the window-switch time list.
    std::atomic<int> windowChangeTimeIndex{0};

    // The remote table, behind its own lock.
    SharedRemoteTable remote;
};

}  // namespace qv
