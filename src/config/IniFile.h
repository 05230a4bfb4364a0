#pragma once
// One configuration file parsed into memory: load it once, read many keys, change
// values, and turn it back into bytes. Files are read as the Windows private-profile
// functions read them, so a file moved between the platforms means the same on both:
//
// - LF, CRLF and a lone CR each end a line, wherever they stand;
// - blanks, tabs, VT, FF and ^Z around names and values are trimmed (NBSP is not), and
//   one pair of matching quotes (" or ') around a value is removed;
// - a NUL ends the name or value it stands in; the rest of the file reads normally;
// - "[name]" opens a section (text after ']' is ignored); a line starting with '[' but
//   without ']' is an ordinary line of the section before, which goes on;
// - section and key names are compared ignoring ASCII case; the first of duplicate
//   sections, and the first of duplicate keys in a section, wins;
// - keys before the first section belong to the nameless section "", keys under "[]"
//   can never be reached, "=v" is the key "" and ";k=v" the key ";k";
// - lines without '=' are kept but never read.
//
// Writing is sounder than Windows, which rewrites the whole file: a write replaces the
// existing key line in place, adds a missing key after the last key of its section and
// appends a missing section at the end; every other line keeps its bytes, its order and its
// line end. Writing the value a key already has changes nothing. Values are not cut at 254
// bytes, values with line breaks are refused, and values that reading would change are
// quoted so that they read back as written.
//
// Encoding: a file with a UTF-16LE byte-order mark is UTF-16LE; a file that is valid UTF-8
// (optionally with a byte-order mark) is UTF-8; any other file is code page 932 (Shift-JIS,
// from a Japanese Windows). Each stays in its encoding when written. Values come out and go
// in as UTF-8. Lines that are not changed keep their original bytes, so comments survive
// byte for byte in any encoding.
//
// New lines take the line end of the file's first line. A new (empty) document writes
// CRLF, as Windows does, so a file can be copied to the Windows build and back unchanged.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qv {

class TextCodec;

enum class TextEncoding { Utf8, ShiftJis, Utf16Le };

// The encoding's name for people: "UTF-8", "Shift-JIS (code page 932)", "UTF-16LE".
std::string_view EncodingName(TextEncoding encoding);

class IniFile {
public:
    // An empty UTF-8 document with CRLF line ends (what a missing file is).
    IniFile();
    IniFile(IniFile&&) noexcept = default;
    IniFile& operator=(IniFile&&) noexcept = default;
    IniFile(const IniFile&) = delete;  // it holds views into its own texts
    IniFile& operator=(const IniFile&) = delete;

    // Parses a file's bytes; never fails (lines it cannot read are kept and ignored; bytes
    // that are not valid in the file's encoding read as U+FFFD, each on its own).
    // `plainText` is the encoding of a file without a byte-order mark that holds only
    // ASCII (an empty one included), which either encoding reads alike: UTF-8, or
    // ShiftJis for the codec's code page (on Windows the ANSI code page, so text the
    // program adds later reads the same in Windows' own tools). It stays so.
    static IniFile Parse(std::string_view bytes, TextCodec& codec,
                         TextEncoding plainText = TextEncoding::Utf8);

    // The value of `key` in `section` (blanks trimmed, quotes removed), or nullopt when the
    // section or the key is missing. A key written as "Key=" gives an empty value. Blanks
    // around the names asked for are ignored; section "" holds the keys before the first
    // section.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // The same as a view into the document, valid while the document lives and is not changed;
    // for passes that read many keys.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
    // Whether the section exists ("" always does).
    bool HasSection(std::string_view section) const;
    // The number of section headers in the file, duplicates and "[]" included.
    std::size_t SectionCount() const { return sections_.size() - 1; }
    // Section names of every header in file order, duplicates included, "[]" left out.
    std::vector<std::string> SectionNames() const;

    // Sets `key` in `section` to `value` (UTF-8); a later Get gives `value` back exactly.
    // True, without a change, when the key already has that value. False, leaving the
    // document unchanged, when a name or the value holds a line break or a NUL, the section
    // name is empty or holds ']', the key name is empty, holds '=' or starts with ';' or
    // '[', the text has no form in the file's encoding, the change would make a Shift-JIS
    // file read as UTF-8, or it would add text after half a UTF-16 character at the end.
    bool Set(std::string_view section, std::string_view key, std::string_view value,
             TextCodec& codec);
    // Whether a Set changed the document since it was parsed.
    bool Modified() const { return modified_; }

    // The document as file bytes.
    std::string Serialize() const;

    // The file's encoding.
    TextEncoding Encoding() const { return encoding_; }
    // The line end used for new lines: "\r\n", "\n" or "\r" (as text, whatever the encoding).
    std::string_view NewLine() const { return EolText(newline_); }

private:
    // Every text the document refers to lives in `texts_` (the file's bytes first, then
    // decoded and rewritten lines); each is heap-held, so the views below stay valid when
    // the document moves. Lines, entries and sections are flat arrays for a fast parse.
    enum class Eol : std::uint8_t { None, Lf, CrLf, Cr };
    struct Line {
        std::string_view raw;  // the line's bytes as in the file, without its line end
        Eol eol;
    };
    struct Entry {
        std::string_view name;   // key name (UTF-8)
        std::string_view value;  // trimmed, quotes removed (UTF-8)
        std::uint32_t line;      // index into lines_
        bool comment;            // a ';' line: found by its exact name, never written
    };
    struct Section {
        std::string_view name;  // UTF-8; empty for the preamble before the first header
        std::uint32_t firstLine, endLine;
        std::uint32_t firstEntry, endEntry;
    };
    struct FoldHash {
        std::size_t operator()(std::string_view s) const noexcept;
    };
    struct FoldEqual {
        bool operator()(std::string_view a, std::string_view b) const noexcept;
    };

    std::string_view Keep(std::string text);
    static std::string_view EolText(Eol eol);
    std::string_view EolBytes(Eol eol) const;
    std::string Decode(std::string_view raw, TextCodec& codec) const;
    void ParseLine(std::string_view text, std::uint32_t lineIndex);
    const Section* FindSection(std::string_view section) const;
    std::optional<std::string> Encode(std::string_view text, TextCodec& codec) const;
    bool KeepsShiftJis(std::string_view oldRaw, std::string_view newRaw) const;
    void InsertLine(std::size_t sectionIndex, std::uint32_t at, Line line);
    void MarkModified();

    TextEncoding encoding_ = TextEncoding::Utf8;
    TextEncoding plainText_ = TextEncoding::Utf8;
    Eol newline_ = Eol::CrLf;
    bool modified_ = false;
    // Shift-JIS files only: lines that are not valid UTF-8. A write that would leave none
    // (while the file has other non-ASCII text) would make the file read as UTF-8.
    std::size_t nonUtf8Lines_ = 0;
    // UTF-16LE files only: the file ends in half a character. Text added after it would be
    // read a byte out of step, so nothing is added at the end of such a file.
    bool oddTail_ = false;
    std::vector<std::unique_ptr<std::string>> texts_;
    std::vector<Line> lines_;
    std::vector<Entry> entries_;
    std::vector<Section> sections_;  // sections_[0] is the preamble
    std::unordered_map<std::string_view, std::size_t, FoldHash, FoldEqual> index_;  // first wins
};

}  // namespace qv
