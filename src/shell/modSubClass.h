#pragma once
// Several objects watching one window's messages. The router replaces a
// window's procedure with SubClassProc, hands each message to the window's
// registered clients in registration order and passes it on to the window's
// previous procedure when the clients answer -1.
//
// The registry holds counted references to its clients, so a registered
// client stays alive even after its owner let go of it; ReleaseAll() (also
// run by the destructor) unregisters and drops them at program end. A client
// is never called after it has been unregistered, even when that happens
// while a message is being delivered (e.g. the client's own handling ends the
// program), and it is kept alive until the call it is in returns.

#include <memory>
#include <set>
#include <vector>

#include "shell/ShellTypes.h"
#include "shell/WindowProcs.h"

namespace qv {

// An object that wants to see a window's messages.
class SubClassClient {
public:
    virtual ~SubClassClient() = default;
    // The window the client watches; must not change while registered.
    virtual WindowHandle hWnd() const = 0;
    // The window's previous procedure when this client holds it, else 0.
    virtual ProcId ProcOrg() const = 0;
    // Written only by modSubClass.
    virtual void SetProcOrg(ProcId proc) = 0;
    // Handles one message: -1 passes it on, 0 consumes it, any other value
    // is the result unless a later client replaces it.
    virtual LResult WindowProc(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam) = 0;
};

class modSubClass final : private WindowProcedure {
public:
    explicit modSubClass(WindowProcs& procs);
    ~modSubClass() override;
    modSubClass(const modSubClass&) = delete;
    modSubClass& operator=(const modSubClass&) = delete;

    // Registers the client and installs SubClassProc on its window if that
    // window has no SubClassProc yet (the client then keeps the previous
    // procedure in ProcOrg). Registering a registered client does nothing.
    void SubClass(std::shared_ptr<SubClassClient> client);
    // Unregisters the client; hands its ProcOrg to the next client of the
    // window, or restores the window's procedure when it was the last one.
    // Unregistering an unregistered client does nothing.
    void UnSubClass(const SubClassClient& client);
    // The procedure installed on every subclassed window.
    LResult SubClassProc(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam);

    // Unregisters every client (in registration order) and drops the
    // registry's references; clients that nobody else holds end here.
    void ReleaseAll();

    // True while `client` is registered.
    bool IsRegistered(const SubClassClient& client) const;
    // The id under which SubClassProc is registered with WindowProcs.
    ProcId SubClassProcId() const { return mProcId; }

private:
    LResult Call(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam) override;

    WindowProcs& mProcs;
    ProcId mProcId = 0;
    std::vector<std::shared_ptr<SubClassClient>> mClients;  // registration order
    std::set<WindowHandle> mWindows;                        // windows with SubClassProc
};

}  // namespace qv
