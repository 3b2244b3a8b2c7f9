#include "audio/widgets/LedDigit.h"
#include <QPainter>

namespace tamblor::audio {

LedDigit::LedDigit(QWidget* parent) : QWidget(parent) {}

void LedDigit::setValue(int value)
{
    value_ = value;
    update();
}

void LedDigit::setLedColor(const QColor& color)
{
    color_ = color;
    update();
}

int LedDigit::segmentsOf(int value)
{
    static const int table[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    return value >= 0 && value <= 9 ? table[value] : 0;
}

int LedDigit::segments() const { return segmentsOf(value_); }

void LedDigit::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const int m = 3, w = width() - 2 * m, h = height() - 2 * m, t = std::max(2, w / 6);
    const int mid = m + h / 2;
    // a, b, c, d, e, f, g
    const QRect seg[7] = {
        QRect(m + t, m, w - 2 * t, t),              QRect(m + w - t, m + t, t, h / 2 - t),
        QRect(m + w - t, mid, t, h / 2 - t),        QRect(m + t, m + h - t, w - 2 * t, t),
        QRect(m, mid, t, h / 2 - t),                QRect(m, m + t, t, h / 2 - t),
        QRect(m + t, mid - t / 2, w - 2 * t, t)};
    const int lit = segments();
    const QColor dark = color_.darker(400);
    for (int i = 0; i < 7; ++i)
        p.fillRect(seg[i], (lit >> i) & 1 ? color_ : dark);
}

} // namespace tamblor::audio
