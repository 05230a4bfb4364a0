#pragma once
// The application core assembled for tests: the in-process receiver
// simulator, a configuration file in a temporary folder, the fakes of
// CoreFakes.h, and hand-run GUI and receiver queues, so every test decides
// when ticks, receiver jobs and posted window updates run.

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "CoreFakes.h"
#include "Simulator.h"
#include "TempDir.h"
#include "app/core/Application.h"
#include "config/IniStore.h"
#include "config/linux/IconvTextCodec.h"
#include "config/linux/PosixConfigFiles.h"

namespace qv::test {

// The real file access, with writes that can be made to fail.
class SwitchableFiles : public ConfigFiles {
public:
    bool failWrites = false;
    int writes = 0;
    ReadStatus ReadFile(const std::string& path, std::string& bytes) override {
        return real_.ReadFile(path, bytes);
    }
    bool ReplaceFile(const std::string& path, std::string_view bytes) override {
        ++writes;
        return !failWrites && real_.ReplaceFile(path, bytes);
    }
    std::string DefaultIniPath() override { return real_.DefaultIniPath(); }

private:
    PosixConfigFiles real_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// One [RemoteN] section with the five keys the store command writes.
inline std::string Slot(int n, const std::string& pulse, const std::string& comment,
                        const std::string& keys, int adjustTime = 0,
                        const std::string& window = "") {
    return "[Remote" + std::to_string(n) + "]\r\nPulse=" + pulse + "\r\nComment=" + comment +
           "\r\nAdjustTime=" + std::to_string(adjustTime) + "\r\nWindowName=" + window +
           "\r\nKeyList=" + keys + "\r\n";
}

class CoreHarness {
public:
    // `iniText` is written as the configuration file unless `writeIni` is false.
    // `ownThread`: the core runs its own receiver thread instead of the
    // hand-run queue (then wait with gui.RunUntil), on the steady clock, so
    // its poll timer ticks by itself.
    explicit CoreHarness(const std::string& iniText = "", bool writeIni = false,
                         const sim::BusOptions& bus = {}, bool ownThread = false)
        : simulator(bus),
          hidPort(simulator.MakeHidPort()),
          deviceEvents(simulator.MakeDeviceEvents()),
          iniPath(dir.File("Quorvane.ini")) {
        if (writeIni) {
            WriteAll(iniPath, iniText);
        }
        auto switchable = std::make_unique<SwitchableFiles>();
        files = switchable.get();
        ini = std::make_unique<IniStore>(std::make_unique<IconvTextCodec>(), std::move(switchable));
        ini->SetIniPath(iniPath);
        app = std::make_unique<Application>(
            AppPorts{view, gui, *ini, *hidPort, *deviceEvents, injector, windows, tray, geometry,
                     ownThread ? static_cast<Clock&>(steadyClock) : static_cast<Clock&>(clock),
                     ownThread ? nullptr : &jobs});
    }
    ~CoreHarness() {
        app->Unload();
        Settle();
        app.reset();
    }

    // Runs receiver jobs and GUI work until neither has anything left.
    void Settle() {
        while (jobs.RunAll() + gui.RunAll() > 0) {
        }
    }
    void Load() {
        app->Load();
        Settle();
    }
    // One tick of the receive loop, and what it posted to the window.
    void Tick() {
        app->Tick();
        Settle();
    }
    void PressAndTick(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) {
        simulator.Press({v0, v1, v2});
        Tick();
    }
    // What the device-event source said "changes pending" for reaches the
    // window: the simulator made the call on the test's thread, and the core
    // posted the reading to the GUI queue, which runs here.
    void DeviceEvents() { Settle(); }
    // The user selects a tab.
    void SelectTab(int tab) {
        view.selectedTab = tab;
        app->TabSelected(tab);
    }
    std::string IniBytes() const { return ReadAll(iniPath); }

    TempDir dir;
    sim::Simulator simulator;
    std::unique_ptr<HidPort> hidPort;
    std::unique_ptr<qv::DeviceEvents> deviceEvents;
    std::string iniPath;
    SwitchableFiles* files = nullptr;
    std::unique_ptr<IniStore> ini;
    FakeView view;
    ManualGui gui;
    ManualJobs jobs;
    RecordingInjector injector;
    FakeWindows windows;
    FakeTrayIcon tray;
    FixedGeometry geometry;
    FakeClock clock;
    SteadyClock steadyClock;
    std::unique_ptr<Application> app;
};

}  // namespace qv::test
