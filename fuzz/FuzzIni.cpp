// fuzz_ini: the configuration file reader, with reads and writes on top.
//
// Input: the file's bytes, optionally followed by kScriptMark and a script of reads and
// writes. Without a script, a fixed set of the program's own writes runs. Checked:
// - reading and writing back without a change gives the same bytes;
// - for UTF-8 files, every value agrees with a second, deliberately plain reader of the
//   same rules (RefIni below);
// - a write that is refused changes nothing; a write that is accepted reads back as
//   written, from the document and from its bytes parsed again, in the same encoding,
//   and leaves every other key's value as it was;
// - the remote table, the checks of quorvane-inicheck and the number readers run on the
//   result without a sanitizer finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "config/ConfigCheck.h"
#include "config/IniFile.h"
#include "config/RemoteTable.h"
#include "config/Settings.h"
#include "config/TimeLists.h"
#include "config/linux/IconvTextCodec.h"

namespace {

constexpr std::string_view kScriptMark = "\n\x01script\x01\n";

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

std::string_view Name(std::string_view s) {
    s = Trim(s);
    return s.substr(0, s.find('\0'));
}

bool FoldEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The reading rules once more, one step at a time: split into lines at CR LF, LF or CR;
// trim; "[name]" opens a section; "name=value" is a key; NUL ends names and values; one
// pair of matching quotes comes off a value.
class RefIni {
public:
    explicit RefIni(std::string_view text) {
        sections_.emplace_back();
        std::size_t i = 0;
        while (i < text.size()) {
            std::size_t j = i;
            while (j < text.size() && text[j] != '\r' && text[j] != '\n') {
                ++j;
            }
            Line(text.substr(i, j - i));
            if (j < text.size() && text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') {
                ++j;
            }
            i = j + 1;
        }
    }

    std::optional<std::string> Get(std::string_view section, std::string_view key) const {
        section = Name(section);
        key = Name(key);
        const Section* found = nullptr;
        if (section.empty()) {
            found = &sections_[0];
        } else {
            for (std::size_t s = 1; s < sections_.size() && found == nullptr; ++s) {
                if (!sections_[s].name.empty() && FoldEqual(sections_[s].name, section)) {
                    found = &sections_[s];
                }
            }
        }
        if (found != nullptr) {
            for (const auto& [name, value] : found->keys) {
                if (FoldEqual(name, key)) {
                    return value;
                }
            }
        }
        return std::nullopt;
    }

    // Every section and key name in the file, for probing.
    std::vector<std::pair<std::string, std::string>> Names(std::size_t most) const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const Section& s : sections_) {
            out.emplace_back(s.name, "");
            for (const auto& kv : s.keys) {
                if (out.size() >= most) {
                    return out;
                }
                out.emplace_back(s.name, kv.first);
            }
        }
        return out;
    }

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> keys;
    };

    void Line(std::string_view line) {
        const std::string_view t = Trim(line);
        if (t.empty()) {
            return;
        }
        if (t[0] == '[' && t.find(']') != std::string_view::npos) {
            sections_.push_back(Section{std::string(Name(t.substr(1, t.find(']') - 1))), {}});
            return;
        }
        const std::size_t eq = t.find('=');
        if (eq == std::string_view::npos) {
            return;
        }
        std::string_view value = Trim(t.substr(eq + 1));
        value = value.substr(0, value.find('\0'));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
            value.back() == value[0]) {
            value = value.substr(1, value.size() - 2);
        }
        sections_.back().keys.emplace_back(std::string(Name(t.substr(0, eq))), std::string(value));
    }

    std::vector<Section> sections_;
};

struct Op {
    bool write;
    std::string section, key, value;
};

std::vector<Op> ReadScript(std::string_view script) {
    FuzzedDataProvider data(reinterpret_cast<const std::uint8_t*>(script.data()), script.size());
    std::vector<Op> ops;
    while (data.remaining_bytes() > 0 && ops.size() < 16) {
        Op op;
        op.write = data.ConsumeBool();
        op.section = data.ConsumeRandomLengthString(24);
        op.key = data.ConsumeRandomLengthString(24);
        op.value = data.ConsumeRandomLengthString(48);
        ops.push_back(std::move(op));
    }
    return ops;
}

// What the program itself writes, for inputs without a script.
std::vector<Op> ProgramWrites(const std::vector<std::pair<std::string, std::string>>& names) {
    std::vector<Op> ops = {
        {true, "General", "WindowChangeTime", "3"},
        {true, "Remote1", "Pulse", "05,120,07"},
        {true, "Remote1", "Comment", "\xE9\x9F\xB3\xE9\x87\x8F up"},  // 音量 up
        {true, "Remote2", "KeyList", "D[CTRL], DC, UC, U[CTRL]"},
    };
    for (std::size_t i = 0; i < names.size() && i < 3; ++i) {
        ops.push_back({true, names[i].first, names[i].second, " \"quoted\" "});
        ops.push_back({false, names[i].first, names[i].second, ""});
    }
    return ops;
}

