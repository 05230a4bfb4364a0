#pragma once
// Recording fakes for the shell tests: a window procedure, a router client,
// the notification-area port and the pop-up menu port.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "shell/WindowProcs.h"
#include "shell/clsTray.h"
#include "shell/modSubClass.h"

namespace qv::test {

struct Message {
    WindowHandle hWnd;
    MessageId iMsg;
    WParam wParam;
    LParam lParam;
    bool operator==(const Message&) const = default;
};

// A window's own procedure: records what reaches it and answers `result`.
class RecordingProcedure : public WindowProcedure {
public:
    std::vector<Message> seen;
    LResult result = 42;
    LResult Call(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam) override {
        seen.push_back({hWnd, iMsg, wParam, lParam});
        return result;
    }
};

// A router client whose answer (and side effect) the test chooses.
class TestClient : public SubClassClient {
public:
    explicit TestClient(WindowHandle hWnd, std::string name = "",
                        std::vector<std::string>* log = nullptr)
        : mHWnd(hWnd), mName(std::move(name)), mLog(log) {}
    ~TestClient() override {
        if (destroyed)
            *destroyed = true;
    }

    WindowHandle hWnd() const override { return mHWnd; }
    ProcId ProcOrg() const override { return mProcOrg; }
    void SetProcOrg(ProcId proc) override { mProcOrg = proc; }
    LResult WindowProc(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam) override {
        seen.push_back({hWnd, iMsg, wParam, lParam});
        if (mLog)
            mLog->push_back(mName);
        if (onMessage) {
            // Copy: the handler may end this client's owner.
            auto handler = onMessage;
            return handler(iMsg);
        }
        return kPassOn;
    }

    std::vector<Message> seen;
    std::function<LResult(MessageId)> onMessage;
    bool* destroyed = nullptr;

private:
    WindowHandle mHWnd;
    ProcId mProcOrg = 0;
    std::string mName;
    std::vector<std::string>* mLog;
};

class RecordingShell : public NotifyIconPort {
public:
    struct Call {
        NotifyIconOp op;
        NotifyIconData data;
    };
    std::vector<Call> calls;
    bool ShellNotifyIcon(NotifyIconOp op, const NotifyIconData& data) override {
        calls.push_back({op, data});
        return true;
    }
};

class ScriptedMenus : public PopupMenuPort {
public:
    std::vector<TrayMenu> shown;
    std::vector<WindowHandle> owners;
    std::deque<int> choices;  // -1 when empty
    int ShowPopupMenu(WindowHandle owner, const TrayMenu& menu) override {
        shown.push_back(menu);
        owners.push_back(owner);
        if (choices.empty())
            return -1;
        const int c = choices.front();
        choices.pop_front();
        return c;
    }
};

}  // namespace qv::test
