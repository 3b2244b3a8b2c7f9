#include "audio/widgets/Gauge.h"
#include <QPainter>
#include <algorithm>

namespace tamblor::audio {

Gauge::Gauge(QWidget* parent) : QWidget(parent) {}

void Gauge::setValue(int percent)
{
    value_ = std::clamp(percent, 0, 100);
    update();
}

void Gauge::setCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

QString Gauge::text() const { return caption_ + QString::number(value_) + QLatin1Char('%'); }

void Gauge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    p.fillRect(QRect(0, 0, width() * value_ / 100, height()), QColor(0, 0, 160));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    // Text readable on both the bar and the empty part.
    p.setPen(Qt::gray);
    p.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace tamblor::audio
