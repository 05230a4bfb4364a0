#pragma once
// Recording fakes of the shell's ports: a tray icon whose calls are logged
// and whose menus answer from a script, and fixed screen measurements.

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "shell/ScreenGeometryPort.h"
#include "shell/TrayIcon.h"

namespace qv::test {

class FakeTrayIcon : public TrayIcon {
public:
    // "show <tip>", "hide", "menu" in call order.
    std::vector<std::string> calls;
    std::vector<TrayMenu> menus;  // every menu shown
    std::deque<int> choices;      // answers of PopupMenu in order; -1 when empty
    bool hostThere = true;        // Show's answer
    bool shown = false;
    std::string toolTip;
    TrayIconSink* sink = nullptr;

    void SetSink(TrayIconSink* s) override { sink = s; }
    bool Show(std::string_view tip) override {
        calls.push_back("show " + std::string(tip));
        shown = true;
        toolTip = tip;
        return hostThere;
    }
    void Hide() override {
        calls.push_back("hide");
        shown = false;
    }
    int PopupMenu(const TrayMenu& menu) override {
        calls.push_back("menu");
        menus.push_back(menu);
        if (choices.empty()) {
            return -1;
        }
        const int choice = choices.front();
        choices.pop_front();
        return choice;
    }

    // What a backend reports, as it reports it: to the sink of the moment.
    void Press(TrayButton button) {
        if (sink) {
            sink->TrayActivated(button);
        }
    }
    void HostRestarted() {
        if (sink) {
            sink->TrayHostRestarted();
        }
    }
};

class FakeScreenGeometry : public ScreenGeometryPort {
public:
    Rect window{100, 100, 400, 300};  // 300 x 200
    Rect taskbar;
    Rect work{0, 0, 1280, 1024};
    std::int32_t cx = 1280;
    std::int32_t cy = 1024;
    Rect WindowRect() override { return window; }
    Rect TaskbarRect() override { return taskbar; }
    std::int32_t ScreenWidth() override { return cx; }
    std::int32_t ScreenHeight() override { return cy; }
    Rect WorkArea() override { return work; }
};

}  // namespace qv::test
