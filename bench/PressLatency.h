#pragma once
// The program's press -> first key on a Wayland session, for the latency
// benchmarks: presses go to the simulator over one connection kept for the
// whole run (timed from the command, as bench/app_bench.cpp does, not from
// the start of a quorvane-sim process), at random points of the 50 ms poll
// cycle, as a user's do (right after a key arrived they would all fall just
// after a poll).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ProgramSession.h"
#include "device/sim/SimClient.h"
#include "device/sim/unix/UnixSimTransport.h"

namespace qv::bench {

// Presses 12,34,60 `presses` times; after each, waits for the slot's two
// keys in `target` and for `focusBack` (the user's window has the focus
// again). `latencies` gets the microseconds from each press to its first key.
inline void MeasurePressToFirstKey(const wayland::test::Simulator& sim,
                                   const wayland::test::Target& target,
                                   const wayland::test::Program& program, int presses,
                                   const std::function<bool()>& focusBack,
                                   std::vector<long long>& latencies) {
    using namespace wayland::test;
    const std::shared_ptr<sim::SimTransport> control = sim::MakeUnixSimTransport(sim.Socket());
    std::mt19937 random(7);
    std::uniform_int_distribution<int> offsetMicros(0, 50'000);
    for (int i = 0; i < presses; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(offsetMicros(random)));
        const long long pressed = NowMicros();
        const sim::SimReply reply = sim::SendSimCommand(*control, {"press", "12", "34", "60"});
        ASSERT_EQ(reply.code, sim::SimReply::Code::Ok) << reply.text;
        ASSERT_TRUE(WaitForKeys(target, static_cast<std::size_t>(2 * (i + 1))))
            << "press " << i << "\n"
            << program.Log();
        latencies.push_back(target.Keys()[static_cast<std::size_t>(2 * i)].time - pressed);
        ASSERT_TRUE(WaitUntil(focusBack, kLogBound));
    }
}

}  // namespace qv::bench
