#pragma once
// The configuration procedures every part of the program uses: the three INI
// accessors, number reading and rounding as the configuration file needs them, and
// the receiver identifier reading. The time lists are in TimeLists.h.
//
// The INI accessors take the application's IniStore as first argument (it holds the
// path and the text codec); the other arguments keep their usual order. An empty file
// name means the store's INI path. Values are read in full (no length limit).

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/IniStore.h"

namespace qv {

// The value of `key` in `section`, or `defaultText` when the key, the section or the
// file is missing; either way stripped of leading and trailing spaces.
std::string IniRead(IniStore& store, std::string_view section, std::string_view key,
                    std::string_view defaultText, std::string_view fileName = "");
// The number at the start of the value (LeadingNumber), or `defaultNumber` when the key is missing;
// 0 when the value does not start with a number. Round with RoundHalfEven before use.
double IniReadDefault(IniStore& store, std::string_view section, std::string_view key,
                      double defaultNumber, std::string_view fileName = "");
// The same two reads on a file already parsed, for a pass of many reads (start-up reads
// the remote table, WindowChangeTime and the identifiers from one parse).
std::string IniRead(const IniFile& file, std::string_view section, std::string_view key,
                    std::string_view defaultText);
double IniReadDefault(const IniFile& file, std::string_view section, std::string_view key,
                      double defaultNumber);
// Writes `value` stripped of leading and trailing spaces; true when the file was written.
bool IniWrite(IniStore& store, std::string_view section, std::string_view key,
              std::string_view value, std::string_view fileName = "");
// Writes several keys of one section, each value stripped of spaces, in one atomic
// replacement of the file (the store command's five keys: all of them or none).
bool IniWriteKeys(IniStore& store, std::string_view section,
                  std::vector<std::pair<std::string, std::string>> keyValues,
                  std::string_view fileName = "");
// Writes a number as its shortest decimal text (3 → "3", 2.5 → "2.5").
bool IniWrite(IniStore& store, std::string_view section, std::string_view key, double value,
              std::string_view fileName = "");

// The number a hand-edited value starts with: leading blanks skipped, an optional sign,
// digits with an optional fraction and exponent; 0 when there is none.
double LeadingNumber(std::string_view text);
// Rounds to the nearest whole number, halves to even (2.5 → 2, 3.5 → 4); saturates at the
// int range, NaN gives 0.
int RoundHalfEven(double value);
// `text` without leading and trailing spaces (only ' ', as the file functions strip).
std::string_view TrimSpaces(std::string_view text);

// Reads a receiver identifier: "0X" or "&H" (any case) then hexadecimal digits up to the
// first other character (at most four digits: a signed 16-bit value, so &HFFFF is -1; more
// digits: 32 bits); otherwise the decimal number at the start; nothing readable gives 0.
std::int32_t ReadIdentifier(std::string_view text);

// Defaults of the HID section.
inline constexpr std::string_view kDefaultVendorId = "&H1234";
inline constexpr std::string_view kDefaultProductId = "&H1";

}  // namespace qv
