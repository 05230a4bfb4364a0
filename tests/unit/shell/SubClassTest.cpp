#include <gtest/gtest.h>

#include <memory>

#include "ShellFakes.h"
#include "shell/modSubClass.h"

namespace qv {
namespace {

using test::Message;
using test::RecordingProcedure;
using test::TestClient;

constexpr MessageId kMsgA = 0x0100;
constexpr MessageId kMsgB = 0x0101;

class SubClassTest : public ::testing::Test {
protected:
    SubClassTest() {
        defaultId = procs.RegisterProcedure(defaultProc);
        hWnd = procs.CreateWindowHandle(defaultId);
    }
    std::shared_ptr<TestClient> Client(const std::string& name = "") {
        return std::make_shared<TestClient>(hWnd, name, &order);
    }

    WindowProcs procs;
    RecordingProcedure defaultProc;
    ProcId defaultId = 0;
    WindowHandle hWnd = 0;
    std::vector<std::string> order;
    modSubClass router{procs};
};

TEST_F(SubClassTest, OneClientPassingEverythingLeavesTheWindowAsBefore) {
    auto a = Client();
    router.SubClass(a);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), router.SubClassProcId());
    EXPECT_EQ(a->ProcOrg(), defaultId);

    EXPECT_EQ(procs.Dispatch(hWnd, kMsgA, 7, 9), 42);
    EXPECT_EQ(procs.Dispatch(hWnd, kMsgB, -3, 0x7fffffffffffLL), 42);
    const std::vector<Message> expected{{hWnd, kMsgA, 7, 9}, {hWnd, kMsgB, -3, 0x7fffffffffffLL}};
    EXPECT_EQ(a->seen, expected);
    EXPECT_EQ(defaultProc.seen, expected);

    router.UnSubClass(*a);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
    procs.Dispatch(hWnd, kMsgA, 0, 0);
    EXPECT_EQ(a->seen.size(), 2u);
    EXPECT_EQ(defaultProc.seen.size(), 3u);
}

TEST_F(SubClassTest, ConsumingClientHidesTheMessageFromLaterClientsAndTheWindow) {
    auto a = Client("a");
    auto b = Client("b");
    a->onMessage = [](MessageId m) { return m == kMsgA ? kConsumed : kPassOn; };
    router.SubClass(a);
    router.SubClass(b);
    EXPECT_EQ(b->ProcOrg(), 0);

    EXPECT_EQ(procs.Dispatch(hWnd, kMsgA, 0, 0), 0);
    EXPECT_TRUE(b->seen.empty());
    EXPECT_TRUE(defaultProc.seen.empty());

    EXPECT_EQ(procs.Dispatch(hWnd, kMsgB, 0, 0), 42);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "a", "b"}));
    EXPECT_EQ(defaultProc.seen.size(), 1u);
}

TEST_F(SubClassTest, OtherResultsGoOnToLaterClientsWhichMayReplaceThem) {
    auto a = Client("a");
    auto b = Client("b");
    a->onMessage = [](MessageId) { return LResult{7}; };
    router.SubClass(a);
    router.SubClass(b);
    // b passes on: the window's procedure answers.
    EXPECT_EQ(procs.Dispatch(hWnd, kMsgA, 0, 0), 42);
    b->onMessage = [](MessageId) { return LResult{9}; };
    EXPECT_EQ(procs.Dispatch(hWnd, kMsgA, 0, 0), 9);
    EXPECT_EQ(defaultProc.seen.size(), 1u);
    router.UnSubClass(*b);
    EXPECT_EQ(procs.Dispatch(hWnd, kMsgA, 0, 0), 7);
    EXPECT_EQ(defaultProc.seen.size(), 1u);
}

