// Our configuration file reader and writer against Windows' own profile functions
// (GetPrivateProfileStringA, WritePrivateProfileStringA), run under Wine at ANSI
// code page 932: for a corpus of files every lookup through our reader gives what
// Windows gives, files our writer made read back the same through Windows, and
// files Windows wrote read back the same through our reader.
//
// Windows returns text in the ANSI code page; our reader returns UTF-8. A lookup
// is compared in the form each side speaks: a Shift-JIS file's names and values
// are converted, a UTF-8 file without a byte-order mark is passed through as
// bytes by Windows as by us, and a UTF-8 file with one is decoded by both.
//
// Where we deliberately differ from Windows, the comparison says so: Windows
// cuts values at the caller's buffer (the program's 255 bytes gave 254), we do
// not; a lookup of the larger buffer used here is compared up to its cut. The
// other deliberate differences are listed below (KnownDifferences, Compared).
#include <gtest/gtest.h>

#include "common/win32/Windows.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "config/IniFile.h"
#include "config/IniStore.h"
#include "config/win32/Win32ConfigFiles.h"
#include "config/win32/Win32TextCodec.h"

namespace qv {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

// GetPrivateProfileStringA's answer with a buffer this large is cut at one byte less.
constexpr DWORD kWindowsBuffer = 65536;
// A default no file holds, to tell a missing key from an empty value.
constexpr const char* kMissing = "\x01missing\x01";

// Where our reader deliberately differs from Windows. A file holding one of
// these constructs may differ, and the difference is reported, not failed; any
// other difference fails.
struct KnownDifference {
    const char* what;
    std::function<bool(std::string_view bytes)> holds;
};

bool IsShiftJisLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

const std::vector<KnownDifference>& KnownDifferences() {
    static const std::vector<KnownDifference> kKnown = {
        // Windows reads a file without a byte-order mark in the ANSI code page,
        // where a UTF-8 byte can pair with the ']' or '=' after it; we take valid
        // UTF-8 for UTF-8, so the text the Linux program writes reads as written.
        {"a UTF-8 file without a byte-order mark is UTF-8",
         [](std::string_view b) {
             return b.substr(0, 3) != "\xEF\xBB\xBF" &&
                    std::any_of(b.begin(), b.end(), [](char c) { return (c & 0x80) != 0; }) &&
                    Win32TextCodec(CP_UTF8).Cp932ToUtf8(b).has_value();
         }},
        // A Shift-JIS lead byte right before a line end: Windows takes the line
        // end for its second byte and runs the next line into this one; we keep
        // the lines apart (a bad byte spoils only itself).
        {"a lone lead byte does not swallow the line end after it", [](std::string_view b) {
             for (std::size_t i = 0; i + 1 < b.size(); ++i) {
                 if (IsShiftJisLead(static_cast<unsigned char>(b[i])) &&
                     (b[i + 1] == '\r' || b[i + 1] == '\n')) {
                     return true;
                 }
             }
             return false;
         }}};
    return kKnown;
}

std::vector<std::string> KnownIn(std::string_view bytes) {
    std::vector<std::string> names;
    for (const KnownDifference& k : KnownDifferences()) {
        if (k.holds(bytes)) {
            names.emplace_back(k.what);
        }
    }
    return names;
}

// Lookups we answer differently on purpose, left out of the comparison:
//  - a key name starting with ';' names a comment line, which is no key (Windows
//    leaves such lines out of its key list but finds them for an exact query);
//  - names longer than 1024 bytes (Windows does not find them at all).
bool Compared(const std::string& section, const std::string& key) {
    const std::size_t first = key.find_first_not_of(" \t");
    return !(first != std::string::npos && key[first] == ';') && section.size() <= 1024 &&
           key.size() <= 1024;
}

// A file as Windows sees it under a path of its own.
struct WindowsView {
    std::string path;  // ANSI path for the A functions

    std::optional<std::string> Get(const std::string& section, const std::string& key) const {
        std::string buffer(kWindowsBuffer, '\0');
        const DWORD n = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kMissing,
                                                   buffer.data(), kWindowsBuffer, path.c_str());
        buffer.resize(n);
        if (buffer == kMissing) {
            return std::nullopt;
        }
        return buffer;
    }
};

