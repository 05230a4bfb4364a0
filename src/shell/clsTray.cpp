#include "shell/clsTray.h"

namespace qv {

std::string CutToCharacters(const std::string& text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // A continuation byte (10xxxxxx) belongs to the character before it.
        if ((byte & 0xC0) != 0x80) {
            if (chars == maxChars) {
                return text.substr(0, i);
            }
            ++chars;
        }
    }
    return text;
}

std::shared_ptr<clsTray> clsTray::Create(modSubClass& router, WindowProcs& procs,
                                         NotifyIconPort& shell, PopupMenuPort& menus) {
    return std::shared_ptr<clsTray>(new clsTray(router, procs, shell, menus));
}

clsTray::clsTray(modSubClass& router, WindowProcs& procs, NotifyIconPort& shell,
                 PopupMenuPort& menus)
    : mRouter(router), mShell(shell), mMenus(menus) {
    mTaskbarRestart = procs.RegisterMessage(kTaskbarCreatedName);
    mData.uID = reinterpret_cast<std::uintptr_t>(this);
}

clsTray::~clsTray() {
    if (mVisible) {
        DeleteIcon();
    }
    mRouter.UnSubClass(*this);
}

void clsTray::SetIcon(IconHandle icon) {
    mData.hIcon = icon;
    if (mVisible) {
        mShell.ShellNotifyIcon(NotifyIconOp::Modify, mData);
    }
}

void clsTray::SetToolTipText(const std::string& text) {
    // The shell's tip field holds 64 characters including the ending NUL, and
    // the tip ends at its first NUL: what follows one is never shown or read.
    mData.szTip = CutToCharacters(text.substr(0, text.find('\0')), kMaxToolTipChars);
    if (mVisible) {
        mShell.ShellNotifyIcon(NotifyIconOp::Modify, mData);
    }
}

void clsTray::SetVisible(bool visible) {
    if (visible) {
        AddIcon(mOwner);
    } else {
        DeleteIcon();
    }
}

bool clsTray::AddIcon(WindowHandle hWnd) {
    if (mData.hIcon == 0) {
        return false;
    }
    mOwner = hWnd;
    mData.hWnd = hWnd;
    mShell.ShellNotifyIcon(NotifyIconOp::Add, mData);
    mRouter.SubClass(shared_from_this());
    mVisible = true;
    return true;
}

void clsTray::DeleteIcon() {
    mShell.ShellNotifyIcon(NotifyIconOp::Delete, mData);
    mRouter.UnSubClass(*this);
    mVisible = false;
}

int clsTray::PopupMenu(WindowHandle owner, const TrayMenu& menu) {
    const int chosen = mMenus.ShowPopupMenu(owner, menu);
    if (chosen >= 0 && static_cast<std::size_t>(chosen) < menu.items.size() &&
        menu.items[static_cast<std::size_t>(chosen)].command) {
        // Copy first: the command may end the owner of `menu`.
        const std::function<void()> command = menu.items[static_cast<std::size_t>(chosen)].command;
        command();
    }
    return chosen;
}

LResult clsTray::WindowProc(WindowHandle /*hWnd*/, MessageId iMsg, WParam /*wParam*/,
                            LParam lParam) {
    if (iMsg == kTrayCallbackMessage) {
        // The events run inside the message handling; the owner may open a
        // modal menu here, and the sink may be cleared meanwhile.
        switch (lParam) {
            case kWmMouseMove:
                if (mEvents)
                    mEvents->MouseMove();
                return kConsumed;
            case kWmLButtonDown:
                if (mEvents)
                    mEvents->MouseDown(1);
                return kConsumed;
            case kWmLButtonUp:
                if (mEvents)
                    mEvents->MouseUp(1);
                // The release that ends a double click is no click of its own.
                if (!mDoubleClick && mEvents)
                    mEvents->Click();
                mDoubleClick = false;
                return kConsumed;
            case kWmLButtonDblClk:
                if (mEvents)
                    mEvents->DblClick();
                mDoubleClick = true;
                return kConsumed;
            case kWmRButtonDown:
                if (mEvents)
                    mEvents->MouseDown(2);
                return kConsumed;
            case kWmRButtonUp:
                if (mEvents)
                    mEvents->MouseUp(2);
                return kConsumed;
            case kWmMButtonDown:
                if (mEvents)
                    mEvents->MouseDown(4);
                return kConsumed;
            case kWmMButtonUp:
                if (mEvents)
                    mEvents->MouseUp(4);
                return kConsumed;
            case kWmRButtonDblClk:
            case kWmMButtonDblClk:
                return kConsumed;
            default:
                return kPassOn;
        }
    }
    if (iMsg == mTaskbarRestart) {
        if (mVisible) {
            AddIcon(mOwner);
        }
        return kConsumed;
    }
    return kPassOn;
}

}  // namespace qv
