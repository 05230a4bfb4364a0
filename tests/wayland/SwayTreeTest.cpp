// Reading sway's get_tree and run_command replies.

#include <gtest/gtest.h>

#include <string>

#include "keys/wayland/SwayTree.h"

namespace qv::wayland {
namespace {

// A tree as sway 1.7 gives it, cut down to the fields that matter: an output
// with a workspace holding a split with a native and an X window (the X one
// focused last), a floating native window, and the scratchpad with one
// hidden window.
constexpr const char* kTree = R"({
  "id": 1, "type": "root", "name": "root", "focus": [3, 2], "nodes": [
    {"id": 2, "type": "output", "name": "__i3", "focus": [100], "nodes": [
      {"id": 100, "type": "workspace", "name": "__i3_scratch", "focus": [12],
       "nodes": [], "floating_nodes": [
        {"id": 12, "type": "floating_con", "shell": "xdg_shell", "app_id": "hidden",
         "focused": false, "fullscreen_mode": 0, "window": null, "nodes": []}]}]},
    {"id": 3, "type": "output", "name": "HEADLESS-1", "focus": [4], "nodes": [
      {"id": 4, "type": "workspace", "name": "1", "focus": [5, 11], "nodes": [
        {"id": 5, "type": "con", "layout": "splith", "focus": [9, 8], "nodes": [
          {"id": 8, "type": "con", "shell": "xdg_shell", "app_id": "Editor", "pid": 10,
           "name": "メモ - Editor",
           "focused": false, "fullscreen_mode": 0, "window": null, "nodes": []},
          {"id": 9, "type": "con", "shell": "xwayland", "app_id": null, "pid": 11,
           "window": 4194305, "focused": true, "fullscreen_mode": 1,
           "window_properties": {"class": "QvX", "instance": "qvx-instance", "title": "t"},
           "nodes": []}]}],
       "floating_nodes": [
        {"id": 11, "type": "floating_con", "shell": "xdg_shell", "app_id": "editor",
         "focused": false, "fullscreen_mode": 0, "nodes": []}]}]}]
})";

TEST(SwayTree, ViewsComeMostRecentlyFocusedFirstWithWhatTheWindowSystemNeeds) {
    const auto views = ParseSwayTree(kTree);
    ASSERT_EQ(views.size(), 4u);
    EXPECT_EQ(views[0].id, 9u);
    EXPECT_TRUE(views[0].focused);
    EXPECT_EQ(views[0].xClass, "QvX");
    EXPECT_EQ(views[0].xInstance, "qvx-instance");
    EXPECT_EQ(views[0].xWindow, 4194305u);
    EXPECT_TRUE(views[0].fullscreen);
    EXPECT_TRUE(views[0].appId.empty());
    EXPECT_EQ(views[1].id, 8u);
    EXPECT_EQ(views[1].appId, "Editor");
    EXPECT_EQ(views[1].title, "メモ - Editor");
    EXPECT_TRUE(views[2].title.empty()) << "a view without a name has no title";
    EXPECT_EQ(views[1].xWindow, 0u);
    EXPECT_EQ(views[2].id, 11u);  // the floating window, focused before the split
    EXPECT_FALSE(views[2].inScratchpad);
    EXPECT_EQ(views[3].id, 12u);  // the scratchpad's output was focused longest ago
    EXPECT_TRUE(views[3].inScratchpad);
    EXPECT_FALSE(views[3].focused);
}

TEST(SwayTree, ContainersAndWorkspacesAreNoViews) {
    const auto views = ParseSwayTree(
        R"({"id":1,"type":"root","nodes":[{"id":4,"type":"workspace","name":"1","focused":true,
            "nodes":[{"id":5,"type":"con","layout":"splitv","nodes":[]}]}]})");
    EXPECT_TRUE(views.empty());
}

TEST(SwayTree, RepliesThatAreNoTreeGiveNoViews) {
    EXPECT_TRUE(ParseSwayTree("").empty());
    EXPECT_TRUE(ParseSwayTree("{\"id\": 1, \"nodes\": [").empty());
    EXPECT_TRUE(ParseSwayTree("[1, 2]").empty());
    // Fields of the wrong type are taken as absent.
    const auto views = ParseSwayTree(
        R"({"id":1,"type":"root","focus":"x","nodes":[{"id":"7","type":"con","shell":"x"},
            {"id":8,"type":"con","shell":"xwayland","app_id":5,"focused":"yes","window":-3,
             "window_properties":[]}]})");
    ASSERT_EQ(views.size(), 1u);  // the view without a numeric id is left out
    EXPECT_EQ(views[0].id, 8u);
    EXPECT_TRUE(views[0].appId.empty());
    EXPECT_FALSE(views[0].focused);
    EXPECT_EQ(views[0].xWindow, 0u);
}

TEST(SwayTree, ADeepReplyIsReadOnlyToABoundedDepth) {
    std::string deep = R"({"id":1,"type":"root","nodes":[)";
    for (int i = 0; i < 200; ++i) {
        deep += R"({"id":)" + std::to_string(i + 2) + R"(,"type":"con","nodes":[)";
    }
    deep += R"({"id":999,"type":"con","shell":"xdg_shell","app_id":"deep","nodes":[]})";
    for (int i = 0; i < 200; ++i) {
        deep += "]}";
    }
    deep += "]}";
    EXPECT_TRUE(ParseSwayTree(deep).empty());
}

TEST(SwayTree, ClassesMatchByAppIdXClassOrInstanceIgnoringAsciiCase) {
    const auto views = ParseSwayTree(kTree);
    ASSERT_EQ(views.size(), 4u);
    EXPECT_TRUE(MatchesClass(views[0], "qvx"));
    EXPECT_TRUE(MatchesClass(views[0], "QVX-INSTANCE"));
    EXPECT_FALSE(MatchesClass(views[0], "QvX "));
    EXPECT_TRUE(MatchesClass(views[1], "EDITOR"));
    EXPECT_FALSE(MatchesClass(views[1], ""));  // an empty name is no class
    EXPECT_FALSE(MatchesClass(views[0], ""));  // though the X window has no app_id

    SwayView accented;
    accented.appId = "\xC3\x84pp";  // "Äpp": only ASCII letters fold
    EXPECT_TRUE(MatchesClass(accented, "\xC3\x84PP"));
    EXPECT_FALSE(MatchesClass(accented, "\xC3\xA4pp"));
}

TEST(SwayTree, CommandRepliesSucceedOnlyWhenEveryCommandDid) {
    std::string error;
    EXPECT_TRUE(SwayCommandSucceeded(R"([{"success": true}])", error));
    EXPECT_TRUE(SwayCommandSucceeded(R"([{"success": true}, {"success": true}])", error));
    EXPECT_FALSE(SwayCommandSucceeded(
        R"([{"success": false, "parse_error": false, "error": "No matching node."}])", error));
    EXPECT_EQ(error, "No matching node.");
    EXPECT_FALSE(SwayCommandSucceeded(R"([{"success": true}, {"success": false}])", error));
    EXPECT_EQ(error, "the command failed");
    EXPECT_FALSE(SwayCommandSucceeded("[]", error));
    EXPECT_FALSE(SwayCommandSucceeded("not json", error));
    EXPECT_FALSE(SwayCommandSucceeded(R"([{"success": "yes"}])", error));
}

}  // namespace
}  // namespace qv::wayland
