#include "keys/kde/KWinScriptWindowSystem.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "common/DebugLog.h"
#include "keys/desktop/SessionBus.h"

namespace qv::kde {
namespace {

constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kScriptingPath = "/Scripting";
constexpr const char* kScriptingInterface = "org.kde.kwin.Scripting";
constexpr const char* kScriptInterface = "org.kde.kwin.Script";
constexpr const char* kAnswerPath = "/org/quorvane/Quorvane/KWinScript";
constexpr const char* kAnswerInterface = "org.quorvane.Quorvane.KWinScript";

// KWin loads and runs a script within a few milliseconds.
constexpr std::chrono::milliseconds kCallBound{1000};
// A requested change to show (about half a second, as on X11).
constexpr std::chrono::milliseconds kChangeBound{500};
constexpr std::chrono::milliseconds kPollInterval{2};

}  // namespace

const sd_bus_vtable KWinScriptWindowSystem::kAnswerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Answer", "s", "", &KWinScriptWindowSystem::OnAnswer, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

KWinScriptWindowSystem::KWinScriptWindowSystem() = default;

std::unique_ptr<KWinScriptWindowSystem> KWinScriptWindowSystem::Open(std::string& error) {
    std::unique_ptr<KWinScriptWindowSystem> windows(new KWinScriptWindowSystem());
    if (!windows->Start(error)) {
        return nullptr;
    }
    return windows;
}

bool KWinScriptWindowSystem::Start(std::string& error) {
    bus_ = desktop::SessionBus::Open(error);
    if (!bus_) {
        return false;
    }
    if (!bus_->NameHasOwner(kKWin)) {
        error = "KWin (org.kde.KWin) is not on the session bus";
        return false;
    }
    const int r = sd_bus_add_object_vtable(bus_->Get(), &object_, kAnswerPath, kAnswerInterface,
                                           kAnswerVtable, this);
    if (r < 0) {
        error = "cannot take KWin's answers: " + desktop::BusErrorText(r);
        return false;
    }
    replyTo_ = {bus_->UniqueName(), kAnswerPath, kAnswerInterface};
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    scriptFolder_ = runtime != nullptr && *runtime != '\0' ? runtime : "/tmp";
    if (!List()) {
        error = "KWin does not run scripts for this program";
        return false;
    }
    return true;
}

KWinScriptWindowSystem::~KWinScriptWindowSystem() {
    sd_bus_slot_unref(object_);
}

int KWinScriptWindowSystem::OnAnswer(sd_bus_message* message, void* data, sd_bus_error*) {
    const char* text = nullptr;
    if (sd_bus_message_read(message, "s", &text) >= 0 && text != nullptr) {
        static_cast<KWinScriptWindowSystem*>(data)->answer_ = text;
    }
    return sd_bus_reply_method_return(message, "");
}

std::optional<std::string> KWinScriptWindowSystem::Run(const std::string& script) {
    // KWin reads the script from a file; the name is ours alone.
    const std::string name =
        "quorvane-" + std::to_string(getpid()) + "-" + std::to_string(++scripts_);
    const std::string path = scriptFolder_ + "/" + name + ".js";
    {
        std::ofstream file(path, std::ios::trunc);
        file << script;
        if (!file.flush()) {
            DebugLog("kwin script: cannot write " + path);
            return std::nullopt;
        }
    }
    answer_.reset();
    std::string error;
    const desktop::Message loaded =
        bus_->Call({kKWin, kScriptingPath, kScriptingInterface, "loadScript",
                    [&path, &name](sd_bus_message* m) {
                        return sd_bus_message_append(m, "ss", path.c_str(), name.c_str());
                    }},
                   kCallBound, error);
    std::int32_t id = -1;
    if (!loaded || sd_bus_message_read(loaded.get(), "i", &id) < 0 || id < 0) {
        DebugLog("kwin script: loadScript: " + (error.empty() ? "refused" : error));
        std::remove(path.c_str());
        return std::nullopt;
    }
    const std::string object = "/" + std::to_string(id);
    if (!bus_->Call({kKWin, object.c_str(), kScriptInterface, "run", {}}, kCallBound, error)) {
        DebugLog("kwin script: run: " + error);
    } else if (!bus_->ProcessUntil([this] { return answer_.has_value(); }, kCallBound)) {
        DebugLog("kwin script: no answer in time");
    }
    bus_->Call({kKWin, kScriptingPath, kScriptingInterface, "unloadScript",
                [&name](sd_bus_message* m) { return sd_bus_message_append(m, "s", name.c_str()); }},
               kCallBound, error);
    std::remove(path.c_str());
    return answer_;
}

std::optional<std::vector<desktop::DesktopWindow>> KWinScriptWindowSystem::List() {
    const auto answer = Run(ListScript(replyTo_));
    if (!answer) {
        return std::nullopt;
    }
    auto parsed = ParseScriptWindows(*answer);
    if (!parsed) {
        DebugLog("kwin script: the window list does not read");
        return std::nullopt;
    }
    std::vector<desktop::DesktopWindow> windows;
    for (ScriptWindow& w : *parsed) {
        auto [it, added] = ids_.try_emplace(w.uuid, nextId_);
        if (added) {
            ++nextId_;
        }
        w.window.id = it->second;
        windows.push_back(std::move(w.window));
    }
    return windows;
}

std::optional<desktop::DesktopWindow> KWinScriptWindowSystem::Find(Window window) {
    const auto windows = List();
    if (!windows) {
        return std::nullopt;
    }
    for (const desktop::DesktopWindow& w : *windows) {
        if (w.id == window.id) {
            return w;
        }
    }
    return std::nullopt;
}

std::string KWinScriptWindowSystem::UuidOf(Window window) const {
    for (const auto& [uuid, id] : ids_) {
        if (id == window.id) {
            return uuid;
        }
    }
    return {};
}

template <typename Done>
bool KWinScriptWindowSystem::WaitFor(Window window, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kChangeBound;
    for (;;) {
        const auto w = Find(window);
        if (!w || done(*w)) {
            return w.has_value();
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

Window KWinScriptWindowSystem::FindByClass(std::string_view className) {
    const std::lock_guard lock(mutex_);
    const auto windows = List();
    return windows ? desktop::PickByClass(*windows, className) : Window{};
}

Window KWinScriptWindowSystem::Foreground() {
    const std::lock_guard lock(mutex_);
    const auto windows = List();
    return windows ? desktop::ActiveWindow(*windows) : Window{};
}

ShowState KWinScriptWindowSystem::GetShowState(Window window) {
    const std::lock_guard lock(mutex_);
    const auto w = Find(window);
    return w ? desktop::StateOf(*w) : ShowState::Unknown;
}

void KWinScriptWindowSystem::SetShowState(Window window, ShowState state) {
    const std::lock_guard lock(mutex_);
    if (state == ShowState::Unknown) {
        return;
    }
    const auto w = Find(window);
    if (!w || desktop::StateOf(*w) == state) {
        return;
    }
    const auto answer = Run(ShowStateScript(replyTo_, UuidOf(window), static_cast<int>(state)));
    if (answer != "ok") {
        return;
    }
    if (!WaitFor(window, [state](const desktop::DesktopWindow& now) {
            return state == ShowState::Maximized ? !now.minimized : desktop::StateOf(now) == state;
        })) {
        DebugLog("kwin script: window " + std::to_string(window.id) +
                 " did not change its show state in time");
    }
}

bool KWinScriptWindowSystem::Activate(Window window) {
    const std::lock_guard lock(mutex_);
    const std::string uuid = UuidOf(window);
    if (uuid.empty() || Run(ActivateScript(replyTo_, uuid)) != "ok") {
        return false;
    }
    // KWin activates an X window asynchronously: the list shows it once done.
    if (!WaitFor(window,
                 [](const desktop::DesktopWindow& w) { return w.active && !w.minimized; })) {
        DebugLog("kwin script: window " + std::to_string(window.id) +
                 " did not become active in time");
        return false;
    }
    return true;
}

std::vector<ListedWindow> KWinScriptWindowSystem::ListWindows() {
    const std::lock_guard lock(mutex_);
    const auto windows = List();
    return windows ? desktop::ListFrom(*windows) : std::vector<ListedWindow>{};
}

}  // namespace qv::kde
