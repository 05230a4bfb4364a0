#include "app/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace qv {

QIcon MakeAppIcon() {
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        // The handset
        p.setPen(QPen(QColor(40, 40, 40), s / 16.0));
        p.setBrush(QColor(70, 90, 120));
        p.drawRoundedRect(QRectF(s * 0.28, s * 0.06, s * 0.44, s * 0.88), s * 0.1, s * 0.1);
        // The infrared window and two buttons
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QRectF(s * 0.42, s * 0.14, s * 0.16, s * 0.12));
        p.setBrush(QColor(230, 230, 230));
        p.drawEllipse(QRectF(s * 0.36, s * 0.42, s * 0.12, s * 0.12));
        p.drawEllipse(QRectF(s * 0.52, s * 0.42, s * 0.12, s * 0.12));
        p.drawEllipse(QRectF(s * 0.44, s * 0.62, s * 0.12, s * 0.12));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace qv
