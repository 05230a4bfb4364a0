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

bool ReceiverLink::SequenceStep(const ReceiverCommand& command,
                                std::array<std::uint8_t, 16>& data) {
    std::uint8_t status = 0;
    if (!SendCommand(command, status, data)) {
        dialogs_.Tell(kMsgSendFailed, MessageKind::Error);
        return false;
    }
    if (status != kStatusOk) {
        dialogs_.Tell(kMsgReceiverError, MessageKind::Error);
        return false;
    }
    return true;
}

void ReceiverLink::ShowChipVersion() {
    for (const ReceiverCommand& command : {kInit1, kInit2, kQueryVersion}) {
        std::array<std::uint8_t, 16> data{};
        if (!SequenceStep(command, data)) {
            return;
        }
        indicators_.SetVersionText(VersionText(data[0], data[1]));
    }
}

void ReceiverLink::StartReceiver() {
    for (const ReceiverCommand& command : {kInit1, kInit2, kStartReceive}) {
        std::array<std::uint8_t, 16> data{};
        if (!SequenceStep(command, data)) {
            return;
        }
    }
    indicators_.EnableTimer();
}

void ReceiverLink::ConnectReceiver(std::int32_t vendorId, std::int32_t productId) {
    if (!hid_.Connect(vendorId, productId)) {
        indicators_.SetLamp(false);
        return;
    }
    indicators_.SetLamp(true);
    ShowChipVersion();
    StartReceiver();
}

}  // namespace qv
