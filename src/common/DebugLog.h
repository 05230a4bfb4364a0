#pragma once
// Debug log lines for developers. Failures that the program handles by result
// (a transfer that timed out, a system call that failed) are written here with
// the failing call's name and its error text; nothing here is shown to the user.
// Off by default; the application turns it on with --debug.

#include <string_view>

namespace qv {

void SetDebugLog(bool enabled);
bool DebugLogEnabled();
// Writes one line "quorvane: <text>" to standard error when enabled.
void DebugLog(std::string_view text);
// Writes "<call>: <strerror(err)>" for a failed system call.
void DebugLogErrno(std::string_view call, int err);

}  // namespace qv
