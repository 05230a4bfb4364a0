#pragma once
// The receiver as the host sees it: every output report carries one command
// frame and the receiver answers it with one reply frame. Portable: standard
// library only, so the same model drives the simulator daemon and the
// in-process simulator used by tests.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>

namespace qv::sim {

// Command codes the host sends (payload byte 0 of an output report).
inline constexpr std::uint8_t kPicInit1 = 0x1C;
inline constexpr std::uint8_t kPicInit2 = 0x1D;
inline constexpr std::uint8_t kPicVersion = 0x18;
inline constexpr std::uint8_t kPicStartReceive = 0x1B;
inline constexpr std::uint8_t kPicPoll = 0x1E;

// Status byte of a reply: 1 is success, anything else an error.
inline constexpr std::uint8_t kStatusSuccess = 1;
// Status the firmware gives a command code it does not know.
inline constexpr std::uint8_t kStatusUnknownCommand = 0;

// A reply frame: status, one free byte (the firmware echoes the command code
// there), then Data[0..15].
inline constexpr std::size_t kReplyFrameBytes = 18;
using ReplyFrame = std::array<std::uint8_t, kReplyFrameBytes>;

// One remote-control code: the three pulse values of a button.
struct RemoteCode {
    std::uint8_t v0 = 0;
    std::uint8_t v1 = 0;
    std::uint8_t v2 = 0;
    friend bool operator==(const RemoteCode&, const RemoteCode&) = default;
};

// Commands the firmware received, per kind.
struct CommandCounts {
    std::uint64_t picInit1 = 0;
    std::uint64_t picInit2 = 0;
    std::uint64_t picVersion = 0;
    std::uint64_t picStartReceive = 0;
    std::uint64_t picPoll = 0;
    std::uint64_t unknown = 0;           // command codes outside the five
    std::uint64_t unexpectedParams = 0;  // known codes with other parameters than the host's
    std::uint64_t unanswered = 0;        // commands swallowed by the silence fault
    std::uint64_t codesDelivered = 0;    // poll replies that carried a code
    CommandCounts& operator+=(const CommandCounts& other);
};

// Misbehaviour the firmware can be told to show.
struct FirmwareFaults {
    bool silent = false;                               // take commands, answer none
    std::map<std::uint8_t, std::uint8_t> errorStatus;  // command code -> status to answer
};

class ReceiverFirmware {
public:
    explicit ReceiverFirmware(std::uint8_t versionMajor = 1, std::uint8_t versionMinor = 5);

    // Handles one command frame (an output report's payload, report ID
    // removed; missing parameter bytes count as 0). Returns the reply frame,
    // or nullopt when the firmware stays silent.
    std::optional<ReplyFrame> Answer(std::span<const std::uint8_t> command,
                                     const FirmwareFaults& faults);
    // Queues one code as if its button had been pressed; PicPoll hands it out once.
    void Press(RemoteCode code);
    // Codes pressed and not yet handed out by PicPoll.
    std::size_t QueueLength() const { return queue_.size(); }
    // Forgets queued codes, as losing power does.
    void PowerOff() { queue_.clear(); }
    // The commands received since creation.
    const CommandCounts& Counts() const { return counts_; }
    std::uint8_t VersionMajor() const { return versionMajor_; }
    std::uint8_t VersionMinor() const { return versionMinor_; }

private:
    std::uint8_t versionMajor_;
    std::uint8_t versionMinor_;
    std::deque<RemoteCode> queue_;
    CommandCounts counts_;
};

}  // namespace qv::sim
