#include "config/TimeLists.h"

#include "config/Settings.h"

namespace qv {

int WindowChangeTimeIndex(double fileValue) {
    const int index = RoundHalfEven(fileValue);
    return (index < 0 || index >= static_cast<int>(kWindowChangeTimeItems.size())) ? 0 : index;
}

int AdjustTimeIndex(double fileValue) {
    const int index = RoundHalfEven(fileValue);
    const int last = static_cast<int>(kAdjustTimeItems.size()) - 1;
    return index < 0 ? 0 : (index > last ? last : index);
}

}  // namespace qv