std::string Escaped(std::string_view bytes) {
    std::ostringstream out;
    if (bytes.size() > 120) {
        return Escaped(bytes.substr(0, 60)) + "...[" + std::to_string(bytes.size()) + " bytes]..." +
               Escaped(bytes.substr(bytes.size() - 20));
    }
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out << c;
        } else {
            static const char* hex = "0123456789abcdef";
            out << "\\x" << hex[c >> 4] << hex[c & 15];
        }
    }
    return out.str();
}

// The forms one name or value takes on each side, for the encoding our reader found.
class Forms {
public:
    Forms(std::string_view fileBytes, TextEncoding encoding)
        : bom_(fileBytes.substr(0, 3) == "\xEF\xBB\xBF"), encoding_(encoding) {}

    // Our form of a name Windows is asked with (nullopt: no such name on our side).
    std::optional<std::string> OursFromWindows(const std::string& windowsBytes) {
        if (encoding_ == TextEncoding::ShiftJis || bom_) {
            return codec_.Cp932ToUtf8(windowsBytes);
        }
        return windowsBytes;  // UTF-8 without a mark: bytes on both sides
    }
    // Windows' form of a value we read (nullopt: the code page cannot hold it, and
    // Windows gives a look-alike or '?').
    std::optional<std::string> WindowsFromOurs(const std::string& ours) {
        if (encoding_ == TextEncoding::ShiftJis || bom_) {
            return codec_.Utf8ToCp932(ours);
        }
        return ours;
    }

private:
    bool bom_;
    TextEncoding encoding_;
    Win32TextCodec codec_{932};
};

// Calls `is` for each line as Windows splits them (at CR or LF), leading blanks
// taken off, until it returns true; whether it did.
bool HasLineStartingWith(std::string_view bytes, const std::function<bool(std::string_view)>& is) {
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        std::string_view line = bytes.substr(start, end - start);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        if (is(line)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// The section and key names a file holds, as Windows splits its lines, with
// variants that should find them or not: other letter case, blanks around, a
// missing key, a missing section, the nameless section.
std::vector<std::pair<std::string, std::string>> Queries(std::string_view bytes) {
    std::set<std::string> sections{"", "NoSuchSection"};
    std::set<std::string> keys{"NoSuchKey", ""};
    std::string current;
    HasLineStartingWith(bytes, [&](std::string_view line) {
        auto trim = [](std::string_view s) {
            while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
                s.remove_prefix(1);
            }
            while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
                s.remove_suffix(1);
            }
            return std::string(s);
        };
        if (!line.empty() && line.front() == '[') {
            const std::string name = trim(line.substr(1, line.find(']') - 1));
            sections.insert(name);
        } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            keys.insert(trim(line.substr(0, eq)));
        } else if (!line.empty()) {
            keys.insert(trim(line));
        }
        return false;
    });
    auto variants = [](const std::set<std::string>& names) {
        std::set<std::string> out = names;
        for (const std::string& n : names) {
            std::string upper = n, lower = n;
            for (char& c : upper) {
                if (c >= 'a' && c <= 'z') {
                    c = static_cast<char>(c - 32);
                }
            }
            for (char& c : lower) {
                if (c >= 'A' && c <= 'Z') {
                    c = static_cast<char>(c + 32);
                }
            }
            out.insert(upper);
            out.insert(lower);
            if (!n.empty()) {
                out.insert(" " + n + "\t");
            }
        }
        return out;
    };
    std::vector<std::pair<std::string, std::string>> queries;
    for (const std::string& s : variants(sections)) {
        for (const std::string& k : variants(keys)) {
            // Names with line breaks or NULs cannot be asked for.
            if (s.find_first_of(std::string("\r\n\0", 3)) == std::string::npos &&
                k.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) {
                queries.emplace_back(s, k);
            }
        }
    }
    return queries;
}

struct Outcome {
    int compared = 0;
    std::vector<std::string> differences;
};

