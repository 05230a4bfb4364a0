#pragma once
// The receiver link of the main window: command exchanges over the HID
// transport, the version query and the start sequence, the connect-and-start
// sequence and where it left the link, and the messages it shows when a
// sequence fails. The receiver calls itself the "PIC system" there.

#include <array>
#include <cstdint>
#include <string>

#include "common/Dialogs.h"
#include "device/HidTransport.h"
#include "device/ReceiverIndicators.h"
#include "device/ReceiverProtocol.h"

namespace qv {

inline constexpr const char* kMsgSendFailed = "PICシステムへのコマンド送信に失敗しました。";
inline constexpr const char* kMsgReceiverError = "PICシステムからエラーが返されました。";

// How a sequence of commands ended.
enum class SequenceOutcome {
    Done,           // every command was answered with success
    NoAnswer,       // a command could not be sent or got no reply
    ReceiverError,  // the receiver answered a command with an error status
};

// Where the connect-and-start sequence left the receiver link.
struct LinkStatus {
    enum class State {
        NotFound,    // no receiver with the identifiers
        CannotOpen,  // one at `path` could not be opened (`openError`)
        Unusable,    // one at `path` has reports too short or too long for the frames
        NotStarted,  // open at `path`, but the start sequence failed (`startFailure`)
        Running,     // open at `path` and started: it can be polled
    };
    State state = State::NotFound;
    std::string path;
    HidOpenError openError;
    SequenceOutcome startFailure = SequenceOutcome::Done;
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
    // kInit1, kInit2, kQueryVersion; each reply's version goes to the text
    // box. A failed command ends the sequence, with a message when
    // `showMessages`.
    SequenceOutcome ShowChipVersion(bool showMessages = true);
    // kInit1, kInit2, kStartReceive; the receiver reports codes once all
    // succeed. Messages as for ShowChipVersion.
    SequenceOutcome StartReceiver(bool showMessages = true);
    // Connects (closing what was open), and once connected runs
    // ShowChipVersion and StartReceiver; says where that left the link.
    LinkStatus ConnectReceiver(std::int32_t vendorId, std::int32_t productId,
                               bool showMessages = true);

private:
    // Runs one command of a sequence; anything but Done ends the sequence.
    SequenceOutcome SequenceStep(const ReceiverCommand& command, std::array<std::uint8_t, 16>& data,
                                 bool showMessages);

    HidTransport& hid_;
    Dialogs& dialogs_;
    ReceiverIndicators& indicators_;
};

}  // namespace qv
