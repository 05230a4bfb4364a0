// The Win32 window with the application core behind it: its controls and
// captions, the tab switch, key capture through real key messages, the lamp,
// the message boxes, closing.
#include "common/win32/Windows.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <imm.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "WindowHarness.h"
#include "app/win32/Dpi.h"

namespace qv {
namespace {

using test::Program;
using test::ReadBox;
using test::SeenBox;
using test::Text;
using test::Watcher;

// The system's shared icons that message boxes show.
const wchar_t* const kQuestionIcon = MAKEINTRESOURCEW(32514);     // IDI_QUESTION
const wchar_t* const kExclamationIcon = MAKEINTRESOURCEW(32515);  // IDI_EXCLAMATION

struct Found {
    std::string windowClass;
    std::string text;
    int parentId = 0;  // 0: the main window
    DWORD style = 0;
};

// Every descendant of the window, by control identifier.
std::map<int, Found> Descendants(HWND window) {
    struct Walk {
        HWND top;
        std::map<int, Found> found;
    } walk{window, {}};
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            auto* w = reinterpret_cast<Walk*>(data);
            wchar_t name[64] = L"";
            ::GetClassNameW(child, name, 64);
            HWND parent = ::GetParent(child);
            Found f;
            f.windowClass = win32::WideToUtf8(name);
            f.text = Text(child);
            f.parentId = parent == w->top ? 0 : ::GetDlgCtrlID(parent);
            f.style = static_cast<DWORD>(::GetWindowLongW(child, GWL_STYLE));
            w->found[::GetDlgCtrlID(child)] = f;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    return walk.found;
}

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    const auto count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[64] = L"";
        ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        items.push_back(win32::WideToUtf8(item));
    }
    return items;
}

std::string TabText(HWND tabs, int index) {
    wchar_t text[64] = L"";
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    ::SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return win32::WideToUtf8(text);
}

