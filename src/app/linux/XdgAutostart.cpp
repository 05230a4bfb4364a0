#include "app/linux/XdgAutostart.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kEntryName = "quorvane.desktop";

// The characters after which the Exec key's argument must be quoted.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

bool ValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t value = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            value = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            value = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            value = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) {
            return false;  // cut short
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (value < kSmallest[extra] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

bool Writable(std::string_view path) {
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return false;
        }
    }
    return ValidUtf8(path);
}

// A desktop entry's string value: '\' is the escape character.
std::string EscapeString(std::string_view value) {
    std::string out;
    for (const char c : value) {
        if (c == '\\') {
            out += "\\\\";
        } else {
            out += c;
        }
    }
    return out;
}

AutostartResult Failure(const std::string& programName, const std::string& message) {
    return AutostartResult{1, "", programName + ": " + message + "\n"};
}

// Creates the missing folders of `folder` one by one, each 0700 as the XDG base
// directory rules ask for a configuration folder that did not exist.
bool MakeFolders(const fs::path& folder, std::error_code& ec) {
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        if (fs::is_directory(partial, ec)) {
            continue;
        }
        if (!fs::create_directory(partial, ec)) {
            if (!ec) {
                ec = std::make_error_code(std::errc::not_a_directory);
            }
            return false;
        }
        fs::permissions(partial, fs::perms::owner_all, fs::perm_options::replace, ec);
        if (ec) {
            return false;
        }
    }
    return true;
}

AutostartResult WriteEntry(const fs::path& entry, const std::string& text,
                           const std::string& programName) {
    std::error_code ec;
    if (!MakeFolders(entry.parent_path(), ec)) {
        return Failure(programName, "cannot create the folder " + entry.parent_path().string() +
                                        ": " + ec.message());
    }
    // The new entry goes in whole or not at all: a session that reads the
    // folder meanwhile never sees half a file.
    const fs::path temporary = entry.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            fs::remove(temporary, ec);
            return Failure(programName, "cannot write " + temporary.string());
        }
    }
    fs::rename(temporary, entry, ec);
    if (ec) {
        const std::string message = ec.message();
        fs::remove(temporary, ec);
        return Failure(programName, "cannot replace " + entry.string() + ": " + message);
    }
    return AutostartResult{0, programName + ": autostart on: " + entry.string() + "\n", ""};
}

}  // namespace

std::string AutostartEntryPath(std::string_view xdgConfigHome, std::string_view home) {
    fs::path base;
    if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/') {
        base = fs::path(xdgConfigHome);
    } else if (!home.empty()) {
        base = fs::path(home) / ".config";
    } else {
        return {};
    }
    return (base / "autostart" / kEntryName).string();
}

std::string QuoteExecArgument(std::string_view arg) {
    const bool quote = arg.empty() || arg.find_first_of(kReserved) != std::string_view::npos;
    std::string out;
    if (quote) {
        out += '"';
    }
    for (const char c : arg) {
        if (c == '%') {
            out += "%%";
        } else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    if (quote) {
        out += '"';
    }
    return out;
}

std::string AutostartEntryText(const std::string& program, const std::string& configPath) {
    if (program.empty() || !Writable(program) || !Writable(configPath)) {
        return {};
    }
    std::string exec = QuoteExecArgument(program);
    if (!configPath.empty()) {
        exec += " --config " + QuoteExecArgument(configPath);
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quorvane\n"
           "Comment=Infrared remote control as a keyboard, started at login\n"
           "Exec=" +
           EscapeString(exec) +
           "\n"
           "Icon=quorvane\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

AutostartResult SetAutostart(bool on, const std::string& entryPath, const std::string& program,
                             const std::string& configPath, const std::string& programName) {
    if (entryPath.empty()) {
        return Failure(programName,
                       "no autostart folder: neither XDG_CONFIG_HOME nor HOME names a folder");
    }
    const fs::path entry(entryPath);
    if (!on) {
        std::error_code ec;
        const bool removed = fs::remove(entry, ec);
        if (ec) {
            return Failure(programName, "cannot remove " + entryPath + ": " + ec.message());
        }
        return AutostartResult{0,
                               removed
                                   ? programName + ": autostart off: removed " + entryPath + "\n"
                                   : programName + ": autostart was off: no " + entryPath + "\n",
                               ""};
    }
    const std::string text = AutostartEntryText(program, configPath);
    if (text.empty()) {
        return Failure(programName, "cannot name '" + program +
                                        (configPath.empty() ? "" : "' or '" + configPath) +
                                        "' in a desktop entry (control characters or not UTF-8)");
    }
    return WriteEntry(entry, text, programName);
}

int RunAutostartOption(bool on, const std::string& configPath, const std::string& programName) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string entryPath =
        AutostartEntryPath(xdg != nullptr ? xdg : "", home != nullptr ? home : "");

    std::string program;
    std::string config;
    if (on) {
        std::error_code ec;
        program = fs::read_symlink("/proc/self/exe", ec).string();
        if (ec || program.empty()) {
            std::fprintf(stderr, "%s: cannot find the program's own path: %s\n",
                         programName.c_str(), ec.message().c_str());
            return 1;
        }
        if (!configPath.empty()) {
            config = fs::absolute(configPath, ec).lexically_normal().string();
            if (ec) {
                std::fprintf(stderr, "%s: %s: %s\n", programName.c_str(), configPath.c_str(),
                             ec.message().c_str());
                return 1;
            }
        }
    }
    const AutostartResult result = SetAutostart(on, entryPath, program, config, programName);
    std::fputs(result.output.c_str(), stdout);
    std::fputs(result.error.c_str(), stderr);
    return result.exitCode;
}

}  // namespace qv
