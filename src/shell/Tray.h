#pragma once
// The program's notification-area icon: shows and hides it with its tooltip,
// turns what the mouse does on it into the events Click, DblClick, MouseDown,
// MouseUp and MouseMove, puts it back when the tray host starts anew, and
// shows the owner's pop-up menu. Everything runs on the GUI thread: the icon
// backend calls in there, and so must the owner.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "shell/TrayIcon.h"

namespace qv {

// Longest tooltip kept, in characters: Windows' tip field holds 64 with the
// ending NUL, and the other platforms get the same text.
inline constexpr std::size_t kMaxToolTipChars = 63;

// Mouse events of the icon; the owner overrides what it handles. `button` is
// 1 for the left, 2 for the right and 4 for the middle button.
class TrayEvents {
public:
    virtual ~TrayEvents() = default;
    // A left click (not the release that ends a double click).
    virtual void Click() {}
    // A left double click.
    virtual void DblClick() {}
    // A button went down.
    virtual void MouseDown(std::int16_t /*button*/) {}
    // A button went up.
    virtual void MouseUp(std::int16_t /*button*/) {}
    // The mouse moved over the icon.
    virtual void MouseMove() {}
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

    // The tooltip text.
    std::string ToolTipText() const { return toolTipText_; }
    // Sets the tooltip, cut at its first NUL and to kMaxToolTipChars UTF-8
    // characters (never inside one); a shown icon gets it at once.
    void SetToolTipText(const std::string& text);
    // True while the icon is meant to be in the notification area (also when
    // the tray host refused it: the icon comes back with the host).
    bool Visible() const { return visible_; }
    // True adds the icon, false deletes it.
    void SetVisible(bool visible);

    // Shows the icon with the tooltip; false when the tray host refused it
    // (it is added again when the host starts anew).
    bool AddIcon();
    // Removes the icon.
    void DeleteIcon();
    // Shows `menu` at the mouse position and waits until it closed; then runs
    // the chosen item's command. Returns the chosen index, -1 for none. The
    // command may end this object and the menu's owner.
    int PopupMenu(const TrayMenu& menu);

private:
    void TrayMouseEvent(const TrayMouse& event) override;
    void TrayHostRestarted() override;

    TrayIcon& icon_;
    TrayEvents& events_;
    std::string toolTipText_;
    bool visible_ = false;
    // Set by a left double click until the next left release, which then
    // raises no Click of its own.
    bool doubleClick_ = false;
    // Cleared by the destructor: an event whose handler ended this object
    // (the menu's "終了") must not touch it afterwards.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// `text` cut to at most `maxChars` UTF-8 characters (never inside a character).
std::string CutToCharacters(const std::string& text, std::size_t maxChars);

}  // namespace qv
