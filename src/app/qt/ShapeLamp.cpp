#include "app/qt/ShapeLamp.h"

#include <QPainter>

namespace qv {

ShapeLamp::ShapeLamp(QWidget* parent) : QWidget(parent) {}

void ShapeLamp::SetFillColor(const QColor& color) {
    if (color != fill_) {
        fill_ = color;
        update();
    }
}

void ShapeLamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(fill_);
    const int d = std::min(width(), height()) - 2;
    p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
}

}  // namespace qv
