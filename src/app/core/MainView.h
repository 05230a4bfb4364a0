#pragma once
// What the application core needs from the program's window: the controls it
// reads and writes, the window's visibility, and message boxes. One view per
// toolkit (Qt on Linux, Win32 on Windows) builds the controls, forwards their
// events to the core (Application) and shows what it is told. Every call is
// made on the GUI thread.

#include <string>
#include <string_view>
#include <vector>

#include "common/Dialogs.h"

namespace qv {

class MainView : public Dialogs {
public:
    // ---- start-up
    // Makes the window invisible and parks it off-screen while loading.
    virtual void HideOffScreen() = 0;
    // Lays the two tab pages over the tab strip's client area.
    virtual void LayOutPages() = 0;
    // Fills the two time lists with their item texts.
    virtual void FillTimeLists(const std::vector<std::string_view>& adjustTimeItems,
                               const std::vector<std::string_view>& windowChangeTimeItems) = 0;

    // ---- tabs: 1 run mode ("パルス待ち"), 2 learning mode ("パルス記憶")
    // Selects the tab; the view reports the change back through Application::TabSelected.
    virtual void SelectTab(int tab) = 0;
    // Puts the selected tab's page in front and enabled, the other disabled.
    virtual void ShowPage(int tab) = 0;

    // ---- receiver indicators
    virtual void SetLamp(bool green) = 0;
    virtual void SetVersionText(const std::string& text) = 0;
    // Appends one line to the receive list and scrolls it into view.
    virtual void AppendReceiveLine(const std::string& line) = 0;
    // The selected index of the window-switch time list; -1 for none.
    virtual int WindowChangeTimeIndex() = 0;
    virtual void SetWindowChangeTimeIndex(int index) = 0;

    // ---- entry editor fields
    virtual std::string SlotNumberText() = 0;
    virtual void SetSlotNumberText(const std::string& text) = 0;
    virtual std::string CommentText() = 0;
    virtual void SetCommentText(const std::string& text) = 0;
    virtual void SetPulseText(const std::string& text) = 0;
    // The selected index of the repeat-suppression list; -1 for none.
    virtual int AdjustTimeIndex() = 0;
    virtual void SetAdjustTimeIndex(int index) = 0;
    virtual std::string WindowNameText() = 0;
    virtual void SetWindowNameText(const std::string& text) = 0;
    // The key-list box in editor form: lines joined by CR LF, no CR LF at the end.
    virtual std::string KeyListText() = 0;
    virtual void SetKeyListText(const std::string& text) = 0;
    // Adds `line` to the key-list box: after CR LF when the box holds text,
    // as its first line when it is empty.
    virtual void AppendKeyListLine(const std::string& line) = 0;

    // ---- the window itself
    virtual bool IsVisible() = 0;
    virtual void SetVisible(bool visible) = 0;
    // True while the window is minimised or maximised.
    virtual bool IsMinimizedOrMaximized() = 0;
    // Back to the normal state (neither minimised nor maximised).
    virtual void SetNormalState() = 0;
    // The first resize after start-up: hidden, left edge back to 0.
    virtual void EndOffScreenParking() = 0;
    // Moves the window's outer top-left corner to (x, y), screen pixels.
    virtual void MoveTo(int x, int y) = 0;
    // The check mark of the tray menu's "設定".
    virtual bool ConfigChecked() = 0;
    virtual void SetConfigChecked(bool checked) = 0;

    // ---- the program
    // Ends the event loop: the program ends once the current handler returns.
    virtual void Quit() = 0;
};

}  // namespace qv