TEST(Win32Window, ControlsCarryTheirCaptionsOnTheirPages) {
    Program program;
    program.Load();
    HWND window = program.Hwnd();
    EXPECT_EQ(Text(window), "Quorvane");

    struct Expected {
        int id;
        const char* windowClass;
        const char* text;
        int parentId;
    };
    const Expected expected[] = {
        {IDC_MODE_TABS, "SysTabControl32", "", 0},
        {IDC_RUN_PAGE, "QuorvanePage", "", 0},
        {IDC_LEARN_PAGE, "QuorvanePage", "", 0},
        {IDC_RECEIVE_LIST_LABEL, "Static", "レシーブ リスト", IDC_RUN_PAGE},
        {IDC_RECEIVE_LIST, "Edit", "", IDC_RUN_PAGE},
        {IDC_WINDOW_CHANGE_TIME_LABEL, "Static", "ウィンドウ切替時間", IDC_RUN_PAGE},
        {IDC_WINDOW_CHANGE_TIME, "ComboBox", "0秒", IDC_RUN_PAGE},
        {IDC_SLOT_NUMBER_LABEL, "Static", "リモコン記憶 No.", IDC_LEARN_PAGE},
        {IDC_SLOT_NUMBER, "Edit", "1", IDC_LEARN_PAGE},
        {IDC_PREVIOUS_SLOT, "Button", "前", IDC_LEARN_PAGE},
        {IDC_NEXT_SLOT, "Button", "次", IDC_LEARN_PAGE},
        {IDC_COMMENT_LABEL, "Static", "コメント", IDC_LEARN_PAGE},
        {IDC_COMMENT, "Edit", "", IDC_LEARN_PAGE},
        {IDC_PULSE_LABEL, "Static", "Quorvane 入力", IDC_LEARN_PAGE},
        {IDC_PULSE, "Edit", "", IDC_LEARN_PAGE},
        {IDC_ADJUST_TIME_LABEL, "Static", "連続入力防止時間", IDC_LEARN_PAGE},
        {IDC_ADJUST_TIME, "ComboBox", "", IDC_LEARN_PAGE},
        {IDC_WINDOW_NAME_LABEL, "Static", "送信ウィンドウ", IDC_LEARN_PAGE},
        {IDC_WINDOW_NAME, "Edit", "", IDC_LEARN_PAGE},
        {IDC_PICK_WINDOW, "Button", "選択…", IDC_LEARN_PAGE},
        {IDC_KEY_LIST_LABEL, "Static", "送信キーリスト", IDC_LEARN_PAGE},
        {IDC_KEY_LIST, "Edit", "", IDC_LEARN_PAGE},
        {IDC_CLEAR_KEY_LIST, "Button", "コマンドクリア", IDC_LEARN_PAGE},
        {IDC_STORE_ENTRY, "Button", "追加 / 変更", IDC_LEARN_PAGE},
        {IDC_VERSION_LABEL, "Static", "Control Chip Version", 0},
        {IDC_VERSION, "Edit", "", 0},
        {IDC_LAMP_LABEL, "Static", "HID Indicator", 0},
        {IDC_LAMP, "QuorvaneLamp", "", 0},
        {IDC_HIDE_TO_TRAY, "Button", "トレイに戻す", 0},
        {IDC_RECEIVER_STATUS, "Static", "受信機が見つかりません（VendorID 1234・ProductID 0001）",
         0},
    };
    const std::map<int, Found> found = Descendants(window);
    for (const Expected& e : expected) {
        SCOPED_TRACE(std::string(ControlName(e.id)));
        const auto it = found.find(e.id);
        ASSERT_NE(it, found.end());
        // Windows spells class names as it likes ("Static" or "STATIC").
        EXPECT_EQ(CompareStringOrdinal(win32::Utf8ToWide(it->second.windowClass).c_str(), -1,
                                       win32::Utf8ToWide(e.windowClass).c_str(), -1, TRUE),
                  CSTR_EQUAL)
            << it->second.windowClass;
        EXPECT_EQ(it->second.text, e.text);
        EXPECT_EQ(it->second.parentId, e.parentId);
    }
    // Nothing else: the combo boxes' own edit and list windows aside.
    for (const auto& [id, f] : found) {
        if (f.parentId == IDC_WINDOW_CHANGE_TIME || f.parentId == IDC_ADJUST_TIME ||
            f.parentId == IDC_MODE_TABS) {
            continue;
        }
        EXPECT_FALSE(ControlName(id).empty())
            << "unexpected control " << id << " " << f.windowClass;
    }

    HWND tabs = program.Control(IDC_MODE_TABS);
    EXPECT_EQ(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(TabText(tabs, 0), "パルス待ち");
    EXPECT_EQ(TabText(tabs, 1), "パルス記憶");

    EXPECT_EQ(ComboItems(program.Control(IDC_ADJUST_TIME)),
              (std::vector<std::string>{"0秒", "1秒", "2秒", "3秒", "4秒", "5秒"}));
    EXPECT_EQ(::SendMessageW(program.Control(IDC_ADJUST_TIME), CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(ComboItems(program.Control(IDC_WINDOW_CHANGE_TIME)),
              (std::vector<std::string>{"0秒", "0.1秒", "0.2秒", "0.3秒", "0.4秒", "0.5秒", "0.6秒",
                                        "0.7秒", "0.8秒", "0.9秒", "1秒"}));

    // The boxes the user cannot type into, and the two lists.
    for (int id : {IDC_SLOT_NUMBER, IDC_PULSE, IDC_VERSION, IDC_RECEIVE_LIST, IDC_KEY_LIST}) {
        EXPECT_NE(found.at(id).style & ES_READONLY, 0u) << ControlName(id);
    }
    for (int id : {IDC_COMMENT, IDC_WINDOW_NAME}) {
        EXPECT_EQ(found.at(id).style & ES_READONLY, 0u) << ControlName(id);
    }
    for (int id : {IDC_RECEIVE_LIST, IDC_KEY_LIST}) {
        EXPECT_NE(found.at(id).style & ES_MULTILINE, 0u) << ControlName(id);
        EXPECT_NE(found.at(id).style & WS_VSCROLL, 0u) << ControlName(id);
    }
    // No input method on the key-list box: keys reach it as keys.
    EXPECT_EQ(::ImmGetContext(program.Control(IDC_KEY_LIST)), nullptr);
    HIMC comment = ::ImmGetContext(program.Control(IDC_COMMENT));
    EXPECT_NE(comment, nullptr) << "the other boxes keep theirs";
    ::ImmReleaseContext(program.Control(IDC_COMMENT), comment);
}

TEST(Win32Window, StartsHiddenInRunModeAtTheLayoutSizeInTheSystemFont) {
    Program program;
    program.Load();
    HWND window = program.Hwnd();
    EXPECT_FALSE(::IsWindowVisible(window));

    EXPECT_EQ(program.form->SelectedTab(), 1);
    EXPECT_TRUE(::IsWindowEnabled(program.Control(IDC_RUN_PAGE)));
    EXPECT_FALSE(::IsWindowEnabled(program.Control(IDC_LEARN_PAGE)));
    EXPECT_EQ(program.core->Shared().selectedTab.load(), 1);

    const UINT dpi = program.form->Dpi();
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, ScaleForDpi(kClientWidth, dpi));
    EXPECT_EQ(client.bottom, ScaleForDpi(kClientHeight, dpi));

    // Every control speaks in the system's UI font.
    const LOGFONTW system = MessageFont(dpi);
    for (int id : {IDC_SLOT_NUMBER_LABEL, IDC_KEY_LIST, IDC_HIDE_TO_TRAY, IDC_MODE_TABS}) {
        auto font = reinterpret_cast<HFONT>(::SendMessageW(program.Control(id), WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr) << ControlName(id);
        LOGFONTW used{};
        ASSERT_NE(::GetObjectW(font, sizeof used, &used), 0);
        EXPECT_EQ(std::wstring(used.lfFaceName), std::wstring(system.lfFaceName))
            << ControlName(id);
        EXPECT_EQ(used.lfHeight, system.lfHeight) << ControlName(id);
    }
}

TEST(Win32Window, ClickingTheSecondTabSwitchesToLearningModeAndBack) {
    Program program;
    program.Load();
    program.core->ToggleWindow();  // shown, so clicks land as a user's would
    HWND tabs = program.Control(IDC_MODE_TABS);
    const auto click = [&](int tab) {
        RECT r{};
        ::SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(tab - 1),
                       reinterpret_cast<LPARAM>(&r));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        ::PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(tabs, WM_LBUTTONUP, 0, at);
        program.PumpPosted();
    };

    click(2);
    EXPECT_EQ(program.form->SelectedTab(), 2);
    EXPECT_EQ(program.core->Shared().selectedTab.load(), 2);
    EXPECT_TRUE(::IsWindowEnabled(program.Control(IDC_LEARN_PAGE)));
    EXPECT_TRUE(::IsWindowVisible(program.Control(IDC_LEARN_PAGE)));
    EXPECT_FALSE(::IsWindowEnabled(program.Control(IDC_RUN_PAGE)));
    EXPECT_FALSE(::IsWindowVisible(program.Control(IDC_RUN_PAGE)));

    click(1);
    EXPECT_EQ(program.core->Shared().selectedTab.load(), 1);
    EXPECT_TRUE(::IsWindowEnabled(program.Control(IDC_RUN_PAGE)));
    EXPECT_FALSE(::IsWindowEnabled(program.Control(IDC_LEARN_PAGE)));
}

// A key message as the keyboard sends it: repeat count 1, the scan code,
// bit 30 for a key that was down already, bits 30 and 31 for a release.
LPARAM KeyData(WPARAM vk, bool wasDown, bool release) {
    const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    LPARAM data = 1 | (static_cast<LPARAM>(scan) << 16);
    if (wasDown || release) {
        data |= LPARAM{1} << 30;
    }
    if (release) {
        data |= LPARAM{1} << 31;
    }
    return data;
}

class KeyCaptureTest : public testing::Test {
protected:
    void SetUp() override {
        program.Load();
        program.core->ToggleWindow();
        program.form->SelectTab(2);
        program.core->TabSelected(2);
        box = program.Control(IDC_KEY_LIST);
        ::SetFocus(box);
        ASSERT_EQ(::GetFocus(), box);
    }
    void Down(WPARAM vk, bool repeat = false) {
        ::PostMessageW(box, WM_KEYDOWN, vk, KeyData(vk, repeat, false));
    }
    void Up(WPARAM vk) { ::PostMessageW(box, WM_KEYUP, vk, KeyData(vk, true, true)); }
    void SysDown(WPARAM vk) {
        ::PostMessageW(box, WM_SYSKEYDOWN, vk, KeyData(vk, false, false) | (LPARAM{1} << 29));
    }
    void SysUp(WPARAM vk) {
        ::PostMessageW(box, WM_SYSKEYUP, vk, KeyData(vk, true, true) | (LPARAM{1} << 29));
    }

    Program program;
    HWND box = nullptr;
};

TEST_F(KeyCaptureTest, TheFirstKeyStaysInViewWhileTheLinesFitAndTheNewestIsShown) {
    RECT area{};
    ::SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    HDC dc = ::GetDC(box);
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(box, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(box, dc);
    const int shown = static_cast<int>(area.bottom - area.top) / metrics.tmHeight;
    ASSERT_GE(shown, 2);
    int lines = 0;
    for (const WPARAM vk : {WPARAM{VK_CONTROL}, WPARAM{VK_SHIFT}, WPARAM{'A'}, WPARAM{'B'}}) {
        for (const bool release : {false, true}) {
            release ? Up(vk) : Down(vk);
            program.PumpPosted();
            ++lines;
            SCOPED_TRACE("after line " + std::to_string(lines));
            const auto first = static_cast<int>(::SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0));
            // The newest line is among those shown.
            EXPECT_LE(lines - 1, first + shown - 1);
            EXPECT_GE(lines - 1, first);
            if (lines <= shown) {
                EXPECT_EQ(first, 0) << "every line fits: the first is shown";
            }
        }
    }
    EXPECT_EQ(lines, 8);
    EXPECT_EQ(program.form->Text(Control::KeyListBox),
              "D[CTRL]\r\nU[CTRL]\r\nD[SHIFT]\r\nU[SHIFT]\r\nDA\r\nUA\r\nDB\r\nUB");
}

TEST_F(KeyCaptureTest, PressesAndReleasesBecomeLinesAndRepeatsAreDropped) {
    Down('A');
    Down('A', true);  // held until it repeats
    Down('A', true);
    Up('A');
    Down('A');
    Up('A');
    // Ctrl+C as a chord, Ctrl released last.
    Down(VK_CONTROL);
    Down('C');
    Up('C');
    Up(VK_CONTROL);
    Down(VK_NUMPAD5);
    Up(VK_NUMPAD5);
    Down(VK_F5);
    Up(VK_F5);
    program.PumpPosted();
    EXPECT_EQ(program.form->Text(Control::KeyListBox),
              "DA\r\nUA\r\nDA\r\nUA\r\nD[CTRL]\r\nDC\r\nUC\r\nU[CTRL]\r\n"
              "D[NUMPAD5]\r\nU[NUMPAD5]\r\nD[F5]\r\nU[F5]");
    EXPECT_EQ(program.core->KeyState('A'), 0);
}

TEST_F(KeyCaptureTest, TabEnterEscapeAndAltAreCapturedAndDoNothingElse) {
    Down(VK_TAB);
    Up(VK_TAB);
    Down(VK_RETURN);
    ::PostMessageW(box, WM_CHAR, L'\r', KeyData(VK_RETURN, false, false));
    Up(VK_RETURN);
    Down(VK_ESCAPE);
    ::PostMessageW(box, WM_CHAR, 0x1B, KeyData(VK_ESCAPE, false, false));
    Up(VK_ESCAPE);
    SysDown(VK_MENU);
    SysUp(VK_MENU);
    SysDown(VK_F10);
    SysUp(VK_F10);
    ::PostMessageW(box, WM_CHAR, L'x', KeyData('X', false, false));
    program.PumpPosted();

    EXPECT_EQ(program.form->Text(Control::KeyListBox),
              "D[TAB]\r\nU[TAB]\r\nD[RETURN]\r\nU[RETURN]\r\nD[ESCAPE]\r\nU[ESCAPE]\r\n"
              "D[ALT]\r\nU[ALT]\r\nD[F10]\r\nU[F10]");
    // The focus stayed, the window is still open, no menu mode began.
    EXPECT_EQ(::GetFocus(), box);
    EXPECT_TRUE(::IsWindowVisible(program.Hwnd()));
    EXPECT_FALSE(program.core->Unloaded());
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetGUIThreadInfo(::GetCurrentThreadId(), &info));
    EXPECT_EQ(info.flags & GUI_INMENUMODE, 0u);
}

TEST_F(KeyCaptureTest, KeysTypedOnTheKeyboardAreCapturedToo) {
    // Through the whole input path: SendInput, the focus, the program's loop.
    ASSERT_TRUE(program.Pump([&] { return ::GetForegroundWindow() == program.Hwnd(); }));
    ::SetFocus(box);
    const auto key = [](WORD vk, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        return input;
    };
    INPUT inputs[] = {key(VK_TAB, false), key(VK_TAB, true),     key('Q', false),
                      key('Q', true),     key(VK_RETURN, false), key(VK_RETURN, true)};
    ASSERT_EQ(::SendInput(6, inputs, sizeof(INPUT)), 6u);
    const std::string expected = "D[TAB]\r\nU[TAB]\r\nDQ\r\nUQ\r\nD[RETURN]\r\nU[RETURN]";
    EXPECT_TRUE(program.Pump([&] { return program.form->Text(Control::KeyListBox) == expected; }))
        << program.form->Text(Control::KeyListBox);
    EXPECT_EQ(::GetFocus(), box);
}

TEST_F(KeyCaptureTest, ClearEmptiesTheBoxAndForgetsHeldKeys) {
    Down('A');
    program.PumpPosted();
    ASSERT_EQ(program.form->Text(Control::KeyListBox), "DA");
    ASSERT_EQ(program.core->KeyState('A'), 1);

    ::PostMessageW(program.Control(IDC_CLEAR_KEY_LIST), BM_CLICK, 0, 0);
    program.PumpPosted();
    EXPECT_EQ(program.form->Text(Control::KeyListBox), "");
    EXPECT_EQ(program.core->KeyState('A'), 0);

    // The release never seen, the next press is recorded again.
    Down('A', true);
    program.PumpPosted();
    EXPECT_EQ(program.form->Text(Control::KeyListBox), "DA");
}

// The lamp's colour where the program painted it, read back from a bitmap.
COLORREF PaintedAt(HWND lamp, int x, int y) {
    RECT r{};
    ::GetClientRect(lamp, &r);
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, r.right, r.bottom);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    ::SendMessageW(lamp, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    const COLORREF color = ::GetPixel(dc, x, y);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return color;
}

// The rows, top and bottom, where a one-line box painted its text (pixels
// darker than its background), in its client area; {-1, -1} without any.
std::pair<int, int> InkRows(HWND box) {
    RECT r{};
    ::GetClientRect(box, &r);
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, r.right, r.bottom);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    ::SendMessageW(box, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < r.bottom; ++y) {
        for (int x = 0; x < r.right; ++x) {
            const COLORREF c = ::GetPixel(dc, x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 96) {
                top = top < 0 ? y : top;
                bottom = y;
                break;
            }
        }
    }
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return {top, bottom};
}

