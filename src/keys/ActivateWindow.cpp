#include "keys/ActivateWindow.h"

#include <algorithm>
#include <chrono>

namespace qv {

ShowState ActivateWindow(WindowSystem& windows, Clock& clock, Window target, std::int16_t delayMs) {
    // The show state before anything changes is the result on every path.
    const ShowState showState = windows.GetShowState(target);

    // The target already has the foreground: nothing is shown, moved or waited for.
    const Window foreground = windows.Foreground();
    if (foreground == target) {
        return showState;
    }

    // With no window in front, or no target, everything stays as it is; the
    // keys then go to whatever has the keyboard focus.
    if (!foreground || !target) {
        return showState;
    }

    // A minimised or maximised target gets its normal size while the keys are sent.
    windows.SetShowState(target, ShowState::Normal);

    // A target that does not take the foreground still gets the wait below,
    // and the keys go to whichever window has the focus.
    windows.Activate(target);

    // A negative delay is no time to wait at all.
    clock.Sleep(std::chrono::milliseconds(std::max<int>(delayMs, 0)));
    return showState;
}

}  // namespace qv
