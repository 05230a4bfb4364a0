#include "device/ReceiverProtocol.h"

#include <algorithm>
#include <vector>

namespace qv {

std::string VersionText(std::uint8_t d0, std::uint8_t d1) {
    std::string text = std::to_string(d0);
    text += '.';
    if (d1 < 10) {
        text += '0';
    }
    text += std::to_string(d1);
    return text;
}

ReceiverLink::ReceiverLink(clsHidDirect& hid, Dialogs& dialogs, ReceiverIndicators& indicators)
    : mHid(hid), mDialogs(dialogs), mIndicators(indicators) {}

bool ReceiverLink::PicCommand(std::uint8_t Code, std::uint8_t Param1, std::uint8_t Param2,
                              std::uint8_t& Status, std::array<std::uint8_t, 16>& Data) {
    if (mHid.ConnectDevicePath().empty()) {
        return false;
    }
    // The transport refuses receivers whose reports are shorter than the
    // frames; this guards the frame offsets all the same.
    if (mHid.SendSize() < 3 || mHid.RecvSize() < 2 + static_cast<std::int32_t>(Data.size())) {
        return false;
    }
    std::vector<std::uint8_t> command(static_cast<std::size_t>(mHid.SendSize()), 0);
    std::vector<std::uint8_t> reply(static_cast<std::size_t>(mHid.RecvSize()), 0);
    command[0] = Code;
    command[1] = Param1;
    command[2] = Param2;
    if (!mHid.Send(command)) {
        return false;
    }
    if (!mHid.Recv(reply)) {
        return false;
    }
    Status = reply[0];
    std::copy_n(reply.begin() + 2, Data.size(), Data.begin());
    return true;
}

bool ReceiverLink::PicCommand(const PicCommandCode& command, std::uint8_t& Status,
                              std::array<std::uint8_t, 16>& Data) {
    return PicCommand(command.Code, command.Param1, command.Param2, Status, Data);
}

bool ReceiverLink::SequenceStep(const PicCommandCode& command, std::array<std::uint8_t, 16>& Data) {
    std::uint8_t status = 0;
    if (!PicCommand(command, status, Data)) {
        mDialogs.MsgBox(kMsgPicSendFailed, MsgIcon::Critical, MsgButtons::Ok);
        return false;
    }
    if (status != kPicStatusOk) {
        mDialogs.MsgBox(kMsgPicError, MsgIcon::Critical, MsgButtons::Ok);
        return false;
    }
    return true;
}

void ReceiverLink::ShowChipVersion() {
    for (const PicCommandCode& command : {PicInit1, PicInit2, PicVersion}) {
        std::array<std::uint8_t, 16> data{};
        if (!SequenceStep(command, data)) {
            return;
        }
        mIndicators.SetVersionText(VersionText(data[0], data[1]));
    }
}

void ReceiverLink::StartReceiver() {
    for (const PicCommandCode& command : {PicInit1, PicInit2, PicStartReceive}) {
        std::array<std::uint8_t, 16> data{};
        if (!SequenceStep(command, data)) {
            return;
        }
    }
    mIndicators.EnableTimer();
}

void ReceiverLink::ConnectReceiver(std::int32_t vendorId, std::int32_t productId) {
    if (!mHid.Connect(vendorId, productId)) {
        mIndicators.SetLamp(false);
        return;
    }
    mIndicators.SetLamp(true);
    ShowChipVersion();
    StartReceiver();
}

}  // namespace qv