// Every lookup of `queries` through our reader and through Windows.
Outcome CompareReads(const std::string& path, std::string_view bytes,
                     const std::vector<std::pair<std::string, std::string>>& queries) {
    Win32TextCodec codec(932);
    const IniFile file = IniFile::Parse(bytes, codec);
    Forms forms(bytes, file.Encoding());
    WindowsView windows{path};
    Outcome outcome;
    for (const auto& [section, key] : queries) {
        if (!Compared(section, key)) {
            continue;
        }
        const auto ourSection = forms.OursFromWindows(section);
        const auto ourKey = forms.OursFromWindows(key);
        if (!ourSection || !ourKey) {
            continue;
        }
        const std::optional<std::string> theirs = windows.Get(section, key);
        const std::optional<std::string> oursUtf8 = file.Get(*ourSection, *ourKey);
        std::optional<std::string> ours;
        if (oursUtf8) {
            ours = forms.WindowsFromOurs(*oursUtf8);
            if (!ours) {
                continue;  // Windows gives a look-alike for what the code page lacks
            }
        }
        ++outcome.compared;
        bool same = ours == theirs;
        if (!same && ours && theirs && theirs->size() == kWindowsBuffer - 1) {
            same = ours->substr(0, theirs->size()) == *theirs;  // up to Windows' cut
        }
        if (!same) {
            outcome.differences.push_back("[" + Escaped(section) + "] " + Escaped(key) + ": ours " +
                                          (ours ? "\"" + Escaped(*ours) + "\"" : "missing") +
                                          ", Windows " +
                                          (theirs ? "\"" + Escaped(*theirs) + "\"" : "missing"));
        }
    }
    return outcome;
}

std::string Rep(char c, std::size_t n) {
    return std::string(n, c);
}

struct CorpusFile {
    std::string name;
    std::string bytes;
};

