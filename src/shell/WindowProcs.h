#pragma once
// The program's window procedures: which procedure each window currently has,
// and the calls that replace, chain and dispatch to them. This is the
// portable stand-in for the window-procedure machinery of user32
// (SetWindowLong(GWL_WNDPROC), CallWindowProc, DispatchMessage,
// RegisterWindowMessage). The application owns one instance; every message
// for a window enters through Dispatch().

#include <cstdint>
#include <map>
#include <string>

#include "shell/ShellTypes.h"

namespace qv {

// A window procedure.
class WindowProcedure {
public:
    virtual ~WindowProcedure() = default;
    // Handles one message sent to `hWnd` and returns its result.
    virtual LResult Call(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam) = 0;
};

class WindowProcs {
public:
    WindowProcs() = default;
    WindowProcs(const WindowProcs&) = delete;
    WindowProcs& operator=(const WindowProcs&) = delete;

    // Registers a procedure (not owned; it must stay alive until
    // UnregisterProcedure) and returns its id, never 0.
    ProcId RegisterProcedure(WindowProcedure& procedure);
    // Forgets a procedure; calls to its id do nothing from then on.
    void UnregisterProcedure(ProcId proc);

    // Creates a window whose window procedure is `defaultProc` and returns its
    // handle (1, 2, ...).
    WindowHandle CreateWindowHandle(ProcId defaultProc);
    // Forgets a window; messages to it are dropped from then on.
    void DestroyWindowHandle(WindowHandle hWnd);

    // Gives `hWnd` the window procedure `proc` and returns the previous one
    // (0 when the window is unknown; nothing is changed then).
    ProcId SetWindowProcedure(WindowHandle hWnd, ProcId proc);
    // The current window procedure of `hWnd`; 0 when the window is unknown.
    ProcId WindowProcedureOf(WindowHandle hWnd) const;

    // Calls the procedure `proc` with the message; 0 when `proc` is 0 or unknown.
    LResult CallProcedure(ProcId proc, WindowHandle hWnd, MessageId iMsg, WParam wParam,
                          LParam lParam);
    // Delivers a message to the current procedure of `hWnd`; 0 when the
    // window is unknown. Re-entrant: a procedure may dispatch further messages.
    LResult Dispatch(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam);

    // The message number registered for `name` (e.g. "TaskbarCreated"): the
    // same number for the same name, from 0xC000 upward.
    MessageId RegisterMessage(const std::string& name);

private:
    std::map<ProcId, WindowProcedure*> mProcedures;
    std::map<WindowHandle, ProcId> mWindows;
    std::map<std::string, MessageId> mMessages;
    ProcId mNextProc = 1;
    WindowHandle mNextWindow = 1;
    MessageId mNextMessage = 0xC000;
};

}  // namespace qv
