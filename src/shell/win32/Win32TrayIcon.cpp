#include "common/win32/Windows.h"

#include "shell/win32/Win32TrayIcon.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <vector>

#include "common/DebugLog.h"
#include "common/win32/UniqueHandle.h"
#include "common/win32/WideText.h"

namespace qv {
namespace {

// One subclass per icon object: the identifier tells them apart on a window
// that carries more than one.
std::atomic<UINT> gNextId{1};

}  // namespace

std::optional<TrayButton> TrayActivationFromMessage(UINT mouseMessage) {
    switch (mouseMessage) {
        case WM_LBUTTONDOWN:
            return TrayButton::Left;
        case WM_RBUTTONDOWN:
            return TrayButton::Right;
        case WM_MBUTTONDOWN:
            return TrayButton::Middle;
        default:
            return std::nullopt;
    }
}

Win32TrayIcon::Win32TrayIcon(HWND owner, HICON icon, UINT callbackMessage)
    : owner_(owner),
      icon_(icon),
      callback_(callbackMessage),
      id_(gNextId++),
      taskbarCreated_(::RegisterWindowMessageW(L"TaskbarCreated")) {
    subclassed_ = ::SetWindowSubclass(owner_, &Win32TrayIcon::SubclassProc, id_,
                                      reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    if (!subclassed_) {
        win32::DebugLogLastError("SetWindowSubclass (tray icon)");
    }
}

Win32TrayIcon::~Win32TrayIcon() {
    Hide();
    if (subclassed_) {
        ::RemoveWindowSubclass(owner_, &Win32TrayIcon::SubclassProc, id_);
    }
}

NOTIFYICONDATAW Win32TrayIcon::Record(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner_;
    data.uID = id_;
    data.uFlags = flags;
    data.uCallbackMessage = callback_;
    data.hIcon = icon_;
    // The tip field holds 127 characters and the ending NUL; the tray object
    // keeps its text far shorter.
    const std::size_t n = std::min(tip_.size(), std::size(data.szTip) - 1);
    std::wmemcpy(data.szTip, tip_.data(), n);
    data.szTip[n] = L'\0';
    return data;
}

bool Win32TrayIcon::Show(std::string_view toolTip) {
    tip_ = win32::Utf8ToWide(toolTip);
    NOTIFYICONDATAW data = Record(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    // Add when the shell does not have the icon; a shell that has it already
    // (an add that was reported as failed but went through) takes a modify.
    bool ok = false;
    if (added_) {
        ok = ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE ||
             ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    } else {
        ok = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE ||
             ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    }
    if (!ok) {
        DebugLog("Shell_NotifyIconW: the shell did not take the icon");
    }
    added_ = ok;
    return ok;
}

void Win32TrayIcon::Hide() {
    if (!added_) {
        return;
    }
    NOTIFYICONDATAW data = Record(0);
    ::Shell_NotifyIconW(NIM_DELETE, &data);
    added_ = false;
}

int Win32TrayIcon::PopupMenu(const TrayMenu& menu) {
    win32::PopupMenu popup;
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
    ::SetForegroundWindow(owner_);
    const UINT align =
        ::GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    const BOOL chosen =
        ::TrackPopupMenuEx(popup.Get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | align,
                           at.x, at.y, owner_, nullptr);
    ::PostMessageW(owner_, WM_NULL, 0, 0);
    if (chosen <= 0 || static_cast<std::size_t>(chosen) > menu.items.size()) {
        return -1;
    }
    return chosen - 1;
}

bool Win32TrayIcon::OnMessage(UINT msg, LPARAM lParam) {
    if (msg == callback_) {
        // Every message of the icon is ours; only a press activates it.
        const std::optional<TrayButton> button =
            TrayActivationFromMessage(static_cast<UINT>(LOWORD(static_cast<DWORD_PTR>(lParam))));
        if (button && sink_ != nullptr) {
            sink_->TrayActivated(*button);
        }
        return true;
    }
    if (taskbarCreated_ != 0 && msg == taskbarCreated_) {
        // The new taskbar knows no icons: the next Show adds ours again.
        added_ = false;
        if (sink_ != nullptr) {
            sink_->TrayHostRestarted();
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
        tray->subclassed_ = false;
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    // OnMessage touches nothing after a sink call, which may end the object.
    if (tray->OnMessage(msg, lParam)) {
        return 0;
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace qv
