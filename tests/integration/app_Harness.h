#pragma once
// The main window assembled for tests: the in-process receiver simulator,
// recording keystroke and window ports, scripted message boxes, tray ports
// that record, a configuration file in a temporary folder, and a clock the
// test moves by hand. The receive loop is driven tick by tick.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "RecordingDialogs.h"
#include "RecordingPorts.h"
#include "ShellFakes.h"
#include "Simulator.h"
#include "TempDir.h"
#include "app/frmMain.h"
#include "config/IniStore.h"
#include "config/linux/IconvTextCodec.h"
#include "config/linux/PosixConfigFiles.h"
#include "shell/WindowProcs.h"
#include "shell/clsWindowSize.h"
#include "shell/modSubClass.h"

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

// Message boxes that record, and can run something while "open" (as the
// modal loop of a real box lets the tray menu or a signal run).
class HookedDialogs : public RecordingDialogs {
public:
    std::function<void()> whileOpen;  // runs once, inside the next box
    MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                     bool defaultNo) override {
        const MsgAnswer answer = RecordingDialogs::MsgBox(text, icon, buttons, defaultNo);
        if (whileOpen) {
            const std::function<void()> run = std::move(whileOpen);
            whileOpen = nullptr;
            run();
        }
        return answer;
    }
};

class FixedGeometry : public ScreenGeometryPort {
public:
    Rect WindowRect(WindowHandle) override { return {0, 0, 410, 440}; }
    Rect TaskbarRect() override { return {0, 984, 1280, 1024}; }
    std::int32_t ScreenWidth() override { return 1280; }
    std::int32_t ScreenHeight() override { return 1024; }
    Rect WorkArea() override { return {0, 0, 1280, 984}; }
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

class FormHarness {
public:
    explicit FormHarness(const sim::BusOptions& bus = {}, const std::string& iniText = {},
                         bool writeIni = false)
        : simulator(bus),
          hidPort(simulator.MakeHidPort()),
          deviceEvents(simulator.MakeDeviceEvents()),
          iniPath(dir.File("Quorvane.ini")) {
        if (writeIni) {
            WriteAll(iniPath, iniText);
        }
        auto files = std::make_unique<SwitchableFiles>();
        this->files = files.get();
        ini = std::make_unique<IniStore>(std::make_unique<IconvTextCodec>(), std::move(files));
        ini->SetIniPath(iniPath);
        router = std::make_unique<modSubClass>(procs);
        form = std::make_unique<frmMain>(FormPorts{dialogs, *ini, *hidPort, *deviceEvents, injector,
                                                   windows, procs, *router, shell, menus, geometry,
                                                   IconHandle{1}, [this] { return now; }});
    }
    ~FormHarness() {
        form->Unload();
        form.reset();
        router->ReleaseAll();
    }

    // One tick of the receive loop.
    void Tick() { form->Timer1_Timer(); }
    // Presses a button on the simulated remote and runs one tick.
    void PressAndTick(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) {
        simulator.Press({v0, v1, v2});
        Tick();
    }
    // All keys sent so far, as "D41 U41 ..." (virtual-key codes in hex).
    std::string SentKeys() const {
        std::string out;
        for (const auto& batch : injector.batches) {
            for (const KeyboardInput& k : batch) {
                char text[16];
                std::snprintf(text, sizeof text, "%s%X ", (k.dwFlags & kKeyEventKeyUp) ? "U" : "D",
                              static_cast<unsigned>(static_cast<std::uint16_t>(k.wVk)));
                out += text;
            }
            out += "| ";
        }
        return out;
    }
    std::string IniBytes() const { return ReadAll(iniPath); }

    TempDir dir;
    sim::Simulator simulator;
    std::unique_ptr<HidPort> hidPort;
    std::unique_ptr<DeviceEvents> deviceEvents;
    std::string iniPath;
    SwitchableFiles* files = nullptr;
    std::unique_ptr<IniStore> ini;
    HookedDialogs dialogs;
    RecordingInjector injector;
    RecordingWindowSystem windows;
    WindowProcs procs;
    std::unique_ptr<modSubClass> router;
    RecordingShell shell;
    ScriptedMenus menus;
    FixedGeometry geometry;
    std::int64_t now = 1000;
    std::unique_ptr<frmMain> form;
};

// A configuration with the given Remote sections and nothing else.
inline std::string IniWithSlots(const std::string& sections) {
    return sections;
}

}  // namespace qv::test
