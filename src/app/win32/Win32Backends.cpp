#include "common/win32/Windows.h"

#include "app/win32/Win32Backends.h"

#include "common/DebugLog.h"
#include "device/win32/Win32DeviceEvents.h"
#include "device/win32/Win32HidPort.h"
#include "device/win32/Win32SimClient.h"
#include "keys/win32/Win32InputInjector.h"
#include "keys/win32/Win32WindowSystem.h"

namespace qv {

std::optional<Win32Backends> MakeWin32Backends(const CommandLine& options, HWND window,
                                               std::function<void()> changesPending,
                                               std::string& error) {
    Win32Backends b;
    if (options.simulator) {
        if (!sim::IsTcpSimAddress(options.simSocket)) {
            error =
                "--simulator needs the simulator's address on Windows: "
                "--simulator=tcp:HOST:PORT (quorvane-sim serve --tcp)";
            return std::nullopt;
        }
        DebugLog("receiver: simulator at " + options.simSocket);
        b.hid = sim::MakeTcpSimHidPort(options.simSocket);
        b.deviceEvents = sim::MakeTcpSimDeviceEvents(options.simSocket, std::move(changesPending));
    } else {
        b.hid = std::make_unique<Win32HidPort>();
        auto events = std::make_unique<Win32DeviceEvents>(window);
        Win32DeviceEvents* notifications = events.get();
        b.deviceChange = [notifications](WPARAM wParam, LPARAM lParam) {
            notifications->OnDeviceChange(wParam, lParam);
        };
        b.deviceEvents = std::move(events);
    }
    b.injector = std::make_unique<Win32InputInjector>();
    b.windows = std::make_unique<Win32WindowSystem>();
    return b;
}

}  // namespace qv