// Files of every kind the recorded Windows behaviour covers.
std::vector<CorpusFile> HandWrittenCorpus() {
    using namespace std::string_literals;
    return {
        {"blanks", "[S]\n  k1 \t=\t v1 \t\n\tk2\t=v2\na  b = 1\n"},
        {"other-white-space", "[S]\nv=\x0bx\x0c\nn=x\xa0\nz=x\x1a\nc=x\r\r\n"},
        {"quotes",
         "[S]\nq1=\"x y\"\nq2='x'\nq3=\"x\nq4=x\"\nq5=\" x \"\nq6=\"a\"b\"\nq7=\"\"\nq8= \"x\" "
         "\nq9=\"x'\n"},
        {"comments", "; c0=0\n[S]\n;k=1\n#h=2\nk=3\n  ;c=4\n[T] ; trailing\nt=1\n"},
        {"keys-before-sections", "k0=top\n[S]\nk=v\n"},
        {"blank-section", "k0=top\n[]\nk=blank\n"},
        {"section-spellings", "[ Sec ]\nk=v\n[\tTab\t]\nk=t\n[Open\nk=o\n[X]junk\nk=x\n"},
        {"duplicate-sections", "[S]\na=1\nb=1\n[T]\nx=1\n[S]\na=2\nc=2\n"},
        {"duplicate-keys", "[S]\nk=1\nk=2\nK=3\n"},
        {"case", "[MySec]\nMyKey=v\n[\xc9]\nk=1\n[L]\n\xc9=2\n\x8a=3\n"},
        {"bare-key", "[S]\nbare\nk=v\n"},
        {"empty-key", "[S]\n=empty\nk=v\n"},
        {"equals-and-semicolons", "[S]\nk=a=b;c #d\n"},
        {"crlf", "[S]\r\nk=v\r\nk2=w\r\n"},
        {"cr-only", "[S]\rk=v\rk2=w\r[T]\rx=1\r"},
        {"lone-cr", "[S]\nk=a\rb\nk2=w\n"},
        {"utf8-bom", "\xef\xbb\xbf[S]\nk=v\nu=\xc3\xa9\nj=\xe5\x80\xa4\n"},
        {"utf8", "[S]\nu=\xc3\xa9\nj=\xe5\x80\xa4\n[\xe8\xa8\xad\xe5\xae\x9a]\n\xe5\x80\xa4=1\n"},
        {"nul-in-value", "[S]\nk=a\0b\nk2=after\n[T]\nx=1\n"s},
        {"nul-first", "\0[S]\nk=v\n"s},
        {"long-lines",
         "[S]\nk=" + Rep('a', 100000) + "\nafter=1\n" + Rep('b', 100000) + "=long key\n[T]\nx=1\n"},
        {"buffer-edges", "[S]\nv253=" + Rep('a', 253) + "\nv254=" + Rep('a', 254) +
                             "\nv255=" + Rep('a', 255) + "\nv300=" + Rep('a', 300) + "\n"},
        {"double-byte-at-the-cut", "[S]\nl=" + Rep('a', 253) + "\x82\xa0\n"},
        {"shift-jis",
         "[\x90\xdd\x92\xe8]\n\x95\x5c=\x94\x5c\n\x83\x41=A\n\x8a\x65=kaku\n\x82\x60=fullA\n"
         "v=\x93\xfa\x96\x7b\x81\x40\n"},
        {"shift-jis-lone-lead-byte", "[\x90\xdd\x92\xe8]\nw=a\x81\nk=v\n"},
        {"shift-jis-backslash-trail",
         "[Remote1]\r\nComment=\x95\x5c\x8e\xa6\x83\x5c\x83\x74\x83\x67\r\nWindowName=Notepad\r\n"
         "KeyList=D[RETURN], U[RETURN]\r\n"},
        {"program-file",
         "[General]\r\nWindowChangeTime=3\r\n[HID]\r\nVendorID=&H1234\r\nProductID=&H1\r\n"
         "[Remote1]\r\nPulse=5,120,7\r\nComment=\x83\x65\x83\x58\x83\x67\r\nAdjustTime=1\r\n"
         "WindowName=\r\nKeyList=DA, UA\r\n"},
        {"utf16", "\xff\xfe[\0S\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s},
        {"empty", ""},
        {"only-blanks", "  \n\t\n"},
        {"no-final-newline", "[S]\nk=v"},
    };
}

// Files made of random lines of the kinds above: sections and keys in several
// spellings and cases, values with blanks, quotes, '=', ';', '#', VT/FF/^Z,
// NUL, a lone CR, Shift-JIS text with 0x5C trail bytes, duplicates, comments,
// keys before the first section, lines that are neither section nor key, CRLF
// and LF, files cut anywhere in their last line end.
std::vector<CorpusFile> GeneratedCorpus(int count) {
    std::mt19937 random(20261207);
    auto pick = [&](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    };
    const std::vector<std::string> sections = {
        "S", "s", "Remote1", "REMOTE1", "\x90\xdd\x92\xe8", "HID", "General", "a b"};
    const std::vector<std::string> keys = {"k",        "K",   "Pulse", "Comment", "\x95\x5c",
                                           "\x83\x41", "a b", "#h",    "KeyList", "x"};
    const std::vector<std::string> values = {"v",
                                             " v ",
                                             "\tv\t",
                                             "\"q\"",
                                             "'q'",
                                             "\"q",
                                             "a=b",
                                             "a;b",
                                             "#c",
                                             "",
                                             "\x94\x5c\x8e\xa6",
                                             "\x83\x5c",
                                             "\x81\x40x\x81\x40",
                                             "5,120,7",
                                             "D[RETURN], U[RETURN]",
                                             "\"\"",
                                             " \" x \" ",
                                             "x\x0b",
                                             "\x0cx\x1a",
                                             std::string("a\0b", 3),
                                             "a\rb",
                                             "x\xa0"};
    std::vector<CorpusFile> files;
    for (int n = 0; n < count; ++n) {
        const std::string eol = random() % 3 == 0 ? "\n" : "\r\n";
        std::string bytes;
        const int lines = 2 + static_cast<int>(random() % 14);
        for (int i = 0; i < lines; ++i) {
            switch (random() % 10) {
                case 7:
                    // Lines that are neither section nor key: "[" without "]",
                    // "[]", "=value", a bare word.
                    bytes += pick({"[Open", "[]", "=v", "bare", " [ \t]"}) + eol;
                    break;
                case 0:
                    bytes += (random() % 4 == 0 ? " [ " : "[") + pick(sections) +
                             (random() % 4 == 0 ? " ]" : "]") + eol;
                    break;
                case 1:
                    bytes += "; " + pick(keys) + "=" + pick(values) + eol;
                    break;
                case 2:
                    bytes += eol;
                    break;
                default:
                    if (bytes.empty() && random() % 3 != 0) {
                        bytes += "[" + pick(sections) + "]" + eol;
                    }
                    bytes += (random() % 5 == 0 ? "  " : "") + pick(keys) +
                             (random() % 5 == 0 ? " = " : "=") + pick(values) + eol;
                    break;
            }
        }
        if (random() % 5 == 0 && !bytes.empty()) {
            bytes.resize(bytes.size() - eol.size());  // no line end at the end
        } else if (random() % 8 == 0 && !bytes.empty()) {
            bytes.resize(bytes.size() -
                         1);  // a CRLF file cut after the CR, or an LF file's last LF
        }
        files.push_back({"generated-" + std::to_string(n), bytes});
    }
    return files;
}

class IniAgainstWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), 932u) << "run at ANSI code page 932 (LANG=ja_JP.UTF-8 for Wine)";
    }

    std::string Place(const std::string& name, std::string_view bytes) {
        const std::string path = folder_.File(name + ".ini");
        WriteBytes(path, bytes);
        return path;
    }

    // Compares every lookup of every file; unknown differences fail, known ones
    // are reported.
    void CompareCorpus(const std::vector<CorpusFile>& corpus, int& compared, int& known) {
        for (const CorpusFile& file : corpus) {
            const std::string path = Place(file.name, file.bytes);
            const Outcome outcome = CompareReads(path, file.bytes, Queries(file.bytes));
            compared += outcome.compared;
            if (outcome.differences.empty()) {
                continue;
            }
            const std::vector<std::string> reasons = KnownIn(file.bytes);
            std::string listing;
            for (const std::string& d : outcome.differences) {
                listing += "\n    " + d;
            }
            if (reasons.empty()) {
                ADD_FAILURE() << file.name << " \"" << Escaped(file.bytes) << "\"" << listing;
            } else {
                known += static_cast<int>(outcome.differences.size());
                std::string why;
                for (const std::string& r : reasons) {
                    why += (why.empty() ? "" : "; ") + r;
                }
                std::printf("known difference (%s) in %s:%s\n", why.c_str(), file.name.c_str(),
                            listing.c_str());
            }
        }
    }

    TempFolder folder_;
};

