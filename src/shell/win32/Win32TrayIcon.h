#pragma once
// The notification-area icon over Shell_NotifyIconW. The icon belongs to one
// top-level window of the program, whose window procedure this object watches
// (a subclass, removed again when the object ends) for the icon's callback
// message and for "TaskbarCreated", the message the shell broadcasts to the
// top-level windows when the taskbar starts anew. Mouse messages of the icon
// go to the sink as they come (a left double click arrives as down, up,
// double click, up); the restart goes to the sink after the icon was marked
// gone, so the sink's next Show adds it afresh.
//
// The pop-up menu is the usual Windows one: the owner window is brought to
// the foreground first and a WM_NULL is posted to it after TrackPopupMenu
// returns, which is what makes the menu close when the user clicks elsewhere.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/win32/Windows.h"
#include "shell/TrayIcon.h"

namespace qv {

// The message the icon sends to its window. WM_APP range: the program's own,
// clear of the WM_USER numbers that dialog navigation uses (DM_GETDEFID...).
inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;

// The button a mouse message of the icon (the callback's lParam, icon version
// 0) activates it with: a press of that button; nullopt for every other
// message (releases, moves, the second click of a double click).
std::optional<TrayButton> TrayActivationFromMessage(UINT mouseMessage);

class Win32TrayIcon final : public TrayIcon {
public:
    // `owner`: a top-level window of this thread (message-only windows do not
    // get the taskbar's broadcast). `icon` is not owned and must outlive this.
    Win32TrayIcon(HWND owner, HICON icon, UINT callbackMessage = kTrayCallbackMessage);
    // Removes the icon if it is shown and stops watching the window.
    ~Win32TrayIcon() override;
    Win32TrayIcon(const Win32TrayIcon&) = delete;
    Win32TrayIcon& operator=(const Win32TrayIcon&) = delete;

    void SetSink(TrayIconSink* sink) override { sink_ = sink; }
    // NIM_ADD when the shell does not have the icon yet, NIM_MODIFY when it
    // does; false when the shell refused.
    bool Show(std::string_view toolTip) override;
    void Hide() override;
    int PopupMenu(const TrayMenu& menu) override;

    // For tests: whether the shell accepted the icon last, the icon's
    // identifier for the owner window, the taskbar-restart message number.
    bool Added() const { return added_; }
    UINT IconId() const { return id_; }
    UINT TaskbarCreatedMessage() const { return taskbarCreated_; }
    HWND Owner() const { return owner_; }

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    // True when the message was the icon's and is consumed.
    bool OnMessage(UINT msg, LPARAM lParam);
    NOTIFYICONDATAW Record(UINT flags) const;

    HWND owner_;
    HICON icon_;
    UINT callback_;
    UINT id_;
    UINT taskbarCreated_;
    TrayIconSink* sink_ = nullptr;
    std::wstring tip_;
    bool added_ = false;
    bool subclassed_ = false;
};

}  // namespace qv
