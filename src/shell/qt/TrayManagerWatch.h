#pragma once
// Watches the X11 system tray host. A tray host that takes the selection
// _NET_SYSTEM_TRAY_S<screen> announces itself with a MANAGER client message
// on the root window; that is how a restarted panel shows up. The watch uses
// its own X connection, read from the Qt event loop.

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace qv {

class TrayManagerWatch final : public QObject {
    Q_OBJECT
public:
    explicit TrayManagerWatch(QObject* parent = nullptr);
    ~TrayManagerWatch() override;

    // Opens the connection and starts watching; false when there is no X display.
    bool Start();

signals:
    // A tray host took the selection.
    void ManagerAppeared();

private:
    void OnReadable();

    struct Connection;
    std::unique_ptr<Connection> x_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace qv
