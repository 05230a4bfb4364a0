#pragma once
// The notification-area icon over QSystemTrayIcon (StatusNotifierItem or
// XEmbed), its pop-up menu as a QMenu, and on X11 a watch on the tray host
// that tells when a new one took over. Qt reports a click as one activation;
// the sink gets it as a press and a release of that button:
//   left click    -> Down Left, Up Left     double click -> DoubleClick Left, Up Left
//   right click   -> Down Right, Up Right   middle click -> Down Middle, Up Middle

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSystemTrayIcon>
#include <memory>
#include <optional>

#include "shell/TrayIcon.h"

namespace qv {

class TrayManagerWatch;

class QtTrayIcon final : public QObject, public TrayIcon {
    Q_OBJECT
public:
    // The icon shows `image`. On X11 (the xcb platform) it also watches the
    // tray host for restarts.
    explicit QtTrayIcon(const QIcon& image, QObject* parent = nullptr);
    ~QtTrayIcon() override;

    void SetSink(TrayIconSink* sink) override { sink_ = sink; }
    // False when no tray host is there yet; Qt embeds the icon once one comes.
    bool Show(std::string_view toolTip) override;
    void Hide() override;
    // A QMenu with the default item bold and the checkable items checked as
    // given, run modally at the mouse position.
    int PopupMenu(const TrayMenu& menu) override;

    // Tells the sink that the tray host started anew (the watch calls this).
    void NotifyTrayHostRestarted();
    // True while the X11 tray host is being watched.
    bool WatchingTrayHost() const { return watch_ != nullptr; }
    // The icon's rectangle on the screen; nullopt when it is not shown or the
    // platform does not tell.
    std::optional<QRect> IconGeometry() const;

    // The Qt icon and the menu being shown (nullptr when none), for tests
    // that drive them.
    QSystemTrayIcon& QtIcon() { return icon_; }
    QMenu* OpenMenu() const { return openMenu_; }

signals:
    // The tray host started anew (after the sink was told).
    void TrayHostRestarted();

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon icon_;
    TrayIconSink* sink_ = nullptr;
    std::unique_ptr<TrayManagerWatch> watch_;
    QPointer<QMenu> openMenu_;
};

}  // namespace qv
