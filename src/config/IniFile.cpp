#include "config/IniFile.h"

#include <algorithm>
#include <cstring>

#include "config/TextCodec.h"

namespace qv {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// What the private-profile functions trim around names and values: blank, tab, VT, FF
// and ^Z (a DOS end-of-file mark). Not NBSP or other non-ASCII space.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Names and values are C strings on Windows: a NUL ends them.
std::string_view CutAtNul(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

// A name as it is looked up: trimmed, up to a NUL.
std::string_view Name(std::string_view s) {
    return CutAtNul(Trim(s));
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// The value as the private-profile functions return it: trimmed, cut at a NUL, and one
// pair of matching quotes around it removed.
std::string_view Unquote(std::string_view v) {
    v = CutAtNul(Trim(v));
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

bool HasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char16_t Unit(std::string_view bytes, std::size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
}

// UTF-16LE bytes to UTF-8; a lone surrogate or an odd last byte reads as U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char16_t u = Unit(bytes, i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const char16_t low = Unit(bytes, i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            out += kReplacement;
        } else {
            AppendUtf8(out, u);
        }
    }
    if (i < bytes.size()) {
        out += kReplacement;
    }
    return out;
}

// Valid UTF-8 to UTF-16LE bytes.
std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    const auto put = [&out](char32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k < len; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        i += static_cast<std::size_t>(len);
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

bool IsShiftJisLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsShiftJisTrail(unsigned char c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// A code page 932 line the codec cannot read as a whole, character by character: a byte
// (or lead-and-trail pair) that has no character reads as U+FFFD, and only it.
std::string DecodeShiftJisLenient(std::string_view s, TextCodec& codec) {
    std::string out;
    out.reserve(s.size() * 2);
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += s[i++];
            continue;
        }
        const std::size_t len = (IsShiftJisLead(c) && i + 1 < s.size() &&
                                 IsShiftJisTrail(static_cast<unsigned char>(s[i + 1])))
                                    ? 2
                                    : 1;
        auto utf8 = codec.Cp932ToUtf8(s.substr(i, len));
        out += utf8 ? std::string_view(*utf8) : kReplacement;
        i += len;
    }
    return out;
}

// Quotes a value that reading would otherwise change: one with blanks at either end
// (they would be trimmed) or already in matching quotes (they would be removed). The
// reading side removes exactly the added pair.
std::string QuoteIfNeeded(std::string_view value) {
    const bool quoted =
        value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
    if (!value.empty() && (quoted || IsSpace(value.front()) || IsSpace(value.back()))) {
        return "\"" + std::string(value) + "\"";
    }
    return std::string(value);
}

}  // namespace

std::string_view EncodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return "UTF-8";
        case TextEncoding::ShiftJis:
            return "Shift-JIS (code page 932)";
        case TextEncoding::Utf16Le:
            return "UTF-16LE";
    }
    return "";
}

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

std::string_view IniFile::EolText(Eol eol) {
    switch (eol) {
        case Eol::CrLf:
            return "\r\n";
        case Eol::Lf:
            return "\n";
        case Eol::Cr:
            return "\r";
        case Eol::None:
            break;
    }
    return {};
}

std::string_view IniFile::EolBytes(Eol eol) const {
    if (encoding_ != TextEncoding::Utf16Le) {
        return EolText(eol);
    }
    switch (eol) {
        case Eol::CrLf:
            return std::string_view("\r\0\n\0", 4);
        case Eol::Lf:
            return std::string_view("\n\0", 2);
        case Eol::Cr:
            return std::string_view("\r\0", 2);
        case Eol::None:
            break;
    }
    return {};
}

std::string IniFile::Decode(std::string_view raw, TextCodec& codec) const {
    if (encoding_ == TextEncoding::Utf16Le) {
        return Utf16LeToUtf8(raw);
    }
    // Shift-JIS: a line the codec reads in one go is the common case; otherwise each bad
    // byte spoils only itself.
    auto utf8 = codec.Cp932ToUtf8(raw);
    return utf8 ? std::move(*utf8) : DecodeShiftJisLenient(raw, codec);
}

