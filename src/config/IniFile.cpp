#include "config/IniFile.h"

#include <algorithm>

#include "config/TextCodec.h"

namespace qv {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string Fold(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// The value as the private-profile functions return it: trimmed, and one pair of
// matching quotes around it removed.
std::string_view Unquote(std::string_view v) {
    v = TrimBlanks(v);
    if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) {
                lo = 0xA0;
            } else if (c == 0xED) {
                hi = 0x9F;
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) {
                lo = 0x90;
            } else if (c == 0xF4) {
                hi = 0x8F;
            }
        } else {
            return false;
        }
        if (end - p < len) {
            return false;
        }
        if (p[1] < lo || p[1] > hi) {
            return false;
        }
        for (int i = 2; i < len; ++i) {
            if (p[i] < 0x80 || p[i] > 0xBF) {
                return false;
            }
        }
        p += len;
    }
    return true;
}

bool HasHighByte(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return (c & 0x80) != 0; });
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// A code page 932 line the codec cannot read still gets parsed: its non-ASCII bytes
// become U+FFFD, so names and values around them stay readable.
std::string ReplaceHighBytes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if ((c & 0x80) != 0) {
            out += kReplacement;
        } else {
            out += c;
        }
    }
    return out;
}

// A value that would lose its own outer quotes on reading gets one more pair, which the
// reading side removes again.
std::string QuoteIfNeeded(std::string_view value) {
    std::string v(value);
    if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front()) {
        return v.front() + v + v.back();
    }
    return v;
}

}  // namespace

IniFile::IniFile() {
    sections_.emplace_back();
}

IniFile IniFile::Parse(std::string_view bytes, TextCodec& codec) {
    IniFile doc;
    std::string_view body = bytes;
    std::size_t bom = 0;
    if (body.substr(0, kBom.size()) == kBom) {
        bom = kBom.size();
    }
    doc.encoding_ = (bom != 0 || IsValidUtf8(bytes)) ? TextEncoding::Utf8 : TextEncoding::ShiftJis;

    bool newlineKnown = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t nl = bytes.find('\n', pos);
        Line line;
        if (nl == std::string_view::npos) {
            line.raw.assign(bytes.substr(pos));
            pos = bytes.size();
        } else {
            std::size_t end = nl;
            if (end > pos && bytes[end - 1] == '\r') {
                --end;
                line.eol = "\r\n";
            } else {
                line.eol = "\n";
            }
            line.raw.assign(bytes.substr(pos, end - pos));
            pos = nl + 1;
            if (!newlineKnown) {
                doc.newline_ = line.eol;
                newlineKnown = true;
            }
        }

        std::string_view text = line.raw;
        if (bom != 0 && doc.sections_.size() == 1 && doc.sections_[0].lines.empty()) {
            text.remove_prefix(bom);
        }
        std::string decoded;
        if (doc.encoding_ == TextEncoding::ShiftJis && HasHighByte(text)) {
            auto utf8 = codec.Cp932ToUtf8(text);
            decoded = utf8 ? std::move(*utf8) : ReplaceHighBytes(text);
            text = decoded;
        }

        std::string_view t = TrimBlanks(text);
        if (!t.empty() && t.front() == '[') {
            t.remove_prefix(1);
            std::size_t close = t.find(']');
            std::string_view name = TrimBlanks(t.substr(0, close));
            Section section;
            section.name.assign(name);
            section.lines.push_back(std::move(line));
            doc.index_.try_emplace(Fold(name), doc.sections_.size());
            doc.sections_.push_back(std::move(section));
            continue;
        }

        Section& section = doc.sections_.back();
        if (!t.empty() && t.front() != ';') {
            std::size_t eq = t.find('=');
            if (eq != std::string_view::npos) {
                std::string_view name = TrimBlanks(t.substr(0, eq));
                if (!name.empty()) {
                    Entry e;
                    e.folded = Fold(name);
                    e.name.assign(name);
                    e.value.assign(Unquote(t.substr(eq + 1)));
                    e.line = section.lines.size();
                    section.entries.push_back(std::move(e));
                }
            }
        }
        section.lines.push_back(std::move(line));
    }
    // Keys before the first section are never read, as on Windows.
    doc.sections_[0].entries.clear();
    return doc;
}

