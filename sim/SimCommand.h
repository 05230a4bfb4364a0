#pragma once
// The simulator's control commands as words ("press 1 2 3", "fault silence"),
// shared by the quorvane-sim command line, its daemon and the in-process
// simulator, so that all three accept and do exactly the same.

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "SimBus.h"

namespace qv::sim {

// A command that passed its usage check.
struct SimCommand {
    enum class Verb {
        Press,                   // press V0 V1 V2 [PATH]
        Plug,                    // plug [PATH]
        Unplug,                  // unplug [PATH]
        AddReceiver,             // add-receiver
        AddForeign,              // add-foreign VID PID
        RemoveForeign,           // remove-foreign PATH|all
        AddNonHid,               // add-nonhid
        RemoveNonHid,            // remove-nonhid [PATH|all]
        Event,                   // event arrival|removal [PATH]
        FaultSilence,            // fault silence
        FaultError,              // fault error CMD STATUS
        FaultShort,              // fault short [INPUT OUTPUT]
        FaultRefuseOpen,         // fault refuse-open [PATH]
        FaultUnplugMidTransfer,  // fault unplug-mid-transfer
        FaultRefuseEvents,       // fault refuse-events [ERRNO]
        FaultClear,              // fault clear
        Status,                  // status
        Queue,                   // queue (prints the number of queued codes)
        WaitIdle,                // wait-idle [--timeout S]
        Quit,                    // quit
    };
    Verb verb = Verb::Status;
    std::vector<int> numbers;                  // the numeric arguments in order
    std::string path;                          // PATH or "all" where the command takes one
    std::chrono::milliseconds timeout{10000};  // wait-idle
};

struct UsageError {
    std::string message;
};

// Checks and decodes the words of one command (numbers in decimal or 0x hex).
std::variant<SimCommand, UsageError> ParseSimCommand(const std::vector<std::string>& words);

// Runs a command on the bus. WaitIdle and Quit are left to the caller (they
// need a clock or a process); here they only report the queue length / ok.
ControlResult ExecuteSimCommand(Bus& bus, const SimCommand& command);

// The text `status` prints.
std::string FormatStatus(const BusStatus& status);

// Usage text of the control commands (one line each).
std::string SimCommandUsage();

// Parses a command code given as hex ("0x1C", "1c") or by name ("PicInit1").
bool ParseCommandCode(const std::string& text, std::uint8_t& code);

// Splits a line into words at white space.
std::vector<std::string> SplitWords(const std::string& line);

}  // namespace qv::sim
