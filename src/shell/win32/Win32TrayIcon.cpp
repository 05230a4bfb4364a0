#include "common/win32/Windows.h"

#include "shell/win32/Win32TrayIcon.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <vector>

#include "common/DebugLog.h"
#include "common/win32/WideText.h"

namespace qv {
namespace {

// One subclass per icon object: the identifier tells them apart on a window
// that carries more than one.
std::atomic<UINT> gNextId{1};

// Owns a pop-up menu handle.
class MenuHandle {
public:
    MenuHandle() : mMenu(::CreatePopupMenu()) {}
    ~MenuHandle() {
        if (mMenu != nullptr) {
            ::DestroyMenu(mMenu);
        }
    }
    MenuHandle(const MenuHandle&) = delete;
    MenuHandle& operator=(const MenuHandle&) = delete;
    HMENU Get() const { return mMenu; }

private:
    HMENU mMenu;
};

}  // namespace

std::optional<TrayMouse> TrayMouseFromMessage(UINT mouseMessage) {
    using Kind = TrayMouse::Kind;
    switch (mouseMessage) {
        case WM_MOUSEMOVE:
            return TrayMouse{Kind::Move, TrayButton::Left};
        case WM_LBUTTONDOWN:
            return TrayMouse{Kind::Down, TrayButton::Left};
        case WM_LBUTTONUP:
            return TrayMouse{Kind::Up, TrayButton::Left};
        case WM_LBUTTONDBLCLK:
            return TrayMouse{Kind::DoubleClick, TrayButton::Left};
        case WM_RBUTTONDOWN:
            return TrayMouse{Kind::Down, TrayButton::Right};
        case WM_RBUTTONUP:
            return TrayMouse{Kind::Up, TrayButton::Right};
        case WM_RBUTTONDBLCLK:
            return TrayMouse{Kind::DoubleClick, TrayButton::Right};
        case WM_MBUTTONDOWN:
            return TrayMouse{Kind::Down, TrayButton::Middle};
        case WM_MBUTTONUP:
            return TrayMouse{Kind::Up, TrayButton::Middle};
        case WM_MBUTTONDBLCLK:
            return TrayMouse{Kind::DoubleClick, TrayButton::Middle};
        default:
            return std::nullopt;
    }
}

Win32TrayIcon::Win32TrayIcon(HWND owner, HICON icon, UINT callbackMessage)
    : mOwner(owner),
      mIcon(icon),
      mCallback(callbackMessage),
      mId(gNextId++),
      mTaskbarCreated(::RegisterWindowMessageW(L"TaskbarCreated")) {
    mSubclassed = ::SetWindowSubclass(mOwner, &Win32TrayIcon::SubclassProc, mId,
                                      reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    if (!mSubclassed) {
        win32::DebugLogLastError("SetWindowSubclass (tray icon)");
    }
}

Win32TrayIcon::~Win32TrayIcon() {
    Hide();
    if (mSubclassed) {
        ::RemoveWindowSubclass(mOwner, &Win32TrayIcon::SubclassProc, mId);
    }
}

NOTIFYICONDATAW Win32TrayIcon::Record(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = mOwner;
    data.uID = mId;
    data.uFlags = flags;
    data.uCallbackMessage = mCallback;
    data.hIcon = mIcon;
    // The tip field holds 127 characters and the ending NUL; the tray object
    // keeps its text far shorter.
    const std::size_t n = std::min(mTip.size(), std::size(data.szTip) - 1);
    std::wmemcpy(data.szTip, mTip.data(), n);
    data.szTip[n] = L'\0';
    return data;
}

bool Win32TrayIcon::Show(std::string_view toolTip) {
    mTip = win32::Utf8ToWide(toolTip);
    NOTIFYICONDATAW data = Record(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    // Add when the shell does not have the icon; a shell that has it already
    // (an add that was reported as failed but went through) takes a modify.
    bool ok = false;
    if (mAdded) {
        ok = ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE ||
             ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    } else {
        ok = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE ||
             ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    }
    if (!ok) {
        DebugLog("Shell_NotifyIconW: the shell did not take the icon");
    }
    mAdded = ok;
    return ok;
}

void Win32TrayIcon::Hide() {
    if (!mAdded) {
        return;
    }
    NOTIFYICONDATAW data = Record(0);
    ::Shell_NotifyIconW(NIM_DELETE, &data);
    mAdded = false;
}

int Win32TrayIcon::PopupMenu(const TrayMenu& menu) {
    MenuHandle popup;
    if (popup.Get() == nullptr) {
        win32::DebugLogLastError("CreatePopupMenu");
        return -1;
    }
    // Command identifiers count from 1: TrackPopupMenu returns 0 for "none".
    for (std::size_t i = 0; i < menu.items.size(); ++i) {
        const TrayMenuItem& item = menu.items[i];
        const std::wstring caption = win32::Utf8ToWide(item.caption);
        UINT flags = MF_STRING;
        if (item.checkable && item.checked) {
            flags |= MF_CHECKED;
        }
        ::AppendMenuW(popup.Get(), flags, i + 1, caption.c_str());
    }
    if (menu.defaultIndex >= 0 && static_cast<std::size_t>(menu.defaultIndex) < menu.items.size()) {
        ::SetMenuDefaultItem(popup.Get(), static_cast<UINT>(menu.defaultIndex), TRUE);
    }
    POINT at{};
    ::GetCursorPos(&at);
    // Without the owner in the foreground the menu would not close on a
    // click elsewhere; the WM_NULL afterwards lets the foreground switch
    // settle, so the next opening works the first time.
    ::SetForegroundWindow(mOwner);
    const UINT align =
        ::GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    const BOOL chosen =
        ::TrackPopupMenuEx(popup.Get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | align,
                           at.x, at.y, mOwner, nullptr);
    ::PostMessageW(mOwner, WM_NULL, 0, 0);
    if (chosen <= 0 || static_cast<std::size_t>(chosen) > menu.items.size()) {
        return -1;
    }
    return chosen - 1;
}

bool Win32TrayIcon::OnMessage(UINT msg, LPARAM lParam) {
    if (msg == mCallback) {
        const std::optional<TrayMouse> event =
            TrayMouseFromMessage(static_cast<UINT>(LOWORD(static_cast<DWORD_PTR>(lParam))));
        if (!event) {
            return false;
        }
        if (mSink != nullptr) {
            mSink->TrayMouseEvent(*event);
        }
        return true;
    }
    if (mTaskbarCreated != 0 && msg == mTaskbarCreated) {
        // The new taskbar knows no icons: the next Show adds ours again.
        mAdded = false;
        if (mSink != nullptr) {
            mSink->TrayHostRestarted();
        }
        // Other watchers of the window may want the broadcast too.
        return false;
    }
    return false;
}

LRESULT CALLBACK Win32TrayIcon::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR self) {
    auto* tray = reinterpret_cast<Win32TrayIcon*>(self);
    if (msg == WM_NCDESTROY) {
        // The window goes before the icon object: the icon goes with the
        // window, and the object stops watching it.
        tray->Hide();
        ::RemoveWindowSubclass(hwnd, &Win32TrayIcon::SubclassProc, id);
        tray->mSubclassed = false;
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    // OnMessage touches nothing after a sink call, which may end the object.
    if (tray->OnMessage(msg, lParam)) {
        return 0;
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace qv
