// Delivery time of the Wayland virtual keyboard on headless sway: from the
// call (Send) to the moment the target client read the last event of the
// batch, for batches of 2, 20 and 255 events, into a native Wayland client
// and an X client under XWayland, on the US and the Japanese layout (the
// keyboard types with the compositor's layout plus the keys it lacks).
//
// Run inside with-sway.sh's session (bench/keys_latency.sh does):
//   tests/wayland/with-sway.sh -- build/bench/bench_virtual_keyboard_latency [rounds]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "SwaySession.h"
#include "keys/wayland/VirtualKeyboardInjector.h"

namespace {

using namespace qv::wayland;
using namespace qv::wayland::test;

long long Percentile(std::vector<long long> samples, double p) {
    std::sort(samples.begin(), samples.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[at];
}

// Press/release pairs of letters; an odd count ends with a press of Z.
std::vector<qv::KeyStroke> Batch(int events) {
    std::vector<qv::KeyStroke> batch;
    for (int i = 0; static_cast<int>(batch.size()) + 1 < events; ++i) {
        const auto vk = static_cast<std::int16_t>('A' + i % 25);
        batch.push_back({vk, false});
        batch.push_back({vk, true});
    }
    if (static_cast<int>(batch.size()) < events) {
        batch.push_back({'Z', false});
    }
    return batch;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    Sway sway;
    std::printf(
        "Virtual keyboard on sway: from Send until the target has read the last event of the\n"
        "batch (the target's own clock reading when it read it).\n\n");
    std::printf("%-7s %-9s %-6s %9s %9s %9s %9s\n", "layout", "client", "events", "min us",
                "median us", "p90 us", "max us");
    for (const auto& [layout, model] :
         {std::pair<std::string, std::string>{"us", "pc105"}, {"jp", "jp106"}}) {
        sway.Command("input * xkb_model " + model);
        sway.Command("input * xkb_layout " + layout);
        for (const ClientKind kind : {ClientKind::Native, ClientKind::X}) {
            Target target(kind, UniqueName("Bench"));
            if (!WaitUntil([&] { return target.Ready() && sway.ViewOf(target.Name()); },
                           kStartBound)) {
                std::fprintf(stderr, "bench: the %s target did not come up\n", KindName(kind));
                return 1;
            }
            sway.Command("[con_id=" + std::to_string(sway.ViewOf(target.Name())->id) + "] focus");
            std::string error;
            auto injector = VirtualKeyboardInjector::Open(nullptr, error);
            if (!injector) {
                std::fprintf(stderr, "bench: %s\n", error.c_str());
                return 1;
            }
            // One batch first: the target takes the keymap in.
            const std::vector<qv::KeyStroke> warm = {{'A', false}, {'A', true}};
            injector->Send(warm);
            if (!WaitForKeys(target, 2)) {
                std::fprintf(stderr, "bench: no keys arrived\n");
                return 1;
            }
            for (const int events : {2, 20, 255}) {
                const std::vector<qv::KeyStroke> batch = Batch(events);
                std::vector<long long> samples;
                for (int r = 0; r < rounds; ++r) {
                    const std::size_t before = target.Keys().size();
                    const long long start = NowMicros();
                    injector->Send(batch);
                    if (!WaitForKeys(target, before + batch.size())) {
                        std::fprintf(stderr, "bench: events missing\n");
                        return 1;
                    }
                    samples.push_back(target.Keys()[before + batch.size() - 1].time - start);
                    if (events % 2 == 1) {
                        const std::vector<qv::KeyStroke> release = {{'Z', true}};
                        injector->Send(release);
                        WaitForKeys(target, before + batch.size() + 1);
                    }
                }
                std::printf("%-7s %-9s %-6d %9lld %9lld %9lld %9lld\n", layout.c_str(),
                            KindName(kind), events, Percentile(samples, 0),
                            Percentile(samples, 0.5), Percentile(samples, 0.9),
                            Percentile(samples, 1));
            }
        }
    }
    return 0;
}
