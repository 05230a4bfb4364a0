// Benchmark: the program on headless sway with the simulated receiver, from
// the simulator's press to the first key in a Wayland client, with a window
// switch there and back per press. Run by bench/wayland_run.sh inside
// with-sway.sh; prints min, p50, p99 and max.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "PressLatency.h"
#include "ProgramSession.h"

namespace qv::wayland {
namespace {

using namespace test;

int Presses() {
    const char* text = std::getenv("QV_BENCH_PRESSES");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 100;
}

// The figures of `micros` on standard output and in the figures file.
void Report(const std::string& what, std::vector<long long> micros) {
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) {
        return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))];
    };
    const std::string line = what + " over " + std::to_string(micros.size()) + " presses: min " +
                             std::to_string(micros.front() / 1000.0) + " ms, p50 " +
                             std::to_string(at(0.5) / 1000.0) + " ms, p99 " +
                             std::to_string(at(0.99) / 1000.0) + " ms, max " +
                             std::to_string(micros.back() / 1000.0) + " ms";
    std::printf("%s\n", line.c_str());
    Figure(line);
}

// From the simulator's press to the first key in the target, with the window
// switch of a slot and no switch pause: the program polls every 50 ms, so
// most of it is the wait for the next poll.
TEST_F(ProgramOnSway, PressToKeyLatency) {
    const int presses = Presses();
    Simulator sim;
    auto user = Start(ClientKind::Native, "User");
    auto target = Start(ClientKind::Native, "Latency");
    ASSERT_NO_FATAL_FAILURE(Focus(*user));
    Program program(
        sim, {"[General]", "WindowChangeTime=0", "[Remote1]", "Pulse=12,34,60", "Comment=latency",
              "AdjustTime=0", "WindowName=" + target->Name(), "KeyList=DL, UL"});
    std::vector<long long> latencies;
    ASSERT_NO_FATAL_FAILURE(bench::MeasurePressToFirstKey(
        sim, *target, program, presses, [&] { return Focused(*user); }, latencies));
    EXPECT_EQ(Count(program.Log(), "receive-list: latency"), static_cast<std::size_t>(presses));
    Report("program on sway: press -> first key in the Wayland client", latencies);
}

}  // namespace
}  // namespace qv::wayland
