#include "config/IniFile.h"

#include <algorithm>
#include <cstring>

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

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
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
        // Plain ASCII, eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((word & 0x8080808080808080ull) != 0) {
                break;
            }
            p += 8;
        }
        if (p == end) {
            break;
        }
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

std::size_t IniFile::FoldHash::operator()(std::string_view s) const noexcept {
    std::size_t h = 1469598103934665603ull;
    for (char c : s) {
        h = (h ^ static_cast<unsigned char>(Lower(c))) * 1099511628211ull;
    }
    return h;
}

bool IniFile::FoldEqual::operator()(std::string_view a, std::string_view b) const noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

IniFile::IniFile() {
    sections_.push_back(Section{{}, 0, 0, 0, 0});
}

std::string_view IniFile::Keep(std::string text) {
    texts_.push_back(std::make_unique<std::string>(std::move(text)));
    return *texts_.back();
}

std::string_view IniFile::EolText(Eol eol) const {
    switch (eol) {
        case Eol::CrLf:
            return "\r\n";
        case Eol::Lf:
            return "\n";
        case Eol::None:
            break;
    }
    return {};
}

IniFile IniFile::Parse(std::string_view input, TextCodec& codec) {
    IniFile doc;
    const std::string_view bytes = doc.Keep(std::string(input));
    std::size_t bom = 0;
    if (bytes.substr(0, kBom.size()) == kBom) {
        bom = kBom.size();
    }
    doc.encoding_ = (bom != 0 || IsValidUtf8(bytes)) ? TextEncoding::Utf8 : TextEncoding::ShiftJis;
    const std::size_t lineCount =
        static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    doc.lines_.reserve(lineCount);
    doc.entries_.reserve(lineCount);

    bool newlineKnown = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const void* hit = std::memchr(bytes.data() + pos, '\n', bytes.size() - pos);
        Line line{{}, Eol::None};
        if (hit == nullptr) {
            line.raw = bytes.substr(pos);
            pos = bytes.size();
        } else {
            const std::size_t nl =
                static_cast<std::size_t>(static_cast<const char*>(hit) - bytes.data());
            std::size_t end = nl;
            if (end > pos && bytes[end - 1] == '\r') {
                --end;
                line.eol = Eol::CrLf;
            } else {
                line.eol = Eol::Lf;
            }
            line.raw = bytes.substr(pos, end - pos);
            pos = nl + 1;
            if (!newlineKnown) {
                doc.newline_ = line.eol;
                newlineKnown = true;
            }
        }

        std::string_view text = line.raw;
        if (doc.lines_.empty()) {
            text.remove_prefix(bom);
        }
        if (doc.encoding_ == TextEncoding::ShiftJis && HasHighByte(text)) {
            auto utf8 = codec.Cp932ToUtf8(text);
            text = doc.Keep(utf8 ? std::move(*utf8) : ReplaceHighBytes(text));
        }
        const auto lineIndex = static_cast<std::uint32_t>(doc.lines_.size());
        doc.lines_.push_back(line);

        std::string_view t = TrimBlanks(text);
        if (t.empty() || t.front() == ';') {
            continue;
        }
        if (t.front() == '[') {
            t.remove_prefix(1);
            const std::string_view name = TrimBlanks(t.substr(0, t.find(']')));
            Section& last = doc.sections_.back();
            last.endLine = lineIndex;
            last.endEntry = static_cast<std::uint32_t>(doc.entries_.size());
            doc.index_.try_emplace(name, doc.sections_.size());
            doc.sections_.push_back(
                Section{name, lineIndex, 0, static_cast<std::uint32_t>(doc.entries_.size()), 0});
            continue;
        }
        // Keys before the first section are never read, as on Windows.
        if (doc.sections_.size() == 1) {
            continue;
        }
        const std::size_t eq = t.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        const std::string_view name = TrimBlanks(t.substr(0, eq));
        if (!name.empty()) {
            doc.entries_.push_back(Entry{name, Unquote(t.substr(eq + 1)), lineIndex});
        }
    }
    Section& last = doc.sections_.back();
    last.endLine = static_cast<std::uint32_t>(doc.lines_.size());
    last.endEntry = static_cast<std::uint32_t>(doc.entries_.size());
    return doc;
}

const IniFile::Section* IniFile::FindSection(std::string_view section) const {
    auto it = index_.find(TrimBlanks(section));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
    if (auto value = Find(section, key)) {
        return std::string(*value);
    }
    return std::nullopt;
}