TEST_F(IniAgainstWindows, EveryLookupInTheRecordedCasesReadsAsOnWindows) {
    int compared = 0, known = 0;
    CompareCorpus(HandWrittenCorpus(), compared, known);
    std::printf("%d lookups compared, %d known differences\n", compared, known);
    EXPECT_GT(compared, 1000);
}

TEST_F(IniAgainstWindows, EveryLookupInGeneratedFilesReadsAsOnWindows) {
    int compared = 0, known = 0;
    CompareCorpus(GeneratedCorpus(300), compared, known);
    std::printf("%d lookups compared, %d known differences\n", compared, known);
    EXPECT_GT(compared, 40000);
}

// Windows' buffer of the program's 255 bytes cuts every longer value at 254
// bytes, silently; ours gives the whole value.
TEST_F(IniAgainstWindows, WeDoNotCutWhereTheProgramsBufferWould) {
    const std::string bytes = "[S]\nk=" + Rep('a', 300) + "\n";
    const std::string path = Place("cut", bytes);
    char buffer[255];
    EXPECT_EQ(::GetPrivateProfileStringA("S", "k", "", buffer, sizeof buffer, path.c_str()), 254u);
    Win32TextCodec codec(932);
    EXPECT_EQ(IniFile::Parse(bytes, codec).Get("S", "k"), Rep('a', 300));
}

// A store on the Windows backends as the Windows program makes it: files that
// hold only ASCII, and new ones, are in the ANSI code page.
std::unique_ptr<IniStore> StoreAt(const std::string& path) {
    auto store = std::make_unique<IniStore>(std::make_unique<Win32TextCodec>(932),
                                            std::make_unique<Win32ConfigFiles>());
    store->SetIniPath(path);
    store->SetPlainTextEncoding(TextEncoding::ShiftJis);
    return store;
}

// What the program writes: the slot keys with Japanese comments, key lists,
// quotes, blanks inside, '=' and ';' in values.
const std::vector<std::tuple<std::string, std::string, std::string>>& Writes() {
    static const std::vector<std::tuple<std::string, std::string, std::string>> kWrites = {
        {"General", "WindowChangeTime", "3"},   {"HID", "VendorID", "&H1234"},
        {"Remote1", "Pulse", "5,120,7"},        {"Remote1", "Comment", "表示の切替"},
        {"Remote1", "WindowName", "Notepad"},   {"Remote1", "KeyList", "D[CTRL], DC, UC, U[CTRL]"},
        {"Remote2", "Comment", "a = b; c # d"}, {"Remote2", "KeyList", ""},
        {"Remote3", "Comment", "\"quoted\""},   {"Remote3", "WindowName", "'single'"},
        {"Remote4", "Comment", "ソフト　能力"}, {"Remote1", "Comment", "上書き"},
    };
    return kWrites;
}

