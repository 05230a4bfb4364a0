#pragma once
// The text codec of the Windows program: files that are not UTF-8 are in the
// system's ANSI code page (GetACP(): 932 on a Japanese Windows, 1252 on a Western
// one), converted through Windows' own tables, so the program reads and writes
// them as every other Windows tool does.

#include <optional>
#include <string>
#include <string_view>

#include "config/TextCodec.h"

namespace qv {

class Win32TextCodec final : public TextCodec {
public:
    // The system's ANSI code page.
    Win32TextCodec();
    // A given code page (tests).
    explicit Win32TextCodec(unsigned codePage) : codePage_(codePage) {}

    // ANSI code page bytes to UTF-8; nullopt when they are not valid in it.
    std::optional<std::string> Cp932ToUtf8(std::string_view bytes) override;
    // UTF-8 to the ANSI code page; nullopt when a character has no exact form there.
    std::optional<std::string> Utf8ToCp932(std::string_view text) override;

    unsigned CodePage() const { return codePage_; }

private:
    unsigned codePage_;
};

}  // namespace qv
