#include "device/ReceiverLink.h"

#include <algorithm>
#include <vector>

namespace qv {

ReceiverLink::ReceiverLink(HidTransport& hid, Dialogs& dialogs, ReceiverIndicators& indicators)
    : hid_(hid), dialogs_(dialogs), indicators_(indicators) {}

bool ReceiverLink::SendCommand(std::uint8_t code, std::uint8_t param1, std::uint8_t param2,
                               std::uint8_t& status, std::array<std::uint8_t, 16>& data) {
    if (hid_.ConnectDevicePath().empty()) {
        return false;
    }
    // The transport refuses receivers whose reports are shorter than the
    // frames; this guards the frame offsets all the same.
    if (hid_.SendSize() < 3 || hid_.RecvSize() < 2 + static_cast<std::int32_t>(data.size())) {
        return false;
    }
    std::vector<std::uint8_t> command(static_cast<std::size_t>(hid_.SendSize()), 0);
    std::vector<std::uint8_t> reply(static_cast<std::size_t>(hid_.RecvSize()), 0);
    command[0] = code;
    command[1] = param1;
    command[2] = param2;
    if (!hid_.Send(command)) {
        return false;
    }
    if (!hid_.Recv(reply)) {
        return false;
    }
    status = reply[0];
    std::copy_n(reply.begin() + 2, data.size(), data.begin());
    return true;
}

bool ReceiverLink::SendCommand(const ReceiverCommand& command, std::uint8_t& status,
                               std::array<std::uint8_t, 16>& data) {
    return SendCommand(command.code, command.param1, command.param2, status, data);
}

SequenceOutcome ReceiverLink::SequenceStep(const ReceiverCommand& command,
                                           std::array<std::uint8_t, 16>& data, bool showMessages) {
    std::uint8_t status = 0;
    if (!SendCommand(command, status, data)) {
        if (showMessages) {
            dialogs_.Tell(kMsgSendFailed, MessageKind::Error);
        }
        return SequenceOutcome::NoAnswer;
    }
    if (status != kStatusOk) {
        if (showMessages) {
            dialogs_.Tell(kMsgReceiverError, MessageKind::Error);
        }
        return SequenceOutcome::ReceiverError;
    }
    return SequenceOutcome::Done;
}

SequenceOutcome ReceiverLink::ShowChipVersion(bool showMessages) {
    for (const ReceiverCommand& command : {kInit1, kInit2, kQueryVersion}) {
        std::array<std::uint8_t, 16> data{};
        const SequenceOutcome outcome = SequenceStep(command, data, showMessages);
        if (outcome != SequenceOutcome::Done) {
            return outcome;
        }
        indicators_.SetVersionText(VersionText(data[0], data[1]));
    }
    return SequenceOutcome::Done;
}

SequenceOutcome ReceiverLink::StartReceiver(bool showMessages) {
    for (const ReceiverCommand& command : {kInit1, kInit2, kStartReceive}) {
        std::array<std::uint8_t, 16> data{};
        const SequenceOutcome outcome = SequenceStep(command, data, showMessages);
        if (outcome != SequenceOutcome::Done) {
            return outcome;
        }
    }
    return SequenceOutcome::Done;
}

LinkStatus ReceiverLink::ConnectReceiver(std::int32_t vendorId, std::int32_t productId,
                                         bool showMessages) {
    const ConnectResult connected = hid_.Connect(vendorId, productId);
    LinkStatus status;
    status.path = connected.path;
    switch (connected.outcome) {
        case ConnectResult::Outcome::NotFound:
            status.state = LinkStatus::State::NotFound;
            return status;
        case ConnectResult::Outcome::CannotOpen:
            status.state = LinkStatus::State::CannotOpen;
            status.openError = connected.error;
            return status;
        case ConnectResult::Outcome::Unusable:
            status.state = LinkStatus::State::Unusable;
            return status;
        case ConnectResult::Outcome::Connected:
            break;
    }
    // A failed version query does not keep the receiver from starting.
    (void)ShowChipVersion(showMessages);
    status.startFailure = StartReceiver(showMessages);
    status.state = status.startFailure == SequenceOutcome::Done ? LinkStatus::State::Running
                                                                : LinkStatus::State::NotStarted;
    return status;
}

}  // namespace qv
