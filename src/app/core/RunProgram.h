#pragma once
// One run of the program once its window, backends and core exist, the same
// for every toolkit: start-up, the --show and --tab options, the event loop,
// exit, and the policy for a receiver thread that does not end in time.

#include <functional>
#include <optional>

namespace qv {

class Application;

struct ProgramRun {
    // Open the window after start-up (--show), on this tab (--tab).
    bool show = false;
    std::optional<int> tab;
    // Runs right after start-up (e.g. to watch the device-event source that
    // start-up registered). May be empty.
    std::function<void()> loaded;
    // Runs the toolkit's event loop until the program ends; its exit status.
    std::function<int()> eventLoop;
    // Runs once exit is done, before anything is released: stops what still
    // feeds the core from outside (signal or console handlers, the window's
    // binding to the core). May be empty.
    std::function<void()> detach;
};

// Whether this start of the program goes on, from its single-instance lock:
// false when another instance holds it (the start then ends quietly, before
// it reads the file or opens the receiver); a lock that could not be taken
// at all lets it run, and says so in the debug log.
bool FirstInstance(bool heldByOther, bool held);

// Loads `core`, applies the options, runs the event loop unless start-up was
// already ended (a termination during it), and unloads. Returns the loop's
// status (0 when it did not run).
//
// When the receiver thread did not end within the core's stop bound (a port
// that never returned), what it uses must not be released under it: the
// process ends here with the loop's status, after flushing the standard
// streams, and no destructor runs. Exit's own steps have run by then.
int RunProgram(Application& core, const ProgramRun& run);

}  // namespace qv
