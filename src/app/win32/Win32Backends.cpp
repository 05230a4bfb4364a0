#include "common/win32/Windows.h"

#include "app/win32/Win32Backends.h"

#include "common/DebugLog.h"
#include "device/sim/SimClient.h"
#include "device/sim/TcpSimTransport.h"
#include "device/win32/Win32DeviceEvents.h"
#include "device/win32/Win32HidPort.h"
#include "keys/win32/Win32InputInjector.h"
#include "keys/win32/Win32WindowSystem.h"

namespace qv {

std::optional<Win32Backends> MakeWin32Backends(const CommandLine& options, std::string& error) {
    Win32Backends b;
    if (options.simulator) {
        if (!sim::IsTcpSimAddress(options.simSocket)) {
            error =
                "--simulator needs the simulator's address on Windows: "
                "--simulator=tcp:HOST:PORT (quorvane-sim serve --tcp)";
            return std::nullopt;
        }
        DebugLog("receiver: simulator at " + options.simSocket);
        const std::shared_ptr<sim::SimTransport> transport =
            sim::MakeTcpSimTransport(options.simSocket);
        b.hid = sim::MakeSimHidPort(transport);
        b.deviceEvents = sim::MakeSimDeviceEvents(transport);
    } else {
        b.hid = std::make_unique<Win32HidPort>();
        b.deviceEvents = std::make_unique<Win32DeviceEvents>();
    }
    b.injector = std::make_unique<Win32InputInjector>();
    b.windows = std::make_unique<Win32WindowSystem>();
    return b;
}

}  // namespace qv
