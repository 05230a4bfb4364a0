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
    static const std::array<ControlLayout, 26> kTable{{
        {IDC_MODE_TABS,
         "modeTabs",
         -1,
         WC_TABCONTROLW,
         "",
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS,
         0,
         {8, 8, 394, 336}},
        // Page 0: run mode
        {IDC_RECEIVE_LIST_LABEL,
         "receiveListLabel",
         0,
         L"STATIC",
         "レシーブ リスト",
         kLabel,
         0,
         {10, 8, 200, 20}},
        {IDC_RECEIVE_LIST,
         "receiveList",
         0,
         L"EDIT",
         "",
         kListBox,
         WS_EX_CLIENTEDGE,
         {10, 30, 370, 220}},
        {IDC_WINDOW_CHANGE_TIME_LABEL,
         "windowChangeTimeLabel",
         0,
         L"STATIC",
         "ウィンドウ切替時間",
         kLabel,
         0,
         {10, 264, 140, 24}},
        {IDC_WINDOW_CHANGE_TIME,
         "windowChangeTimeList",
         0,
         L"COMBOBOX",
         "",
         kComboBox,
         0,
         {160, 262, 100, 260}},
        // Page 1: learning mode, the entry editor
        {IDC_SLOT_NUMBER_LABEL,
         "slotNumberLabel",
         1,
         L"STATIC",
         "リモコン記憶 No.",
         kLabel,
         0,
         {10, 10, 130, 24}},
        {IDC_SLOT_NUMBER,
         "slotNumberBox",
         1,
         L"EDIT",
         "1",
         kReadOnlyEdit,
         WS_EX_CLIENTEDGE,
         {145, 10, 60, 24}},
        {IDC_PREVIOUS_SLOT,
         "previousSlotButton",
         1,
         L"BUTTON",
         "前",
         kStepButton,
         0,
         {210, 10, 26, 24}},
        {IDC_NEXT_SLOT, "nextSlotButton", 1, L"BUTTON", "次", kStepButton, 0, {238, 10, 26, 24}},
        {IDC_COMMENT_LABEL, "commentLabel", 1, L"STATIC", "コメント", kLabel, 0, {10, 42, 130, 24}},
        {IDC_COMMENT, "commentBox", 1, L"EDIT", "", kEdit, WS_EX_CLIENTEDGE, {145, 42, 235, 24}},
        {IDC_PULSE_LABEL,
         "pulseLabel",
         1,
         L"STATIC",
         "Quorvane 入力",
         kLabel,
         0,
         {10, 74, 130, 24}},
        // Shows the pulse; what is stored comes from capture.
        {IDC_PULSE,
         "pulseBox",
         1,
         L"EDIT",
         "",
         kReadOnlyEdit,
         WS_EX_CLIENTEDGE,
         {145, 74, 235, 24}},
        {IDC_ADJUST_TIME_LABEL,
         "adjustTimeLabel",
         1,
         L"STATIC",
         "連続入力防止時間",
         kLabel,
         0,
         {10, 106, 130, 24}},
        {IDC_ADJUST_TIME, "adjustTimeList", 1, L"COMBOBOX", "", kComboBox, 0, {145, 106, 100, 200}},
        {IDC_WINDOW_NAME_LABEL,
         "windowNameLabel",
         1,
         L"STATIC",
         "送信ウィンドウ",
         kLabel,
         0,
         {10, 140, 130, 24}},
        {IDC_WINDOW_NAME,
         "windowNameBox",
         1,
         L"EDIT",
         "",
         kEdit,
         WS_EX_CLIENTEDGE,
         {145, 140, 235, 24}},
        {IDC_KEY_LIST_LABEL,
         "keyListLabel",
         1,
         L"STATIC",
         "送信キーリスト",
         kLabel,
         0,
         {10, 172, 130, 24}},
        // Locked: only key capture writes it.
        {IDC_KEY_LIST,
         "keyListBox",
         1,
         L"EDIT",
         "",
         kListBox,
         WS_EX_CLIENTEDGE,
         {145, 172, 235, 88}},
        {IDC_CLEAR_KEY_LIST,
         "clearKeyListButton",
         1,
         L"BUTTON",
         "コマンドクリア",
         kButton,
         0,
         {145, 268, 115, 28}},
        {IDC_STORE_ENTRY,
         "storeEntryButton",
         1,
         L"BUTTON",
         "追加 / 変更",
         kButton,
         0,
         {265, 268, 115, 28}},
        // The window
        {IDC_VERSION_LABEL,
         "versionLabel",
         -1,
         L"STATIC",
         "Control Chip Version",
         kLabel,
         0,
         {12, 356, 150, 24}},
        {IDC_VERSION,
         "versionBox",
         -1,
         L"EDIT",
         "",
         kReadOnlyEdit,
         WS_EX_CLIENTEDGE,
         {165, 356, 80, 24}},
        {IDC_LAMP_LABEL,
         "lampLabel",
         -1,
         L"STATIC",
         "HID Indicator",
         kLabel,
         0,
         {12, 392, 150, 24}},
        {IDC_LAMP, "lamp", -1, kLampClass, "", WS_CHILD | WS_VISIBLE, 0, {165, 393, 22, 22}},
        {IDC_HIDE_TO_TRAY,
         "hideToTrayButton",
         -1,
         L"BUTTON",
         "トレイに戻す",
         kButton,
         0,
         {282, 388, 120, 30}},
    }};
    return kTable;
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
    if (id == IDC_RUN_PAGE) {
        return "runPage";
    }
    if (id == IDC_LEARN_PAGE) {
        return "learnPage";
    }
    for (const ControlLayout& layout : Controls()) {
        if (layout.id == id) {
            return layout.name;
        }
    }
    return {};
}

