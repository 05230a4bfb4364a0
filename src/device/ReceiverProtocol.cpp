#include "device/ReceiverProtocol.h"

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

}  // namespace qv
