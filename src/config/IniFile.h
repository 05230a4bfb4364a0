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

    // Parses a file's bytes; never fails (lines it cannot read are kept and ignored).
    static IniFile Parse(std::string_view bytes, TextCodec& codec);

    // The value of `key` in `section` (blanks trimmed, quotes removed), or nullopt when the
    // section or the key is missing. A key written as "Key=" gives an empty value.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // Whether the section exists.
    bool HasSection(std::string_view section) const;
    // Section names in file order, each name once (the first spelling of duplicates).
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
    std::string_view NewLine() const { return newline_; }

private:
    struct Line {
        std::string raw;  // the line's bytes as in the file, without its line end
        std::string eol;  // "\r\n", "\n", or "" for a last line without line end
    };
    struct Entry {
        std::string folded;  // key name in ASCII lower case
        std::string name;    // key name as spelled in the file (UTF-8)
        std::string value;   // trimmed, quotes removed (UTF-8)
        std::size_t line;    // index into the section's lines
    };
    struct Section {
        std::string name;            // as spelled in the file (UTF-8); empty for the preamble
        std::vector<Line> lines;     // the header first (none for the preamble), then the body
        std::vector<Entry> entries;  // key lines in file order, duplicates included
    };

    const Section* FindSection(std::string_view section) const;
    std::optional<std::string> Encode(std::string_view text, TextCodec& codec) const;

    TextEncoding encoding_ = TextEncoding::Utf8;
    std::string newline_ = "\r\n";
    std::vector<Section> sections_;  // sections_[0] is the preamble before the first header
    std::unordered_map<std::string, std::size_t> index_;  // folded name → first section
};

}  // namespace qv
