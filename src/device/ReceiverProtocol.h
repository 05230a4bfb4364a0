#pragma once
// The receiver's command protocol: every exchange is one command report and
// one reply report. The receiver calls itself the "PIC system" in our messages.

#include <array>
#include <cstdint>
#include <string>

#include "common/Dialogs.h"
#include "device/HidTransport.h"

namespace qv {

// One command: code and two parameters, sent as payload bytes 0..2.
struct ReceiverCommand {
    std::uint8_t code;
    std::uint8_t param1;
    std::uint8_t param2;
};

inline constexpr ReceiverCommand kInit1{0x1C, 0x05, 0x64};
inline constexpr ReceiverCommand kInit2{0x1D, 0x10, 0xF0};
inline constexpr ReceiverCommand kQueryVersion{0x18, 0x00, 0x00};
inline constexpr ReceiverCommand kStartReceive{0x1B, 0x02, 0x04};
inline constexpr ReceiverCommand kPoll{0x1E, 0x04, 0x04};

// Reply status meaning success; anything else is an error from the receiver.
inline constexpr std::uint8_t kStatusOk = 1;

inline constexpr const char* kMsgSendFailed = "PICシステムへのコマンド送信に失敗しました。";
inline constexpr const char* kMsgReceiverError = "PICシステムからエラーが返されました。";

// The control-chip version as shown: d0 in decimal, ".", d1 with at least two digits.
std::string VersionText(std::uint8_t d0, std::uint8_t d1);

// The pieces of the main window that the connect-and-start sequence drives.
class ReceiverIndicators {
public:
    virtual ~ReceiverIndicators() = default;
    // Fills the "HID Indicator" lamp green (connected) or red (not connected).
    virtual void SetLamp(bool green) = 0;
    // Sets the "Control Chip Version" text box.
    virtual void SetVersionText(const std::string& text) = 0;
    // Enables the poll timer of the receive loop.
    virtual void EnableTimer() = 0;
};

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
