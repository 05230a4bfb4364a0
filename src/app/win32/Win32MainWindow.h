#pragma once
// The program's window on Windows: a native Win32 window with the controls,
// captions and layout of the program's window, forwarding their events to the
// application core and showing what the core tells it. Text is UTF-8 on the
// core's side and UTF-16 at the Windows calls. The layout is given at 96 DPI
// and follows the DPI of the monitor the window is on, with the system's UI
// font at that DPI.
//
// Every control has an identifier (ControlId) and a name (ControlName, the
// object name of the same control in the Qt window), so tests and tools find
// "keyListBox" as GetDlgItem(learning page, IDC_KEY_LIST).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/MainView.h"
#include "common/win32/Windows.h"

namespace qv {

class Application;

// Control identifiers of the window's controls, named by their role.
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
    IDC_KEY_LIST_LABEL,
    IDC_KEY_LIST,
    IDC_CLEAR_KEY_LIST,
    IDC_STORE_ENTRY,
    IDC_VERSION_LABEL,
    IDC_VERSION,
    IDC_LAMP_LABEL,
    IDC_LAMP,
    IDC_HIDE_TO_TRAY,
};

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
    void HideOffScreen() override;
    void LayOutPages() override;
    void FillTimeLists(const std::vector<std::string_view>& adjustTimeItems,
                       const std::vector<std::string_view>& windowChangeTimeItems) override;
    void SelectTab(int tab) override;
    void ShowPage(int tab) override;
    void SetLamp(bool green) override;
    void SetVersionText(const std::string& text) override;
    void AppendReceiveLine(const std::string& line) override;
    int WindowChangeTimeIndex() override;
    void SetWindowChangeTimeIndex(int index) override;
    std::string SlotNumberText() override;
    void SetSlotNumberText(const std::string& text) override;
    std::string CommentText() override;
    void SetCommentText(const std::string& text) override;
    void SetPulseText(const std::string& text) override;
    int AdjustTimeIndex() override;
    void SetAdjustTimeIndex(int index) override;
    std::string WindowNameText() override;
    void SetWindowNameText(const std::string& text) override;
    std::string KeyListText() override;
    void SetKeyListText(const std::string& text) override;
    void AppendKeyListLine(const std::string& line) override;
    bool IsVisible() override;
    void SetVisible(bool visible) override;
    bool IsMinimizedOrMaximized() override;
    void SetNormalState() override;
    void EndOffScreenParking() override;
    void MoveTo(int x, int y) override;
    bool ConfigChecked() override { return configChecked_; }
    void SetConfigChecked(bool checked) override { configChecked_ = checked; }
    void Quit() override;

    // For the program's checks and tests: the receive list with CR LF line
    // ends, the selected tab (1 or 2), the lamp's colour, the text of any
    // control, the DPI the layout is at.
    std::string ReceiveListText() const;
    int SelectedTab() const;
    COLORREF LampColor() const;
    std::string ControlText(int id) const;
    // The lamp's tooltip, which names the configuration file the program reads.
    void SetLampToolTip(const std::string& text);
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
    void SetText(int id, const std::string& text);

    HWND hwnd_ = nullptr;
    HWND lampTip_ = nullptr;  // the lamp's tooltip window, made on first use
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    Application* app_ = nullptr;
    bool configChecked_ = false;
    bool receiveListStarted_ = false;  // a line was appended (it may be empty)
    int receiveLines_ = 0;
    int receiveListLimit_ = kReceiveListMaxLines;
    HWND pages_[2] = {nullptr, nullptr};
    std::vector<HWND> controls_;  // by identifier - IDC_MODE_TABS
};

}  // namespace qv