TEST(Win32Window, OneLineBoxesDrawTheirTextVerticallyCentredReadOnlyOrNot) {
    Program program;
    program.Load();
    for (const int id : {IDC_COMMENT, IDC_WINDOW_NAME, IDC_PULSE, IDC_VERSION, IDC_SLOT_NUMBER}) {
        SCOPED_TRACE(std::string(ControlName(id)));
        HWND box = program.Control(id);
        program.form->SetText(static_cast<Control>(id - kFirstControlId), "Ag 再生");
        // The text is painted at the top of the client area...
        const auto [top, bottom] = InkRows(box);
        ASSERT_GE(top, 0) << "no text painted";
        RECT client{};
        ::GetClientRect(box, &client);
        EXPECT_LE(bottom, client.bottom) << "the text fits its line";
        // ...which lies in the middle of the box, between equal margins.
        RECT window{};
        ::GetWindowRect(box, &window);
        RECT inner = client;
        ::MapWindowPoints(box, nullptr, reinterpret_cast<POINT*>(&inner), 2);
        const LONG above = inner.top - window.top;
        const LONG below = window.bottom - inner.bottom;
        EXPECT_LE(std::abs(above - below), 1) << above << " above, " << below << " below";
        EXPECT_LT(client.bottom, window.bottom - window.top - 4) << "a line, not the whole box";
    }
}

