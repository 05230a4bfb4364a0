#pragma once
// One configuration file parsed into memory: load it once, read many keys, change
// values, and turn it back into bytes. Reads and writes behave as the Windows
// private-profile functions do, so files move between the platforms unchanged:
//
// - section and key names are compared ignoring ASCII case;
// - the first of duplicate sections, and the first of duplicate keys in a section, wins;
// - blanks (space, tab) around names and values are trimmed, and one pair of matching
//   quotes (" or ') around a value is removed;
// - lines whose first non-blank character is ';' are comments; key lines before the
//   first section and lines without '=' are kept but never read;
// - a write replaces the value of the existing key line in place, adds a missing key
//   after the last key of its section, and appends a missing section at the end of the
//   file; every other line keeps its bytes, its order and its line end.
//
// Encoding: a file that is valid UTF-8 (optionally with a byte-order mark) is UTF-8;
// any other file is code page 932 (Shift-JIS, from a Japanese Windows) and stays so
// when written. Values come out and go in as UTF-8. Lines that are not changed keep
// their original bytes, so comments survive byte for byte in either encoding.
//
// Line ends: LF and CRLF files are read alike; new lines take the line end of the
// file's first line. A new (empty) document writes CRLF, as Windows does, so a file
// can be copied to the Windows build and back unchanged.

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

enum class TextEncoding { Utf8, ShiftJis };

class IniFile {
public:
    // An empty UTF-8 document with CRLF line ends (what a missing file is).
    IniFile();
    IniFile(IniFile&&) noexcept = default;
    IniFile& operator=(IniFile&&) noexcept = default;
    IniFile(const IniFile&) = delete;  // it holds views into its own texts
    IniFile& operator=(const IniFile&) = delete;

    // Parses a file's bytes; never fails (lines it cannot read are kept and ignored).
    static IniFile Parse(std::string_view bytes, TextCodec& codec);

    // The value of `key` in `section` (blanks trimmed, quotes removed), or nullopt when the
    // section or the key is missing. A key written as "Key=" gives an empty value.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // The same as a view into the document, valid while the document lives and is not changed;
    // for passes that read many keys.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
    // Whether the section exists.
    bool HasSection(std::string_view section) const;
    // The number of section headers in the file, duplicates included.
    std::size_t SectionCount() const { return sections_.size() - 1; }
    // Section names of every header in file order, duplicates included.
    std::vector<std::string> SectionNames() const;

    // Sets `key` in `section` to `value` (UTF-8, written as given). False, leaving the
    // document unchanged, when a name or the value holds a line break, a section name holds
    // ']', a key name is empty or holds '=', or the text has no form in the file's encoding.
    bool Set(std::string_view section, std::string_view key, std::string_view value,
             TextCodec& codec);

    // The document as file bytes.
    std::string Serialize() const;

    // The file's encoding.
    TextEncoding Encoding() const { return encoding_; }
    // The line end used for new lines: "\r\n" or "\n".
    std::string_view NewLine() const { return EolText(newline_); }

private:
    // Every text the document refers to lives in `texts_` (the file's bytes first, then
    // decoded and rewritten lines); each is heap-held, so the views below stay valid when
    // the document moves. Lines, entries and sections are flat arrays for a fast parse.
    enum class Eol : std::uint8_t { None, Lf, CrLf };
    struct Line {
        std::string_view raw;  // the line's bytes as in the file, without its line end
        Eol eol;
    };
    struct Entry {
        std::string_view name;   // key name (UTF-8)
        std::string_view value;  // trimmed, quotes removed (UTF-8)
        std::uint32_t line;      // index into lines_
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
    std::string_view EolText(Eol eol) const;
    const Section* FindSection(std::string_view section) const;
    std::optional<std::string> Encode(std::string_view text, TextCodec& codec) const;
    void InsertLine(std::size_t sectionIndex, std::uint32_t at, Line line);

    TextEncoding encoding_ = TextEncoding::Utf8;
    Eol newline_ = Eol::CrLf;
    std::vector<std::unique_ptr<std::string>> texts_;
    std::vector<Line> lines_;
    std::vector<Entry> entries_;
    std::vector<Section> sections_;  // sections_[0] is the preamble
    std::unordered_map<std::string_view, std::size_t, FoldHash, FoldEqual> index_;  // first wins
};

}  // namespace qv
