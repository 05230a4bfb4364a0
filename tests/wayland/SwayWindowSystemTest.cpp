// The sway window system over a scripted sway: which commands go out, what
// it waits for, and what it reports.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "keys/wayland/SwayWindowSystem.h"

namespace qv::wayland {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class FakeClock : public Clock {
public:
    TimePoint Now() override { return now; }
    void Sleep(std::chrono::milliseconds d) override {
        now += d;
        ++sleeps;
    }
    TimePoint now{};
    int sleeps = 0;
};

// A sway with a few windows on one workspace and a scratchpad; it carries out
// the commands the window system sends as sway does.
class FakeSway : public SwayIpcPort {
public:
    struct View {
        std::uint64_t id;
        std::string appId;
        std::string xClass;
        bool scratch = false;
        bool fullscreen = false;
    };
    std::vector<View> views;
    std::uint64_t focused = 0;  // 0: the workspace itself
    std::vector<std::string> commands;
    bool reachable = true;
    bool obeys = true;  // false: commands succeed but change nothing
    int trees = 0;

    std::optional<std::string> Request(std::uint32_t type, std::string_view payload) override {
        if (!reachable) {
            return std::nullopt;
        }
        if (type == kSwayGetTree) {
            ++trees;
            return Tree();
        }
        commands.emplace_back(payload);
        return Run(std::string(payload));
    }

private:
    View* Find(std::uint64_t id) {
        for (View& v : views) {
            if (v.id == id) {
                return &v;
            }
        }
        return nullptr;
    }

    std::string Run(const std::string& command) {
        const auto close = command.find(']');
        const std::uint64_t id = std::stoull(command.substr(8, close - 8));
        const std::string what = command.substr(close + 2);
        View* v = Find(id);
        if (v == nullptr) {
            return R"([{"success": false, "error": "No matching node."}])";
        }
        if (obeys) {
            if (what == "focus" || what == "scratchpad show") {
                v->scratch = false;
                focused = id;
            } else if (what == "move scratchpad") {
                v->scratch = true;
                focused = 0;
                for (const View& other : views) {
                    if (!other.scratch) {
                        focused = other.id;
                        break;
                    }
                }
            } else if (what == "fullscreen enable") {
                v->fullscreen = true;
            } else if (what == "fullscreen disable") {
                v->fullscreen = false;
            }
        }
        return R"([{"success": true}])";
    }

    json Node(const View& v) const {
        json node = {{"id", v.id},
                     {"type", v.scratch ? "floating_con" : "con"},
                     {"shell", v.xClass.empty() ? "xdg_shell" : "xwayland"},
                     {"focused", v.id == focused},
                     {"fullscreen_mode", v.fullscreen ? 1 : 0},
                     {"nodes", json::array()}};
        if (v.xClass.empty()) {
            node["app_id"] = v.appId;
        } else {
            node["app_id"] = nullptr;
            node["window_properties"] = {{"class", v.xClass}, {"instance", v.xClass}};
        }
        return node;
    }