TEST(Win32Window, LampIsARedCircleWithoutAReceiverAmberWhenNotStartedAndGreenWithOne) {
    Program program;  // no receiver plugged in
    program.Load();
    HWND lamp = program.Control(IDC_LAMP);
    RECT r{};
    ::GetClientRect(lamp, &r);
    const int cx = r.right / 2;
    const int cy = r.bottom / 2;
    EXPECT_EQ(PaintedAt(lamp, cx, cy), RGB(255, 0, 0));
    // A circle: the corners keep the window's background.
    EXPECT_EQ(PaintedAt(lamp, 0, 0), ::GetSysColor(COLOR_BTNFACE));

    // Without a receiver the status line says so.
    EXPECT_NE(program.form->ControlText(IDC_RECEIVER_STATUS).find("見つかりません"),
              std::string::npos)
        << program.form->ControlText(IDC_RECEIVER_STATUS);
    EXPECT_NE(program.form->LampToolTip().find("VendorID 1234"), std::string::npos);

    program.form->ShowReceiverStatus({LampColor::Green, "受信中", "tip"});
    EXPECT_EQ(PaintedAt(lamp, cx, cy), RGB(0, 255, 0));
    EXPECT_EQ(PaintedAt(lamp, 0, 0), ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(program.form->ControlText(IDC_RECEIVER_STATUS), "受信中");
    EXPECT_EQ(program.form->LampToolTip(), "tip");
    program.form->ShowReceiverStatus({LampColor::Amber, "再試行中", "tip"});
    EXPECT_EQ(PaintedAt(lamp, cx, cy), RGB(255, 191, 0));
    program.form->ShowReceiverStatus({LampColor::Red, "", ""});
    EXPECT_EQ(PaintedAt(lamp, cx, cy), RGB(255, 0, 0));
}

TEST(Win32Window, ThePickerOffersTheOtherWindowsAndTheChoiceFillsTheField) {
    Program program;
    program.Load();
    program.core->ToggleWindow();
    program.form->SelectTab(2);
    program.core->TabSelected(2);
    const auto own = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(program.Hwnd()));
    program.windows.Add(11, "Notepad", ShowState::Normal, "無題 - メモ帳");
    program.windows.Add(13, "MozillaWindowClass", ShowState::Normal, "Firefox");
    program.windows.Add(own, "QuorvaneMainWindow", ShowState::Normal, "Quorvane");
    ::PostMessageW(program.Control(IDC_PICK_WINDOW), BM_CLICK, 0, 0);
    program.PumpPosted();  // the click asks the core for the list

    test::SeenMenu seen;
    test::Watcher watcher(L"#32768", [&seen](HWND menu) {
        seen = test::ReadMenu(menu);
        ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    });
    program.jobs.RunAll();  // the receiver's share makes the list
    EXPECT_TRUE(program.Pump([&] {
        return program.form->ControlText(IDC_WINDOW_NAME) == "MozillaWindowClass";
    })) << program.form->ControlText(IDC_WINDOW_NAME);
    watcher.Join();
    EXPECT_EQ(seen.items, (std::vector<std::string>{"Notepad  \u2014  無題 - メモ帳",
                                                    "MozillaWindowClass  \u2014  Firefox"}));
    // The field stays editable.
    EXPECT_EQ(::GetWindowLongW(program.Control(IDC_WINDOW_NAME), GWL_STYLE) & ES_READONLY, 0);
}