IniFile IniFile::Parse(std::string_view input, TextCodec& codec, TextEncoding plainText) {
    IniFile doc;
    doc.plainText_ = plainText;
    const std::string_view bytes = doc.Keep(std::string(input));
    std::size_t bom = 0;
    if (bytes.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
        doc.encoding_ = TextEncoding::Utf16Le;
        bom = kUtf16LeBom.size();
    } else if (bytes.substr(0, kBom.size()) == kBom) {
        doc.encoding_ = TextEncoding::Utf8;
        bom = kBom.size();
    } else if (!HasHighByte(bytes)) {
        doc.encoding_ = plainText;
    } else {
        doc.encoding_ = IsValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::ShiftJis;
    }
    const bool wide = doc.encoding_ == TextEncoding::Utf16Le;
    doc.oddTail_ = wide && bytes.size() % 2 != 0;
    const std::size_t lineCount =
        static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    doc.lines_.reserve(lineCount);
    doc.entries_.reserve(lineCount);

    bool newlineKnown = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // The line runs up to the first LF or CR; a CR right before an LF makes one CRLF.
        Line line{{}, Eol::None};
        std::size_t next = bytes.size();
        if (wide) {
            std::size_t i = pos;
            for (; i + 1 < bytes.size(); i += 2) {
                const char16_t u = Unit(bytes, i);
                if (u == u'\n') {
                    line.eol = Eol::Lf;
                    next = i + 2;
                    break;
                }
                if (u == u'\r') {
                    const bool crlf = i + 3 < bytes.size() && Unit(bytes, i + 2) == u'\n';
                    line.eol = crlf ? Eol::CrLf : Eol::Cr;
                    next = i + (crlf ? 4 : 2);
                    break;
                }
            }
            line.raw = bytes.substr(pos, (line.eol == Eol::None ? bytes.size() : i) - pos);
        } else {
            const char* base = bytes.data();
            const auto* lf =
                static_cast<const char*>(std::memchr(base + pos, '\n', bytes.size() - pos));
            const std::size_t lfAt =
                lf == nullptr ? bytes.size() : static_cast<std::size_t>(lf - base);
            const auto* cr = static_cast<const char*>(std::memchr(base + pos, '\r', lfAt - pos));
            std::size_t end = lfAt;
            if (cr != nullptr) {
                end = static_cast<std::size_t>(cr - base);
                const bool crlf = lf != nullptr && end + 1 == lfAt;
                line.eol = crlf ? Eol::CrLf : Eol::Cr;
                next = end + (crlf ? 2 : 1);
            } else if (lf != nullptr) {
                line.eol = Eol::Lf;
                next = lfAt + 1;
            }
            line.raw = bytes.substr(pos, end - pos);
        }
        pos = next;
        if (!newlineKnown && line.eol != Eol::None) {
            doc.newline_ = line.eol;
            newlineKnown = true;
        }

        std::string_view text = line.raw;
        if (doc.lines_.empty()) {
            text.remove_prefix(bom);
        }
        if (doc.encoding_ == TextEncoding::ShiftJis && !IsValidUtf8(line.raw)) {
            ++doc.nonUtf8Lines_;
        }
        if (wide || (doc.encoding_ == TextEncoding::ShiftJis && HasHighByte(text))) {
            text = doc.Keep(doc.Decode(text, codec));
        }
        const auto lineIndex = static_cast<std::uint32_t>(doc.lines_.size());
        doc.lines_.push_back(line);
        doc.ParseLine(text, lineIndex);
    }
    Section& last = doc.sections_.back();
    last.endLine = static_cast<std::uint32_t>(doc.lines_.size());
    last.endEntry = static_cast<std::uint32_t>(doc.entries_.size());
    return doc;
}

