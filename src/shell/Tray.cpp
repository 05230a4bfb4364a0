#include "shell/Tray.h"

#include <functional>

namespace qv {

std::string CutToCharacters(const std::string& text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // A continuation byte (10xxxxxx) belongs to the character before it.
        if ((byte & 0xC0) != 0x80) {
            if (chars == maxChars) {
                return text.substr(0, i);
            }
            ++chars;
        }
    }
    return text;
}

Tray::Tray(TrayIcon& icon, TrayEvents& events) : icon_(icon), events_(events) {
    icon_.SetSink(this);
}

Tray::~Tray() {
    if (visible_) {
        DeleteIcon();
    }
    icon_.SetSink(nullptr);
}

void Tray::SetToolTipText(const std::string& text) {
    // A tip ends at its first NUL: what follows one is never shown or read.
    toolTipText_ = CutToCharacters(text.substr(0, text.find('\0')), kMaxToolTipChars);
    if (visible_) {
        icon_.Show(toolTipText_);
    }
}

bool Tray::AddIcon() {
    // Visible even when the host refused: its return brings the icon back.
    visible_ = true;
    return icon_.Show(toolTipText_);
}

void Tray::DeleteIcon() {
    icon_.Hide();
    visible_ = false;
}

int Tray::PopupMenu(const TrayMenu& menu) {
    const int chosen = icon_.PopupMenu(menu);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= menu.items.size()) {
        return chosen;
    }
    // Copy first: the command may end the owner of `menu`, and this object.
    const std::function<void()> command = menu.items[static_cast<std::size_t>(chosen)].command;
    if (command) {
        command();
    }
    return chosen;
}

void Tray::TrayActivated(TrayButton button) {
    // Nothing of this object is touched afterwards: the handler may end it.
    events_.TrayActivated(button);
}

void Tray::TrayHostRestarted() {
    // The new host knows nothing of the icon: show it again as it was.
    if (visible_) {
        icon_.Show(toolTipText_);
    }
}

}  // namespace qv
