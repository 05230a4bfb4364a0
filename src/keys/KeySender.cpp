#include "keys/KeySender.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "keys/KeyNames.h"

namespace qv {

void SendKeyList(InputInjector& injector, std::string_view keyList) {
    if (keyList.empty()) {
        return;
    }
    const std::vector<KeyEvent> events = ReadKeyList(keyList);
    // Lists longer than kMaxKeyListEntries are sent whole: cutting them could
    // leave a key pressed whose release lies beyond the cut, and the platforms
    // take any number of events in one call.
    std::vector<std::int16_t> codes(events.size());
    std::vector<std::int16_t> releases(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        codes[i] = events[i].code;
        releases[i] = events[i].release ? 1 : 0;
    }
    SendKeyEvent(injector, static_cast<int>(events.size()), codes, releases);
}

void SendKeyEvent(InputInjector& injector, int n, std::span<const std::int16_t> codes,
                  std::span<const std::int16_t> releases) {
    const std::size_t count = std::min(
        {n < 0 ? std::size_t{0} : static_cast<std::size_t>(n), codes.size(), releases.size()});
    if (count == 0) {
        return;
    }
    // Codes go out unchanged, -1 and 0 included: what a platform makes of a
    // code it has no key for is its backend's business.
    std::vector<KeyStroke> batch(count);
    for (std::size_t i = 0; i < count; ++i) {
        batch[i] = KeyStroke{codes[i], releases[i] != 0};
    }
    injector.Send(batch);
}

}  // namespace qv
