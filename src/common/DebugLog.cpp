#include "common/DebugLog.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/ErrnoText.h"

namespace qv {
namespace {
std::atomic<bool> gEnabled{false};
}

void SetDebugLog(bool enabled) {
    gEnabled = enabled;
}
bool DebugLogEnabled() {
    return gEnabled;
}

void DebugLog(std::string_view text) {
    if (!gEnabled) {
        return;
    }
    std::string line = "quorvane: ";
    line.append(text);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void DebugLogErrno(std::string_view call, int err) {
    if (!gEnabled) {
        return;
    }
    std::string text(call);
    text += ": ";
    text += ErrnoText(err);
    DebugLog(text);
}

}  // namespace qv
