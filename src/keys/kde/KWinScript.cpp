#include "keys/kde/KWinScript.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace qv::kde {
namespace {

std::string Answer(const ScriptReplyTo& to, const std::string& expression) {
    return "callDBus(" + JsString(to.busName) + ", " + JsString(to.path) + ", " +
           JsString(to.interface) + ", \"Answer\", " + expression + ");\n";
}

// Finds the window by its id as `c`, or answers "none".
std::string FindWindow(std::string_view uuid) {
    return "var c = null;\n"
           "var all = workspace.clientList();\n"
           "for (var i = 0; i < all.length; ++i) {\n"
           "    if (String(all[i].internalId) === " +
           JsString(uuid) +
           ") { c = all[i]; }\n"
           "}\n";
}

}  // namespace

std::string JsString(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (ch) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out += ch;
                }
        }
    }
    // Line and paragraph separators end a line in older JavaScript strings.
    for (std::size_t at = 0; (at = out.find("\xE2\x80\xA8", at)) != std::string::npos;) {
        out.replace(at, 3, "\\u2028");
    }
    for (std::size_t at = 0; (at = out.find("\xE2\x80\xA9", at)) != std::string::npos;) {
        out.replace(at, 3, "\\u2029");
    }
    return out + "\"";
}

std::string ListScript(const ScriptReplyTo& replyTo) {
    return "var list = [];\n"
           "var all = workspace.clientList();\n"
           "for (var i = 0; i < all.length; ++i) {\n"
           "    var c = all[i];\n"
           "    if (!c.normalWindow || c.skipTaskbar) { continue; }\n"
           "    list.push({uuid: String(c.internalId), cls: String(c.resourceClass),\n"
           "               name: String(c.resourceName), title: String(c.caption),\n"
           "               minimized: !!c.minimized, active: workspace.activeClient === c,\n"
           "               fullscreen: !!c.fullScreen, stacking: c.stackingOrder | 0});\n"
           "}\n" +
           Answer(replyTo, "JSON.stringify(list)");
}

std::string ActivateScript(const ScriptReplyTo& replyTo, std::string_view uuid) {
    return FindWindow(uuid) +
           "if (c) {\n"
           "    c.minimized = false;\n"
           "    workspace.activeClient = c;\n"
           "}\n" +
           Answer(replyTo, "c ? \"ok\" : \"none\"");
}

std::string ShowStateScript(const ScriptReplyTo& replyTo, std::string_view uuid, int state) {
    return FindWindow(uuid) +
           "if (c) {\n"
           "    var state = " +
           std::to_string(state) +
           ";\n"
           "    if (state === 2) { c.minimized = true; }\n"
           "    else { c.minimized = false; }\n"
           "    if (state === 3) { c.setMaximize(true, true); }\n"
           "}\n" +
           Answer(replyTo, "c ? \"ok\" : \"none\"");
}

std::optional<std::vector<ScriptWindow>> ParseScriptWindows(std::string_view answer) {
    const nlohmann::json list = nlohmann::json::parse(answer, nullptr, false);
    if (!list.is_array()) {
        return std::nullopt;
    }
    std::vector<ScriptWindow> windows;
    for (const nlohmann::json& item : list) {
        if (!item.is_object() || !item.contains("uuid") || !item["uuid"].is_string()) {
            return std::nullopt;
        }
        const auto text = [&item](const char* key) {
            const auto it = item.find(key);
            return it != item.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        const auto flag = [&item](const char* key) {
            const auto it = item.find(key);
            return it != item.end() && it->is_boolean() && it->get<bool>();
        };
        ScriptWindow w;
        w.uuid = text("uuid");
        w.window.appId = text("cls");
        w.window.instance = text("name");
        w.window.title = text("title");
        w.window.minimized = flag("minimized");
        w.window.active = flag("active");
        w.window.fullscreen = flag("fullscreen");
        const auto stacking = item.find("stacking");
        w.stacking =
            stacking != item.end() && stacking->is_number_integer() ? stacking->get<int>() : 0;
        windows.push_back(std::move(w));
    }
    std::stable_sort(
        windows.begin(), windows.end(),
        [](const ScriptWindow& a, const ScriptWindow& b) { return a.stacking > b.stacking; });
    return windows;
}

}  // namespace qv::kde
