#include "common/win32/Windows.h"

#include "app/win32/Win32MainWindow.h"

#include <commctrl.h>
#include <imm.h>

#include <array>
#include <utility>

#include "app/core/Application.h"
#include "app/win32/Dpi.h"
#include "common/DebugLog.h"
#include "common/win32/WideText.h"

namespace qv {

namespace {

// One control of the window: where it sits (the window or a page), its
// Windows class, caption, styles and its place at 96 DPI.
struct ControlLayout {
    int id;
    std::string_view name;
    int page;  // -1: the window itself
    const wchar_t* windowClass;
    const char* caption;
    DWORD style;
    DWORD exStyle;
    RECT place;  // left, top, width, height
};

constexpr COLORREF kLampGreen = RGB(0, 255, 0);
constexpr COLORREF kLampRed = RGB(255, 0, 0);
// Where start-up parks the hidden window, left of every screen.
constexpr int kOffScreenLeft = -667;
// The client area at 96 DPI.
constexpr int kClientWidth = 410;
constexpr int kClientHeight = 440;
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
// The key-list box's subclass.
constexpr UINT_PTR kKeyListSubclass = 1;

constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX;
constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kReadOnlyEdit = kEdit | ES_READONLY;
constexpr DWORD kListBox =
    WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
constexpr DWORD kComboBox = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kStepButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;

// In creation order, which is also the order the Tab key walks. Combo boxes
// are given the height of their open list.
const std::array<ControlLayout, 26>& Controls() {
    static const std::array<ControlLayout, 26> table{{
        {IDC_TabStrip1,
         "TabStrip1",
         -1,
         WC_TABCONTROLW,
         "",
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS,
         0,
         {8, 8, 394, 336}},
        // Page 0: run mode
        {IDC_Label4, "Label4", 0, L"STATIC", "レシーブ リスト", kLabel, 0, {10, 8, 200, 20}},
        {IDC_txtReceive,
         "txtReceive",
         0,
         L"EDIT",
         "",
         kListBox,
         WS_EX_CLIENTEDGE,
         {10, 30, 370, 220}},
        {IDC_Label8, "Label8", 0, L"STATIC", "ウィンドウ切替時間", kLabel, 0, {10, 264, 140, 24}},
        {IDC_cboWindowChangeTime,
         "cboWindowChangeTime",
         0,
         L"COMBOBOX",
         "",
         kComboBox,
         0,
         {160, 262, 100, 260}},
        // Page 1: learning mode, the entry editor
        {IDC_Label1, "Label1", 1, L"STATIC", "リモコン記憶 No.", kLabel, 0, {10, 10, 130, 24}},
        {IDC_txtNumber,
         "txtNumber",
         1,
         L"EDIT",
         "1",
         kReadOnlyEdit,
         WS_EX_CLIENTEDGE,
         {145, 10, 60, 24}},
        {IDC_cmdUpDown_1, "cmdUpDown(1)", 1, L"BUTTON", "前", kStepButton, 0, {210, 10, 26, 24}},
        {IDC_cmdUpDown_0, "cmdUpDown(0)", 1, L"BUTTON", "次", kStepButton, 0, {238, 10, 26, 24}},
        {IDC_Label2, "Label2", 1, L"STATIC", "コメント", kLabel, 0, {10, 42, 130, 24}},
        {IDC_txtComment, "txtComment", 1, L"EDIT", "", kEdit, WS_EX_CLIENTEDGE, {145, 42, 235, 24}},
        {IDC_Label3, "Label3", 1, L"STATIC", "Quorvane 入力", kLabel, 0, {10, 74, 130, 24}},
        // Shows the pulse; what is stored comes from capture.
        {IDC_txtPulse,
         "txtPulse",
         1,
         L"EDIT",
         "",
         kReadOnlyEdit,
         WS_EX_CLIENTEDGE,
         {145, 74, 235, 24}},
        {IDC_Label6, "Label6", 1, L"STATIC", "連続入力防止時間", kLabel, 0, {10, 106, 130, 24}},
        {IDC_cboAdjustTime,
         "cboAdjustTime",
         1,
         L"COMBOBOX",
         "",
         kComboBox,
         0,
         {145, 106, 100, 200}},
        {IDC_Label7, "Label7", 1, L"STATIC", "送信ウィンドウ", kLabel, 0, {10, 140, 130, 24}},
        {IDC_txtWindowName,
         "txtWindowName",
         1,
         L"EDIT",
         "",
         kEdit,
         WS_EX_CLIENTEDGE,
         {145, 140, 235, 24}},
        {IDC_Label9, "Label9", 1, L"STATIC", "送信キーリスト", kLabel, 0, {10, 172, 130, 24}},
        // Locked: only key capture writes it.
        {IDC_txtKeyList,
         "txtKeyList",
         1,
         L"EDIT",
         "",
         kListBox,
         WS_EX_CLIENTEDGE,
         {145, 172, 235, 88}},
        {IDC_cmdClear, "cmdClear", 1, L"BUTTON", "コマンドクリア", kButton, 0, {145, 268, 115, 28}},
        {IDC_cmdChange, "cmdChange", 1, L"BUTTON", "追加 / 変更", kButton, 0, {265, 268, 115, 28}},
        // The window
        {IDC_Label22,
         "Label22",
         -1,
         L"STATIC",
         "Control Chip Version",
         kLabel,
         0,
         {12, 356, 150, 24}},
        {IDC_txtVersion,
         "txtVersion",
         -1,
         L"EDIT",
         "",
         kReadOnlyEdit,
         WS_EX_CLIENTEDGE,
         {165, 356, 80, 24}},
        {IDC_Label10, "Label10", -1, L"STATIC", "HID Indicator", kLabel, 0, {12, 392, 150, 24}},
        {IDC_shpStatus,
         "shpStatus",
         -1,
         kLampClass,
         "",
         WS_CHILD | WS_VISIBLE,
         0,
         {165, 393, 22, 22}},
        {IDC_cmdTray, "cmdTray", -1, L"BUTTON", "トレイに戻す", kButton, 0, {282, 388, 120, 30}},
    }};
    return table;
}

std::wstring W(std::string_view text) {
    return win32::Utf8ToWide(text);
}

std::string WindowText(HWND window) {
    if (window == nullptr) {
        return {};
    }
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return win32::WideToUtf8(text);
}

}  // namespace

std::string_view ControlName(int id) {
    if (id == IDC_Picture1_0) {
        return "Picture1(0)";
    }
    if (id == IDC_Picture1_1) {
        return "Picture1(1)";
    }
    for (const ControlLayout& layout : Controls()) {
        if (layout.id == id) {
            return layout.name;
        }
    }
    return {};
}

UINT MessageBoxFlags(MsgIcon icon, MsgButtons buttons, bool defaultNo, bool owned) {
    UINT flags = buttons == MsgButtons::YesNo ? MB_YESNO : MB_OK;
    switch (icon) {
        case MsgIcon::None:
            break;
        case MsgIcon::Critical:
            flags |= MB_ICONERROR;
            break;
        case MsgIcon::Question:
            flags |= MB_ICONQUESTION;
            break;
        case MsgIcon::Exclamation:
            flags |= MB_ICONEXCLAMATION;
            break;
        case MsgIcon::Information:
            flags |= MB_ICONINFORMATION;
            break;
    }
    if (buttons == MsgButtons::YesNo && defaultNo) {
        flags |= MB_DEFBUTTON2;
    }
    // The program lives in the notification area: a box must come to the
    // front. Without a shown window to own it, it holds the whole thread.
    flags |= MB_SETFOREGROUND;
    flags |= owned ? MB_APPLMODAL : MB_TASKMODAL;
    return flags;
}

// ------------------------------------------------------------- creation

void frmMain::RegisterClasses() {
    static const bool registered = [] {
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSEXW main{};
        main.cbSize = sizeof main;
        main.lpfnWndProc = &frmMain::WindowProc;
        main.hInstance = instance;
        main.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        main.lpszClassName = kMainWindowClass;
        WNDCLASSEXW page = main;
        page.lpfnWndProc = &frmMain::PageProc;
        page.lpszClassName = kPageClass;
        WNDCLASSEXW lamp = main;
        lamp.lpfnWndProc = &frmMain::LampProc;
        lamp.lpszClassName = kLampClass;
        return ::RegisterClassExW(&main) != 0 && ::RegisterClassExW(&page) != 0 &&
               ::RegisterClassExW(&lamp) != 0;
    }();
    if (!registered) {
        win32::DebugLogLastError("RegisterClassExW (main window)");
    }
}

frmMain::frmMain(HICON bigIcon, HICON smallIcon) {
    RegisterClasses();
    mControls.assign(IDC_cmdTray - IDC_TabStrip1 + 1, nullptr);
    // Created hidden; its size follows once the DPI of its monitor is known.
    mHwnd = ::CreateWindowExW(kWindowExStyle, kMainWindowClass, L"Quorvane", kWindowStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, kClientHeight, nullptr,
                              nullptr, ::GetModuleHandleW(nullptr), this);
    if (mHwnd == nullptr) {
        win32::DebugLogLastError("CreateWindowExW (main window)");
        return;
    }
    if (bigIcon != nullptr) {
        ::SendMessageW(mHwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    }
    if (smallIcon != nullptr) {
        ::SendMessageW(mHwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    }
    CreateControls();
    ApplyDpi(WindowDpi(mHwnd));
}

frmMain::~frmMain() {
    if (mHwnd != nullptr) {
        ::DestroyWindow(mHwnd);
    }
    if (mFont != nullptr) {
        ::DeleteObject(mFont);
    }
}

void frmMain::CreateControls() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // The pages lie over the tab strip's client area (LayOutPages); they are
    // created first, so they are above the strip.
    for (int i = 0; i < 2; ++i) {
        mPage[i] = ::CreateWindowExW(
            WS_EX_CONTROLPARENT, kPageClass, L"",
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 0, mHwnd,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_Picture1_0 + i)), instance, nullptr);
        mControls[static_cast<std::size_t>(IDC_Picture1_0 + i - IDC_TabStrip1)] = mPage[i];
    }
    for (const ControlLayout& layout : Controls()) {
        HWND parent = layout.page < 0 ? mHwnd : mPage[layout.page];
        HWND control = ::CreateWindowExW(
            layout.exStyle, layout.windowClass, W(layout.caption).c_str(), layout.style, 0, 0, 0, 0,
            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), instance, nullptr);
        if (control == nullptr) {
            win32::DebugLogLastError("CreateWindowExW (" + std::string(layout.name) + ")");
        }
        mControls[static_cast<std::size_t>(layout.id - IDC_TabStrip1)] = control;
    }

    HWND tabs = Control(IDC_TabStrip1);
    const std::array<const char*, 2> tabCaptions{"パルス待ち", "パルス記憶"};
    for (std::size_t i = 0; i < tabCaptions.size(); ++i) {
        std::wstring caption = W(tabCaptions[i]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        ::SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }

    // The lists hold far more than an edit box's default 32767 characters.
    ::SendMessageW(Control(IDC_txtReceive), EM_SETLIMITTEXT, 0, 0);
    ::SendMessageW(Control(IDC_txtKeyList), EM_SETLIMITTEXT, 0, 0);
    ::SetWindowSubclass(Control(IDC_txtKeyList), &frmMain::KeyListProc, kKeyListSubclass,
                        reinterpret_cast<DWORD_PTR>(this));
    // The key-list box records keys, not text: with an input method (a
    // Japanese IME) switched on, keys would reach it as VK_PROCESSKEY.
    ::ImmAssociateContext(Control(IDC_txtKeyList), nullptr);
    // Red until a receiver is connected.
    ::SetWindowLongPtrW(Control(IDC_shpStatus), GWLP_USERDATA, kLampRed);
}