std::optional<std::string_view> IniFile::Find(std::string_view section,
                                              std::string_view key) const {
    const Section* s = FindSection(section);
    if (s == nullptr) {
        return std::nullopt;
    }
    key = TrimBlanks(key);
    for (std::uint32_t i = s->firstEntry; i < s->endEntry; ++i) {
        if (FoldEqual{}(entries_[i].name, key)) {
            return entries_[i].value;
        }
    }
    return std::nullopt;
}

bool IniFile::HasSection(std::string_view section) const {
    return FindSection(section) != nullptr;
}

std::vector<std::string> IniFile::SectionNames() const {
    std::vector<std::string> names;
    names.reserve(sections_.size() - 1);
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        names.emplace_back(sections_[i].name);
    }
    return names;
}

std::optional<std::string> IniFile::Encode(std::string_view text, TextCodec& codec) const {
    if (encoding_ == TextEncoding::Utf8 || !HasHighByte(text)) {
        return std::string(text);
    }
    return codec.Utf8ToCp932(text);
}

void IniFile::InsertLine(std::size_t sectionIndex, std::uint32_t at, Line line) {
    if (at > 0 && lines_[at - 1].eol == Eol::None) {
        lines_[at - 1].eol = newline_;
    }
    lines_.insert(lines_.begin() + at, line);
    for (Entry& e : entries_) {
        if (e.line >= at) {
            ++e.line;
        }
    }
    sections_[sectionIndex].endLine++;
    for (std::size_t i = sectionIndex + 1; i < sections_.size(); ++i) {
        sections_[i].firstLine++;
        sections_[i].endLine++;
    }
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

    auto it = index_.find(section);
    if (it == index_.end()) {
        auto header = Encode("[" + std::string(section) + "]", codec);
        auto keyLine = Encode(std::string(key) + "=" + stored, codec);
        if (!header || !keyLine) {
            return false;
        }
        if (!lines_.empty() && lines_.back().eol == Eol::None) {
            lines_.back().eol = newline_;
        }
        const std::string_view name = Keep(std::string(section));
        const std::string_view utf8 = Keep(std::string(key) + "=" + stored);
        const auto first = static_cast<std::uint32_t>(lines_.size());
        const auto firstEntry = static_cast<std::uint32_t>(entries_.size());
        lines_.push_back(Line{Keep(std::move(*header)), newline_});
        lines_.push_back(Line{Keep(std::move(*keyLine)), newline_});
        entries_.push_back(
            Entry{utf8.substr(0, key.size()), Unquote(utf8.substr(key.size() + 1)), first + 1});
        index_.emplace(name, sections_.size());
        sections_.push_back(Section{name, first, first + 2, firstEntry, firstEntry + 1});
        return true;
    }

    const std::size_t sectionIndex = it->second;
    Section& s = sections_[sectionIndex];
    for (std::uint32_t i = s.firstEntry; i < s.endEntry; ++i) {
        Entry& e = entries_[i];
        if (FoldEqual{}(e.name, key)) {
            const std::string text = std::string(e.name) + "=" + stored;
            auto line = Encode(text, codec);
            if (!line) {
                return false;
            }
            const std::string_view utf8 = Keep(text);
            lines_[e.line].raw = Keep(std::move(*line));
            e.value = Unquote(utf8.substr(e.name.size() + 1));
            return true;
        }
    }

    const std::string text = std::string(key) + "=" + stored;
    auto line = Encode(text, codec);
    if (!line) {
        return false;
    }
    const std::string_view utf8 = Keep(text);
    std::uint32_t at = s.firstLine + 1;  // after the header
    for (std::uint32_t i = s.firstEntry; i < s.endEntry; ++i) {
        at = std::max(at, entries_[i].line + 1);
    }
    InsertLine(sectionIndex, at, Line{Keep(std::move(*line)), newline_});
    const std::uint32_t entryAt = s.endEntry;
    entries_.insert(entries_.begin() + entryAt,
                    Entry{utf8.substr(0, key.size()), Unquote(utf8.substr(key.size() + 1)), at});
    s.endEntry++;
    for (std::size_t i = sectionIndex + 1; i < sections_.size(); ++i) {
        sections_[i].firstEntry++;
        sections_[i].endEntry++;
    }
    return true;
}

std::string IniFile::Serialize() const {
    std::size_t total = 0;
    for (const Line& l : lines_) {
        total += l.raw.size() + EolText(l.eol).size();
    }
    std::string out;
    out.reserve(total);
    for (const Line& l : lines_) {
        out += l.raw;
        out += EolText(l.eol);
    }
    return out;
}

}  // namespace qv
