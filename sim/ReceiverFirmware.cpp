#include "ReceiverFirmware.h"

namespace qv::sim {

namespace {

// The parameters the host sends with each command; other values are answered
// all the same but counted, so a test can see a host that sends wrong frames.
bool ExpectedParams(std::uint8_t code, std::uint8_t p1, std::uint8_t p2) {
    switch (code) {
        case kPicInit1:
            return p1 == 0x05 && p2 == 0x64;
        case kPicInit2:
            return p1 == 0x10 && p2 == 0xF0;
        case kPicVersion:
            return p1 == 0x00 && p2 == 0x00;
        case kPicStartReceive:
            return p1 == 0x02 && p2 == 0x04;
        case kPicPoll:
            return p1 == 0x04 && p2 == 0x04;
        default:
            return true;
    }
}

}  // namespace

CommandCounts& CommandCounts::operator+=(const CommandCounts& other) {
    picInit1 += other.picInit1;
    picInit2 += other.picInit2;
    picVersion += other.picVersion;
    picStartReceive += other.picStartReceive;
    picPoll += other.picPoll;
    unknown += other.unknown;
    unexpectedParams += other.unexpectedParams;
    unanswered += other.unanswered;
    codesDelivered += other.codesDelivered;
    return *this;
}

ReceiverFirmware::ReceiverFirmware(std::uint8_t versionMajor, std::uint8_t versionMinor)
    : versionMajor_(versionMajor), versionMinor_(versionMinor) {}

std::optional<ReplyFrame> ReceiverFirmware::Answer(std::span<const std::uint8_t> command,
                                                   const FirmwareFaults& faults) {
    const std::uint8_t code = command.size() > 0 ? command[0] : 0;
    const std::uint8_t p1 = command.size() > 1 ? command[1] : 0;
    const std::uint8_t p2 = command.size() > 2 ? command[2] : 0;

    bool known = true;
    switch (code) {
        case kPicInit1:
            ++counts_.picInit1;
            break;
        case kPicInit2:
            ++counts_.picInit2;
            break;
        case kPicVersion:
            ++counts_.picVersion;
            break;
        case kPicStartReceive:
            ++counts_.picStartReceive;
            break;
        case kPicPoll:
            ++counts_.picPoll;
            break;
        default:
            ++counts_.unknown;
            known = false;
            break;
    }
    if (known && !ExpectedParams(code, p1, p2)) {
        ++counts_.unexpectedParams;
    }
    if (faults.silent) {
        ++counts_.unanswered;
        return std::nullopt;
    }

    ReplyFrame reply{};
    reply[1] = code;
    std::uint8_t* data = reply.data() + 2;
    if (auto forced = faults.errorStatus.find(code); forced != faults.errorStatus.end()) {
        // An error reply carries no data; a queued code stays for the next poll.
        reply[0] = forced->second;
        return reply;
    }
    if (!known) {
        reply[0] = kStatusUnknownCommand;
        return reply;
    }
    reply[0] = kStatusSuccess;
    switch (code) {
        case kPicInit1:
        case kPicInit2:
        case kPicVersion:
            data[0] = versionMajor_;
            data[1] = versionMinor_;
            break;
        case kPicPoll:
            if (!queue_.empty()) {
                const RemoteCode next = queue_.front();
                queue_.pop_front();
                data[0] = next.v0;
                data[1] = next.v1;
                data[2] = next.v2;
                ++counts_.codesDelivered;
            }
            break;
        default:
            break;
    }
    return reply;
}

void ReceiverFirmware::Press(RemoteCode code) {
    queue_.push_back(code);
}

}  // namespace qv::sim
