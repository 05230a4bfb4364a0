#pragma once
// Remote presses for the latency benchmarks, over one connection to the
// simulator kept for the whole run: a press is timed from the command, as
// bench/app_bench.cpp does, not from the start of a quorvane-sim process.

#include <memory>
#include <string>

#include "device/sim/SimClient.h"
#include "device/sim/unix/UnixSimTransport.h"

namespace qv::bench {

class SimPresser {
public:
    explicit SimPresser(const std::string& socket)
        : transport_(sim::MakeUnixSimTransport(socket)) {}

    // Queues the code on the simulated receiver; false with `error` set when
    // the simulator refused or did not answer.
    bool Press(int a, int b, int c, std::string& error) {
        const sim::SimReply reply = sim::SendSimCommand(
            *transport_, {"press", std::to_string(a), std::to_string(b), std::to_string(c)});
        error = reply.text;
        return reply.code == sim::SimReply::Code::Ok;
    }

private:
    std::shared_ptr<sim::SimTransport> transport_;
};

}  // namespace qv::bench