// Writes every value of Writes() with our writer into the file at `path` (new,
// or as it is) and reads each back through Windows.
void WriteAndReadThroughWindows(const std::string& path) {
    auto store = StoreAt(path);
    std::map<std::pair<std::string, std::string>, std::string> expected;
    for (const auto& [section, key, value] : Writes()) {
        ASSERT_TRUE(store->Write(section, key, value)) << section << " " << key;
        expected[{section, key}] = value;
    }
    const std::string bytes = ReadBytes(path);
    Win32TextCodec codec(932);
    const IniFile file = IniFile::Parse(bytes, codec);
    Forms forms(bytes, file.Encoding());
    WindowsView windows{path};
    for (const auto& [name, value] : expected) {
        const auto section = forms.WindowsFromOurs(name.first);
        const auto key = forms.WindowsFromOurs(name.second);
        ASSERT_TRUE(section && key);
        EXPECT_EQ(windows.Get(*section, *key), forms.WindowsFromOurs(value))
            << name.first << " " << name.second << " in \"" << Escaped(bytes) << "\"";
    }
}

TEST_F(IniAgainstWindows, AShiftJisFileOurWriterChangesReadsTheSameThroughWindows) {
    const std::string path = folder_.File("ours-sjis.ini");
    WriteBytes(path, "[Remote9]\r\nComment=\x8a\xf9\x91\xb6\r\n");
    WriteAndReadThroughWindows(path);
    Win32TextCodec codec(932);
    EXPECT_EQ(IniFile::Parse(ReadBytes(path), codec).Encoding(), TextEncoding::ShiftJis)
        << "a Shift-JIS file stays Shift-JIS";
    EXPECT_EQ(WindowsView{path}.Get("Remote9", "Comment"), "\x8a\xf9\x91\xb6");
}

// A new file, and one that holds only ASCII (like the zip's sample), are in the
// ANSI code page: Windows reads the program's Japanese text as written.
TEST_F(IniAgainstWindows, ANewFileOurWriterMakesReadsTheSameThroughWindows) {
    const std::string path = folder_.File("ours-new.ini");
    WriteAndReadThroughWindows(path);
    Win32TextCodec codec(932);
    EXPECT_EQ(IniFile::Parse(ReadBytes(path), codec).Encoding(), TextEncoding::ShiftJis);
}

TEST_F(IniAgainstWindows, APlainAsciiFileOurWriterChangesReadsTheSameThroughWindows) {
    const std::string path = folder_.File("ours-ascii.ini");
    WriteBytes(path, "; a sample\r\n[General]\r\nWindowChangeTime=1\r\n");
    WriteAndReadThroughWindows(path);
    EXPECT_EQ(WindowsView{path}.Get("Remote1", "Comment"), "\x8f\xe3\x8f\x91\x82\xab");
}

TEST_F(IniAgainstWindows, FilesWindowsWritesReadTheSameThroughOurReader) {
    const std::string path = folder_.File("windows.ini");
    Win32TextCodec codec(932);
    std::map<std::pair<std::string, std::string>, std::string> expected;
    for (const auto& [section, key, value] : Writes()) {
        const auto ansi = codec.Utf8ToCp932(value);
        ASSERT_TRUE(ansi.has_value());
        ASSERT_TRUE(::WritePrivateProfileStringA(section.c_str(), key.c_str(), ansi->c_str(),
                                                 path.c_str()));
        expected[{section, key}] = value;
    }
    // Windows takes one pair of outer quotes off when reading: so do we.
    expected[{"Remote3", "Comment"}] = "quoted";
    expected[{"Remote3", "WindowName"}] = "single";

    const std::string bytes = ReadBytes(path);
    const IniFile file = IniFile::Parse(bytes, codec);
    EXPECT_EQ(file.Encoding(), TextEncoding::ShiftJis);
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(file.Get(name.first, name.second), value) << name.first << " " << name.second;
    }

    // And our writer changing that file leaves every other value readable by Windows.
    auto store = StoreAt(path);
    ASSERT_TRUE(store->Write("General", "WindowChangeTime", "5"));
    WindowsView windows{path};
    EXPECT_EQ(windows.Get("General", "WindowChangeTime"), "5");
    EXPECT_EQ(windows.Get("Remote4", "Comment"), codec.Utf8ToCp932("ソフト　能力"));
    EXPECT_EQ(windows.Get("Remote1", "KeyList"), "D[CTRL], DC, UC, U[CTRL]");
}

}  // namespace
}  // namespace qv
