#pragma once
// The window's two time lists: the repeat-suppression time of a slot
// (AdjustTime, whole seconds) and the window-switch time (WindowChangeTime,
// tenths of a second). The configuration file stores the selected index.

#include <array>
#include <string_view>

namespace qv {

// Item texts of the repeat-suppression list; index i means i seconds.
inline constexpr std::array<std::string_view, 6> kAdjustTimeItems = {"0秒", "1秒", "2秒",
                                                                     "3秒", "4秒", "5秒"};
// Item texts of the window-switch time list; index i means i × 100 ms.
inline constexpr std::array<std::string_view, 11> kWindowChangeTimeItems = {
    "0秒", "0.1秒", "0.2秒", "0.3秒", "0.4秒", "0.5秒", "0.6秒", "0.7秒", "0.8秒", "0.9秒", "1秒"};

// The window-switch time index for a WindowChangeTime read from the file: rounded half
// to even, and 0 when outside 0..10.
int WindowChangeTimeIndex(double fileValue);
// The window-switch delay in milliseconds for a window-switch time index.
inline int WindowChangeDelayMs(int index) {
    return index * 100;
}
// The repeat-suppression index for an AdjustTime read from the file: rounded half to
// even, negative → 0, above 5 → 5 (the list's last item).
int AdjustTimeIndex(double fileValue);

}  // namespace qv