UINT MessageBoxFlags(MessageKind kind, std::optional<Answer> defaultAnswer, bool owned) {
    UINT flags = defaultAnswer ? MB_YESNO : MB_OK;
    switch (kind) {
        case MessageKind::Plain:
            break;
        case MessageKind::Error:
            flags |= MB_ICONERROR;
            break;
        case MessageKind::Question:
            flags |= MB_ICONQUESTION;
            break;
        case MessageKind::Warning:
            flags |= MB_ICONEXCLAMATION;
            break;
        case MessageKind::Information:
            flags |= MB_ICONINFORMATION;
            break;
    }
    if (defaultAnswer == Answer::No) {
        flags |= MB_DEFBUTTON2;
    }
    // The program lives in the notification area: a box must come to the
    // front. Without a shown window to own it, it holds the whole thread.
    flags |= MB_SETFOREGROUND;
    flags |= owned ? MB_APPLMODAL : MB_TASKMODAL;
    return flags;
}

// ------------------------------------------------------------- creation

void Win32MainWindow::RegisterClasses() {
    static const bool kRegistered = [] {
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSEXW main{};
        main.cbSize = sizeof main;
        main.lpfnWndProc = &Win32MainWindow::WindowProc;
        main.hInstance = instance;
        main.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        main.lpszClassName = kMainWindowClass;
        WNDCLASSEXW page = main;
        page.lpfnWndProc = &Win32MainWindow::PageProc;
        page.lpszClassName = kPageClass;
        WNDCLASSEXW lamp = main;
        lamp.lpfnWndProc = &Win32MainWindow::LampProc;
        lamp.lpszClassName = kLampClass;
        return ::RegisterClassExW(&main) != 0 && ::RegisterClassExW(&page) != 0 &&
               ::RegisterClassExW(&lamp) != 0;
    }();
    if (!kRegistered) {
        win32::DebugLogLastError("RegisterClassExW (main window)");
    }
}

