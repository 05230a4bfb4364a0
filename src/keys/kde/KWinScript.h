#pragma once
// The scripts the KWin-scripting window system has KWin run, and the
// answers they send back. Each script ends by calling a method of ours on the
// session bus with one string: the window list as JSON, or "ok"/"none".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keys/desktop/DesktopWindows.h"

namespace qv::kde {

// Where a script's answer goes: our connection's unique name, and the object
// and interface that take it (a method "Answer" with one string).
struct ScriptReplyTo {
    std::string busName;
    std::string path;
    std::string interface;
};

// A window as a script lists it: KWin's id of it (a UUID) and what it shows.
struct ScriptWindow {
    std::string uuid;
    desktop::DesktopWindow window;  // id left 0: the backend numbers windows
    int stacking = 0;               // higher is nearer the front
};

// A JavaScript string literal of `text` (quotes and escapes included).
std::string JsString(std::string_view text);

// Lists the normal windows with their class, instance, caption and state.
std::string ListScript(const ScriptReplyTo& replyTo);
// Restores the window when minimised and makes it the active one.
std::string ActivateScript(const ScriptReplyTo& replyTo, std::string_view uuid);
// Minimises (2), restores (1) or maximises (3) the window. KWin's scripting
// does not tell whether a window is maximised, so windows are listed as not
// maximised and restoring one leaves its maximised state as it is.
std::string ShowStateScript(const ScriptReplyTo& replyTo, std::string_view uuid, int state);

// The windows of a list script's answer, front-most first; nullopt when the
// answer does not read as such a list.
std::optional<std::vector<ScriptWindow>> ParseScriptWindows(std::string_view answer);

}  // namespace qv::kde
