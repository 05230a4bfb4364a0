#include "SimCommand.h"

#include <cerrno>
#include <cstdio>
#include <sstream>

namespace qv::sim {

namespace {

using Verb = SimCommand::Verb;

struct CommandName {
    const char* name;
    std::uint8_t code;
};
constexpr CommandName kCommandNames[] = {
    {"picinit1", kPicInit1},
    {"init1", kPicInit1},
    {"picinit2", kPicInit2},
    {"init2", kPicInit2},
    {"picversion", kPicVersion},
    {"version", kPicVersion},
    {"picstartreceive", kPicStartReceive},
    {"startreceive", kPicStartReceive},
    {"start", kPicStartReceive},
    {"picpoll", kPicPoll},
    {"poll", kPicPoll},
};

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Parses a whole word as a number in [0, max]; base 16 for "0x…" (or always
// when `hex`), else base 10.
bool ParseNumber(const std::string& word, long max, bool hex, int& value) {
    std::string digits = word;
    int base = hex ? 16 : 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
        base = 16;
    }
    if (digits.empty() || digits.size() > 10) {
        return false;
    }
    long result = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        result = result * base + digit;
        if (result > max) {
            return false;
        }
    }
    value = static_cast<int>(result);
    return true;
}

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value & 0xFFu);
    return text;
}

std::string DescribeFaults(const BusFaults& faults) {
    std::string text;
    auto add = [&text](const std::string& item) { text += (text.empty() ? "" : " ") + item; };
    if (faults.firmware.silent) {
        add("silence");
    }
    for (const auto& [code, status] : faults.firmware.errorStatus) {
        add("error:" + Hex2(code) + "=" + std::to_string(status));
    }
    if (faults.shortReports) {
        add("short:" + std::to_string(faults.shortReports->inputReportByteLength) + "/" +
            std::to_string(faults.shortReports->outputReportByteLength));
    }
    if (faults.refuseOpenReceivers) {
        add("refuse-open");
    }
    for (const std::string& path : faults.refuseOpenPaths) {
        add("refuse-open:" + path);
    }
    if (faults.unplugMidTransfer) {
        add("unplug-mid-transfer");
    }
    if (faults.refuseEvents) {
        add("refuse-events:" + std::to_string(*faults.refuseEvents));
    }
    return text.empty() ? "none" : text;
}

UsageError Usage(const std::string& what) {
    return UsageError{what};
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream stream(line);
    std::string word;
    while (stream >> word) {
        words.push_back(word);
    }
    return words;
}

bool ParseCommandCode(const std::string& text, std::uint8_t& code) {
    const std::string lower = Lower(text);
    for (const CommandName& name : kCommandNames) {
        if (lower == name.name) {
            code = name.code;
            return true;
        }
    }
    int value = 0;
    if (!ParseNumber(text, 0xFF, true, value)) {
        return false;
    }
    code = static_cast<std::uint8_t>(value);
    return true;
}

