#include "audio/widgets/LevelScale.h"
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tamblor::audio {

double meterFraction(double db)
{
    if (db >= 0)
        return 1.0;
    if (db <= kMeterFloorDb)
        return 0.0;
    if (db >= -20)
        return 0.5 + 0.5 * (db + 20) / 20; // -20..0 dB: upper half
    return 0.5 * (db - kMeterFloorDb) / (-20 - kMeterFloorDb);
}

double peakToDb(int magnitude)
{
    if (magnitude <= 0)
        return kMeterFloorDb;
    return std::max(kMeterFloorDb, 20.0 * std::log10(std::min(magnitude, 32767) / 32767.0));
}

LevelScale::LevelScale(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), orientation_(orientation)
{
}

const QList<int>& LevelScale::marks()
{
    static const QList<int> m = {0, -3, -6, -10, -20, -30, -40, -60};
    return m;
}

QFont LevelScale::labelFont() const
{
    QFont f = font();
    f.setPointSizeF(std::max(6.0, f.pointSizeF() * 0.75));
    return f;
}

QSize LevelScale::minimumSizeHint() const
{
    const QFontMetrics fm(labelFont());
    int widest = 0;
    double closest = 1.0; // the least distance between two marks, as a part of the length
    for (qsizetype i = 0; i < marks().size(); ++i) {
        widest = std::max(widest, fm.horizontalAdvance(QString::number(marks()[i])));
        if (i > 0)
            closest = std::min(closest, meterFraction(marks()[i - 1]) - meterFraction(marks()[i]));
    }
    if (orientation_ == Qt::Vertical)
        return {6 + widest + 2, int(std::ceil(fm.height() / closest)) + 1};
    return {int(std::ceil((widest + 4) / closest)) + 1, 6 + fm.height()};
}

QSize LevelScale::sizeHint() const
{
    return (orientation_ == Qt::Vertical ? QSize(32, 150) : QSize(150, 20)).expandedTo(minimumSizeHint());
}

void LevelScale::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    const QFont f = labelFont();
    p.setFont(f);
    const QFontMetrics fm(f);
    for (int db : marks()) {
        const double t = meterFraction(db);
        const QString label = QString::number(db);
        if (orientation_ == Qt::Vertical) {
            const int y = int(std::lround((1 - t) * (height() - 1)));
            p.drawLine(0, y, 4, y);
            const int ty = std::clamp(y + fm.ascent() / 2, fm.ascent(), height() - 1);
            p.drawText(6, ty, label);
        } else {
            const int x = int(std::lround(t * (width() - 1)));
            p.drawLine(x, 0, x, 4);
            const int tx = std::clamp(x - fm.horizontalAdvance(label) / 2, 0,
                                      std::max(0, width() - fm.horizontalAdvance(label)));
            p.drawText(tx, height() - 2, label);
        }
    }
}

} // namespace tamblor::audio
