// fuzz_sim_command: the simulator's control commands, as the daemon gets them from its
// socket: lines of words, parsed, then run on a simulated bus, with the host side polling
// every receiver after each command.
//
// Checked besides the sanitizers: lines split into words at C white space; an accepted
// command's numbers are those its words spell (decimal, or hexadecimal after 0x) within
// the command's range; a refused one says why; every report the bus hands the host has
// the input report length the host was told when it opened the device.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "FuzzCheck.h"
#include "SimBus.h"
#include "SimCommand.h"

namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::string> RefSplit(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsCSpace(line[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && !IsCSpace(line[i])) {
            ++i;
        }
        if (i > start) {
            words.emplace_back(line.substr(start, i - start));
        }
    }
    return words;
}

// A number as the commands take it: at most ten digits, decimal, or hexadecimal after
// "0x" (always hexadecimal where `hex`); -1 when it is none or above `max`.
long RefNumber(const std::string& word, long max, bool hex) {
    std::string digits = word;
    int base = hex ? 16 : 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.erase(0, 2);
        base = 16;
    }
    if (digits.empty() || digits.size() > 10) {
        return -1;
    }
    unsigned long long value = 0;
    for (char c : digits) {
        const int d = (c >= '0' && c <= '9')                 ? c - '0'
                      : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                      : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                             : -1;
        if (d < 0) {
            return -1;
        }
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    return value > static_cast<unsigned long long>(max) ? -1 : static_cast<long>(value);
}

void CheckNumbers(const std::vector<std::string>& words, const qv::sim::SimCommand& c) {
    using Verb = qv::sim::SimCommand::Verb;
    switch (c.verb) {
        case Verb::Press:
            QV_FUZZ_CHECK(c.numbers.size() == 3 && c.numbers[0] >= 1);
            for (std::size_t i = 0; i < 3; ++i) {
                QV_FUZZ_CHECK(c.numbers[i] == RefNumber(words[i + 1], 255, false));
            }
            QV_FUZZ_CHECK(c.path == (words.size() == 5 ? words[4] : ""));
            break;
        case Verb::AddForeign:
            QV_FUZZ_CHECK(c.numbers.size() == 2 && words.size() == 3);
            QV_FUZZ_CHECK(c.numbers[0] == RefNumber(words[1], 0xFFFF, true));
            QV_FUZZ_CHECK(c.numbers[1] == RefNumber(words[2], 0xFFFF, true));
            break;
        case Verb::FaultShort:
            QV_FUZZ_CHECK(c.numbers.size() == 2);
            if (words.size() == 4) {
                QV_FUZZ_CHECK(c.numbers[0] ==
                              RefNumber(words[2], qv::sim::kMaxReportLength, false));
                QV_FUZZ_CHECK(c.numbers[1] ==
                              RefNumber(words[3], qv::sim::kMaxReportLength, false));
            }
            QV_FUZZ_CHECK(c.numbers[0] >= 1 && c.numbers[1] >= 1);
            break;
        case Verb::FaultError:
            QV_FUZZ_CHECK(c.numbers.size() == 2 && words.size() == 4);
            QV_FUZZ_CHECK(c.numbers[0] >= 0 && c.numbers[0] <= 255);
            QV_FUZZ_CHECK(c.numbers[1] == RefNumber(words[3], 255, false));
            break;
        case Verb::FaultRefuseEvents:
            QV_FUZZ_CHECK(c.numbers.size() == 1 && c.numbers[0] >= 1 && c.numbers[0] <= 4095);
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    qv::sim::Bus bus;
    std::size_t start = 0;
    for (int lines = 0; start <= input.size() && lines < 48; ++lines) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        const std::string line(input.substr(start, end - start));
        start = end + 1;

        const std::vector<std::string> words = qv::sim::SplitWords(line);
        QV_FUZZ_CHECK(words == RefSplit(line));
        const auto parsed = qv::sim::ParseSimCommand(words);
        if (const auto* error = std::get_if<qv::sim::UsageError>(&parsed)) {
            QV_FUZZ_CHECK(!error->message.empty());
            continue;
        }
        const auto& command = std::get<qv::sim::SimCommand>(parsed);
        CheckNumbers(words, command);
        using Verb = qv::sim::SimCommand::Verb;
        if (command.verb == Verb::Quit) {
            break;
        }
        if (command.verb == Verb::WaitIdle) {
            continue;  // needs the daemon's clock
        }
        const qv::sim::ControlResult result = qv::sim::ExecuteSimCommand(bus, command);
        QV_FUZZ_CHECK(result.ok || !result.text.empty());

        // The host side: open every HID device, poll, read what comes back.
        for (const std::string& path : bus.EnumerateHid()) {
            const auto opened = bus.Open(path);
            if (!opened) {
                continue;
            }
            if (opened->caps && opened->caps->outputReportByteLength > 0 &&
                opened->caps->outputReportByteLength <= qv::sim::kMaxReportLength) {
                std::vector<std::uint8_t> poll(
                    static_cast<std::size_t>(opened->caps->outputReportByteLength), 0);
                const std::uint8_t frame[] = {0x1E, 0x04, 0x04};
                for (std::size_t i = 0; i < 3 && i + 1 < poll.size(); ++i) {
                    poll[i + 1] = frame[i];
                }
                bus.Write(opened->handle, poll);
                while (const auto report = bus.TakeReport(opened->handle)) {
                    QV_FUZZ_CHECK(opened->caps->inputReportByteLength >= 0 &&
                                  report->size() == static_cast<std::size_t>(
                                                        opened->caps->inputReportByteLength));
                }
            }
            bus.Close(opened->handle);
        }
        (void)bus.TakeEvents();
    }
    (void)qv::sim::FormatStatus(bus.Status());
    return 0;
}
