#pragma once
// What the application core needs from the program's window: the controls
// it reads and writes (named by their role, see WindowControls.h), the
// receiver's state, the window picker's list, the window's visibility and
// message boxes. One view per toolkit (Qt on Linux, Win32 on Windows) builds
// the controls from the table, hidden and laid out, forwards their events to
// the core (Application) and shows what it is told. Every call is made on
// the GUI thread.

#include <string>
#include <string_view>
#include <vector>

#include "app/core/ReceiverStatus.h"
#include "app/core/WindowControls.h"
#include "common/Dialogs.h"
#include "keys/WindowSystem.h"

namespace qv {

class MainView : public Dialogs {
public:
    // ---- controls by role
    // The text of a box, a label or the status line. The key list comes in
    // editor form: lines joined by CR LF, no CR LF at the end; the receive
    // list with a CR LF after every line.
    virtual std::string Text(Control control) = 0;
    virtual void SetText(Control control, const std::string& text) = 0;
    // Adds a line to the receive list (it scrolls into view) or the key list
    // (after CR LF when the box holds text, as its first line when empty).
    virtual void AppendLine(Control control, const std::string& line) = 0;
    // A drop-down list's items; its selected index (-1 for none), set without
    // the view reporting the change back.
    virtual void SetItems(Control list, const std::vector<std::string_view>& items) = 0;
    virtual int SelectedIndex(Control list) = 0;
    virtual void SelectIndex(Control list, int index) = 0;

    // ---- tabs: 1 run mode ("パルス待ち"), 2 learning mode ("パルス記憶")
    // Selects the tab without reporting it back.
    virtual void SelectTab(int tab) = 0;
    // Puts the selected tab's page in front and enabled, the other disabled.
    virtual void ShowPage(int tab) = 0;

    // ---- the receiver: the lamp's colour, its tooltip and the status line
    virtual void ShowReceiverStatus(const ReceiverStatus& status) = 0;

    // ---- the window picker beside "送信ウィンドウ"
    // Whether a listed window is one of the program's own.
    virtual bool IsOwnWindow(const ListedWindow& window) = 0;
    // Offers the windows to choose from (the list may be empty); a choice
    // goes to Application::TargetWindowChosen.
    virtual void ShowWindowChoices(const std::vector<ListedWindow>& windows) = 0;

    // ---- the window itself (created hidden)
    virtual bool IsVisible() = 0;
    virtual void SetVisible(bool visible) = 0;
    // True while the window is minimised or maximised.
    virtual bool IsMinimizedOrMaximized() = 0;
    // Back to the normal state (neither minimised nor maximised).
    virtual void SetNormalState() = 0;
    // Moves the window's outer top-left corner to (x, y), screen pixels.
    virtual void MoveTo(int x, int y) = 0;

    // ---- the program
    // Ends the event loop: the program ends once the current handler returns.
    virtual void Quit() = 0;
};

}  // namespace qv
