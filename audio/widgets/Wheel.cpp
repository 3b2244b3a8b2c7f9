#include "audio/widgets/Wheel.h"
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tamblor::audio {

Wheel::Wheel(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }

void Wheel::setValue(int value)
{
    value = std::clamp(value, 0, max_);
    if (value == value_)
        return;
    value_ = value;
    update();
    emit valueChanged(value_);
}

void Wheel::setMaxValue(int max)
{
    max_ = std::max(0, max);
    setValue(value_);
}

void Wheel::setRadius(int radius)
{
    radius_ = std::max(4, radius);
    updateGeometry();
    update();
}

QSize Wheel::sizeHint() const { return {radius_ + 8, 2 * radius_ + 8}; }

void Wheel::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    dragging_ = true;
    dragStartY_ = int(e->position().y());
    dragStartValue_ = value_;
}

void Wheel::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_)
        return;
    // Up turns the value up.
    const int steps = (dragStartY_ - int(e->position().y())) / kPixelsPerStep;
    setValue(dragStartValue_ + steps);
}

void Wheel::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void Wheel::wheelEvent(QWheelEvent* e)
{
    const int notches = e->angleDelta().y() / 120;
    setValue(value_ + notches);
    e->accept();
}

void Wheel::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Up)
        setValue(value_ + 1);
    else if (e->key() == Qt::Key_Down)
        setValue(value_ - 1);
    else
        QWidget::keyPressEvent(e);
}

void Wheel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body = QRectF(rect()).adjusted(2, 2, -2, -2);
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, QColor(60, 60, 60));
    shade.setColorAt(0.5, QColor(200, 200, 200));
    shade.setColorAt(1, QColor(60, 60, 60));
    p.setPen(Qt::black);
    p.setBrush(shade);
    p.drawRoundedRect(body, 3, 3);
    // Ridges that move with the value, seen on a cylinder of the given radius.
    p.setPen(QColor(40, 40, 40));
    const double cy = body.center().y(), r = body.height() / 2;
    for (int k = 0; k < 12; ++k) {
        const double angle = (k * 30.0 + value_ * 12.0) * M_PI / 180.0;
        if (std::cos(angle) <= 0)
            continue; // the far side of the wheel
        const double y = cy - r * std::sin(angle);
        p.drawLine(QPointF(body.left() + 2, y), QPointF(body.right() - 2, y));
    }
}

} // namespace tamblor::audio
