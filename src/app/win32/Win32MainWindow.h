#pragma once
// The program's window on Windows: a native Win32 window built from the
// window's control table (WindowControls.h), forwarding the controls'
// commands to the application core and showing what the core tells it. Text
// is UTF-8 on the core's side and UTF-16 at the Windows calls. The table's
// places are at 96 DPI; the window follows the DPI of the monitor it is on,
// with the system's UI font at that DPI.
//
// Every control has an identifier (ControlId) and a name (ControlName, the
// object name of the same control in the Qt window), so tests and tools find
// "keyListBox" as GetDlgItem(learning page, IDC_KEY_LIST).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/MainView.h"
#include "app/core/WindowControls.h"
#include "common/win32/Windows.h"

namespace qv {

class Application;

// Control identifiers: one per role of the control table, in its order,
// named as a resource script would name them.
enum ControlId : int {
    IDC_MODE_TABS = 1001,
    IDC_RUN_PAGE,
    IDC_LEARN_PAGE,
    IDC_RECEIVE_LIST_LABEL,
    IDC_RECEIVE_LIST,
    IDC_WINDOW_CHANGE_TIME_LABEL,
    IDC_WINDOW_CHANGE_TIME,
    IDC_SLOT_NUMBER_LABEL,
    IDC_SLOT_NUMBER,
    IDC_PREVIOUS_SLOT,
    IDC_NEXT_SLOT,
    IDC_COMMENT_LABEL,
    IDC_COMMENT,
    IDC_PULSE_LABEL,
    IDC_PULSE,
    IDC_ADJUST_TIME_LABEL,
    IDC_ADJUST_TIME,
    IDC_WINDOW_NAME_LABEL,
    IDC_WINDOW_NAME,
    IDC_PICK_WINDOW,
    IDC_KEY_LIST_LABEL,
    IDC_KEY_LIST,
    IDC_CLEAR_KEY_LIST,
    IDC_STORE_ENTRY,
    IDC_VERSION_LABEL,
    IDC_VERSION,
    IDC_LAMP_LABEL,
    IDC_LAMP,
    IDC_HIDE_TO_TRAY,
    IDC_RECEIVER_STATUS,
};
// The identifier of a control of the table.
constexpr int IdOf(Control control) {
    return IDC_MODE_TABS + static_cast<int>(control);
}
inline constexpr int kFirstControlId = IDC_MODE_TABS;
inline constexpr int kLastControlId = IdOf(Control::ReceiverStatusLine);
// One identifier per control, in the table's order.
static_assert(IDC_RECEIVER_STATUS == kLastControlId);
static_assert(IDC_PICK_WINDOW == IdOf(Control::PickWindowButton));
static_assert(IDC_KEY_LIST == IdOf(Control::KeyListBox));

// The control's name ("keyListBox", "runPage", "previousSlotButton"); empty for
// an identifier that is not one of the window's.
std::string_view ControlName(int id);

// Window classes of the program's own windows.
inline constexpr wchar_t kMainWindowClass[] = L"QuorvaneMainWindow";
inline constexpr wchar_t kPageClass[] = L"QuorvanePage";
inline constexpr wchar_t kLampClass[] = L"QuorvaneLamp";
// Asks the window to end the program as a termination does (posted by the
// console's Ctrl+C handler, which runs on a thread of its own).
inline constexpr UINT kTerminateMessage = WM_APP + 2;

// Lines kept in the receive list; older lines scroll away.
inline constexpr int kReceiveListMaxLines = 10000;

// The MessageBoxW flags for one of the program's message boxes: a message
// with OK, or with `defaultAnswer` a question with Yes and No; `owned` when
// the shown window owns the box.
UINT MessageBoxFlags(MessageKind kind, std::optional<Answer> defaultAnswer, bool owned);

class Win32MainWindow final : public MainView {
public:
    // Creates the window, hidden, with its controls. The icons are not owned.
    explicit Win32MainWindow(HICON bigIcon = nullptr, HICON smallIcon = nullptr);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    HWND Hwnd() const { return hwnd_; }
    // The control's window; nullptr for an unknown identifier.
    HWND Control(int id) const;
    // The core that the window's events go to (not owned; nullptr: nowhere).
    void Bind(Application* app) { app_ = app; }

    // MainView
    void Tell(const std::string& text, MessageKind kind) override;
    Answer Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) override;
    std::string Text(qv::Control control) override;
    void SetText(qv::Control control, const std::string& text) override;
    void AppendLine(qv::Control control, const std::string& line) override;
    void SetItems(qv::Control list, const std::vector<std::string_view>& items) override;
    int SelectedIndex(qv::Control list) override;
    void SelectIndex(qv::Control list, int index) override;
    void SelectTab(int tab) override;
    void ShowPage(int tab) override;
    void ShowReceiverStatus(const ReceiverStatus& status) override;
    // A window of this process.
    bool IsOwnWindow(const ListedWindow& window) override;
    // A pop-up menu below "選択…"; returns once it is closed.
    void ShowWindowChoices(const std::vector<ListedWindow>& windows) override;
    bool IsVisible() override;
    void SetVisible(bool visible) override;
    bool IsMinimizedOrMaximized() override;
    void SetNormalState() override;
    void MoveTo(int x, int y) override;
    void Quit() override;

    // For the program's checks and tests: the selected tab (1 or 2), the
    // lamp's colour and tooltip, the text of any control, the DPI the layout
    // is at.
    int SelectedTab() const;
    COLORREF LampColor() const;
    std::string ControlText(int id) const;
    // The configuration file the program reads, which the lamp's tooltip names
    // after the receiver's state.
    void SetFileInUse(const std::string& path);
    std::string LampToolTip() const;
    UINT Dpi() const { return dpi_; }
    // The receive list's limit in lines (kReceiveListMaxLines; tests take less).
    void SetReceiveListLimit(int lines) { receiveListLimit_ = lines; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LampProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK KeyListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR self);
    static void RegisterClasses();

    // Shows a message box; MessageBoxW's answer.
    int ShowBox(const std::string& text, MessageKind kind, std::optional<Answer> defaultAnswer);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    void OnDrawItem(const DRAWITEMSTRUCT& item);
    // Key messages of the key-list box; true when the box must not see them.
    bool OnKeyListKey(UINT msg, WPARAM wParam);
    void CreateControls();
    // Fonts and positions for the DPI the window is at now.
    void ApplyDpi(UINT dpi);
    void PlaceControls();
    void LayOutPages();
    void AddToolTips();
    void SetToolTip(HWND control, const std::string& text);
    void ShowLampToolTip();
    void AppendReceiveLine(const std::string& line);
    void AppendKeyListLine(const std::string& line);

    HWND hwnd_ = nullptr;
    HWND toolTips_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    Application* app_ = nullptr;
    bool receiveListStarted_ = false;  // a line was appended (it may be empty)
    std::string lampToolTip_;
    std::string fileInUse_;
    int receiveLines_ = 0;
    int receiveListLimit_ = kReceiveListMaxLines;
    HWND pages_[2] = {nullptr, nullptr};
    std::vector<HWND> controls_;  // by role
};

}  // namespace qv