Win32MainWindow::Win32MainWindow(HICON bigIcon, HICON smallIcon) {
    RegisterClasses();
    controls_.assign(IDC_HIDE_TO_TRAY - IDC_MODE_TABS + 1, nullptr);
    // Created hidden; its size follows once the DPI of its monitor is known.
    hwnd_ = ::CreateWindowExW(kWindowExStyle, kMainWindowClass, L"Quorvane", kWindowStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, kClientHeight, nullptr,
                              nullptr, ::GetModuleHandleW(nullptr), this);
    if (hwnd_ == nullptr) {
        win32::DebugLogLastError("CreateWindowExW (main window)");
        return;
    }
    if (bigIcon != nullptr) {
        ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    }
    if (smallIcon != nullptr) {
        ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    }
    CreateControls();
    ApplyDpi(WindowDpi(hwnd_));
}

Win32MainWindow::~Win32MainWindow() {
    if (hwnd_ != nullptr) {
        ::DestroyWindow(hwnd_);
    }
    if (font_ != nullptr) {
        ::DeleteObject(font_);
    }
}

void Win32MainWindow::CreateControls() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // The pages lie over the tab strip's client area (LayOutPages); they are
    // created first, so they are above the strip.
    for (int i = 0; i < 2; ++i) {
        pages_[i] = ::CreateWindowExW(
            WS_EX_CONTROLPARENT, kPageClass, L"",
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 0, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_RUN_PAGE + i)), instance, nullptr);
        controls_[static_cast<std::size_t>(IDC_RUN_PAGE + i - IDC_MODE_TABS)] = pages_[i];
    }
    for (const ControlLayout& layout : Controls()) {
        HWND parent = layout.page < 0 ? hwnd_ : pages_[layout.page];
        HWND control = ::CreateWindowExW(
            layout.exStyle, layout.windowClass, W(layout.caption).c_str(), layout.style, 0, 0, 0, 0,
            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), instance, nullptr);
        if (control == nullptr) {
            win32::DebugLogLastError("CreateWindowExW (" + std::string(layout.name) + ")");
        }
        controls_[static_cast<std::size_t>(layout.id - IDC_MODE_TABS)] = control;
    }

    HWND tabs = Control(IDC_MODE_TABS);
    const std::array<const char*, 2> tabCaptions{"パルス待ち", "パルス記憶"};
    for (std::size_t i = 0; i < tabCaptions.size(); ++i) {
        std::wstring caption = W(tabCaptions[i]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        ::SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }

    // The lists hold far more than an edit box's default 32767 characters.
    ::SendMessageW(Control(IDC_RECEIVE_LIST), EM_SETLIMITTEXT, 0, 0);
    ::SendMessageW(Control(IDC_KEY_LIST), EM_SETLIMITTEXT, 0, 0);
    ::SetWindowSubclass(Control(IDC_KEY_LIST), &Win32MainWindow::KeyListProc, kKeyListSubclass,
                        reinterpret_cast<DWORD_PTR>(this));
    // The key-list box records keys, not text: with an input method (a
    // Japanese IME) switched on, keys would reach it as VK_PROCESSKEY.
    ::ImmAssociateContext(Control(IDC_KEY_LIST), nullptr);
    // Red until a receiver is connected.
    ::SetWindowLongPtrW(Control(IDC_LAMP), GWLP_USERDATA, kLampRed);
}

namespace {

// The lamp as a tool of its tooltip window.
TOOLINFOW LampTool(HWND lamp, wchar_t* text) {
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = ::GetParent(lamp);
    tool.uId = reinterpret_cast<UINT_PTR>(lamp);
    tool.lpszText = text;
    return tool;
}

}  // namespace

