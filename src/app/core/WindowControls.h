#pragma once
// The program's window as both views build it: every control with its role,
// its kind, the page it sits on, its caption and its place at 96 DPI. The Qt
// view (Linux) and the Win32 view (Windows) create their widgets from this
// one table; the core names controls by their role.

#include <array>
#include <span>
#include <string_view>

namespace qv {

// The controls, in the order the Tab key walks them (the tab strip and the
// two pages first, then the table's rows).
enum class Control : int {
    ModeTabs,
    RunPage,
    LearnPage,
    // run mode ("パルス待ち")
    ReceiveListLabel,
    ReceiveList,
    WindowChangeTimeLabel,
    WindowChangeTimeList,
    // learning mode ("パルス記憶"), the entry editor
    SlotNumberLabel,
    SlotNumberBox,
    PreviousSlotButton,
    NextSlotButton,
    CommentLabel,
    CommentBox,
    PulseLabel,
    PulseBox,
    AdjustTimeLabel,
    AdjustTimeList,
    WindowNameLabel,
    WindowNameBox,
    PickWindowButton,
    KeyListLabel,
    KeyListBox,
    ClearKeyListButton,
    StoreEntryButton,
    // the window itself
    VersionLabel,
    VersionBox,
    LampLabel,
    Lamp,
    HideToTrayButton,
    ReceiverStatusLine,
};
inline constexpr int kControlCount = static_cast<int>(Control::ReceiverStatusLine) + 1;

enum class ControlKind {
    Tabs,             // the tab strip with the pages' area below it
    Page,             // one tab's page over that area
    Label,            // a caption
    TextBox,          // one editable line
    ReadOnlyTextBox,  // one line the program writes
    ReceiveLog,       // the receive list: lines appended, the newest in view
    KeyList,          // key capture: every key press and release becomes a line
    ChoiceList,       // a drop-down list to choose one item from
    Button,
    StepButton,  // an arrow button
    Lamp,        // the receiver's state as a coloured circle
    StatusLine,  // one line of text the program writes
};

// Where a control sits.
enum class Page { Window, Run, Learn };

struct ControlRect {
    int left, top, width, height;
};

struct ControlRow {
    Control control;
    // The control's name: the Qt object name and the Win32 control's name
    // ("keyListBox", "previousSlotButton").
    std::string_view name;
    ControlKind kind;
    Page page;
    // The text it shows (a step button's is its accessible name); UTF-8.
    std::string_view caption;
    // At 96 DPI, in the client area of its page or of the window. A tab
    // strip's rectangle holds its pages' area; a drop-down list's is closed.
    ControlRect place;
    // Shown when the mouse rests on it; empty for none.
    std::string_view toolTip;
};

// The window's client area at 96 DPI.
inline constexpr int kClientWidth = 410;
inline constexpr int kClientHeight = 450;
// The tab captions, tab 1 (run mode) first.
inline constexpr std::array<std::string_view, 2> kTabCaptions{"パルス待ち", "パルス記憶"};
// Height of the row of tabs at the top of the tab strip, at 96 DPI.
inline constexpr int kTabRowHeight = 26;

// Every control of the window in Control order, the pages included.
std::span<const ControlRow> WindowControls();
// One control's row.
const ControlRow& Row(Control control);

}  // namespace qv