std::variant<SimCommand, UsageError> ParseSimCommand(const std::vector<std::string>& words) {
    if (words.empty()) {
        return Usage("no command given");
    }
    const std::string& verb = words[0];
    const std::size_t args = words.size() - 1;
    SimCommand command;
    auto optionalPath = [&](std::size_t index) {
        if (words.size() > index) {
            command.path = words[index];
        }
    };

    if (verb == "press") {
        if (args != 3 && args != 4) {
            return Usage("press V0 V1 V2 [PATH]");
        }
        for (std::size_t i = 1; i <= 3; ++i) {
            int value = 0;
            if (!ParseNumber(words[i], 255, false, value)) {
                return Usage("press: '" + words[i] + "' is not a value 0..255");
            }
            command.numbers.push_back(value);
        }
        if (command.numbers[0] == 0) {
            return Usage("press: V0 must not be 0 (the host reads 0 as no code)");
        }
        command.verb = Verb::Press;
        optionalPath(4);
        return command;
    }
    if (verb == "plug" || verb == "unplug") {
        if (args > 1) {
            return Usage(verb + " [PATH]");
        }
        command.verb = verb == "plug" ? Verb::Plug : Verb::Unplug;
        optionalPath(1);
        return command;
    }
    if (verb == "add-receiver" || verb == "add-nonhid" || verb == "status" || verb == "queue" ||
        verb == "quit") {
        if (args != 0) {
            return Usage(verb + " takes no arguments");
        }
        command.verb = verb == "add-receiver" ? Verb::AddReceiver
                       : verb == "add-nonhid" ? Verb::AddNonHid
                       : verb == "status"     ? Verb::Status
                       : verb == "queue"      ? Verb::Queue
                                              : Verb::Quit;
        return command;
    }
    if (verb == "add-foreign") {
        int vid = 0;
        int pid = 0;
        if (args != 2 || !ParseNumber(words[1], 0xFFFF, true, vid) ||
            !ParseNumber(words[2], 0xFFFF, true, pid)) {
            return Usage("add-foreign VID PID (hexadecimal, 0..ffff)");
        }
        command.verb = Verb::AddForeign;
        command.numbers = {vid, pid};
        return command;
    }
    if (verb == "remove-foreign") {
        if (args != 1) {
            return Usage("remove-foreign PATH|all");
        }
        command.verb = Verb::RemoveForeign;
        command.path = words[1];
        return command;
    }
    if (verb == "remove-nonhid") {
        if (args > 1) {
            return Usage("remove-nonhid [PATH|all]");
        }
        command.verb = Verb::RemoveNonHid;
        optionalPath(1);
        return command;
    }
    if (verb == "event") {
        if ((args != 1 && args != 2) || (words[1] != "arrival" && words[1] != "removal")) {
            return Usage("event arrival|removal [PATH]");
        }
        command.verb = Verb::Event;
        command.numbers = {words[1] == "arrival" ? 0 : 1};
        optionalPath(2);
        return command;
    }
    if (verb == "wait-idle") {
        command.verb = Verb::WaitIdle;
        if (args == 0) {
            return command;
        }
        int seconds = 0;
        if (args == 2 && words[1] == "--timeout" && ParseNumber(words[2], 86400, false, seconds)) {
            command.timeout = std::chrono::seconds(seconds);
            return command;
        }
        return Usage("wait-idle [--timeout SECONDS]");
    }
    if (verb == "fault") {
        if (args == 0) {
            return Usage(
                "fault silence|error CMD STATUS|short [IN OUT]|refuse-open [PATH]|"
                "unplug-mid-transfer|refuse-events [ERRNO]|clear");
        }
        const std::string& kind = words[1];
        if (kind == "silence" || kind == "unplug-mid-transfer" || kind == "clear") {
            if (args != 1) {
                return Usage("fault " + kind + " takes no arguments");
            }
            command.verb = kind == "silence" ? Verb::FaultSilence
                           : kind == "clear" ? Verb::FaultClear
                                             : Verb::FaultUnplugMidTransfer;
            return command;
        }
        if (kind == "error") {
            std::uint8_t code = 0;
            int status = 0;
            if (args != 3 || !ParseCommandCode(words[2], code) ||
                !ParseNumber(words[3], 255, false, status)) {
                return Usage(
                    "fault error CMD STATUS (CMD: hex code or PicInit1, PicInit2, "
                    "PicVersion, PicStartReceive, PicPoll; STATUS 0..255)");
            }
            command.verb = Verb::FaultError;
            command.numbers = {code, status};
            return command;
        }
        if (kind == "short") {
            command.verb = Verb::FaultShort;
            command.numbers = {kMinInputReportLength - 1, kMinOutputReportLength - 1};
            if (args == 1) {
                return command;
            }
            int in = 0;
            int out = 0;
            if (args == 3 && ParseNumber(words[2], kMaxReportLength, false, in) &&
                ParseNumber(words[3], kMaxReportLength, false, out) && in >= 1 && out >= 1) {
                command.numbers = {in, out};
                return command;
            }
            return Usage("fault short [INPUT-LENGTH OUTPUT-LENGTH] (1.." +
                         std::to_string(kMaxReportLength) + ")");
        }
        if (kind == "refuse-open") {
            if (args > 2) {
                return Usage("fault refuse-open [PATH]");
            }
            command.verb = Verb::FaultRefuseOpen;
            optionalPath(2);
            return command;
        }
        if (kind == "refuse-events") {
            command.verb = Verb::FaultRefuseEvents;
            command.numbers = {EACCES};
            if (args == 1) {
                return command;
            }
            int error = 0;
            if (args == 2 && ParseNumber(words[2], 4095, false, error) && error > 0) {
                command.numbers = {error};
                return command;
            }
            return Usage("fault refuse-events [ERRNO]");
        }
        return Usage("unknown fault '" + kind + "'");
    }
    return Usage("unknown command '" + verb + "'");
}

