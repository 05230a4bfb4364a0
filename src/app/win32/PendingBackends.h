#pragma once
// STUB until the win branch's backends are merged (src/device/win32 device
// notifications, src/keys/win32 injector and window system, the simulator
// over TCP). Stand-ins that do nothing, so the window and quorvane.exe build
// and can be tested meanwhile. To be deleted with the merge; nothing else
// includes this file but Win32Backends.cpp.

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/DeviceEvents.h"
#include "keys/InputInjector.h"
#include "keys/WindowSystem.h"

namespace qv::pending {

// STUB: reports no device changes.
class NoDeviceEvents final : public DeviceEvents {
public:
    bool Start(std::string& /*error*/) override { return true; }
    void Stop() override {}
    int Fd() const override { return -1; }
    std::vector<DeviceChange> ReadPending() override { return {}; }
};

// STUB: sends nothing.
class NoInjector final : public InputInjector {
public:
    void Send(std::span<const KeyStroke> /*batch*/) override {}
};

// STUB: finds no window.
class NoWindowSystem final : public WindowSystem {
public:
    Window FindByClass(std::string_view /*className*/) override { return {}; }
    Window Foreground() override { return {}; }
    ShowState GetShowState(Window /*window*/) override { return ShowState::Unknown; }
    void SetShowState(Window /*window*/, ShowState /*state*/) override {}
    bool Activate(Window /*window*/) override { return false; }
};

}  // namespace qv::pending