    std::string Tree() const {
        json shown = json::array();
        json hidden = json::array();
        json focus = json::array();
        if (focused != 0) {
            focus.push_back(focused);
        }
        for (const View& v : views) {
            (v.scratch ? hidden : shown).push_back(Node(v));
            if (v.id != focused) {
                focus.push_back(v.id);
            }
        }
        const json tree = {{"id", 1},
                           {"type", "root"},
                           {"nodes",
                            {{{"id", 2},
                              {"type", "output"},
                              {"name", "__i3"},
                              {"nodes",
                               {{{"id", 3},
                                 {"type", "workspace"},
                                 {"name", "__i3_scratch"},
                                 {"nodes", json::array()},
                                 {"floating_nodes", hidden}}}}},
                             {{"id", 4},
                              {"type", "output"},
                              {"name", "HEADLESS-1"},
                              {"nodes",
                               {{{"id", 5},
                                 {"type", "workspace"},
                                 {"name", "1"},
                                 {"focused", focused == 0},
                                 {"focus", focus},
                                 {"nodes", shown}}}}}}}};
        return tree.dump();
    }
};

class SwayWindowSystemTest : public ::testing::Test {
protected:
    SwayWindowSystemTest() {
        auto owned = std::make_unique<FakeSway>();
        sway = owned.get();
        sway->views = {{21, "editor", ""}, {22, "", "QvTarget"}, {23, "Hidden", "", true}};
        sway->focused = 21;
        windows = std::make_unique<SwayWindowSystem>(std::move(owned), clock);
    }
    FakeClock clock;
    FakeSway* sway = nullptr;
    std::unique_ptr<SwayWindowSystem> windows;
};

TEST_F(SwayWindowSystemTest, FindsWindowsByAppIdOrXClassIgnoringAsciiCase) {
    EXPECT_EQ(windows->FindByClass("EDITOR"), Window{21});
    EXPECT_EQ(windows->FindByClass("qvtarget"), Window{22});
    EXPECT_EQ(windows->FindByClass("hidden"), Window{23});  // in the scratchpad, still there
    EXPECT_FALSE(windows->FindByClass("nothing"));
    EXPECT_FALSE(windows->FindByClass(""));
    EXPECT_TRUE(sway->commands.empty());
}

TEST_F(SwayWindowSystemTest, OfTwoWindowsOfAClassTheOneFocusedLastIsFound) {
    sway->views.push_back({24, "EDITOR", ""});
    sway->focused = 24;
    EXPECT_EQ(windows->FindByClass("editor"), Window{24});
    sway->focused = 22;
    EXPECT_EQ(windows->FindByClass("editor"), Window{21});  // focused before 24
}

TEST_F(SwayWindowSystemTest, ForegroundIsTheFocusedWindowAndNoneOnAnEmptyWorkspace) {
    EXPECT_EQ(windows->Foreground(), Window{21});
    sway->focused = 0;
    EXPECT_FALSE(windows->Foreground());
}

TEST_F(SwayWindowSystemTest, ShowStatesReadScratchpadAsMinimisedAndFullscreenAsMaximised) {
    sway->views[1].fullscreen = true;
    EXPECT_EQ(windows->GetShowState(Window{21}), ShowState::Normal);
    EXPECT_EQ(windows->GetShowState(Window{22}), ShowState::Maximized);
    EXPECT_EQ(windows->GetShowState(Window{23}), ShowState::Minimized);
    EXPECT_EQ(windows->GetShowState(Window{99}), ShowState::Unknown);
    EXPECT_EQ(windows->GetShowState(Window{}), ShowState::Unknown);
}

TEST_F(SwayWindowSystemTest, ActivateFocusesByContainerIdAndWaitsUntilTheTreeShowsIt) {
    EXPECT_TRUE(windows->Activate(Window{22}));
    EXPECT_EQ(sway->commands, std::vector<std::string>{"[con_id=22] focus"});
    EXPECT_EQ(sway->focused, 22u);
    EXPECT_EQ(clock.sleeps, 0);  // the tree showed it at once
}

TEST_F(SwayWindowSystemTest, ActivateGivesUpAfterAboutHalfASecond) {
    sway->obeys = false;
    EXPECT_FALSE(windows->Activate(Window{22}));
    EXPECT_GE(clock.now.time_since_epoch(), 500ms);
    EXPECT_LT(clock.now.time_since_epoch(), 510ms);
    EXPECT_GT(sway->trees, 100);  // it kept looking meanwhile
}

TEST_F(SwayWindowSystemTest, ActivateOfNoWindowOrAGoneOneSendsNothingOrFails) {
    EXPECT_FALSE(windows->Activate(Window{}));
    EXPECT_TRUE(sway->commands.empty());
    EXPECT_FALSE(windows->Activate(Window{99}));
    EXPECT_EQ(sway->commands, std::vector<std::string>{"[con_id=99] focus"});
    EXPECT_EQ(clock.sleeps, 0);  // a refused command is not waited for
}

TEST_F(SwayWindowSystemTest, AScratchpadWindowIsShownForNormalAndReturnedForMinimised) {
    windows->SetShowState(Window{23}, ShowState::Normal);
    EXPECT_EQ(sway->commands, std::vector<std::string>{"[con_id=23] scratchpad show"});
    EXPECT_EQ(windows->GetShowState(Window{23}), ShowState::Normal);
    sway->commands.clear();
    windows->SetShowState(Window{23}, ShowState::Minimized);
    EXPECT_EQ(sway->commands, std::vector<std::string>{"[con_id=23] move scratchpad"});
    EXPECT_EQ(windows->GetShowState(Window{23}), ShowState::Minimized);
}

TEST_F(SwayWindowSystemTest, FullscreenStandsForMaximised) {
    windows->SetShowState(Window{22}, ShowState::Maximized);
    EXPECT_EQ(sway->commands, std::vector<std::string>{"[con_id=22] fullscreen enable"});
    sway->commands.clear();
    windows->SetShowState(Window{22}, ShowState::Normal);
    EXPECT_EQ(sway->commands, std::vector<std::string>{"[con_id=22] fullscreen disable"});
    sway->commands.clear();
    // From the scratchpad straight to maximised: shown first.
    windows->SetShowState(Window{23}, ShowState::Maximized);
    EXPECT_EQ(sway->commands, (std::vector<std::string>{"[con_id=23] scratchpad show",
                                                        "[con_id=23] fullscreen enable"}));
}

TEST_F(SwayWindowSystemTest, SetShowStateLeavesAWindowAloneThatIsThereAlready) {
    windows->SetShowState(Window{21}, ShowState::Normal);
    windows->SetShowState(Window{23}, ShowState::Minimized);
    windows->SetShowState(Window{21}, ShowState::Unknown);
    windows->SetShowState(Window{99}, ShowState::Minimized);
    windows->SetShowState(Window{}, ShowState::Normal);
    EXPECT_TRUE(sway->commands.empty());
}

TEST_F(SwayWindowSystemTest, SetShowStateWaitsBoundedForAChangeThatNeverShows) {
    sway->obeys = false;
    windows->SetShowState(Window{21}, ShowState::Minimized);
    EXPECT_EQ(sway->commands, std::vector<std::string>{"[con_id=21] move scratchpad"});
    EXPECT_GE(clock.now.time_since_epoch(), 500ms);
    EXPECT_LT(clock.now.time_since_epoch(), 510ms);
}

TEST_F(SwayWindowSystemTest, WithoutSwayNothingIsFoundAndNothingActivated) {
    sway->reachable = false;
    EXPECT_FALSE(windows->FindByClass("editor"));
    EXPECT_FALSE(windows->Foreground());
    EXPECT_EQ(windows->GetShowState(Window{21}), ShowState::Unknown);
    EXPECT_FALSE(windows->Activate(Window{21}));
    windows->SetShowState(Window{21}, ShowState::Minimized);
    EXPECT_EQ(clock.sleeps, 0);
}

}  // namespace
}  // namespace qv::wayland
