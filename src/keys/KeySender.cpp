#include "keys/KeySender.h"

#include <vector>

#include "keys/KeyNames.h"

namespace qv {

void SendKeys(InputInjector& injector, std::span<const KeyStroke> strokes) {
    // Lists longer than kMaxKeyListEntries go out whole: cutting them could
    // leave a key pressed whose release lies beyond the cut, and the
    // platforms take any number of events in one call. Codes go out as they
    // are, -1 and 0 included: what a platform makes of a code it has no key
    // for is its backend's business.
    if (!strokes.empty()) {
        injector.Send(strokes);
    }
}

void SendKeyList(InputInjector& injector, std::string_view keyList) {
    const std::vector<KeyStroke> strokes = ReadKeyList(keyList);
    SendKeys(injector, strokes);
}

}  // namespace qv
