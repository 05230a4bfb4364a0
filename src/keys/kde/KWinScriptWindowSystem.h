#pragma once
// Window switching on KDE Plasma where KWin does not offer its window list
// to the program (run from a build tree, or without the package's desktop
// entry): KWin scripting over D-Bus, which needs no grant. Each operation
// loads a short script into KWin (org.kde.KWin /Scripting), runs it, takes
// its answer (the script calls a method of ours on the session bus) and
// unloads it again: 4-17 ms per switch here. Window ids are numbers this
// backend gives KWin's window UUIDs as it meets them.

#include <systemd/sd-bus.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "keys/WindowSystem.h"
#include "keys/kde/KWinScript.h"

namespace qv::desktop {
class SessionBus;
}

namespace qv::kde {

class KWinScriptWindowSystem final : public WindowSystem {
public:
    // Connects to the session bus; nullptr with `error` set when KWin is
    // not on it or does not run scripts.
    static std::unique_ptr<KWinScriptWindowSystem> Open(std::string& error);
    ~KWinScriptWindowSystem() override;

    // Each may be called from any thread; one runs at a time.
    Window FindByClass(std::string_view className) override;
    Window Foreground() override;
    ShowState GetShowState(Window window) override;
    void SetShowState(Window window, ShowState state) override;
    bool Activate(Window window) override;
    std::vector<ListedWindow> ListWindows() override;

private:
    KWinScriptWindowSystem();
    bool Start(std::string& error);
    // Has KWin run `script`; its answer, nullopt when there was none in time.
    std::optional<std::string> Run(const std::string& script);
    // The windows, front-most first, numbered; nullopt when KWin did not answer.
    std::optional<std::vector<desktop::DesktopWindow>> List();
    std::optional<desktop::DesktopWindow> Find(Window window);
    std::string UuidOf(Window window) const;
    template <typename Done>
    bool WaitFor(Window window, Done done);
    static int OnAnswer(sd_bus_message* message, void* data, sd_bus_error* error);
    static const sd_bus_vtable kAnswerVtable[];

    std::mutex mutex_;
    std::unique_ptr<desktop::SessionBus> bus_;
    sd_bus_slot* object_ = nullptr;
    ScriptReplyTo replyTo_;
    std::optional<std::string> answer_;
    std::map<std::string, std::uint64_t> ids_;  // KWin's UUID -> our number
    std::uint64_t nextId_ = 1;
    std::string scriptFolder_;
    unsigned scripts_ = 0;
};

}  // namespace qv::kde