bool SameKey(std::string_view s1, std::string_view k1, std::string_view s2, std::string_view k2) {
    return FoldEqual(Name(s1), Name(s2)) && FoldEqual(Name(k1), Name(k2));
}

// The program's readers of values: numbers, identifiers, the remote table, the checks.
void ReadLikeTheProgram(const qv::IniFile& file) {
    qv::RemoteTable table;
    const int firstFree = table.Load(file);
    QV_FUZZ_CHECK(firstFree == table.UpperIndex() + 1);
    (void)qv::CheckConfig(file, table);
    (void)qv::WindowChangeTimeIndex(qv::IniReadDefault(file, "General", "WindowChangeTime", 0));
    (void)qv::ReadIdentifier(qv::IniRead(file, "HID", "VendorID", qv::kDefaultVendorId));
    (void)qv::AdjustTimeIndex(qv::LeadingNumber(qv::IniRead(file, "Remote1", "AdjustTime", "")));
}

// A UTF-8 document's text, without its byte-order mark.
std::string Utf8Text(const qv::IniFile& doc) {
    std::string text = doc.Serialize();
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qv::IconvTextCodec codec;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t mark = input.find(kScriptMark);
    const std::string_view bytes = input.substr(0, mark);

    qv::IniFile doc = qv::IniFile::Parse(bytes, codec);
    QV_FUZZ_CHECK(doc.Serialize() == bytes);
    QV_FUZZ_CHECK(!doc.Modified());

    std::vector<std::pair<std::string, std::string>> probes;
    const auto compareWithReference = [&doc] {
        if (doc.Encoding() == qv::TextEncoding::Utf8) {
            const RefIni ref(Utf8Text(doc));
            for (const auto& [section, key] : ref.Names(96)) {
                QV_FUZZ_CHECK(doc.Get(section, key) == ref.Get(section, key));
            }
        }
    };
    if (doc.Encoding() == qv::TextEncoding::Utf8) {
        probes = RefIni(Utf8Text(doc)).Names(24);
    }
    compareWithReference();
    ReadLikeTheProgram(doc);

    const std::vector<Op> ops = mark == std::string_view::npos
                                    ? ProgramWrites(probes)
                                    : ReadScript(input.substr(mark + kScriptMark.size()));
    for (const Op& op : ops) {
        probes.emplace_back(op.section, op.key);
    }
    for (const Op& op : ops) {
        if (!op.write) {
            if (doc.Encoding() == qv::TextEncoding::Utf8) {
                QV_FUZZ_CHECK(doc.Get(op.section, op.key) ==
                              RefIni(Utf8Text(doc)).Get(op.section, op.key));
            }
            continue;
        }
        const std::string before = doc.Serialize();
        const bool wasModified = doc.Modified();
        std::vector<std::optional<std::string>> values;
        values.reserve(probes.size());
        for (const auto& [section, key] : probes) {
            values.push_back(doc.Get(section, key));
        }
        const bool same = doc.Get(op.section, op.key) == op.value;

        if (!doc.Set(op.section, op.key, op.value, codec)) {
            QV_FUZZ_CHECK(doc.Serialize() == before);
            QV_FUZZ_CHECK(doc.Modified() == wasModified);
            continue;
        }
        QV_FUZZ_CHECK(doc.Get(op.section, op.key) == op.value);
        if (same) {
            QV_FUZZ_CHECK(doc.Serialize() == before);
            QV_FUZZ_CHECK(doc.Modified() == wasModified);
        }
        const std::string after = doc.Serialize();
        const qv::IniFile again = qv::IniFile::Parse(after, codec);
        QV_FUZZ_CHECK(again.Encoding() == doc.Encoding());
        QV_FUZZ_CHECK(again.Get(op.section, op.key) == op.value);
        QV_FUZZ_CHECK(again.Serialize() == after);
        for (std::size_t i = 0; i < probes.size(); ++i) {
            const auto& [section, key] = probes[i];
            if (SameKey(section, key, op.section, op.key)) {
                continue;
            }
            QV_FUZZ_CHECK(doc.Get(section, key) == values[i]);
            QV_FUZZ_CHECK(again.Get(section, key) == values[i]);
        }
        // Writing the same value again changes nothing.
        QV_FUZZ_CHECK(doc.Set(op.section, op.key, op.value, codec));
        QV_FUZZ_CHECK(doc.Serialize() == after);
    }
    compareWithReference();
    ReadLikeTheProgram(doc);
    return 0;
}
