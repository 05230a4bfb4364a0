#include "config/linux/IconvTextCodec.h"

#include <cerrno>

#include "common/DebugLog.h"

namespace qv {
namespace {

const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

iconv_t Open(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == kInvalid) {
        DebugLogErrno(std::string("iconv_open(") + to + ", " + from + ")", errno);
    }
    return cd;
}

std::optional<std::string> Convert(iconv_t cd, std::string_view in) {
    if (cd == kInvalid) {
        return std::nullopt;
    }
    // Back to the initial state, in case an earlier call stopped half-way.
    if (iconv(cd, nullptr, nullptr, nullptr, nullptr) == static_cast<size_t>(-1)) {
        DebugLogErrno("iconv(reset)", errno);
        return std::nullopt;
    }
    std::string out(in.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(in.data());  // iconv's prototype is not const-correct
    size_t srcLeft = in.size();
    size_t done = 0;
    while (true) {
        char* dst = out.data() + done;
        size_t dstLeft = out.size() - done;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        done = out.size() - dstLeft;
        if (rc != static_cast<size_t>(-1)) {
            break;
        }
        if (errno != E2BIG) {
            // EILSEQ / EINVAL: bytes that are not valid in the source encoding, or a
            // character the target encoding does not have.
            return std::nullopt;
        }
        out.resize(out.size() * 2);
    }
    out.resize(done);
    return out;
}

}  // namespace

IconvTextCodec::IconvTextCodec()
    : toUtf8_(Open("UTF-8", "CP932")), toCp932_(Open("CP932", "UTF-8")) {}

IconvTextCodec::~IconvTextCodec() {
    if (toUtf8_ != kInvalid && iconv_close(toUtf8_) != 0) {
        DebugLogErrno("iconv_close", errno);
    }
    if (toCp932_ != kInvalid && iconv_close(toCp932_) != 0) {
        DebugLogErrno("iconv_close", errno);
    }
}

std::optional<std::string> IconvTextCodec::Cp932ToUtf8(std::string_view bytes) {
    return Convert(toUtf8_, bytes);
}

std::optional<std::string> IconvTextCodec::Utf8ToCp932(std::string_view text) {
    return Convert(toCp932_, text);
}

}  // namespace qv
