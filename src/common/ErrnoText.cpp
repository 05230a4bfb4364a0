#include "common/ErrnoText.h"

#include <string.h>

#include <array>

namespace qv {
namespace {

// glibc's strerror_r returns the text (which may or may not be `buffer`); the
// POSIX one fills `buffer` and returns 0 on success. Overloads pick whichever
// this C library declares.
[[maybe_unused]] const char* TextOf(const char* result, const char* /*buffer*/) {
    return result;
}
[[maybe_unused]] const char* TextOf(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}

}  // namespace

std::string ErrnoText(int errorNumber) {
    std::array<char, 256> buffer{};
#ifdef _WIN32
    const char* text =
        ::strerror_s(buffer.data(), buffer.size(), errorNumber) == 0 ? buffer.data() : nullptr;
#else
    const char* text =
        TextOf(::strerror_r(errorNumber, buffer.data(), buffer.size()), buffer.data());
#endif
    if (text == nullptr || text[0] == '\0') {
        return "error " + std::to_string(errorNumber);
    }
    return text;
}

}  // namespace qv
