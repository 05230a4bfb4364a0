#pragma once
// The notification-area icon of one window. It adds, changes and deletes the
// icon through the shell port, watches the owner window's messages through
// modSubClass (icon callbacks arrive as message 0x401 with the mouse message
// in lParam), turns them into mouse events, puts the icon back when the tray
// host restarts, and shows the owner's pop-up menu.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/ShellTypes.h"
#include "shell/WindowProcs.h"
#include "shell/modSubClass.h"

namespace qv {

// An icon image known to the shell port; 0 is "no icon".
using IconHandle = std::intptr_t;

// The icon's callback message: WM_USER + 1.
inline constexpr MessageId kTrayCallbackMessage = kWmUser + 1;
// Name of the message the shell broadcasts when its tray is recreated.
inline constexpr const char* kTaskbarCreatedName = "TaskbarCreated";
// Longest tooltip kept, in characters (the shell's field holds 64 with the NUL).
inline constexpr std::size_t kMaxToolTipChars = 63;

enum class NotifyIconOp { Add = 0, Modify = 1, Delete = 2 };

// The notification record handed to the shell.
struct NotifyIconData {
    WindowHandle hWnd = 0;
    std::uintptr_t uID = 0;    // unique per icon object
    std::uint32_t uFlags = 7;  // message + icon + tip
    MessageId uCallbackMessage = kTrayCallbackMessage;
    IconHandle hIcon = 0;
    std::string szTip;  // UTF-8, at most kMaxToolTipChars characters
};

// The shell's notification-area interface.
class NotifyIconPort {
public:
    virtual ~NotifyIconPort() = default;
    // Adds, changes or deletes the icon named by (hWnd, uID); false on failure.
    virtual bool ShellNotifyIcon(NotifyIconOp op, const NotifyIconData& data) = 0;
};

// One item of a pop-up menu.
struct TrayMenuItem {
    std::string caption;
    bool checkable = false;
    bool checked = false;
    // Runs when the item is chosen, before PopupMenu returns.
    std::function<void()> command;
};

// A pop-up menu; `defaultIndex` names the default (bold) item, -1 for none.
struct TrayMenu {
    std::vector<TrayMenuItem> items;
    int defaultIndex = -1;
};

// Shows pop-up menus.
class PopupMenuPort {
public:
    virtual ~PopupMenuPort() = default;
    // Brings `owner` forward as far as the platform needs, shows `menu` at
    // the mouse position and waits (running the event loop) until it closed;
    // returns the chosen item's index, -1 when none was chosen.
    virtual int ShowPopupMenu(WindowHandle owner, const TrayMenu& menu) = 0;
};

// Mouse events of the icon; the owner overrides what it handles.
class clsTrayEvents {
public:
    virtual ~clsTrayEvents() = default;
    // A left click (not the release that ends a double click).
    virtual void Click() {}
    // A left double click.
    virtual void DblClick() {}
    // A button went down: 1 left, 2 right, 4 middle.
    virtual void MouseDown(std::int16_t /*Button*/) {}
    // A button went up: 1 left, 2 right, 4 middle.
    virtual void MouseUp(std::int16_t /*Button*/) {}
    // The mouse moved over the icon.
    virtual void MouseMove() {}
};

class clsTray final : public SubClassClient, public std::enable_shared_from_this<clsTray> {
public:
    // Creates a tray object (no icon shown yet). The router and the ports
    // must outlive it.
    static std::shared_ptr<clsTray> Create(modSubClass& router, WindowProcs& procs,
                                           NotifyIconPort& shell, PopupMenuPort& menus);
    // Deletes the icon if shown and leaves the router.
    ~clsTray() override;
    clsTray(const clsTray&) = delete;
    clsTray& operator=(const clsTray&) = delete;

    // Receives the mouse events (not owned; nullptr for none). The owner
    // clears it before it goes away.
    void SetEvents(clsTrayEvents* events) { mEvents = events; }

    ProcId ProcOrg() const override { return mProcOrg; }
    void SetProcOrg(ProcId proc) override { mProcOrg = proc; }
    // The owner window given to the last AddIcon; 0 before.
    WindowHandle hWnd() const override { return mOwner; }

    // The icon image; 0 when none was given.
    IconHandle Icon() const { return mData.hIcon; }
    // Sets the icon image; updates the shown icon.
    void SetIcon(IconHandle icon);
    // The tooltip text.
    std::string ToolTipText() const { return mData.szTip; }
    // Sets the tooltip (cut before a NUL and to kMaxToolTipChars characters);
    // updates the shown icon.
    void SetToolTipText(const std::string& text);
    // True while the icon is in the notification area.
    bool Visible() const { return mVisible; }
    // True adds the icon for the current owner window, false deletes it.
    void SetVisible(bool visible);

    // Shows the icon for `hWnd` and starts watching that window. False (and
    // nothing done) when no icon image was given.
    bool AddIcon(WindowHandle hWnd);
    // Removes the icon and stops watching the window.
    void DeleteIcon();
    // Shows `menu` for `owner` at the mouse position; runs the chosen item's
    // command before returning. Returns the chosen index, -1 for none.
    int PopupMenu(WindowHandle owner, const TrayMenu& menu);

    // Icon callbacks and the tray-restart message; see the class comment.
    LResult WindowProc(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam) override;

    // The message number announcing a recreated tray.
    MessageId TaskbarRestartMessage() const { return mTaskbarRestart; }
    // The record as last handed to the shell (for diagnostics and tests).
    const NotifyIconData& Record() const { return mData; }

private:
    clsTray(modSubClass& router, WindowProcs& procs, NotifyIconPort& shell, PopupMenuPort& menus);

    modSubClass& mRouter;
    NotifyIconPort& mShell;
    PopupMenuPort& mMenus;
    clsTrayEvents* mEvents = nullptr;
    NotifyIconData mData;
    ProcId mProcOrg = 0;
    WindowHandle mOwner = 0;
    MessageId mTaskbarRestart = 0;
    bool mVisible = false;
    bool mDoubleClick = false;
};

// `text` cut to at most `maxChars` UTF-8 characters (never inside a character).
std::string CutToCharacters(const std::string& text, std::size_t maxChars);

}  // namespace qv
