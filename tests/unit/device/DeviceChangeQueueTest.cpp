#include "device/DeviceChangeQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {
namespace {

using namespace std::chrono_literals;

DeviceChange Arrival(std::string path) {
    return {DeviceChange::Kind::Arrival, std::move(path)};
}

TEST(DeviceChangeQueueTest, OneCallUntilTheWaitingChangesAreTaken) {
    DeviceChangeQueue queue;
    int calls = 0;
    queue.Push(Arrival("/dev/early"));  // closed: dropped
    queue.Open([&calls] { ++calls; });
    EXPECT_TRUE(queue.Take().empty());

    queue.Push(Arrival("/dev/a"));
    queue.Push(Arrival("/dev/b"));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(queue.Take(), (std::vector<DeviceChange>{Arrival("/dev/a"), Arrival("/dev/b")}));
    EXPECT_TRUE(queue.Take().empty());
    queue.Push(Arrival("/dev/c"));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(queue.Take(), (std::vector<DeviceChange>{Arrival("/dev/c")}));
}

TEST(DeviceChangeQueueTest, CloseDropsWhatWaitsAndEndsTheCalls) {
    DeviceChangeQueue queue;
    int firstCalls = 0;
    queue.Open([&firstCalls] { ++firstCalls; });
    queue.Push(Arrival("/dev/a"));
    queue.Close();
    EXPECT_TRUE(queue.Take().empty());
    queue.Push(Arrival("/dev/b"));
    EXPECT_EQ(firstCalls, 1);
    EXPECT_TRUE(queue.Take().empty());

    int secondCalls = 0;
    queue.Open([&secondCalls] { ++secondCalls; });
    queue.Push(Arrival("/dev/c"));
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 1);
    EXPECT_EQ(queue.Take(), (std::vector<DeviceChange>{Arrival("/dev/c")}));
    queue.Close();
    queue.Close();        // harmless twice
    queue.Open(nullptr);  // a source may be started without a call
    queue.Push(Arrival("/dev/d"));
    EXPECT_EQ(queue.Take(), (std::vector<DeviceChange>{Arrival("/dev/d")}));
}

TEST(DeviceChangeQueueTest, CloseWaitsForACallInProgress) {
    DeviceChangeQueue queue;
    std::mutex mutex;
    std::condition_variable changed;
    bool inCall = false;
    bool release = false;
    queue.Open([&] {
        std::unique_lock lock(mutex);
        inCall = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
    });
    std::thread source([&queue] { queue.Push(Arrival("/dev/a")); });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return inCall; });
    }
    std::atomic<bool> closed{false};
    std::thread owner([&] {
        queue.Close();
        closed = true;
    });
    // Time for a Close that did not wait to return; the call still runs.
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(closed.load());
    {
        const std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    owner.join();
    source.join();
    EXPECT_TRUE(closed.load());
}

TEST(DeviceChangeQueueTest, ChangesFromSeveralThreadsAreAllKept) {
    DeviceChangeQueue queue;
    std::atomic<int> calls{0};
    queue.Open([&calls] { ++calls; });
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&queue, t] {
            for (int i = 0; i < kEach; ++i) {
                queue.Push(Arrival(std::to_string(t) + "/" + std::to_string(i)));
            }
        });
    }
    std::vector<DeviceChange> taken;
    while (taken.size() < static_cast<std::size_t>(kThreads * kEach)) {
        for (DeviceChange& change : queue.Take()) {
            taken.push_back(std::move(change));
        }
        std::this_thread::yield();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_GE(calls.load(), 1);
    // Each thread's changes keep their order.
    std::vector<int> next(kThreads, 0);
    for (const DeviceChange& change : taken) {
        const std::size_t slash = change.path.find('/');
        const int t = std::stoi(change.path.substr(0, slash));
        EXPECT_EQ(std::stoi(change.path.substr(slash + 1)), next[static_cast<std::size_t>(t)]++);
    }
}

}  // namespace
}  // namespace qv
