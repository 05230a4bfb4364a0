#include "app/core/RunProgram.h"

#include <cstdio>
#include <cstdlib>

#include "app/core/Application.h"
#include "common/DebugLog.h"

namespace qv {

bool FirstInstance(bool heldByOther, bool held) {
    if (heldByOther) {
        DebugLog("another instance is running; ending");
        return false;
    }
    if (!held) {
        DebugLog("could not take the single-instance lock; running anyway");
    }
    return true;
}

int RunProgram(Application& core, const ProgramRun& run) {
    core.Load();
    if (run.loaded) {
        run.loaded();
    }
    DebugLog("start-up done");
    // A termination during start-up has already unloaded the program.
    if (run.show && !core.Unloaded()) {
        core.ToggleWindow();
    }
    if (run.tab && !core.Unloaded()) {
        core.SelectTab(*run.tab);
    }
    int status = 0;
    if (!core.Unloaded() && run.eventLoop) {
        status = run.eventLoop();
    }
    core.Unload();
    DebugLog("exit done");
    if (run.detach) {
        run.detach();
    }
    if (!core.ReceiverStopped()) {
        DebugLog("ending now: the receiver thread is still inside a port");
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

}  // namespace qv