void IniFile::ParseLine(std::string_view text, std::uint32_t lineIndex) {
    const std::string_view t = Trim(text);
    if (t.empty()) {
        return;
    }
    if (t.front() == '[') {
        const std::size_t close = t.find(']');
        // Without ']' the line is no header, just a line of the section before.
        if (close != std::string_view::npos) {
            const std::string_view name = Name(t.substr(1, close - 1));
            Section& last = sections_.back();
            last.endLine = lineIndex;
            last.endEntry = static_cast<std::uint32_t>(entries_.size());
            // "[]" opens a section that no name reaches: "" is the keys before the first one.
            if (!name.empty()) {
                index_.try_emplace(name, sections_.size());
            }
            sections_.push_back(
                Section{name, lineIndex, 0, static_cast<std::uint32_t>(entries_.size()), 0});
            return;
        }
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
        return;
    }
    const std::string_view name = Name(t.substr(0, eq));
    const bool comment = !name.empty() && name.front() == ';';
    entries_.push_back(Entry{name, Unquote(t.substr(eq + 1)), lineIndex, comment});
}

const IniFile::Section* IniFile::FindSection(std::string_view section) const {
    section = Name(section);
    if (section.empty()) {
        return &sections_[0];
    }
    auto it = index_.find(section);
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
    key = Name(key);
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
        if (!sections_[i].name.empty()) {
            names.emplace_back(sections_[i].name);
        }
    }
    return names;
}

std::optional<std::string> IniFile::Encode(std::string_view text, TextCodec& codec) const {
    switch (encoding_) {
        case TextEncoding::Utf16Le:
            return Utf8ToUtf16Le(text);
        case TextEncoding::ShiftJis:
            if (HasHighByte(text)) {
                return codec.Utf8ToCp932(text);
            }
            break;
        case TextEncoding::Utf8:
            break;
    }
    return std::string(text);
}