TEST_F(SubClassTest, RemovingTheInstallingClientFirstHandsTheProcedureOver) {
    auto a = Client("a");
    auto b = Client("b");
    router.SubClass(a);
    router.SubClass(b);
    router.UnSubClass(*a);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), router.SubClassProcId());
    EXPECT_EQ(b->ProcOrg(), defaultId);
    EXPECT_EQ(procs.Dispatch(hWnd, kMsgA, 0, 0), 42);
    EXPECT_EQ(order, (std::vector<std::string>{"b"}));

    router.UnSubClass(*b);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
}

TEST_F(SubClassTest, RemovingTheSecondClientFirstCopiesNothing) {
    auto a = Client();
    auto b = Client();
    router.SubClass(a);
    router.SubClass(b);
    router.UnSubClass(*b);
    EXPECT_EQ(a->ProcOrg(), defaultId);
    EXPECT_EQ(b->ProcOrg(), 0);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), router.SubClassProcId());
    router.UnSubClass(*a);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
    // Unregistering again does nothing.
    router.UnSubClass(*a);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
}

TEST_F(SubClassTest, SubClassTwiceChangesNothing) {
    auto a = Client("a");
    router.SubClass(a);
    router.SubClass(a);
    EXPECT_EQ(a->ProcOrg(), defaultId);
    procs.Dispatch(hWnd, kMsgA, 0, 0);
    EXPECT_EQ(order.size(), 1u);
    router.UnSubClass(*a);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
    EXPECT_FALSE(router.IsRegistered(*a));
}

TEST_F(SubClassTest, UnSubClassThenSubClassMovesTheClientToTheEnd) {
    auto a = Client("a");
    auto b = Client("b");
    auto c = Client("c");
    router.SubClass(a);
    router.SubClass(b);
    router.SubClass(c);
    router.UnSubClass(*b);
    router.SubClass(b);
    EXPECT_EQ(b->ProcOrg(), 0);
    EXPECT_EQ(a->ProcOrg(), defaultId);
    procs.Dispatch(hWnd, kMsgA, 0, 0);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(defaultProc.seen.size(), 1u);
}

TEST_F(SubClassTest, UnSubClassNeverClearsTheLeavingClientsProcOrg) {
    auto a = Client();
    router.SubClass(a);
    router.UnSubClass(*a);
    EXPECT_EQ(a->ProcOrg(), defaultId);
}

TEST_F(SubClassTest, ClientsOfOtherWindowsDoNotSeeTheMessage) {
    RecordingProcedure otherProc;
    const WindowHandle other = procs.CreateWindowHandle(procs.RegisterProcedure(otherProc));
    auto a = Client("a");
    auto b = std::make_shared<TestClient>(other, "b", &order);
    router.SubClass(a);
    router.SubClass(b);
    EXPECT_NE(b->ProcOrg(), 0);
    procs.Dispatch(other, kMsgA, 0, 0);
    EXPECT_EQ(order, (std::vector<std::string>{"b"}));
    EXPECT_EQ(otherProc.seen.size(), 1u);
    EXPECT_TRUE(defaultProc.seen.empty());
    // Nothing watches this window: 0, and nothing is called.
    EXPECT_EQ(router.SubClassProc(999, kMsgA, 0, 0), 0);
}

TEST_F(SubClassTest, ClientUnregisteredDuringDeliveryIsNotCalled) {
    auto a = Client("a");
    auto b = Client("b");
    a->onMessage = [this, &b = *b](MessageId) {
        router.UnSubClass(b);
        return kPassOn;
    };
    router.SubClass(a);
    router.SubClass(b);
    EXPECT_EQ(procs.Dispatch(hWnd, kMsgA, 0, 0), 42);
    EXPECT_EQ(order, (std::vector<std::string>{"a"}));
}

