#include "audio/widgets/Slider.h"
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tamblor::audio {

namespace {
constexpr int kThumb = 10; // thumb thickness along the groove, pixels
}

Slider::Slider(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), orientation_(orientation)
{
    setFocusPolicy(Qt::StrongFocus);
}

void Slider::setPosition(int position)
{
    position_ = std::clamp(position, 0, max_);
    update();
    emit positionChanged(position_);
}

void Slider::setMaxValue(int max)
{
    max_ = std::max(0, max);
    if (position_ > max_)
        setPosition(max_);
    update();
}

void Slider::setOrientation(Qt::Orientation orientation)
{
    orientation_ = orientation;
    updateGeometry();
    update();
}

QRect Slider::grooveRect() const
{
    return orientation_ == Qt::Horizontal
               ? QRect(kThumb / 2, 0, std::max(1, width() - kThumb), height())
               : QRect(0, kThumb / 2, width(), std::max(1, height() - kThumb));
}

int Slider::positionAt(const QPoint& point) const
{
    const QRect g = grooveRect();
    const double t = orientation_ == Qt::Horizontal
                         ? double(point.x() - g.left()) / std::max(1, g.width() - 1)
                         : 1.0 - double(point.y() - g.top()) / std::max(1, g.height() - 1);
    return std::clamp(int(std::lround(t * max_)), 0, max_);
}

void Slider::moveByUser(int position)
{
    position = std::clamp(position, 0, max_);
    if (position == position_)
        return;
    position_ = position;
    update();
    emit positionChanged(position_);
    emit movedByUser(position_);
}

void Slider::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    dragging_ = true;
    moveByUser(positionAt(e->position().toPoint()));
}

void Slider::mouseMoveEvent(QMouseEvent* e)
{
    if (dragging_)
        moveByUser(positionAt(e->position().toPoint()));
}

void Slider::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void Slider::wheelEvent(QWheelEvent* e)
{
    const int notches = e->angleDelta().y() / 120;
    if (notches != 0)
        moveByUser(position_ + notches * step());
    e->accept();
}

void Slider::keyPressEvent(QKeyEvent* e)
{
    const int page = std::max(1, max_ / 10);
    switch (e->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right: moveByUser(position_ + step()); break;
    case Qt::Key_Down:
    case Qt::Key_Left: moveByUser(position_ - step()); break;
    case Qt::Key_PageUp: moveByUser(position_ + page); break;
    case Qt::Key_PageDown: moveByUser(position_ - page); break;
    case Qt::Key_Home: moveByUser(0); break;
    case Qt::Key_End: moveByUser(max_); break;
    default: QWidget::keyPressEvent(e); return;
    }
}

QSize Slider::sizeHint() const
{
    return orientation_ == Qt::Horizontal ? QSize(160, 22) : QSize(22, 160);
}

QSize Slider::minimumSizeHint() const
{
    return orientation_ == Qt::Horizontal ? QSize(60, 22) : QSize(22, 60);
}

void Slider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect g = grooveRect();
    const double t = max_ > 0 ? double(position_) / max_ : 0.0;
    // A slider that plays no part now is drawn as an outline in the disabled text colour, so
    // it does not look as if it could be moved.
    const bool enabled = isEnabled();
    const QColor thumb = enabled ? palette().color(QPalette::Button) : palette().color(QPalette::Window);
    p.setPen(enabled ? palette().color(QPalette::Mid) : palette().color(QPalette::Disabled, QPalette::Text));
    p.setBrush(enabled ? palette().color(QPalette::Base) : palette().color(QPalette::Window));
    if (orientation_ == Qt::Horizontal) {
        const int cy = height() / 2;
        p.drawRect(g.left(), cy - 2, g.width(), 4);
        const int x = g.left() + int(std::lround(t * (g.width() - 1)));
        p.setBrush(thumb);
        p.drawRect(x - kThumb / 2, 1, kThumb, height() - 3);
    } else {
        const int cx = width() / 2;
        p.drawRect(cx - 2, g.top(), 4, g.height());
        const int y = g.bottom() - int(std::lround(t * (g.height() - 1)));
        p.setBrush(thumb);
        p.drawRect(1, y - kThumb / 2, width() - 3, kThumb);
    }
}

} // namespace tamblor::audio
