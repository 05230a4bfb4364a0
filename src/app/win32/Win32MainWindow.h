#pragma once
// The program's window on Windows: a native Win32 window with the controls,
// captions and layout of the program's window, forwarding their events to the
// application core and showing what the core tells it. Text is UTF-8 on the
// core's side and UTF-16 at the Windows calls. The layout is given at 96 DPI
// and follows the DPI of the monitor the window is on, with the system's UI
// font at that DPI.
//
// Every control carries its name as its control identifier (ControlId), so
// tests and tools find "txtKeyList" as GetDlgItem(page 1, IDC_txtKeyList).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/MainView.h"
#include "common/win32/Windows.h"

namespace qv {

class Application;

// Control identifiers of the window's controls, named after the controls.
enum ControlId : int {
    IDC_TabStrip1 = 1001,
    IDC_Picture1_0,
    IDC_Picture1_1,
    IDC_Label4,
    IDC_txtReceive,
    IDC_Label8,
    IDC_cboWindowChangeTime,
    IDC_Label1,
    IDC_txtNumber,
    IDC_cmdUpDown_1,
    IDC_cmdUpDown_0,
    IDC_Label2,
    IDC_txtComment,
    IDC_Label3,
    IDC_txtPulse,
    IDC_Label6,
    IDC_cboAdjustTime,
    IDC_Label7,
    IDC_txtWindowName,
    IDC_Label9,
    IDC_txtKeyList,
    IDC_cmdClear,
    IDC_cmdChange,
    IDC_Label22,
    IDC_txtVersion,
    IDC_Label10,
    IDC_shpStatus,
    IDC_cmdTray,
};

// The control's name ("txtKeyList", "Picture1(0)", "cmdUpDown(1)"); empty for
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

// The MessageBoxW flags for one of the program's message boxes.
UINT MessageBoxFlags(MsgIcon icon, MsgButtons buttons, bool defaultNo, bool owned);

class frmMain final : public MainView {
public:
    // Creates the window, hidden, with its controls. The icons are not owned.
    explicit frmMain(HICON bigIcon = nullptr, HICON smallIcon = nullptr);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    HWND Hwnd() const { return mHwnd; }
    // The control's window; nullptr for an unknown identifier.
    HWND Control(int id) const;
    // The core that the window's events go to (not owned; nullptr: nowhere).
    void Bind(Application* app) { mApp = app; }
    // Called with every WM_DEVICECHANGE the window receives.
    void SetDeviceChangeHandler(std::function<void(WPARAM, LPARAM)> handler) {
        mDeviceChange = std::move(handler);
    }

    // MainView
    MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                     bool defaultNo = false) override;
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
    bool ConfigChecked() override { return mConfigChecked; }
    void SetConfigChecked(bool checked) override { mConfigChecked = checked; }
    void Quit() override;

    // For the program's checks and tests: the receive list with CR LF line
    // ends, the selected tab (1 or 2), the lamp's colour, the text of any
    // control, the DPI the layout is at.
    std::string ReceiveListText() const;
    int SelectedTab() const;
    COLORREF LampColor() const;
    std::string ControlText(int id) const;
    UINT Dpi() const { return mDpi; }
    // The receive list's limit in lines (kReceiveListMaxLines; tests take less).
    void SetReceiveListLimit(int lines) { mReceiveListLimit = lines; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LampProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK KeyListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR self);
    static void RegisterClasses();

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

    HWND mHwnd = nullptr;
    HFONT mFont = nullptr;
    UINT mDpi = 96;
    Application* mApp = nullptr;
    std::function<void(WPARAM, LPARAM)> mDeviceChange;
    bool mConfigChecked = false;
    bool mReceiveListStarted = false;  // a line was appended (it may be empty)
    int mReceiveLines = 0;
    int mReceiveListLimit = kReceiveListMaxLines;
    HWND mPage[2] = {nullptr, nullptr};
    std::vector<HWND> mControls;  // by identifier - IDC_TabStrip1
};

}  // namespace qv
