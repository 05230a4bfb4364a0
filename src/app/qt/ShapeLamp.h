#pragma once
// The "HID Indicator" lamp: a filled circle whose fill colour the program sets.

#include <QColor>
#include <QWidget>

namespace qv {

class ShapeLamp : public QWidget {
public:
    explicit ShapeLamp(QWidget* parent = nullptr);
    // Sets the fill colour and repaints.
    void SetFillColor(const QColor& color);
    // The current fill colour.
    QColor FillColor() const { return fill_; }
    QSize sizeHint() const override { return {20, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_{255, 0, 0};  // red until a receiver is connected
};

}  // namespace qv
