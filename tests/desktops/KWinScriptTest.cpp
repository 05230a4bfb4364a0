// The scripts the KWin-scripting window system loads, and the reading of
// their answers.

#include <gtest/gtest.h>

#include "keys/kde/KWinScript.h"

namespace qv::kde {
namespace {

const ScriptReplyTo kTo{":1.42", "/org/quorvane/Quorvane/KWinScript",
                        "org.quorvane.Quorvane.KWinScript"};

TEST(KWinScript, StringsAreQuotedSoThatNoTextBreaksOutOfThem) {
    EXPECT_EQ(JsString("plain"), "\"plain\"");
    EXPECT_EQ(JsString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsString("line\nbreak\r"), "\"line\\nbreak\\r\"");
    EXPECT_EQ(JsString(std::string("nul\0tab\t", 8)), "\"nul\\u0000tab\\u0009\"");
    EXPECT_EQ(JsString("\xE2\x80\xA8|\xE2\x80\xA9"), "\"\\u2028|\\u2029\"");
    EXPECT_EQ(JsString("日本"), "\"日本\"");
}

TEST(KWinScript, EveryScriptAnswersToOurConnection) {
    const std::string answer =
        "callDBus(\":1.42\", \"/org/quorvane/Quorvane/KWinScript\", "
        "\"org.quorvane.Quorvane.KWinScript\", \"Answer\", ";
    EXPECT_NE(ListScript(kTo).find(answer + "JSON.stringify(list));"), std::string::npos);
    EXPECT_NE(ActivateScript(kTo, "{u}").find(answer + "c ? \"ok\" : \"none\");"),
              std::string::npos);
    EXPECT_NE(ShowStateScript(kTo, "{u}", 2).find(answer), std::string::npos);
}

TEST(KWinScript, ActivationRestoresTheWindowItNamesAndMakesItActive) {
    const std::string script = ActivateScript(kTo, "{0f\"3}");
    EXPECT_NE(script.find("String(all[i].internalId) === \"{0f\\\"3}\""), std::string::npos);
    const auto restore = script.find("c.minimized = false;");
    const auto activate = script.find("workspace.activeClient = c;");
    ASSERT_NE(restore, std::string::npos);
    ASSERT_NE(activate, std::string::npos);
    EXPECT_LT(restore, activate);
}

TEST(KWinScript, ShowStatesMinimiseRestoreAndMaximise) {
    EXPECT_NE(ShowStateScript(kTo, "{u}", 2).find("var state = 2;"), std::string::npos);
    const std::string maximise = ShowStateScript(kTo, "{u}", 3);
    EXPECT_NE(maximise.find("var state = 3;"), std::string::npos);
    EXPECT_NE(maximise.find("if (state === 3) { c.setMaximize(true, true); }"), std::string::npos);
    // Restoring leaves a maximised window maximised: KWin's scripting does
    // not say which windows are.
    EXPECT_EQ(ShowStateScript(kTo, "{u}", 1).find("setMaximize(false"), std::string::npos);
}

TEST(KWinScript, TheListReadsFrontMostFirst) {
    const auto windows = ParseScriptWindows(R"([
        {"uuid": "{a}", "cls": "xterm", "name": "xterm", "title": "t1", "minimized": false,
         "active": false, "fullscreen": false, "stacking": 3},
        {"uuid": "{b}", "cls": "org.kde.konsole", "name": "konsole", "title": "日本",
         "minimized": true, "active": false, "fullscreen": false, "stacking": 7},
        {"uuid": "{c}", "cls": "foot", "name": "foot", "title": "t3", "minimized": false,
         "active": true, "fullscreen": true, "stacking": 5}])");
    ASSERT_TRUE(windows);
    ASSERT_EQ(windows->size(), 3u);
    EXPECT_EQ((*windows)[0].uuid, "{b}");
    EXPECT_EQ((*windows)[0].window.appId, "org.kde.konsole");
    EXPECT_EQ((*windows)[0].window.instance, "konsole");
    EXPECT_EQ((*windows)[0].window.title, "日本");
    EXPECT_TRUE((*windows)[0].window.minimized);
    EXPECT_EQ((*windows)[1].uuid, "{c}");
    EXPECT_TRUE((*windows)[1].window.active);
    EXPECT_TRUE((*windows)[1].window.fullscreen);
    EXPECT_EQ((*windows)[2].uuid, "{a}");
    EXPECT_EQ((*windows)[2].window.id, 0u);
}

TEST(KWinScript, AnswersThatAreNoWindowListAreRefused) {
    EXPECT_FALSE(ParseScriptWindows(""));
    EXPECT_FALSE(ParseScriptWindows("ok"));
    EXPECT_FALSE(ParseScriptWindows("{\"uuid\": \"{a}\"}"));
    EXPECT_FALSE(ParseScriptWindows("[{\"cls\": \"xterm\"}]"));
    EXPECT_FALSE(ParseScriptWindows("[1, 2]"));
    const auto empty = ParseScriptWindows("[]");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    // Missing or mistyped fields read as empty or false.
    const auto sparse = ParseScriptWindows(R"([{"uuid": "{a}", "cls": 5, "minimized": "yes"}])");
    ASSERT_TRUE(sparse);
    EXPECT_EQ((*sparse)[0].window.appId, "");
    EXPECT_FALSE((*sparse)[0].window.minimized);
}

}  // namespace
}  // namespace qv::kde
