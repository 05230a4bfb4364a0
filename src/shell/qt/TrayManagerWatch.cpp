#include "shell/qt/TrayManagerWatch.h"

#include <string>

#include "common/DebugLog.h"

#ifdef QUORVANE_HAVE_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace qv {

#ifdef QUORVANE_HAVE_X11
struct TrayManagerWatch::Connection {
    Display* display = nullptr;
    Atom manager = None;
    Atom selection = None;
    ~Connection() {
        if (display) {
            XCloseDisplay(display);
        }
    }
};
#else
struct TrayManagerWatch::Connection {};
#endif

TrayManagerWatch::TrayManagerWatch(QObject* parent) : QObject(parent) {}

TrayManagerWatch::~TrayManagerWatch() {
    // The notifier watches the connection's descriptor: drop it first.
    notifier_.reset();
    x_.reset();
}

bool TrayManagerWatch::Start() {
#ifdef QUORVANE_HAVE_X11
    auto x = std::make_unique<Connection>();
    x->display = XOpenDisplay(nullptr);
    if (!x->display) {
        DebugLog("XOpenDisplay failed: no tray restart watch");
        return false;
    }
    const int screen = DefaultScreen(x->display);
    const std::string selectionName = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    x->manager = XInternAtom(x->display, "MANAGER", False);
    x->selection = XInternAtom(x->display, selectionName.c_str(), False);
    if (x->manager == None || x->selection == None) {
        DebugLog("XInternAtom failed: no tray restart watch");
        return false;
    }
    // MANAGER is sent to the root window with StructureNotifyMask.
    XSelectInput(x->display, RootWindow(x->display, screen), StructureNotifyMask);
    XFlush(x->display);
    notifier_ =
        std::make_unique<QSocketNotifier>(ConnectionNumber(x->display), QSocketNotifier::Read);
    x_ = std::move(x);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TrayManagerWatch::OnReadable);
    return true;
#else
    return false;
#endif
}

void TrayManagerWatch::OnReadable() {
#ifdef QUORVANE_HAVE_X11
    if (!x_) {
        return;
    }
    bool appeared = false;
    while (XPending(x_->display) > 0) {
        XEvent event;
        XNextEvent(x_->display, &event);
        if (event.type == ClientMessage && event.xclient.message_type == x_->manager &&
            static_cast<Atom>(event.xclient.data.l[1]) == x_->selection) {
            appeared = true;
        }
    }
    if (appeared) {
        emit ManagerAppeared();
    }
#endif
}

}  // namespace qv
