#pragma once
// The receiver link of the main window: command exchanges over the HID
// transport, the version query and the start sequence, and the messages it
// shows when they fail. The receiver calls itself the "PIC system" there.

#include <array>
#include <cstdint>

#include "common/Dialogs.h"
#include "device/HidTransport.h"
#include "device/ReceiverIndicators.h"
#include "device/ReceiverProtocol.h"

namespace qv {

inline constexpr const char* kMsgSendFailed = "PICシステムへのコマンド送信に失敗しました。";
inline constexpr const char* kMsgReceiverError = "PICシステムからエラーが返されました。";

// The receiver link of the main window: commands, version query, start
// sequence and the connect-and-start sequence. Holds references only; the
// window owns the transport, the dialogs and the indicators.
class ReceiverLink {
public:
    ReceiverLink(HidTransport& hid, Dialogs& dialogs, ReceiverIndicators& indicators);

    // One command, one reply. True when a reply came; `status` and `data`
    // (reply bytes 2..17) are then set and the caller judges the status.
    bool SendCommand(std::uint8_t code, std::uint8_t param1, std::uint8_t param2,
                     std::uint8_t& status, std::array<std::uint8_t, 16>& data);
    // The same for a named command.
    bool SendCommand(const ReceiverCommand& command, std::uint8_t& status,
                     std::array<std::uint8_t, 16>& data);
    // kInit1, kInit2, kQueryVersion; each reply's version goes to the text box.
    void ShowChipVersion();
    // kInit1, kInit2, kStartReceive; enables the timer when all succeed.
    void StartReceiver();
    // Connects, sets the lamp, and on success runs ShowChipVersion and StartReceiver.
    void ConnectReceiver(std::int32_t vendorId, std::int32_t productId);

private:
    // Runs one command of a sequence; false (after the message) ends the sequence.
    bool SequenceStep(const ReceiverCommand& command, std::array<std::uint8_t, 16>& data);

    HidTransport& hid_;
    Dialogs& dialogs_;
    ReceiverIndicators& indicators_;
};

}  // namespace qv