const IniFile::Section* IniFile::FindSection(std::string_view section) const {
    auto it = index_.find(Fold(TrimBlanks(section)));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
    const Section* s = FindSection(section);
    if (s == nullptr) {
        return std::nullopt;
    }
    std::string folded = Fold(TrimBlanks(key));
    for (const Entry& e : s->entries) {
        if (e.folded == folded) {
            return e.value;
        }
    }
    return std::nullopt;
}

bool IniFile::HasSection(std::string_view section) const {
    return FindSection(section) != nullptr;
}

std::vector<std::string> IniFile::SectionNames() const {
    std::vector<std::string> names;
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        auto it = index_.find(Fold(sections_[i].name));
        if (it != index_.end() && it->second == i) {
            names.push_back(sections_[i].name);
        }
    }
    return names;
}

std::optional<std::string> IniFile::Encode(std::string_view text, TextCodec& codec) const {
    if (encoding_ == TextEncoding::Utf8 || !HasHighByte(text)) {
        return std::string(text);
    }
    return codec.Utf8ToCp932(text);
}

bool IniFile::Set(std::string_view section, std::string_view key, std::string_view value,
                  TextCodec& codec) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        HasLineBreak(value) || section.find(']') != std::string_view::npos ||
        key.find('=') != std::string_view::npos || key.front() == ';' || key.front() == '[' ||
        !IsValidUtf8(section) || !IsValidUtf8(key) || !IsValidUtf8(value)) {
        return false;
    }
    const std::string stored = QuoteIfNeeded(value);

    auto it = index_.find(Fold(section));
    if (it == index_.end()) {
        auto header = Encode("[" + std::string(section) + "]", codec);
        auto keyLine = Encode(std::string(key) + "=" + stored, codec);
        if (!header || !keyLine) {
            return false;
        }
        for (auto s = sections_.rbegin(); s != sections_.rend(); ++s) {
            if (!s->lines.empty()) {
                if (s->lines.back().eol.empty()) {
                    s->lines.back().eol = newline_;
                }
                break;
            }
        }
        Section added;
        added.name.assign(section);
        added.lines.push_back(Line{std::move(*header), newline_});
        added.lines.push_back(Line{std::move(*keyLine), newline_});
        added.entries.push_back(
            Entry{Fold(key), std::string(key), std::string(Unquote(stored)), 1});
        index_.emplace(Fold(section), sections_.size());
        sections_.push_back(std::move(added));
        return true;
    }

    Section& s = sections_[it->second];
    const std::string folded = Fold(key);
    for (Entry& e : s.entries) {
        if (e.folded == folded) {
            auto line = Encode(e.name + "=" + stored, codec);
            if (!line) {
                return false;
            }
            s.lines[e.line].raw = std::move(*line);
            e.value.assign(Unquote(stored));
            return true;
        }
    }

    auto line = Encode(std::string(key) + "=" + stored, codec);
    if (!line) {
        return false;
    }
    std::size_t at = 1;  // after the header
    for (const Entry& e : s.entries) {
        at = std::max(at, e.line + 1);
    }
    if (s.lines[at - 1].eol.empty()) {
        s.lines[at - 1].eol = newline_;
    }
    s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(at),
                   Line{std::move(*line), newline_});
    s.entries.push_back(Entry{folded, std::string(key), std::string(Unquote(stored)), at});
    return true;
}

std::string IniFile::Serialize() const {
    std::size_t total = 0;
    for (const Section& s : sections_) {
        for (const Line& l : s.lines) {
            total += l.raw.size() + l.eol.size();
        }
    }
    std::string out;
    out.reserve(total);
    for (const Section& s : sections_) {
        for (const Line& l : s.lines) {
            out += l.raw;
            out += l.eol;
        }
    }
    return out;
}

}  // namespace qv