HWND frmMain::Control(int id) const {
    if (id < IDC_TabStrip1 || id > IDC_cmdTray) {
        return nullptr;
    }
    return mControls[static_cast<std::size_t>(id - IDC_TabStrip1)];
}

void frmMain::ApplyDpi(UINT dpi) {
    mDpi = dpi;
    LOGFONTW font = MessageFont(dpi);
    HFONT newFont = ::CreateFontIndirectW(&font);
    if (newFont == nullptr) {
        win32::DebugLogLastError("CreateFontIndirectW (message font)");
    } else {
        for (HWND control : mControls) {
            if (control != nullptr) {
                ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(newFont), FALSE);
            }
        }
        if (mFont != nullptr) {
            ::DeleteObject(mFont);
        }
        mFont = newFont;
    }
    const int width = ScaleForDpi(kClientWidth, dpi);
    const int height = ScaleForDpi(kClientHeight, dpi);
    const SIZE outer = OuterSizeForClient(width, height, kWindowStyle, kWindowExStyle, dpi);
    ::SetWindowPos(mHwnd, nullptr, 0, 0, outer.cx, outer.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A frame drawn at other measures than the system gave for this DPI
    // (Wine keeps its frame at the monitor's own DPI) leaves the client area
    // off by that much: correct it once, by what it is.
    RECT client{};
    ::GetClientRect(mHwnd, &client);
    if (client.right != width || client.bottom != height) {
        ::SetWindowPos(mHwnd, nullptr, 0, 0, outer.cx + width - client.right,
                       outer.cy + height - client.bottom,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    PlaceControls();
}

void frmMain::PlaceControls() {
    for (const ControlLayout& layout : Controls()) {
        HWND control = Control(layout.id);
        if (control == nullptr) {
            continue;
        }
        ::SetWindowPos(control, nullptr, ScaleForDpi(layout.place.left, mDpi),
                       ScaleForDpi(layout.place.top, mDpi), ScaleForDpi(layout.place.right, mDpi),
                       ScaleForDpi(layout.place.bottom, mDpi), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    LayOutPages();
    ::InvalidateRect(mHwnd, nullptr, TRUE);
}

// ------------------------------------------------------------ MainView

MsgAnswer frmMain::MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                          bool defaultNo) {
    // The window is usually hidden (and parked off-screen while it loads); a
    // box it owned would sit over it, so a hidden window owns no box.
    const bool owned = mHwnd != nullptr && ::IsWindowVisible(mHwnd);
    const int answer = ::MessageBoxW(owned ? mHwnd : nullptr, W(text).c_str(), W(kAppTitle).c_str(),
                                     MessageBoxFlags(icon, buttons, defaultNo, owned));
    if (buttons == MsgButtons::YesNo) {
        return answer == IDYES ? MsgAnswer::Yes : MsgAnswer::No;
    }
    return MsgAnswer::Ok;
}

void frmMain::HideOffScreen() {
    ::ShowWindow(mHwnd, SW_HIDE);
    RECT r{};
    ::GetWindowRect(mHwnd, &r);
    ::SetWindowPos(mHwnd, nullptr, kOffScreenLeft, r.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmMain::LayOutPages() {
    HWND tabs = Control(IDC_TabStrip1);
    RECT client{};
    ::GetWindowRect(tabs, &client);
    ::MapWindowPoints(HWND_DESKTOP, mHwnd, reinterpret_cast<POINT*>(&client), 2);
    // The strip's display area, below the tabs and inside its border.
    ::SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&client));
    for (HWND page : mPage) {
        ::SetWindowPos(page, nullptr, client.left, client.top, client.right - client.left,
                       client.bottom - client.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void frmMain::FillTimeLists(const std::vector<std::string_view>& adjustTimeItems,
                            const std::vector<std::string_view>& windowChangeTimeItems) {
    const auto fill = [](HWND list, const std::vector<std::string_view>& items) {
        ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
        for (std::size_t i = 0; i < items.size(); ++i) {
            ::SendMessageW(list, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(W(items[i]).c_str()));
        }
    };
    fill(Control(IDC_cboAdjustTime), adjustTimeItems);
    fill(Control(IDC_cboWindowChangeTime), windowChangeTimeItems);
}

void frmMain::SelectTab(int tab) {
    // No notification: the caller runs the tab's handler itself.
    ::SendMessageW(Control(IDC_TabStrip1), TCM_SETCURSEL, static_cast<WPARAM>(tab - 1), 0);
}

int frmMain::SelectedTab() const {
    return static_cast<int>(::SendMessageW(Control(IDC_TabStrip1), TCM_GETCURSEL, 0, 0)) + 1;
}

void frmMain::ShowPage(int tab) {
    for (HWND page : mPage) {
        ::EnableWindow(page, FALSE);
    }
    if (tab < 1 || tab > 2) {
        return;
    }
    HWND front = mPage[tab - 1];
    ::SetWindowPos(front, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::EnableWindow(front, TRUE);
    // Overlapping sibling windows do not reliably paint over each other on
    // Windows: the page behind is hidden as well as disabled.
    ::ShowWindow(front, SW_SHOWNA);
    for (HWND page : mPage) {
        if (page != front) {
            ::ShowWindow(page, SW_HIDE);
        }
    }
}

void frmMain::SetLamp(bool green) {
    HWND lamp = Control(IDC_shpStatus);
    ::SetWindowLongPtrW(lamp, GWLP_USERDATA, green ? kLampGreen : kLampRed);
    ::InvalidateRect(lamp, nullptr, TRUE);
}

COLORREF frmMain::LampColor() const {
    return static_cast<COLORREF>(::GetWindowLongPtrW(Control(IDC_shpStatus), GWLP_USERDATA));
}

void frmMain::SetText(int id, const std::string& text) {
    ::SetWindowTextW(Control(id), W(text).c_str());
}

std::string frmMain::ControlText(int id) const {
    return WindowText(Control(id));
}

void frmMain::SetVersionText(const std::string& text) {
    SetText(IDC_txtVersion, text);
}

void frmMain::AppendReceiveLine(const std::string& line) {
    HWND list = Control(IDC_txtReceive);
    // Every line but the first starts after CR LF, so an empty comment still
    // takes a line of its own.
    std::wstring text = mReceiveListStarted ? L"\r\n" : L"";
    text += W(line);
    const int end = ::GetWindowTextLengthW(list);
    ::SendMessageW(list, EM_SETSEL, end, end);
    ::SendMessageW(list, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    mReceiveListStarted = true;
    ++mReceiveLines;
    if (mReceiveLines > mReceiveListLimit) {
        // Drop the oldest lines, a tenth of the list at a time, so a long run
        // does not copy the whole list at every line.
        const int drop = mReceiveLines - mReceiveListLimit + mReceiveListLimit / 10;
        std::wstring all(static_cast<std::size_t>(::GetWindowTextLengthW(list)) + 1, L'\0');
        all.resize(static_cast<std::size_t>(
            ::GetWindowTextW(list, all.data(), static_cast<int>(all.size()))));
        std::size_t cut = 0;
        int dropped = 0;
        while (dropped < drop) {
            const std::size_t eol = all.find(L"\r\n", cut);
            if (eol == std::wstring::npos) {
                break;
            }
            cut = eol + 2;
            ++dropped;
        }
        ::SendMessageW(list, EM_SETSEL, 0, static_cast<LPARAM>(cut));
        ::SendMessageW(list, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
        mReceiveLines -= dropped;
        const int newEnd = ::GetWindowTextLengthW(list);
        ::SendMessageW(list, EM_SETSEL, newEnd, newEnd);
    }
    // The caret after the newest line keeps that line in view.
    ::SendMessageW(list, EM_SCROLLCARET, 0, 0);
}

std::string frmMain::ReceiveListText() const {
    if (!mReceiveListStarted) {
        return {};
    }
    return WindowText(Control(IDC_txtReceive)) + "\r\n";
}

int frmMain::WindowChangeTimeIndex() {
    return static_cast<int>(::SendMessageW(Control(IDC_cboWindowChangeTime), CB_GETCURSEL, 0, 0));
}

void frmMain::SetWindowChangeTimeIndex(int index) {
    // CB_SETCURSEL sends no notification, so the core is not told back.
    ::SendMessageW(Control(IDC_cboWindowChangeTime), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string frmMain::SlotNumberText() {
    return ControlText(IDC_txtNumber);
}

void frmMain::SetSlotNumberText(const std::string& text) {
    SetText(IDC_txtNumber, text);
}

std::string frmMain::CommentText() {
    return ControlText(IDC_txtComment);
}

void frmMain::SetCommentText(const std::string& text) {
    SetText(IDC_txtComment, text);
}

void frmMain::SetPulseText(const std::string& text) {
    SetText(IDC_txtPulse, text);
}

int frmMain::AdjustTimeIndex() {
    return static_cast<int>(::SendMessageW(Control(IDC_cboAdjustTime), CB_GETCURSEL, 0, 0));
}

void frmMain::SetAdjustTimeIndex(int index) {
    ::SendMessageW(Control(IDC_cboAdjustTime), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string frmMain::WindowNameText() {
    return ControlText(IDC_txtWindowName);
}

void frmMain::SetWindowNameText(const std::string& text) {
    SetText(IDC_txtWindowName, text);
}

std::string frmMain::KeyListText() {
    return ControlText(IDC_txtKeyList);
}

void frmMain::SetKeyListText(const std::string& text) {
    SetText(IDC_txtKeyList, text);
}

void frmMain::AppendKeyListLine(const std::string& line) {
    HWND box = Control(IDC_txtKeyList);
    const int end = ::GetWindowTextLengthW(box);
    const std::wstring text = (end > 0 ? L"\r\n" : L"") + W(line);
    ::SendMessageW(box, EM_SETSEL, end, end);
    ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
}

bool frmMain::IsVisible() {
    return ::IsWindowVisible(mHwnd) != FALSE;
}

void frmMain::SetVisible(bool visible) {
    if (visible) {
        ::ShowWindow(mHwnd, SW_SHOW);
        ::SetForegroundWindow(mHwnd);
    } else {
        ::ShowWindow(mHwnd, SW_HIDE);
    }
}

bool frmMain::IsMinimizedOrMaximized() {
    return ::IsIconic(mHwnd) != FALSE || ::IsZoomed(mHwnd) != FALSE;
}

void frmMain::SetNormalState() {
    if (!IsMinimizedOrMaximized()) {
        return;
    }
    // Windows has no way to restore a hidden window without showing it. The
    // core shows it right after, at the place it computes; the restored
    // window appears at its last normal place (beside the tray) until then.
    ::ShowWindow(mHwnd, ::IsWindowVisible(mHwnd) ? SW_RESTORE : SW_SHOWNOACTIVATE);
}

void frmMain::EndOffScreenParking() {
    ::ShowWindow(mHwnd, SW_HIDE);
    RECT r{};
    ::GetWindowRect(mHwnd, &r);
    ::SetWindowPos(mHwnd, nullptr, 0, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmMain::MoveTo(int x, int y) {
    ::SetWindowPos(mHwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmMain::Quit() {
    // Every message loop ends on WM_QUIT, a message box's included (it
    // passes the message on to the loop around it).
    ::PostQuitMessage(0);
}

// -------------------------------------------------------------- events

void frmMain::OnCommand(int id, int code) {
    if (mApp == nullptr) {
        return;
    }
    if (id == IDC_cboWindowChangeTime) {
        if (code == CBN_SELCHANGE) {
            mApp->WindowChangeTimeSelected(WindowChangeTimeIndex());
        }
        return;
    }
    if (code != BN_CLICKED) {
        return;
    }
    switch (id) {
        case IDC_cmdChange:
            mApp->cmdChange_Click();
            break;
        case IDC_cmdClear:
            mApp->cmdClear_Click();
            break;
        case IDC_cmdUpDown_0:
            mApp->cmdUpDown_Click(0);
            break;
        case IDC_cmdUpDown_1:
            mApp->cmdUpDown_Click(1);
            break;
        case IDC_cmdTray:
            mApp->cmdTray_Click();
            break;
        default:
            break;
    }
}

void frmMain::OnDrawItem(const DRAWITEMSTRUCT& item) {
    // The step buttons: arrows as the system draws them on scroll bars.
    UINT state = item.CtlID == IDC_cmdUpDown_1 ? DFCS_SCROLLLEFT : DFCS_SCROLLRIGHT;
    if ((item.itemState & ODS_SELECTED) != 0) {
        state |= DFCS_PUSHED;
    }
    if ((item.itemState & ODS_DISABLED) != 0) {
        state |= DFCS_INACTIVE;
    }
    RECT r = item.rcItem;
    ::DrawFrameControl(item.hDC, &r, DFC_SCROLL, state);
    if ((item.itemState & ODS_FOCUS) != 0) {
        RECT focus = item.rcItem;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(item.hDC, &focus);
    }
}

bool frmMain::OnKeyListKey(UINT msg, WPARAM wParam) {
    const auto code = static_cast<std::int16_t>(wParam & 0xFF);
    const bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
    // Repeats of a held key come as further presses; the core's key-state
    // table drops them.
    if (mApp != nullptr) {
        if (down) {
            mApp->txtKeyList_KeyDown(code);
        } else {
            mApp->txtKeyList_KeyUp(code);
        }
    }
    // Every key belongs to the capture: system keys (Alt, F10) must not open
    // the window menu, and Tab, Enter and Escape must not move the focus or
    // act as a default button. The rest still reach the box (caret moves);
    // the locked box cannot change its text.
    const bool system = msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP;
    return system || code == VK_TAB || code == VK_RETURN || code == VK_ESCAPE;
}

LRESULT frmMain::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_TabStrip1 && header->code == TCN_SELCHANGE && mApp) {
                mApp->TabSelected(SelectedTab());
            }
            return 0;
        }
        case WM_DRAWITEM:
            OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_SIZE:
            if (mApp != nullptr &&
                (wParam == SIZE_MINIMIZED || wParam == SIZE_MAXIMIZED || wParam == SIZE_RESTORED)) {
                mApp->Form_Resize();
            }
            return 0;
        case WM_CLOSE:
            // Closing the window ends the program, as "終了" does.
            if (mApp != nullptr) {
                mApp->Form_Closed();
            }
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE && mApp != nullptr) {
                mApp->Terminate();
            }
            return 0;
        case kTerminateMessage:
            if (mApp != nullptr) {
                DebugLog("termination asked for; unloading");
                mApp->Terminate();
            }
            return 0;
        case WM_DEVICECHANGE:
            if (mDeviceChange) {
                mDeviceChange(wParam, lParam);
            }
            return TRUE;
        case WM_DPICHANGED: {
            // The window has a fixed size: its own layout at the new DPI
            // gives it; of Windows' suggestion only the place is taken.
            ApplyDpi(HIWORD(wParam));
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(mHwnd, nullptr, suggested->left, suggested->top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_SETTINGCHANGE:
            if (wParam == SPI_SETNONCLIENTMETRICS) {
                ApplyDpi(mDpi);  // the UI font changed
            }
            break;
        default:
            break;
    }
    return ::DefWindowProcW(mHwnd, msg, wParam, lParam);
}

LRESULT CALLBACK frmMain::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* self =
            static_cast<frmMain*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->mHwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<frmMain*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->mHwnd = nullptr;
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return self->OnMessage(msg, wParam, lParam);
}

LRESULT CALLBACK frmMain::PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_DRAWITEM:
            // The pages' controls are the window's: their events go there.
            return ::SendMessageW(::GetParent(hwnd), msg, wParam, lParam);
        default:
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK frmMain::LampProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto paint = [hwnd](HDC dc) {
        RECT r{};
        ::GetClientRect(hwnd, &r);
        ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
        const auto color = static_cast<COLORREF>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        HBRUSH fill = ::CreateSolidBrush(color);
        HGDIOBJ oldBrush = ::SelectObject(dc, fill);
        HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
        ::Ellipse(dc, r.left, r.top, r.right, r.bottom);
        ::SelectObject(dc, oldPen);
        ::SelectObject(dc, oldBrush);
        ::DeleteObject(fill);
    };
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps{};
            HDC dc = ::BeginPaint(hwnd, &ps);
            paint(dc);
            ::EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            paint(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_ERASEBKGND:
            return TRUE;  // painted whole in WM_PAINT
        default:
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK frmMain::KeyListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR selfData) {
    auto* self = reinterpret_cast<frmMain*>(selfData);
    switch (msg) {
        case WM_GETDLGCODE:
            // Dialog navigation leaves every key to the box.
            return ::DefSubclassProc(hwnd, msg, wParam, lParam) | DLGC_WANTALLKEYS;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
            if (self->OnKeyListKey(msg, wParam)) {
                return 0;
            }
            break;
        case WM_CHAR:
            // Characters would only make the locked box beep; Ctrl+A and
            // Ctrl+C still select and copy.
            if (wParam != 0x01 && wParam != 0x03) {
                return 0;
            }
            break;
        case WM_SYSCHAR:
        case WM_DEADCHAR:
        case WM_SYSDEADCHAR:
            return 0;
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(hwnd, &frmMain::KeyListProc, id);
            break;
        default:
            break;
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace qv