TEST_F(SubClassTest, ClientThatUnregistersItselfIsNotCalledAgain) {
    auto a = Client("a");
    auto b = Client("b");
    a->onMessage = [this, &a = *a](MessageId) {
        router.UnSubClass(a);
        return kPassOn;
    };
    router.SubClass(a);
    router.SubClass(b);
    EXPECT_EQ(procs.Dispatch(hWnd, kMsgA, 0, 0), 42);
    EXPECT_EQ(procs.Dispatch(hWnd, kMsgB, 0, 0), 42);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "b"}));
    EXPECT_EQ(b->ProcOrg(), defaultId);
    EXPECT_EQ(defaultProc.seen.size(), 2u);
}

TEST_F(SubClassTest, ClientThatEndsTheProgramStaysAliveUntilItsCallReturns) {
    bool aDestroyed = false;
    bool aliveAfterRelease = false;
    auto a = Client("a");
    auto b = Client("b");
    a->destroyed = &aDestroyed;
    std::weak_ptr<TestClient> weakA = a;
    // The exit command: the program drops its own reference and releases the
    // registries while the client's handler is still running.
    a->onMessage = [this, &a, &aDestroyed, &aliveAfterRelease](MessageId) {
        a.reset();
        router.ReleaseAll();
        aliveAfterRelease = !aDestroyed;
        return kPassOn;
    };
    router.SubClass(a);
    router.SubClass(b);
    EXPECT_EQ(procs.Dispatch(hWnd, kMsgA, 0, 0), 42);
    EXPECT_TRUE(aliveAfterRelease);
    EXPECT_TRUE(aDestroyed);
    EXPECT_TRUE(weakA.expired());
    EXPECT_TRUE(b->seen.empty());
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
    procs.Dispatch(hWnd, kMsgB, 0, 0);
    EXPECT_TRUE(b->seen.empty());
    EXPECT_EQ(defaultProc.seen.size(), 2u);
}

TEST_F(SubClassTest, NestedDeliveryFromAModalLoopReachesEveryClient) {
    auto a = Client("a");
    auto b = Client("b");
    bool nested = false;
    a->onMessage = [this, &nested](MessageId m) {
        if (m == kMsgA && !nested) {
            nested = true;
            procs.Dispatch(hWnd, kMsgB, 0, 0);  // a message delivered by a modal loop
        }
        return kPassOn;
    };
    router.SubClass(a);
    router.SubClass(b);
    procs.Dispatch(hWnd, kMsgA, 0, 0);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "a", "b", "b"}));
    ASSERT_EQ(defaultProc.seen.size(), 2u);
    EXPECT_EQ(defaultProc.seen[0].iMsg, kMsgB);
    EXPECT_EQ(defaultProc.seen[1].iMsg, kMsgA);
}

TEST_F(SubClassTest, RegistryKeepsClientsAliveUntilReleased) {
    bool destroyed = false;
    auto a = Client();
    a->destroyed = &destroyed;
    router.SubClass(a);
    a.reset();
    EXPECT_FALSE(destroyed);
    router.ReleaseAll();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
}

TEST(WindowProcsTest, RegisteredMessagesAreStablePerName) {
    WindowProcs procs;
    const MessageId a = procs.RegisterMessage("TaskbarCreated");
    const MessageId b = procs.RegisterMessage("Other");
    EXPECT_GE(a, 0xC000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(procs.RegisterMessage("TaskbarCreated"), a);
}

TEST(WindowProcsTest, UnknownWindowsAndProceduresAnswerZero) {
    WindowProcs procs;
    RecordingProcedure p;
    const ProcId id = procs.RegisterProcedure(p);
    const WindowHandle w = procs.CreateWindowHandle(id);
    EXPECT_EQ(procs.SetWindowProcedure(w + 1, id), 0);
    procs.UnregisterProcedure(id);
    EXPECT_EQ(procs.Dispatch(w, 1, 0, 0), 0);
    EXPECT_TRUE(p.seen.empty());
    procs.DestroyWindowHandle(w);
    EXPECT_EQ(procs.WindowProcedureOf(w), 0);
}

}  // namespace
}  // namespace qv
