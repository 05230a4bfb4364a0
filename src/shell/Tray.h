#pragma once
// The program's notification-area icon: shows and hides it with its tooltip,
// tells the owner which button activated it, puts it back when the tray host
// starts anew, and shows the owner's pop-up menu. Everything runs on the GUI
// thread: the icon backend calls in there, and so must the owner.

#include <cstddef>
#include <string>

#include "shell/TrayIcon.h"

namespace qv {

// Longest tooltip kept, in characters: Windows' tip field holds 64 with the
// ending NUL, and the other platforms get the same text.
inline constexpr std::size_t kMaxToolTipChars = 63;

// What the owner hears of the icon.
class TrayEvents {
public:
    virtual ~TrayEvents() = default;
    // The user activated the icon with `button`; the handler may end the tray.
    virtual void TrayActivated(TrayButton button) = 0;
};

class Tray final : private TrayIconSink {
public:
    // Becomes the icon's sink; shows nothing yet. `icon` and `events` must
    // outlive this object.
    Tray(TrayIcon& icon, TrayEvents& events);
    // Deletes the icon if it is shown and stops being its sink.
    ~Tray() override;
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    // Sets the tooltip, cut at its first NUL and to kMaxToolTipChars UTF-8
    // characters (never inside one); a shown icon gets it at once.
    void SetToolTipText(const std::string& text);
    // Shows the icon with the tooltip; false when the tray host refused it
    // (the icon still counts as shown: it is added again when the host starts
    // anew).
    bool AddIcon();
    // Removes the icon.
    void DeleteIcon();
    // Shows `menu` at the mouse position and waits until it closed; then runs
    // the chosen item's command. Returns the chosen index, -1 for none. The
    // command may end this object and the menu's owner.
    int PopupMenu(const TrayMenu& menu);

private:
    void TrayActivated(TrayButton button) override;
    void TrayHostRestarted() override;

    TrayIcon& icon_;
    TrayEvents& events_;
    std::string toolTipText_;
    bool visible_ = false;
};

// `text` cut to at most `maxChars` UTF-8 characters (never inside a character).
std::string CutToCharacters(const std::string& text, std::size_t maxChars);

}  // namespace qv