void Win32MainWindow::SetLampToolTip(const std::string& text) {
    const HWND lamp = Control(IDC_LAMP);
    if (lamp == nullptr) {
        return;
    }
    std::wstring wide = W(text);
    if (lampTip_ == nullptr) {
        lampTip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                     WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr);
        TOOLINFOW tool = LampTool(lamp, wide.data());
        ::SendMessageW(lampTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        // Paths are long: wrap them instead of running off the screen.
        ::SendMessageW(lampTip_, TTM_SETMAXTIPWIDTH, 0, 600);
        return;
    }
    TOOLINFOW tool = LampTool(lamp, wide.data());
    ::SendMessageW(lampTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::string Win32MainWindow::LampToolTip() const {
    if (lampTip_ == nullptr) {
        return {};
    }
    std::wstring text(1024, L'\0');
    TOOLINFOW tool = LampTool(Control(IDC_LAMP), text.data());
    ::SendMessageW(lampTip_, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
    text.resize(std::char_traits<wchar_t>::length(text.c_str()));
    return win32::WideToUtf8(text);
}

HWND Win32MainWindow::Control(int id) const {
    if (id < IDC_MODE_TABS || id > IDC_HIDE_TO_TRAY) {
        return nullptr;
    }
    return controls_[static_cast<std::size_t>(id - IDC_MODE_TABS)];
}

void Win32MainWindow::ApplyDpi(UINT dpi) {
    dpi_ = dpi;
    LOGFONTW font = MessageFont(dpi);
    HFONT newFont = ::CreateFontIndirectW(&font);
    if (newFont == nullptr) {
        win32::DebugLogLastError("CreateFontIndirectW (message font)");
    } else {
        for (HWND control : controls_) {
            if (control != nullptr) {
                ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(newFont), FALSE);
            }
        }
        if (font_ != nullptr) {
            ::DeleteObject(font_);
        }
        font_ = newFont;
    }
    const int width = ScaleForDpi(kClientWidth, dpi);
    const int height = ScaleForDpi(kClientHeight, dpi);
    const SIZE outer = OuterSizeForClient(width, height, kWindowStyle, kWindowExStyle, dpi);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A frame drawn at other measures than the system gave for this DPI
    // (Wine keeps its frame at the monitor's own DPI) leaves the client area
    // off by that much: correct it once, by what it is.
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    if (client.right != width || client.bottom != height) {
        ::SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx + width - client.right,
                       outer.cy + height - client.bottom,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    PlaceControls();
}

void Win32MainWindow::PlaceControls() {
    for (const ControlLayout& layout : Controls()) {
        HWND control = Control(layout.id);
        if (control == nullptr) {
            continue;
        }
        ::SetWindowPos(control, nullptr, ScaleForDpi(layout.place.left, dpi_),
                       ScaleForDpi(layout.place.top, dpi_), ScaleForDpi(layout.place.right, dpi_),
                       ScaleForDpi(layout.place.bottom, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    LayOutPages();
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

// ------------------------------------------------------------ MainView

int Win32MainWindow::ShowBox(const std::string& text, MessageKind kind,
                             std::optional<Answer> defaultAnswer) {
    // The window is usually hidden (and parked off-screen while it loads); a
    // box it owned would sit over it, so a hidden window owns no box.
    const bool owned = hwnd_ != nullptr && ::IsWindowVisible(hwnd_);
    return ::MessageBoxW(owned ? hwnd_ : nullptr, W(text).c_str(), W(kAppTitle).c_str(),
                         MessageBoxFlags(kind, defaultAnswer, owned));
}

void Win32MainWindow::Tell(const std::string& text, MessageKind kind) {
    (void)ShowBox(text, kind, std::nullopt);
}

Answer Win32MainWindow::Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) {
    return ShowBox(question, kind, defaultAnswer) == IDYES ? Answer::Yes : Answer::No;
}

void Win32MainWindow::HideOffScreen() {
    ::ShowWindow(hwnd_, SW_HIDE);
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    ::SetWindowPos(hwnd_, nullptr, kOffScreenLeft, r.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::LayOutPages() {
    HWND tabs = Control(IDC_MODE_TABS);
    RECT client{};
    ::GetWindowRect(tabs, &client);
    ::MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&client), 2);
    // The strip's display area, below the tabs and inside its border.
    ::SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&client));
    for (HWND page : pages_) {
        ::SetWindowPos(page, nullptr, client.left, client.top, client.right - client.left,
                       client.bottom - client.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Win32MainWindow::FillTimeLists(const std::vector<std::string_view>& adjustTimeItems,
                                    const std::vector<std::string_view>& windowChangeTimeItems) {
    const auto fill = [](HWND list, const std::vector<std::string_view>& items) {
        ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
        for (std::size_t i = 0; i < items.size(); ++i) {
            ::SendMessageW(list, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(W(items[i]).c_str()));
        }
    };
    fill(Control(IDC_ADJUST_TIME), adjustTimeItems);
    fill(Control(IDC_WINDOW_CHANGE_TIME), windowChangeTimeItems);
}

void Win32MainWindow::SelectTab(int tab) {
    // No notification: the caller runs the tab's handler itself.
    ::SendMessageW(Control(IDC_MODE_TABS), TCM_SETCURSEL, static_cast<WPARAM>(tab - 1), 0);
}

int Win32MainWindow::SelectedTab() const {
    return static_cast<int>(::SendMessageW(Control(IDC_MODE_TABS), TCM_GETCURSEL, 0, 0)) + 1;
}

void Win32MainWindow::ShowPage(int tab) {
    for (HWND page : pages_) {
        ::EnableWindow(page, FALSE);
    }
    if (tab < 1 || tab > 2) {
        return;
    }
    HWND front = pages_[tab - 1];
    ::SetWindowPos(front, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::EnableWindow(front, TRUE);
    // Overlapping sibling windows do not reliably paint over each other on
    // Windows: the page behind is hidden as well as disabled.
    ::ShowWindow(front, SW_SHOWNA);
    for (HWND page : pages_) {
        if (page != front) {
            ::ShowWindow(page, SW_HIDE);
        }
    }
}

void Win32MainWindow::SetLamp(bool green) {
    HWND lamp = Control(IDC_LAMP);
    ::SetWindowLongPtrW(lamp, GWLP_USERDATA, green ? kLampGreen : kLampRed);
    ::InvalidateRect(lamp, nullptr, TRUE);
}

COLORREF Win32MainWindow::LampColor() const {
    return static_cast<COLORREF>(::GetWindowLongPtrW(Control(IDC_LAMP), GWLP_USERDATA));
}

void Win32MainWindow::SetText(int id, const std::string& text) {
    ::SetWindowTextW(Control(id), W(text).c_str());
}

std::string Win32MainWindow::ControlText(int id) const {
    return WindowText(Control(id));
}

void Win32MainWindow::SetVersionText(const std::string& text) {
    SetText(IDC_VERSION, text);
}

void Win32MainWindow::AppendReceiveLine(const std::string& line) {
    HWND list = Control(IDC_RECEIVE_LIST);
    // Every line but the first starts after CR LF, so an empty comment still
    // takes a line of its own.
    std::wstring text = receiveListStarted_ ? L"\r\n" : L"";
    text += W(line);
    const int end = ::GetWindowTextLengthW(list);
    ::SendMessageW(list, EM_SETSEL, end, end);
    ::SendMessageW(list, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    receiveListStarted_ = true;
    ++receiveLines_;
    if (receiveLines_ > receiveListLimit_) {
        // Drop the oldest lines, a tenth of the list at a time, so a long run
        // does not copy the whole list at every line.
        const int drop = receiveLines_ - receiveListLimit_ + receiveListLimit_ / 10;
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
        receiveLines_ -= dropped;
        const int newEnd = ::GetWindowTextLengthW(list);
        ::SendMessageW(list, EM_SETSEL, newEnd, newEnd);
    }
    // The caret after the newest line keeps that line in view.
    ::SendMessageW(list, EM_SCROLLCARET, 0, 0);
}

std::string Win32MainWindow::ReceiveListText() const {
    if (!receiveListStarted_) {
        return {};
    }
    return WindowText(Control(IDC_RECEIVE_LIST)) + "\r\n";
}

int Win32MainWindow::WindowChangeTimeIndex() {
    return static_cast<int>(::SendMessageW(Control(IDC_WINDOW_CHANGE_TIME), CB_GETCURSEL, 0, 0));
}

void Win32MainWindow::SetWindowChangeTimeIndex(int index) {
    // CB_SETCURSEL sends no notification, so the core is not told back.
    ::SendMessageW(Control(IDC_WINDOW_CHANGE_TIME), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string Win32MainWindow::SlotNumberText() {
    return ControlText(IDC_SLOT_NUMBER);
}

void Win32MainWindow::SetSlotNumberText(const std::string& text) {
    SetText(IDC_SLOT_NUMBER, text);
}

std::string Win32MainWindow::CommentText() {
    return ControlText(IDC_COMMENT);
}

void Win32MainWindow::SetCommentText(const std::string& text) {
    SetText(IDC_COMMENT, text);
}

void Win32MainWindow::SetPulseText(const std::string& text) {
    SetText(IDC_PULSE, text);
}

int Win32MainWindow::AdjustTimeIndex() {
    return static_cast<int>(::SendMessageW(Control(IDC_ADJUST_TIME), CB_GETCURSEL, 0, 0));
}

void Win32MainWindow::SetAdjustTimeIndex(int index) {
    ::SendMessageW(Control(IDC_ADJUST_TIME), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string Win32MainWindow::WindowNameText() {
    return ControlText(IDC_WINDOW_NAME);
}

void Win32MainWindow::SetWindowNameText(const std::string& text) {
    SetText(IDC_WINDOW_NAME, text);
}

std::string Win32MainWindow::KeyListText() {
    return ControlText(IDC_KEY_LIST);
}

void Win32MainWindow::SetKeyListText(const std::string& text) {
    SetText(IDC_KEY_LIST, text);
}

void Win32MainWindow::AppendKeyListLine(const std::string& line) {
    HWND box = Control(IDC_KEY_LIST);
    const int end = ::GetWindowTextLengthW(box);
    const std::wstring text = (end > 0 ? L"\r\n" : L"") + W(line);
    ::SendMessageW(box, EM_SETSEL, end, end);
    ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
}

bool Win32MainWindow::IsVisible() {
    return ::IsWindowVisible(hwnd_) != FALSE;
}

void Win32MainWindow::SetVisible(bool visible) {
    if (visible) {
        ::ShowWindow(hwnd_, SW_SHOW);
        ::SetForegroundWindow(hwnd_);
    } else {
        ::ShowWindow(hwnd_, SW_HIDE);
    }
}

bool Win32MainWindow::IsMinimizedOrMaximized() {
    return ::IsIconic(hwnd_) != FALSE || ::IsZoomed(hwnd_) != FALSE;
}

void Win32MainWindow::SetNormalState() {
    if (!IsMinimizedOrMaximized()) {
        return;
    }
    // Windows has no way to restore a hidden window without showing it. The
    // core shows it right after, at the place it computes; the restored
    // window appears at its last normal place (beside the tray) until then.
    ::ShowWindow(hwnd_, ::IsWindowVisible(hwnd_) ? SW_RESTORE : SW_SHOWNOACTIVATE);
}

void Win32MainWindow::EndOffScreenParking() {
    ::ShowWindow(hwnd_, SW_HIDE);
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    ::SetWindowPos(hwnd_, nullptr, 0, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::MoveTo(int x, int y) {
    ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::Quit() {
    // Every message loop ends on WM_QUIT, a message box's included (it
    // passes the message on to the loop around it).
    ::PostQuitMessage(0);
}

// -------------------------------------------------------------- events

void Win32MainWindow::OnCommand(int id, int code) {
    if (app_ == nullptr) {
        return;
    }
    if (id == IDC_WINDOW_CHANGE_TIME) {
        if (code == CBN_SELCHANGE) {
            app_->WindowChangeTimeSelected(WindowChangeTimeIndex());
        }
        return;
    }
    if (code != BN_CLICKED) {
        return;
    }
    switch (id) {
        case IDC_STORE_ENTRY:
            app_->StoreEntry();
            break;
        case IDC_CLEAR_KEY_LIST:
            app_->ClearKeyList();
            break;
        case IDC_NEXT_SLOT:
            app_->StepSlot(SlotStep::Next);
            break;
        case IDC_PREVIOUS_SLOT:
            app_->StepSlot(SlotStep::Previous);
            break;
        case IDC_HIDE_TO_TRAY:
            app_->HideToTray();
            break;
        default:
            break;
    }
}

void Win32MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
    // The step buttons: arrows as the system draws them on scroll bars.
    UINT state = item.CtlID == IDC_PREVIOUS_SLOT ? DFCS_SCROLLLEFT : DFCS_SCROLLRIGHT;
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

bool Win32MainWindow::OnKeyListKey(UINT msg, WPARAM wParam) {
    const auto code = static_cast<std::int16_t>(wParam & 0xFF);
    const bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
    // Repeats of a held key come as further presses; the core's key-state
    // table drops them.
    if (app_ != nullptr) {
        if (down) {
            app_->KeyPressed(code);
        } else {
            app_->KeyReleased(code);
        }
    }
    // Every key belongs to the capture: system keys (Alt, F10) must not open
    // the window menu, and Tab, Enter and Escape must not move the focus or
    // act as a default button. The rest still reach the box (caret moves);
    // the locked box cannot change its text.
    const bool system = msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP;
    return system || code == VK_TAB || code == VK_RETURN || code == VK_ESCAPE;
}

LRESULT Win32MainWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_MODE_TABS && header->code == TCN_SELCHANGE && app_) {
                app_->TabSelected(SelectedTab());
            }
            return 0;
        }
        case WM_DRAWITEM:
            OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_SIZE:
            if (app_ != nullptr &&
                (wParam == SIZE_MINIMIZED || wParam == SIZE_MAXIMIZED || wParam == SIZE_RESTORED)) {
                app_->WindowStateChanged();
            }
            return 0;
        case WM_CLOSE:
            // Closing the window ends the program, as "終了" does.
            if (app_ != nullptr) {
                app_->WindowClosed();
            }
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE && app_ != nullptr) {
                app_->Terminate();
            }
            return 0;
        case kTerminateMessage:
            if (app_ != nullptr) {
                DebugLog("termination asked for; unloading");
                app_->Terminate();
            }
            return 0;
        case WM_DPICHANGED: {
            // The window has a fixed size: its own layout at the new DPI
            // gives it; of Windows' suggestion only the place is taken.
            ApplyDpi(HIWORD(wParam));
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_SETTINGCHANGE:
            if (wParam == SPI_SETNONCLIENTMETRICS) {
                ApplyDpi(dpi_);  // the UI font changed
            }
            break;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<Win32MainWindow*>(
            reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return self->OnMessage(msg, wParam, lParam);
}

LRESULT CALLBACK Win32MainWindow::PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
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

LRESULT CALLBACK Win32MainWindow::LampProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
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

LRESULT CALLBACK Win32MainWindow::KeyListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR id, DWORD_PTR selfData) {
    auto* self = reinterpret_cast<Win32MainWindow*>(selfData);
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
            ::RemoveWindowSubclass(hwnd, &Win32MainWindow::KeyListProc, id);
            break;
        default:
            break;
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace qv
