#pragma once
// The text of an errno value, safe to call from any thread (std::strerror may
// hand every thread the same buffer).

#include <string>

namespace qv {

// The C library's text for `errorNumber` ("Permission denied"); "error N" for a
// number it has no text for.
std::string ErrnoText(int errorNumber);

}  // namespace qv
