#pragma once
// Port for the program's notification-area icon: the application icon with a
// tooltip, a button pressed on it, the pop-up menu, and the tray host coming back.
// Qt's QSystemTrayIcon on Linux, Shell_NotifyIconW on Windows.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

enum class TrayButton : std::int16_t { Left = 1, Right = 2, Middle = 4 };

// One item of a pop-up menu.
struct TrayMenuItem {
    std::string caption;
    bool checkable = false;
    bool checked = false;
    // Runs when the item is chosen, before PopupMenu returns.
    std::function<void()> command;
};

// A pop-up menu; `defaultIndex` names the default (bold) item, -1 for none.
struct TrayMenu {
    std::vector<TrayMenuItem> items;
    int defaultIndex = -1;
};

// Receives what happens on the icon, on the GUI thread.
class TrayIconSink {
public:
    virtual ~TrayIconSink() = default;
    // The icon was activated with `button` (pressed on it; the second click of
    // a double click is no activation of its own).
    virtual void TrayActivated(TrayButton button) = 0;
    // The tray host (taskbar, notification area) started anew.
    virtual void TrayHostRestarted() = 0;
};

class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // Where events go; nullptr for nowhere. The sink's owner clears it before it ends.
    virtual void SetSink(TrayIconSink* sink) = 0;
    // Adds the icon with this tooltip (or changes the tooltip of a shown
    // icon); false when the tray host refused.
    virtual bool Show(std::string_view toolTip) = 0;
    // Removes the icon; harmless when not shown.
    virtual void Hide() = 0;
    // Shows `menu` at the mouse position (bringing the program forward as far
    // as the platform needs so the menu closes on a click elsewhere) and
    // waits until it closed; the chosen index, -1 when none was chosen. Does
    // not run the item's command.
    virtual int PopupMenu(const TrayMenu& menu) = 0;
};

}  // namespace qv