// The lamp's tooltip names, after the receiver's state, the configuration file
// the program reads, and follows it when the first change moves it to the
// user's folder.
TEST(Win32Window, TheLampsTooltipNamesTheFileInUse) {
    Program program;
    program.Load();
    const std::string state = program.form->LampToolTip();
    EXPECT_NE(state.find("VendorID 1234"), std::string::npos) << state;
    const std::string beside = "C:\\Program Files\\Quorvane\\Quorvane.ini";
    program.form->SetFileInUse(beside);
    EXPECT_EQ(program.form->LampToolTip(), state + "\r\n" + beside);
    const std::string copy = "C:\\Users\\ユーザー\\AppData\\Roaming\\Quorvane\\Quorvane.ini";
    program.form->SetFileInUse(copy);
    EXPECT_EQ(program.form->LampToolTip(), state + "\r\n" + copy);
    // A new state keeps the file named.
    program.form->ShowReceiverStatus({LampColor::Green, "受信中", "tip"});
    EXPECT_EQ(program.form->LampToolTip(), "tip\r\n" + copy);
}

TEST(Win32Window, StoringWithoutPulseDataWarnsWithTheExclamationIcon) {
    Program program;
    program.Load();
    SeenBox seen;
    Watcher watcher(L"#32770", [&seen](HWND box) {
        seen = ReadBox(box);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    ::PostMessageW(program.Control(IDC_STORE_ENTRY), BM_CLICK, 0, 0);
    ASSERT_TRUE(program.Pump([&] { return watcher.Found() && !test::FindShownWindow(L"#32770"); }));
    watcher.Join();
    EXPECT_EQ(seen.title, "Quorvane");
    EXPECT_EQ(seen.text, "パルスデータが存在しません。");
    EXPECT_TRUE(seen.ok);
    EXPECT_FALSE(seen.yesNo);
    EXPECT_EQ(seen.icon, ::LoadIconW(nullptr, kExclamationIcon));
    EXPECT_EQ(program.IniBytes(), "") << "nothing written";
}

TEST(Win32Window, OverwriteQuestionHasNoAsDefaultAndNoKeepsTheSlot) {
    const std::string ini =
        "[Remote1]\r\nPulse=12,34,56\r\nComment=old\r\nAdjustTime=0\r\nWindowName=\r\nKeyList=\r\n";
    Program program(ini);
    program.Load();
    ASSERT_EQ(program.form->Text(Control::SlotNumberBox), "2");
    ::PostMessageW(program.Control(IDC_PREVIOUS_SLOT), BM_CLICK, 0, 0);  // back to slot 1
    program.PumpPosted();
    ASSERT_EQ(program.form->Text(Control::SlotNumberBox), "1");
    ASSERT_EQ(program.form->ControlText(IDC_PULSE), "12,34,56");
    program.form->SetText(Control::CommentBox, "new");

    for (const int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer == IDNO ? "No" : "Yes");
        SeenBox seen;
        Watcher watcher(L"#32770", [&seen, answer](HWND box) {
            seen = ReadBox(box);
            ::PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
        });
        ::PostMessageW(program.Control(IDC_STORE_ENTRY), BM_CLICK, 0, 0);
        ASSERT_TRUE(
            program.Pump([&] { return watcher.Found() && !test::FindShownWindow(L"#32770"); }));
        watcher.Join();
        EXPECT_EQ(seen.title, "Quorvane");
        EXPECT_EQ(seen.text, "既に記録されています。上書きしますか？");
        EXPECT_TRUE(seen.yesNo);
        EXPECT_EQ(seen.defaultId, IDNO);
        EXPECT_EQ(seen.icon, ::LoadIconW(nullptr, kQuestionIcon));
        if (answer == IDNO) {
            EXPECT_EQ(program.IniBytes(), ini);
        } else {
            EXPECT_NE(program.IniBytes().find("Comment=new"), std::string::npos);
        }
    }
}

TEST(Win32Window, ClosingTheWindowEndsTheProgramAndWritesTheSwitchTime) {
    Program program;
    program.Load();
    program.core->ToggleWindow();
    ::SendMessageW(program.Control(IDC_WINDOW_CHANGE_TIME), CB_SETCURSEL, 3, 0);
    ::SendMessageW(program.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_WINDOW_CHANGE_TIME, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(program.Control(IDC_WINDOW_CHANGE_TIME)));
    EXPECT_EQ(program.core->Shared().windowChangeTimeIndex.load(), 3);

    ::PostMessageW(program.Hwnd(), WM_CLOSE, 0, 0);
    bool quit = false;
    EXPECT_TRUE(program.Pump([&] { return program.core->Unloaded(); }, &quit));
    EXPECT_TRUE(quit) << "the message loop is told to end";
    EXPECT_NE(program.IniBytes().find("WindowChangeTime=3"), std::string::npos)
        << program.IniBytes();
}

TEST(Win32Window, MovingToAMonitorWithAnotherDpiLaysTheWindowOutAgain) {
    Program program;
    program.Load();
    const UINT before = program.form->Dpi();
    const UINT after = before * 3 / 2;
    const LONG fontBefore = MessageFont(before).lfHeight;
    // What Windows sends when the window moves to a monitor at 150 %.
    RECT suggested{100, 100, 100 + ScaleForDpi(430, after), 100 + ScaleForDpi(480, after)};
    ::SendMessageW(program.Hwnd(), WM_DPICHANGED, MAKEWPARAM(after, after),
                   reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(program.form->Dpi(), after);

    RECT client{};
    ::GetClientRect(program.Hwnd(), &client);
    EXPECT_EQ(client.right, ScaleForDpi(kClientWidth, after));
    EXPECT_EQ(client.bottom, ScaleForDpi(kClientHeight, after));
    // A control of the window and one of a page, at their places for that DPI.
    RECT tray{};
    ::GetWindowRect(program.Control(IDC_HIDE_TO_TRAY), &tray);
    ::MapWindowPoints(HWND_DESKTOP, program.Hwnd(), reinterpret_cast<POINT*>(&tray), 2);
    EXPECT_EQ(tray.left, ScaleForDpi(282, after));
    EXPECT_EQ(tray.right - tray.left, ScaleForDpi(120, after));
    RECT keys{};
    ::GetWindowRect(program.Control(IDC_KEY_LIST), &keys);
    EXPECT_EQ(keys.right - keys.left, ScaleForDpi(235, after));
    // The font grew with it.
    auto font =
        reinterpret_cast<HFONT>(::SendMessageW(program.Control(IDC_KEY_LIST), WM_GETFONT, 0, 0));
    LOGFONTW used{};
    ASSERT_NE(::GetObjectW(font, sizeof used, &used), 0);
    EXPECT_EQ(used.lfHeight, MessageFont(after).lfHeight);
    EXPECT_GT(std::abs(used.lfHeight), std::abs(fontBefore));
    // The page still lies inside the tab strip.
    RECT strip{};
    RECT page{};
    ::GetWindowRect(program.Control(IDC_MODE_TABS), &strip);
    ::GetWindowRect(program.Control(IDC_RUN_PAGE), &page);
    EXPECT_GT(page.left, strip.left);
    EXPECT_GT(page.top, strip.top);
    EXPECT_LT(page.right, strip.right);
    EXPECT_LT(page.bottom, strip.bottom);
}

TEST(Win32Window, TheSessionEndingOrATerminationRequestEndsTheProgram) {
    for (const UINT message : {UINT{WM_ENDSESSION}, kTerminateMessage}) {
        SCOPED_TRACE(message);
        Program program;
        program.Load();
        ::SendMessageW(program.Hwnd(), message, TRUE, 0);
        EXPECT_TRUE(program.core->Unloaded());
        EXPECT_NE(program.IniBytes().find("WindowChangeTime=0"), std::string::npos);
        MSG msg{};
        EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
            << "the message loop is told to end";
    }
    // A session that goes on (the logoff was cancelled) changes nothing.
    Program program;
    program.Load();
    ::SendMessageW(program.Hwnd(), WM_ENDSESSION, FALSE, 0);
    EXPECT_FALSE(program.core->Unloaded());
}

TEST(Win32Window, ReceiveListKeepsEveryLineEvenEmptyOnes) {
    Program program;
    program.Load();
    EXPECT_EQ(program.form->Text(Control::ReceiveList), "");
    program.form->AppendLine(Control::ReceiveList, "ボタン1");
    program.form->AppendLine(Control::ReceiveList, "");
    program.form->AppendLine(Control::ReceiveList, "b3");
    EXPECT_EQ(program.form->Text(Control::ReceiveList), "ボタン1\r\n\r\nb3\r\n");
    EXPECT_EQ(program.form->ControlText(IDC_RECEIVE_LIST), "ボタン1\r\n\r\nb3");
}

TEST(Win32Window, ReceiveListDropsItsOldestLinesBeyondItsLimit) {
    Program program;
    program.Load();
    program.form->SetReceiveListLimit(100);
    for (int i = 1; i <= 100; ++i) {
        program.form->AppendLine(Control::ReceiveList, "line " + std::to_string(i));
    }
    std::string text = program.form->Text(Control::ReceiveList);
    EXPECT_EQ(text.rfind("line 1\r\n", 0), 0u) << "nothing dropped up to the limit";
    program.form->AppendLine(Control::ReceiveList, "line 101");
    text = program.form->Text(Control::ReceiveList);
    // The oldest tenth goes at once, and one more line: 90 lines are left.
    EXPECT_EQ(text.rfind("line 12\r\n", 0), 0u) << text.substr(0, 40);
    EXPECT_EQ(text.size() - text.rfind("line 101\r\n"), std::string("line 101\r\n").size());
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    EXPECT_EQ(lines, 90u);
    // And the count goes on from there.
    for (int i = 102; i <= 111; ++i) {
        program.form->AppendLine(Control::ReceiveList, "line " + std::to_string(i));
    }
    EXPECT_EQ(program.form->Text(Control::ReceiveList).rfind("line 12\r\n", 0), 0u);
}

}  // namespace
}  // namespace qv
