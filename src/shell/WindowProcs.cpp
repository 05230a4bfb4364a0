#include "shell/WindowProcs.h"

namespace qv {

ProcId WindowProcs::RegisterProcedure(WindowProcedure& procedure) {
    const ProcId id = mNextProc++;
    mProcedures.emplace(id, &procedure);
    return id;
}

void WindowProcs::UnregisterProcedure(ProcId proc) {
    mProcedures.erase(proc);
}

WindowHandle WindowProcs::CreateWindowHandle(ProcId defaultProc) {
    const WindowHandle hWnd = mNextWindow++;
    mWindows.emplace(hWnd, defaultProc);
    return hWnd;
}

void WindowProcs::DestroyWindowHandle(WindowHandle hWnd) {
    mWindows.erase(hWnd);
}

ProcId WindowProcs::SetWindowProcedure(WindowHandle hWnd, ProcId proc) {
    auto it = mWindows.find(hWnd);
    if (it == mWindows.end()) {
        return 0;
    }
    const ProcId previous = it->second;
    it->second = proc;
    return previous;
}

ProcId WindowProcs::WindowProcedureOf(WindowHandle hWnd) const {
    auto it = mWindows.find(hWnd);
    return it == mWindows.end() ? 0 : it->second;
}

LResult WindowProcs::CallProcedure(ProcId proc, WindowHandle hWnd, MessageId iMsg, WParam wParam,
                                   LParam lParam) {
    auto it = mProcedures.find(proc);
    if (it == mProcedures.end()) {
        return 0;
    }
    // The map may change while the procedure runs (it can register or
    // unregister procedures); the pointer itself stays valid by contract.
    WindowProcedure* procedure = it->second;
    return procedure->Call(hWnd, iMsg, wParam, lParam);
}

LResult WindowProcs::Dispatch(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam) {
    return CallProcedure(WindowProcedureOf(hWnd), hWnd, iMsg, wParam, lParam);
}

MessageId WindowProcs::RegisterMessage(const std::string& name) {
    auto [it, added] = mMessages.emplace(name, mNextMessage);
    if (added) {
        ++mNextMessage;
    }
    return it->second;
}

}  // namespace qv