ControlResult ExecuteSimCommand(Bus& bus, const SimCommand& command) {
    BusFaults faults = bus.Faults();
    auto setFaults = [&bus, &faults]() {
        bus.SetFaults(faults);
        return ControlResult{};
    };
    const auto& n = command.numbers;
    switch (command.verb) {
        case Verb::Press:
            return bus.Press(
                RemoteCode{static_cast<std::uint8_t>(n[0]), static_cast<std::uint8_t>(n[1]),
                           static_cast<std::uint8_t>(n[2])},
                command.path);
        case Verb::Plug:
            return bus.Plug(command.path);
        case Verb::Unplug:
            return bus.Unplug(command.path);
        case Verb::AddReceiver:
            return bus.AddReceiver();
        case Verb::AddForeign:
            return bus.AddForeign(static_cast<std::uint16_t>(n[0]),
                                  static_cast<std::uint16_t>(n[1]));
        case Verb::RemoveForeign:
            return bus.RemoveForeign(command.path);
        case Verb::AddNonHid:
            return bus.AddNonHid();
        case Verb::RemoveNonHid:
            return bus.RemoveNonHid(command.path);
        case Verb::Event:
            return bus.Broadcast(
                DeviceChange{n[0] == 0 ? DeviceChange::Kind::Arrival : DeviceChange::Kind::Removal,
                             command.path});
        case Verb::FaultSilence:
            faults.firmware.silent = true;
            return setFaults();
        case Verb::FaultError:
            faults.firmware.errorStatus[static_cast<std::uint8_t>(n[0])] =
                static_cast<std::uint8_t>(n[1]);
            return setFaults();
        case Verb::FaultShort:
            faults.shortReports = HidCaps{n[0], n[1]};
            return setFaults();
        case Verb::FaultRefuseOpen:
            if (command.path.empty()) {
                faults.refuseOpenReceivers = true;
            } else {
                faults.refuseOpenPaths.insert(command.path);
            }
            return setFaults();
        case Verb::FaultUnplugMidTransfer:
            faults.unplugMidTransfer = true;
            return setFaults();
        case Verb::FaultRefuseEvents:
            faults.refuseEvents = n[0];
            return setFaults();
        case Verb::FaultClear:
            faults = BusFaults{};
            return setFaults();
        case Verb::Status:
            return ControlResult{true, FormatStatus(bus.Status())};
        case Verb::Queue:
        case Verb::WaitIdle:
            return ControlResult{true, std::to_string(bus.QueueLength())};
        case Verb::Quit:
            return ControlResult{};
    }
    return ControlResult{false, "unhandled command"};
}

std::string FormatStatus(const BusStatus& status) {
    std::ostringstream out;
    for (const DeviceSnapshot& device : status.devices) {
        out << "device " << device.path << ' ' << DeviceKindName(device.kind);
        if (device.kind != DeviceKind::NonHid) {
            out << ' ' << FormatIds(device.vendorId, device.productId);
        }
        out << ' ' << (device.present ? "plugged" : "unplugged");
        if (device.kind == DeviceKind::Receiver) {
            out << " queue=" << device.queued;
        }
        out << " open=" << device.openHandles << '\n';
    }
    const CommandCounts& c = status.counts;
    out << "queue " << status.queueLength << '\n'
        << "commands PicInit1=" << c.picInit1 << " PicInit2=" << c.picInit2
        << " PicVersion=" << c.picVersion << " PicStartReceive=" << c.picStartReceive
        << " PicPoll=" << c.picPoll << " unknown=" << c.unknown << '\n'
        << "delivered " << c.codesDelivered << '\n'
        << "unanswered " << c.unanswered << '\n'
        << "unexpected-params " << c.unexpectedParams << '\n'
        << "malformed " << status.malformedReports << '\n'
        << "faults " << DescribeFaults(status.faults) << '\n';
    return out.str();
}

std::string SimCommandUsage() {
    return "  press V0 V1 V2 [PATH]      queue one remote code (values 0..255, V0 > 0) on the\n"
           "                             first plugged receiver or on PATH\n"
           "  plug [PATH]                plug in the receiver (default: the first unplugged one)\n"
           "  unplug [PATH]              unplug the receiver (default: the first plugged one)\n"
           "  add-receiver               plug in one more receiver; prints its path\n"
           "  add-foreign VID PID        plug in a HID device with other identifiers (hex);\n"
           "                             prints its path\n"
           "  remove-foreign PATH|all    unplug foreign HID devices\n"
           "  add-nonhid                 add a device node that is no HID device; prints its path\n"
           "  remove-nonhid [PATH|all]   remove non-HID nodes (default: the newest)\n"
           "  event arrival|removal [PATH]\n"
           "                             broadcast an arrival/removal without changing devices\n"
           "                             (without PATH: a device that has no node)\n"
           "  fault silence              receivers take commands and answer none\n"
           "  fault error CMD STATUS     answer command CMD (hex code or PicInit1, PicInit2,\n"
           "                             PicVersion, PicStartReceive, PicPoll) with STATUS\n"
           "  fault short [IN OUT]       receivers report lengths too short for the frames\n"
           "                             (default 18 and 3 bytes, report ID included)\n"
           "  fault refuse-open [PATH]   receivers (or the device at PATH) refuse to open\n"
           "  fault unplug-mid-transfer  the next command unplugs its receiver before the\n"
           "                             answer; the pending read sees the device gone\n"
           "  fault refuse-events [ERRNO]\n"
           "                             subscribing to device events fails (default EACCES)\n"
           "  fault clear                end every fault\n"
           "  status                     devices, queue length, commands received per kind\n"
           "  queue                      number of pressed codes not yet polled\n"
           "  wait-idle [--timeout S]    wait until the program has polled every pressed code\n"
           "                             (default 10 s)\n"
           "  quit                       stop the daemon (its devices are removed first)\n";
}

}  // namespace qv::sim
