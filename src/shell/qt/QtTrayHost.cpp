#include "shell/qt/QtTrayHost.h"

#include <set>
#include <vector>

#include "common/DebugLog.h"
#include "shell/qt/TrayManagerWatch.h"

namespace qv {

namespace {

constexpr std::uint32_t kNifIcon = 2;
constexpr std::uint32_t kNifTip = 4;

}  // namespace

QtTrayHost::QtTrayHost(WindowProcs& procs, QObject* parent) : QObject(parent), mProcs(procs) {}

QtTrayHost::~QtTrayHost() {
    mWatch.reset();
    for (auto& [key, entry] : mIcons) {
        delete entry.icon.data();  // children of this object, but gone before the map is
    }
    mIcons.clear();
}

IconHandle QtTrayHost::AddIconImage(const QIcon& icon) {
    const IconHandle handle = mNextImage++;
    mImages.emplace(handle, icon);
    return handle;
}

bool QtTrayHost::ShellNotifyIcon(NotifyIconOp op, const NotifyIconData& data) {
    const Key key{data.hWnd, data.uID};
    auto it = mIcons.find(key);
    if (it != mIcons.end() && !it->second.icon) {
        mIcons.erase(it);
        it = mIcons.end();
    }
    const auto image = mImages.find(data.hIcon);

    switch (op) {
        case NotifyIconOp::Add: {
            if (image == mImages.end()) {
                DebugLog("Shell_NotifyIcon(NIM_ADD): unknown icon image");
                return false;
            }
            if (it == mIcons.end()) {
                Entry entry;
                entry.icon = new QSystemTrayIcon(this);
                connect(entry.icon.data(), &QSystemTrayIcon::activated, this,
                        [this, key](QSystemTrayIcon::ActivationReason reason) {
                            OnActivated(key, reason);
                        });
                it = mIcons.emplace(key, entry).first;
            }
            // Adding an icon that is there already (after the tray host came
            // back) refreshes it; Qt embeds it into the new host by itself.
            it->second.callbackMessage = data.uCallbackMessage;
            it->second.icon->setIcon(image->second);
            it->second.icon->setToolTip(QString::fromUtf8(data.szTip.c_str()));
            if (!it->second.icon->isVisible()) {
                it->second.icon->show();
            }
            return true;
        }
        case NotifyIconOp::Modify:
            if (it == mIcons.end()) {
                return false;
            }
            if ((data.uFlags & kNifIcon) != 0 && image != mImages.end()) {
                it->second.icon->setIcon(image->second);
            }
            if ((data.uFlags & kNifTip) != 0) {
                it->second.icon->setToolTip(QString::fromUtf8(data.szTip.c_str()));
            }
            it->second.callbackMessage = data.uCallbackMessage;
            return true;
        case NotifyIconOp::Delete:
            if (it == mIcons.end()) {
                return false;
            }
            it->second.icon->hide();
            // The icon may be the sender of the activation being handled.
            it->second.icon->deleteLater();
            mIcons.erase(it);
            return true;
    }
    return false;
}

void QtTrayHost::OnActivated(Key key, QSystemTrayIcon::ActivationReason reason) {
    LParam down = 0;
    LParam up = 0;
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            down = kWmLButtonDown;
            up = kWmLButtonUp;
            break;
        case QSystemTrayIcon::DoubleClick:
            down = kWmLButtonDblClk;
            up = kWmLButtonUp;
            break;
        case QSystemTrayIcon::Context:
            down = kWmRButtonDown;
            up = kWmRButtonUp;
            break;
        case QSystemTrayIcon::MiddleClick:
            down = kWmMButtonDown;
            up = kWmMButtonUp;
            break;
        default:
            return;
    }
    Deliver(key, down);
    // The press may have deleted the icon (its menu can end the program).
    Deliver(key, up);
}

void QtTrayHost::Deliver(const Key& key, LParam mouseMessage) {
    auto it = mIcons.find(key);
    if (it == mIcons.end() || !it->second.icon) {
        return;
    }
    const MessageId message = it->second.callbackMessage;
    mProcs.Dispatch(key.first, message, static_cast<WParam>(key.second), mouseMessage);
}

bool QtTrayHost::StartRestartWatch() {
    auto watch = std::make_unique<TrayManagerWatch>();
    if (!watch->Start()) {
        return false;
    }
    connect(watch.get(), &TrayManagerWatch::managerAppeared, this, [this] {
        BroadcastTaskbarCreated();
        emit trayHostRestarted();
    });
    mWatch = std::move(watch);
    return true;
}

void QtTrayHost::BroadcastTaskbarCreated() {
    // Collect first: the windows' handling adds and deletes icons.
    std::set<WindowHandle> owners;
    for (const auto& [key, entry] : mIcons) {
        owners.insert(key.first);
    }
    const MessageId message = mProcs.RegisterMessage(kTaskbarCreatedName);
    for (WindowHandle hWnd : owners) {
        mProcs.Dispatch(hWnd, message, 0, 0);
    }
}

std::optional<QRect> QtTrayHost::IconGeometry() const {
    for (const auto& [key, entry] : mIcons) {
        if (entry.icon && entry.icon->isVisible()) {
            const QRect r = entry.icon->geometry();
            if (r.isValid() && !r.isEmpty()) {
                return r;
            }
        }
    }
    return std::nullopt;
}

QSystemTrayIcon* QtTrayHost::TrayIcon(WindowHandle hWnd, std::uintptr_t uID) const {
    auto it = mIcons.find(Key{hWnd, uID});
    return it == mIcons.end() ? nullptr : it->second.icon.data();
}

}  // namespace qv
