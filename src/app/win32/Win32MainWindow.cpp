#include "common/win32/Windows.h"

#include "app/win32/Win32MainWindow.h"

#include <commctrl.h>
#include <imm.h>

#include <algorithm>
#include <array>
#include <utility>

#include "app/core/Application.h"
#include "app/win32/Dpi.h"
#include "common/DebugLog.h"
#include "common/win32/UniqueHandle.h"
#include "common/win32/WideText.h"

namespace qv {

namespace {

constexpr COLORREF kLampGreen = RGB(0, 255, 0);
constexpr COLORREF kLampAmber = RGB(255, 191, 0);
constexpr COLORREF kLampRed = RGB(255, 0, 0);
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
// The key-list box's subclass, and that of the one-line boxes.
constexpr UINT_PTR kKeyListSubclass = 1;
constexpr UINT_PTR kOneLineSubclass = 2;
// How far a drop-down list opens below its box, at 96 DPI.
constexpr int kOpenListHeight = 234;
// Widest a tooltip gets before it wraps, at 96 DPI.
constexpr int kToolTipWidth = 360;
// The window picker's first menu item identifier.
constexpr UINT kFirstChoice = 1;
// Longest title shown in the window picker, in characters.
constexpr std::size_t kChoiceTitleChars = 60;

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEdit = kChild | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kLinesBox =
    kChild | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;

// How a kind of control is made on Windows.
struct Win32Kind {
    const wchar_t* windowClass;
    DWORD style;
    DWORD exStyle;
};

Win32Kind KindOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Tabs:
            return {WC_TABCONTROLW, kChild | WS_TABSTOP | WS_CLIPSIBLINGS, 0};
        case ControlKind::Page:
            return {kPageClass, kChild | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
        case ControlKind::Label:
            // SS_NOTIFY lets the mouse reach a label, and so its tooltip.
            return {L"STATIC", kChild | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | SS_NOTIFY, 0};
        case ControlKind::TextBox:
            return {L"EDIT", kEdit, WS_EX_CLIENTEDGE};
        case ControlKind::ReadOnlyTextBox:
            return {L"EDIT", kEdit | ES_READONLY, WS_EX_CLIENTEDGE};
        case ControlKind::ReceiveLog:
        case ControlKind::KeyList:
            return {L"EDIT", kLinesBox, WS_EX_CLIENTEDGE};
        case ControlKind::ChoiceList:
            return {L"COMBOBOX", kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
        case ControlKind::Button:
            return {L"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0};
        case ControlKind::StepButton:
            return {L"BUTTON", kChild | WS_TABSTOP | BS_OWNERDRAW, 0};
        case ControlKind::Lamp:
            return {kLampClass, kChild, 0};
        case ControlKind::StatusLine:
            return {L"STATIC",
                    kChild | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | SS_ENDELLIPSIS | SS_NOTIFY,
                    0};
    }
    return {L"STATIC", kChild, 0};
}

// The height of a text line in `box`'s font.
int LineHeight(HWND box) {
    HDC dc = ::GetDC(box);
    if (dc == nullptr) {
        return 0;
    }
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(box, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(dc, font != nullptr ? font : ::GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(box, dc);
    return metrics.tmHeight;
}

// How many whole lines a multi-line edit box shows at once.
int VisibleLines(HWND box) {
    RECT area{};
    ::SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    return std::max(1, static_cast<int>(area.bottom - area.top) / std::max(1, LineHeight(box)));
}

// A one-line edit box draws its text at the top of its client area. So its
// client area is made one text line high, in the middle of the box; the room
// above and below belongs to the frame and is painted in the box's own
// background. Read-only boxes and editable ones alike then show their text
// in the middle.
LRESULT CALLBACK OneLineBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                DWORD_PTR /*data*/) {
    switch (msg) {
        case WM_NCCALCSIZE: {
            const LRESULT result = ::DefSubclassProc(hwnd, msg, wParam, lParam);
            RECT& client = wParam != FALSE ? reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                                           : *reinterpret_cast<RECT*>(lParam);
            const int spare = static_cast<int>(client.bottom - client.top) - LineHeight(hwnd);
            if (spare > 1) {
                client.top += spare / 2;
                client.bottom -= spare - spare / 2;
            }
            return result;
        }
        case WM_NCPAINT: {
            ::DefSubclassProc(hwnd, msg, wParam, lParam);  // the border
            RECT window{};
            ::GetWindowRect(hwnd, &window);
            RECT client{};
            ::GetClientRect(hwnd, &client);
            ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
            ::OffsetRect(&client, -window.left, -window.top);
            HDC dc = ::GetWindowDC(hwnd);
            if (dc == nullptr) {
                return 0;
            }
            // The brush the box paints its own background with.
            const bool readOnly = (::GetWindowLongW(hwnd, GWL_STYLE) & ES_READONLY) != 0;
            auto brush = reinterpret_cast<HBRUSH>(
                ::SendMessageW(::GetParent(hwnd), readOnly ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT,
                               reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
            if (brush == nullptr) {
                brush = ::GetSysColorBrush(readOnly ? COLOR_BTNFACE : COLOR_WINDOW);
            }
            // Between the border (as wide at the top as at the sides) and the line.
            const LONG border = client.left;
            const RECT above{client.left, border, client.right, client.top};
            const RECT below{client.left, client.bottom, client.right,
                             (window.bottom - window.top) - border};
            ::FillRect(dc, &above, brush);
            ::FillRect(dc, &below, brush);
            ::ReleaseDC(hwnd, dc);
            return 0;
        }
        case WM_NCHITTEST: {
            // A click above or below the line still goes into the box.
            const LRESULT hit = ::DefSubclassProc(hwnd, msg, wParam, lParam);
            return hit == HTNOWHERE || hit == HTBORDER ? HTCLIENT : hit;
        }
        case WM_SETFONT: {
            const LRESULT result = ::DefSubclassProc(hwnd, msg, wParam, lParam);
            // The line's height changed with the font: the frame is measured anew.
            ::SetWindowPos(
                hwnd, nullptr, 0, 0, 0, 0,
                SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return result;
        }
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(hwnd, &OneLineBoxProc, id);
            break;
        default:
            break;
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
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
    if (id < kFirstControlId || id > kLastControlId) {
        return {};
    }
    return Row(static_cast<Control>(id - kFirstControlId)).name;
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
    controls_.assign(static_cast<std::size_t>(kControlCount), nullptr);
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
    if (toolTips_ != nullptr) {
        ::DestroyWindow(toolTips_);
    }
    if (font_ != nullptr) {
        ::DeleteObject(font_);
    }
}

void Win32MainWindow::CreateControls() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // In the table's order, which is also the order the Tab key walks; the
    // pages come right after the tab strip, so they lie above it.
    for (const ControlRow& row : WindowControls()) {
        HWND parent = row.page == Page::Run     ? pages_[0]
                      : row.page == Page::Learn ? pages_[1]
                                                : hwnd_;
        const Win32Kind kind = KindOf(row.kind);
        HWND control = ::CreateWindowExW(
            kind.exStyle, kind.windowClass, W(row.caption).c_str(), kind.style, 0, 0, 0, 0, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdOf(row.control))), instance, nullptr);
        if (control == nullptr) {
            win32::DebugLogLastError("CreateWindowExW (" + std::string(row.name) + ")");
        }
        controls_[static_cast<std::size_t>(row.control)] = control;
        if (control != nullptr &&
            (row.kind == ControlKind::TextBox || row.kind == ControlKind::ReadOnlyTextBox)) {
            ::SetWindowSubclass(control, &OneLineBoxProc, kOneLineSubclass, 0);
        }
        if (row.control == Control::RunPage) {
            pages_[0] = control;
        } else if (row.control == Control::LearnPage) {
            pages_[1] = control;
        }
    }

    HWND tabs = Control(IDC_MODE_TABS);
    // Each new child went below the ones before it: the pages lie under the
    // strip. They go above it, so the page in front is never painted over.
    ::SetWindowPos(tabs, pages_[1], 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (std::size_t i = 0; i < kTabCaptions.size(); ++i) {
        std::wstring caption = W(kTabCaptions[i]);
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
    AddToolTips();
}

void Win32MainWindow::AddToolTips() {
    toolTips_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                  WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (toolTips_ == nullptr) {
        win32::DebugLogLastError("CreateWindowExW (tooltips)");
        return;
    }
    for (const ControlRow& row : WindowControls()) {
        // The lamp, its label and the status line get the receiver's state.
        const bool receiver = row.control == Control::Lamp || row.control == Control::LampLabel ||
                              row.control == Control::ReceiverStatusLine;
        if (!row.toolTip.empty() || receiver) {
            SetToolTip(Control(IdOf(row.control)), std::string(row.toolTip));
        }
    }
}

void Win32MainWindow::SetToolTip(HWND control, const std::string& text) {
    if (toolTips_ == nullptr || control == nullptr) {
        return;
    }
    std::wstring wide = W(text);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = ::GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = wide.data();
    // Added once; later calls change the text.
    if (::SendMessageW(toolTips_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)) == 0) {
        tool.lpszText = wide.data();
        ::SendMessageW(toolTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
        tool.lpszText = wide.data();
        ::SendMessageW(toolTips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void Win32MainWindow::SetFileInUse(const std::string& path) {
    fileInUse_ = path;
    ShowLampToolTip();
}

// The receiver's state with its reason, then the configuration file the
// program reads (which the first change may move to the user's folder).
std::string Win32MainWindow::LampToolTip() const {
    if (fileInUse_.empty()) {
        return lampToolTip_;
    }
    return lampToolTip_.empty() ? fileInUse_ : lampToolTip_ + "\r\n" + fileInUse_;
}

void Win32MainWindow::ShowLampToolTip() {
    const std::string text = LampToolTip();
    for (int id : {IDC_LAMP, IDC_LAMP_LABEL, IDC_RECEIVER_STATUS}) {
        SetToolTip(Control(id), text);
    }
}

HWND Win32MainWindow::Control(int id) const {
    if (id < kFirstControlId || id > kLastControlId) {
        return nullptr;
    }
    return controls_[static_cast<std::size_t>(id - kFirstControlId)];
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
    if (toolTips_ != nullptr) {
        ::SendMessageW(toolTips_, TTM_SETMAXTIPWIDTH, 0, ScaleForDpi(kToolTipWidth, dpi));
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
    for (const ControlRow& row : WindowControls()) {
        HWND control = Control(IdOf(row.control));
        if (control == nullptr || row.kind == ControlKind::Page) {
            continue;
        }
        // A drop-down list's window holds its open list too.
        const int height =
            row.place.height + (row.kind == ControlKind::ChoiceList ? kOpenListHeight : 0);
        ::SetWindowPos(control, nullptr, ScaleForDpi(row.place.left, dpi_),
                       ScaleForDpi(row.place.top, dpi_), ScaleForDpi(row.place.width, dpi_),
                       ScaleForDpi(height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    LayOutPages();
    ::InvalidateRect(hwnd_, nullptr, TRUE);
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

void Win32MainWindow::ShowReceiverStatus(const ReceiverStatus& status) {
    HWND lamp = Control(IDC_LAMP);
    COLORREF color = kLampRed;
    if (status.lamp == LampColor::Green) {
        color = kLampGreen;
    } else if (status.lamp == LampColor::Amber) {
        color = kLampAmber;
    }
    ::SetWindowLongPtrW(lamp, GWLP_USERDATA, static_cast<LONG_PTR>(color));
    ::InvalidateRect(lamp, nullptr, TRUE);
    ::SetWindowTextW(Control(IDC_RECEIVER_STATUS), W(status.line).c_str());
    lampToolTip_ = status.toolTip;
    ShowLampToolTip();
}

COLORREF Win32MainWindow::LampColor() const {
    return static_cast<COLORREF>(::GetWindowLongPtrW(Control(IDC_LAMP), GWLP_USERDATA));
}

std::string Win32MainWindow::ControlText(int id) const {
    return WindowText(Control(id));
}

std::string Win32MainWindow::Text(qv::Control control) {
    if (control == qv::Control::ReceiveList) {
        return receiveListStarted_ ? ControlText(IDC_RECEIVE_LIST) + "\r\n" : std::string();
    }
    return ControlText(IdOf(control));
}

void Win32MainWindow::SetText(qv::Control control, const std::string& text) {
    ::SetWindowTextW(Control(IdOf(control)), W(text).c_str());
    if (control == qv::Control::ReceiveList) {
        receiveListStarted_ = !text.empty();
        receiveLines_ = 0;
    }
}

void Win32MainWindow::AppendLine(qv::Control control, const std::string& line) {
    if (control == qv::Control::ReceiveList) {
        AppendReceiveLine(line);
    } else if (control == qv::Control::KeyListBox) {
        AppendKeyListLine(line);
    }
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

void Win32MainWindow::AppendKeyListLine(const std::string& line) {
    HWND box = Control(IDC_KEY_LIST);
    const int end = ::GetWindowTextLengthW(box);
    const std::wstring text = (end > 0 ? L"\r\n" : L"") + W(line);
    ::SendMessageW(box, EM_SETSEL, end, end);
    ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
    // The newest line is in view now; while every line fits, the first (often
    // the modifier pressed first) stays at the top.
    const int lines = static_cast<int>(::SendMessageW(box, EM_GETLINECOUNT, 0, 0));
    if (lines <= VisibleLines(box)) {
        const auto first = static_cast<int>(::SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0));
        ::SendMessageW(box, EM_LINESCROLL, 0, -first);
    }
}

void Win32MainWindow::SetItems(qv::Control list, const std::vector<std::string_view>& items) {
    HWND box = Control(IdOf(list));
    ::SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
        ::SendMessageW(box, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(W(items[i]).c_str()));
    }
}

int Win32MainWindow::SelectedIndex(qv::Control list) {
    return static_cast<int>(::SendMessageW(Control(IdOf(list)), CB_GETCURSEL, 0, 0));
}

void Win32MainWindow::SelectIndex(qv::Control list, int index) {
    // CB_SETCURSEL sends no notification, so the core is not told back.
    ::SendMessageW(Control(IdOf(list)), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool Win32MainWindow::IsOwnWindow(const ListedWindow& window) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(reinterpret_cast<HWND>(window.window.id), &process);
    return process == ::GetCurrentProcessId();
}

void Win32MainWindow::ShowWindowChoices(const std::vector<ListedWindow>& windows) {
    const win32::PopupMenu menu;
    if (!menu.Get()) {
        win32::DebugLogLastError("CreatePopupMenu (window picker)");
        return;
    }
    std::string offered;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        std::wstring title = W(windows[i].title);
        if (title.size() > kChoiceTitleChars) {
            title = title.substr(0, kChoiceTitleChars - 1) + L"\u2026";
        }
        // The name the program matches comes first: it is what the field gets.
        std::wstring item = W(windows[i].className);
        if (!title.empty()) {
            item += L"  \u2014  " + title;
        }
        ::AppendMenuW(menu.Get(), MF_STRING, kFirstChoice + i, item.c_str());
        offered += " [" + windows[i].className + "] " + windows[i].title + ";";
    }
    if (windows.empty()) {
        ::AppendMenuW(menu.Get(), MF_STRING | MF_GRAYED, 0,
                      W("（選べるウィンドウがありません）").c_str());
    }
    // Tells scripts driving the window what was offered, in order.
    DebugLog("window picker: " + std::to_string(windows.size()) + " offered:" + offered);
    RECT button{};
    ::GetWindowRect(Control(IDC_PICK_WINDOW), &button);
    const UINT chosen = static_cast<UINT>(
        ::TrackPopupMenuEx(menu.Get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN,
                           button.left, button.bottom, hwnd_, nullptr));
    if (chosen >= kFirstChoice && chosen - kFirstChoice < windows.size() && app_ != nullptr) {
        app_->TargetWindowChosen(windows[chosen - kFirstChoice].className);
    }
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
            app_->WindowChangeTimeSelected(SelectedIndex(qv::Control::WindowChangeTimeList));
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
        case IDC_PICK_WINDOW:
            app_->PickTargetWindow();
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
