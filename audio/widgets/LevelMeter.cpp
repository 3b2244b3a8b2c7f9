#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/LevelScale.h"
#include <QPainter>
#include <algorithm>

namespace tamblor::audio {

LevelMeter::LevelMeter(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), orientation_(orientation), displayDb_(kMeterFloorDb), holdDb_(kMeterFloorDb)
{
    steady_.start();
    now_ = [this] { return steady_.elapsed(); };
    last_ = now_();
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        catchUp();
        update();
    });
}

void LevelMeter::setTimeSource(TimeSource now)
{
    catchUp();
    const qint64 holdLeft = std::max<qint64>(0, holdUntil_ - last_);
    now_ = std::move(now);
    last_ = now_();
    holdUntil_ = last_ + holdLeft;
}

void LevelMeter::setValue(int magnitude)
{
    catchUp();
    value_ = std::clamp(magnitude, 0, 32767);
    const double db = peakToDb(value_);
    if (db >= displayDb_)
        displayDb_ = db;
    if (db >= holdDb_) {
        holdDb_ = db;
        holdUntil_ = last_ + kHoldMs;
    }
    if (value_ >= 32767 && !clipped_) {
        clipped_ = true;
        emit clipChanged(true);
    }
    // A running fall-back timer is left alone: restarting it on every value would keep a meter
    // fed at its own tick rate from ever falling.
    if ((displayDb_ > kMeterFloorDb || holdDb_ > kMeterFloorDb) && !timer_.isActive())
        timer_.start();
    update();
}

void LevelMeter::catchUp()
{
    const qint64 now = now_();
    if (now <= last_)
        return; // a clock set back holds the meter rather than lifting it
    const double fall = kFallDbPerSecond * double(now - last_) / 1000.0;
    displayDb_ = std::max(kMeterFloorDb, displayDb_ - fall);
    // The hold mark stays until holdUntil_, then falls at the same rate as the bar.
    const qint64 fallMs = now - std::max(last_, std::min(now, holdUntil_));
    holdDb_ = std::max(displayDb_, holdDb_ - kFallDbPerSecond * double(fallMs) / 1000.0);
    last_ = now;
    if (displayDb_ <= kMeterFloorDb && holdDb_ <= kMeterFloorDb)
        timer_.stop();
}

double LevelMeter::displayDb()
{
    catchUp();
    return displayDb_;
}

double LevelMeter::peakHoldDb()
{
    catchUp();
    return holdDb_;
}

void LevelMeter::resetClip()
{
    if (!clipped_)
        return;
    clipped_ = false;
    emit clipChanged(false);
    update();
}

void LevelMeter::mousePressEvent(QMouseEvent*) { resetClip(); }

QSize LevelMeter::sizeHint() const
{
    return orientation_ == Qt::Vertical ? QSize(14, 150) : QSize(150, 14);
}

void LevelMeter::paintEvent(QPaintEvent*)
{
    catchUp();
    QPainter p(this);
    const bool vertical = orientation_ == Qt::Vertical;
    const int length = vertical ? height() : width();
    const int lamp = std::min(8, length / 10); // the clip light at the full-scale end
    const int barLength = length - lamp;
    p.fillRect(rect(), Qt::black);

    // Green up to -10 dB, yellow to -3 dB, red above.
    const auto at = [&](double db) { return int(meterFraction(db) * barLength); };
    const auto band = [&](int from, int to, const QColor& c) {
        if (to <= from)
            return;
        if (vertical)
            p.fillRect(0, height() - to, width(), to - from, c);
        else
            p.fillRect(from, 0, to - from, height(), c);
    };
    const int shown = at(displayDb_);
    band(0, std::min(shown, at(-10)), QColor(0, 200, 0));
    band(at(-10), std::min(shown, at(-3)), QColor(230, 210, 0));
    band(at(-3), shown, QColor(230, 0, 0));
    if (holdDb_ > kMeterFloorDb) {
        const int h = std::max(2, at(holdDb_));
        band(h - 2, h, Qt::white);
    }
    const QColor light = clipped_ ? QColor(255, 0, 0) : QColor(70, 0, 0);
    if (vertical)
        p.fillRect(0, 0, width(), lamp, light);
    else
        p.fillRect(width() - lamp, 0, lamp, height(), light);
}

} // namespace tamblor::audio
