#include "shell/modSubClass.h"

#include <algorithm>
#include <utility>

namespace qv {

modSubClass::modSubClass(WindowProcs& procs) : mProcs(procs) {
    mProcId = mProcs.RegisterProcedure(*this);
}

modSubClass::~modSubClass() {
    ReleaseAll();
    mProcs.UnregisterProcedure(mProcId);
}

bool modSubClass::IsRegistered(const SubClassClient& client) const {
    return std::any_of(mClients.begin(), mClients.end(),
                       [&client](const auto& c) { return c.get() == &client; });
}

void modSubClass::SubClass(std::shared_ptr<SubClassClient> client) {
    if (!client || IsRegistered(*client)) {
        return;
    }
    const WindowHandle hWnd = client->hWnd();
    SubClassClient& c = *client;
    mClients.push_back(std::move(client));
    if (!mWindows.insert(hWnd).second) {
        // Another client installed SubClassProc on this window already and
        // holds its previous procedure.
        return;
    }
    c.SetProcOrg(mProcs.SetWindowProcedure(hWnd, mProcId));
}

void modSubClass::UnSubClass(const SubClassClient& client) {
    auto it = std::find_if(mClients.begin(), mClients.end(),
                           [&client](const auto& c) { return c.get() == &client; });
    if (it == mClients.end()) {
        return;
    }
    // Keep the client alive until its hand-over is done: this may be the
    // registry's last reference.
    std::shared_ptr<SubClassClient> leaving = std::move(*it);
    mClients.erase(it);

    const WindowHandle hWnd = leaving->hWnd();
    auto heir = std::find_if(mClients.begin(), mClients.end(),
                             [hWnd](const auto& c) { return c->hWnd() == hWnd; });
    if (heir != mClients.end()) {
        if (leaving->ProcOrg() != 0) {
            (*heir)->SetProcOrg(leaving->ProcOrg());
        }
        return;
    }
    if (mWindows.erase(hWnd) != 0) {
        mProcs.SetWindowProcedure(hWnd, leaving->ProcOrg());
    }
    leaving.reset();
}

LResult modSubClass::SubClassProc(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam) {
    LResult result = 0;
    ProcId previous = 0;
    // A client's WindowProc may run a modal loop that delivers further
    // messages, register or unregister clients, or end the program; walk a
    // snapshot that keeps the clients alive, and skip those that left meanwhile.
    std::vector<std::shared_ptr<SubClassClient>> snapshot;
    for (const auto& c : mClients) {
        if (c->hWnd() == hWnd) {
            snapshot.push_back(c);
        }
    }
    for (const auto& c : snapshot) {
        if (!IsRegistered(*c)) {
            continue;
        }
        result = c->WindowProc(hWnd, iMsg, wParam, lParam);
        if (c->ProcOrg() != 0) {
            previous = c->ProcOrg();
        }
        if (result == kConsumed) {
            break;
        }
    }
    if (result == kPassOn) {
        result = mProcs.CallProcedure(previous, hWnd, iMsg, wParam, lParam);
    }
    return result;
}

LResult modSubClass::Call(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam) {
    return SubClassProc(hWnd, iMsg, wParam, lParam);
}

void modSubClass::ReleaseAll() {
    while (!mClients.empty()) {
        // Hold the client while it leaves so that its own clean-up (which may
        // call UnSubClass again) runs after the registry is consistent.
        std::shared_ptr<SubClassClient> first = mClients.front();
        UnSubClass(*first);
    }
}

}  // namespace qv
