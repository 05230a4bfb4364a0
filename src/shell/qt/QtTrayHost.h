#pragma once
// The notification-area backend over QSystemTrayIcon. Icon activations are
// turned into the icon's callback messages (callback message, wParam = icon
// id, lParam = mouse message) and delivered to the owner window through
// WindowProcs, so they reach clsTray through the router like on Windows:
//   left click    -> 0x201, 0x202     double click -> 0x203, 0x202
//   right click   -> 0x204, 0x205     middle click -> 0x207, 0x208
// When the X11 tray host (the owner of _NET_SYSTEM_TRAY_S<n>) announces
// itself anew, every owner window gets the "TaskbarCreated" message.

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSystemTrayIcon>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "shell/WindowProcs.h"
#include "shell/clsTray.h"

namespace qv {

class TrayManagerWatch;

class QtTrayHost final : public QObject, public NotifyIconPort {
    Q_OBJECT
public:
    // `procs` must outlive the host.
    explicit QtTrayHost(WindowProcs& procs, QObject* parent = nullptr);
    ~QtTrayHost() override;

    // Makes an icon image known and returns its handle for clsTray::SetIcon.
    IconHandle AddIconImage(const QIcon& icon);

    bool ShellNotifyIcon(NotifyIconOp op, const NotifyIconData& data) override;

    // Starts watching the X11 tray host for restarts; false when that is not
    // possible (not on X11, no display). Qt re-embeds shown icons by itself;
    // the watch adds the "TaskbarCreated" message on top.
    bool StartRestartWatch();
    // Sends "TaskbarCreated" to every window that has an icon.
    void BroadcastTaskbarCreated();

    // Screen geometry of a shown icon (the first one); nullopt when none is
    // shown or the platform does not tell.
    std::optional<QRect> IconGeometry() const;
    // The Qt icon for (hWnd, uID); nullptr when there is none.
    QSystemTrayIcon* TrayIcon(WindowHandle hWnd, std::uintptr_t uID) const;

signals:
    // The tray host announced itself (after a restart, or the first time).
    void trayHostRestarted();

private:
    using Key = std::pair<WindowHandle, std::uintptr_t>;
    struct Entry {
        QPointer<QSystemTrayIcon> icon;
        MessageId callbackMessage = 0;
    };
    void OnActivated(Key key, QSystemTrayIcon::ActivationReason reason);
    void Deliver(const Key& key, LParam mouseMessage);

    WindowProcs& mProcs;
    std::map<Key, Entry> mIcons;
    std::map<IconHandle, QIcon> mImages;
    IconHandle mNextImage = 1;
    std::unique_ptr<TrayManagerWatch> mWatch;
};

}  // namespace qv