// Whether replacing `oldRaw` (empty for a new line) by `newRaw` keeps a Shift-JIS file
// recognisable as such: a file that is valid UTF-8 reads as UTF-8, which gives its
// non-ASCII bytes another meaning.
bool IniFile::KeepsShiftJis(std::string_view oldRaw, std::string_view newRaw) const {
    if (encoding_ != TextEncoding::ShiftJis) {
        return true;
    }
    const std::size_t remaining = nonUtf8Lines_ - (IsValidUtf8(oldRaw) ? 0 : 1);
    if (remaining > 0 || !IsValidUtf8(newRaw)) {
        return true;
    }
    // Nothing that marks the file as Shift-JIS is left; only plain ASCII reads the same.
    if (HasHighByte(newRaw)) {
        return false;
    }
    return std::none_of(lines_.begin(), lines_.end(), [&](const Line& l) {
        return l.raw.data() != oldRaw.data() && HasHighByte(l.raw);
    });
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
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty() || HasLineBreakOrNul(section) || HasLineBreakOrNul(key) ||
        HasLineBreakOrNul(value) || section.find(']') != std::string_view::npos ||
        key.find('=') != std::string_view::npos || key.front() == ';' || key.front() == '[' ||
        !IsValidUtf8(section) || !IsValidUtf8(key) || !IsValidUtf8(value)) {
        return false;
    }
    // Windows leaves the file alone as well when nothing changes.
    if (auto current = Find(section, key); current && *current == value) {
        return true;
    }
    const std::string stored = QuoteIfNeeded(value);

    auto it = index_.find(section);
    if (it == index_.end()) {
        auto header = Encode("[" + std::string(section) + "]", codec);
        auto keyLine = Encode(std::string(key) + "=" + stored, codec);
        if (oddTail_ || !header || !keyLine || !KeepsShiftJis({}, *header + *keyLine)) {
            return false;
        }
        if (!lines_.empty() && lines_.back().eol == Eol::None) {
            lines_.back().eol = newline_;
        }
        const std::string_view name = Keep(std::string(section));
        const std::string_view utf8 = Keep(std::string(key) + "=" + stored);
        const auto first = static_cast<std::uint32_t>(lines_.size());
        const auto firstEntry = static_cast<std::uint32_t>(entries_.size());
        sections_.back().endLine = first;
        sections_.back().endEntry = firstEntry;
        nonUtf8Lines_ += (IsValidUtf8(*header) ? 0 : 1) + (IsValidUtf8(*keyLine) ? 0 : 1);
        lines_.push_back(Line{Keep(std::move(*header)), newline_});
        lines_.push_back(Line{Keep(std::move(*keyLine)), newline_});
        entries_.push_back(Entry{utf8.substr(0, key.size()), Unquote(utf8.substr(key.size() + 1)),
                                 first + 1, false});
        index_.emplace(name, sections_.size());
        sections_.push_back(Section{name, first, first + 2, firstEntry, firstEntry + 1});
        MarkModified();
        return true;
    }

    const std::size_t sectionIndex = it->second;
    Section& s = sections_[sectionIndex];
    for (std::uint32_t i = s.firstEntry; i < s.endEntry; ++i) {
        Entry& e = entries_[i];
        if (FoldEqual{}(e.name, key)) {
            const std::string text = std::string(e.name) + "=" + stored;
            auto line = Encode(text, codec);
            if (!line || !KeepsShiftJis(lines_[e.line].raw, *line)) {
                return false;
            }
            if (encoding_ == TextEncoding::ShiftJis) {
                nonUtf8Lines_ = nonUtf8Lines_ - (IsValidUtf8(lines_[e.line].raw) ? 0 : 1) +
                                (IsValidUtf8(*line) ? 0 : 1);
            }
            // The half character at the end of a UTF-16 file goes with its line.
            if (e.line + 1 == lines_.size()) {
                oddTail_ = false;
            }
            const std::string_view utf8 = Keep(text);
            lines_[e.line].raw = Keep(std::move(*line));
            e.value = Unquote(utf8.substr(e.name.size() + 1));
            MarkModified();
            return true;
        }
    }

    // After the last key of the section (comments and other lines after it stay where they
    // are, with whatever they describe), or right after the header.
    std::uint32_t at = s.firstLine + 1;
    for (std::uint32_t i = s.firstEntry; i < s.endEntry; ++i) {
        if (!entries_[i].comment) {
            at = std::max(at, entries_[i].line + 1);
        }
    }
    const std::string text = std::string(key) + "=" + stored;
    auto line = Encode(text, codec);
    if (!line || !KeepsShiftJis({}, *line) || (oddTail_ && at == lines_.size())) {
        return false;
    }
    nonUtf8Lines_ += IsValidUtf8(*line) ? 0 : 1;
    const std::string_view utf8 = Keep(text);
    InsertLine(sectionIndex, at, Line{Keep(std::move(*line)), newline_});
    const std::uint32_t entryAt = s.endEntry;
    entries_.insert(
        entries_.begin() + entryAt,
        Entry{utf8.substr(0, key.size()), Unquote(utf8.substr(key.size() + 1)), at, false});
    s.endEntry++;
    for (std::size_t i = sectionIndex + 1; i < sections_.size(); ++i) {
        sections_[i].firstEntry++;
        sections_[i].endEntry++;
    }
    MarkModified();
    return true;
}

void IniFile::MarkModified() {
    modified_ = true;
    // A Shift-JIS file left with plain ASCII only reads as UTF-8 from now on (KeepsShiftJis
    // allows nothing else), and new text is written so; unless plain ASCII is taken for
    // Shift-JIS.
    if (encoding_ == TextEncoding::ShiftJis && nonUtf8Lines_ == 0 &&
        plainText_ != TextEncoding::ShiftJis) {
        encoding_ = TextEncoding::Utf8;
    }
}

std::string IniFile::Serialize() const {
    std::size_t total = 0;
    for (const Line& l : lines_) {
        total += l.raw.size() + EolBytes(l.eol).size();
    }
    std::string out;
    out.reserve(total);
    for (const Line& l : lines_) {
        out += l.raw;
        out += EolBytes(l.eol);
    }
    return out;
}

}  // namespace qv
