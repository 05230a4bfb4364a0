#include "config/Settings.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace qv {

std::string_view TrimSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string IniRead(const IniFile& file, std::string_view section, std::string_view key,
                    std::string_view defaultText) {
    if (auto value = file.Find(section, key)) {
        return std::string(TrimSpaces(*value));
    }
    return std::string(TrimSpaces(defaultText));
}

double IniReadDefault(const IniFile& file, std::string_view section, std::string_view key,
                      double defaultNumber) {
    if (auto value = file.Find(section, key)) {
        return LeadingNumber(*value);
    }
    return defaultNumber;
}

std::string IniRead(IniStore& store, std::string_view section, std::string_view key,
                    std::string_view defaultText, std::string_view fileName) {
    return IniRead(store.Load(fileName).file, section, key, defaultText);
}

double IniReadDefault(IniStore& store, std::string_view section, std::string_view key,
                      double defaultNumber, std::string_view fileName) {
    return IniReadDefault(store.Load(fileName).file, section, key, defaultNumber);
}

bool IniWrite(IniStore& store, std::string_view section, std::string_view key,
              std::string_view value, std::string_view fileName) {
    return store.Write(section, key, TrimSpaces(value), fileName);
}

bool IniWriteKeys(IniStore& store, std::string_view section,
                  std::vector<std::pair<std::string, std::string>> keyValues,
                  std::string_view fileName) {
    for (auto& kv : keyValues) {
        kv.second = std::string(TrimSpaces(kv.second));
    }
    return store.WriteKeys(section, keyValues, fileName);
}

bool IniWrite(IniStore& store, std::string_view section, std::string_view key, double value,
              std::string_view fileName) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc()) {
        return false;
    }
    return store.Write(section, key, std::string_view(buf, static_cast<std::size_t>(end - buf)),
                       fileName);
}

double LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() &&
           (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i++] == '-';
    }
    std::string number;
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        number += text[i++];
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            number += text[i++];
            digits = true;
        }
    }
    if (!digits) {
        return 0.0;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            exponent += text[j++];
        }
        bool expDigits = false;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            exponent += text[j++];
            expDigits = true;
        }
        if (expDigits) {
            number += exponent;
        }
    }
    // from_chars, not strtod: the point is '.' whatever locale the application set.
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)ptr;
    if (ec != std::errc() || !std::isfinite(value)) {
        return 0.0;
    }
    return negative ? -value : value;
}

int RoundHalfEven(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double kMax = std::numeric_limits<int>::max();
    constexpr double kMin = std::numeric_limits<int>::min();
    if (value >= kMax) {
        return std::numeric_limits<int>::max();
    }
    if (value <= kMin) {
        return std::numeric_limits<int>::min();
    }
    double floor = std::floor(value);
    double diff = value - floor;
    double rounded;
    if (diff > 0.5) {
        rounded = floor + 1.0;
    } else if (diff < 0.5) {
        rounded = floor;
    } else {
        rounded = std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
    }
    return static_cast<int>(rounded);
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::int32_t ReadIdentifier(std::string_view text) {
    if (text.size() >= 2 && ((text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) ||
                             (text[0] == '&' && (text[1] == 'h' || text[1] == 'H')))) {
        std::uint32_t value = 0;
        std::size_t count = 0;
        for (std::size_t i = 2; i < text.size(); ++i) {
            int d = HexDigit(text[i]);
            if (d < 0) {
                break;
            }
            // Past eight digits only the low 32 bits remain; such a value matches no receiver.
            value = (value << 4) | static_cast<std::uint32_t>(d);
            ++count;
        }
        if (count <= 4) {
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
        }
        return static_cast<std::int32_t>(value);
    }
    return RoundHalfEven(LeadingNumber(text));
}

}  // namespace qv
