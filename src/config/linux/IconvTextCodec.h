#pragma once
// TextCodec over glibc iconv ("CP932"). The two conversion descriptors are opened
// once and closed with the object; when the platform lacks CP932, every
// conversion fails (UTF-8 files still work).

#include <iconv.h>

#include "config/TextCodec.h"

namespace qv {

class IconvTextCodec final : public TextCodec {
public:
    IconvTextCodec();
    ~IconvTextCodec() override;
    IconvTextCodec(const IconvTextCodec&) = delete;
    IconvTextCodec& operator=(const IconvTextCodec&) = delete;

    std::optional<std::string> Cp932ToUtf8(std::string_view bytes) override;
    std::optional<std::string> Utf8ToCp932(std::string_view text) override;

private:
    iconv_t toUtf8_;
    iconv_t toCp932_;
};

}  // namespace qv
