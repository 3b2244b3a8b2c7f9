#pragma once
// The dBFS scale shared by the level meter and the scale drawn beside it.
#include <QWidget>

namespace tamblor::audio {

// The meters show -60 dBFS to 0 dBFS.
inline constexpr double kMeterFloorDb = -60.0;
// Where a level sits on the meter, 0 (floor) to 1 (full scale). The upper 20 dB take half
// the length, as on broadcast meters, so the working range is easy to read.
double meterFraction(double db);
// dBFS of a peak magnitude 0..32767 (0 gives the floor).
double peakToDb(int magnitude);

// Tick marks and labels for a level meter of the same orientation and length.
class LevelScale : public QWidget {
    Q_OBJECT
public:
    explicit LevelScale(Qt::Orientation orientation = Qt::Vertical, QWidget* parent = nullptr);
    // The marked levels, top (or right) first.
    static const QList<int>& marks();
    QSize sizeHint() const override;
    // Room for every label whole, and for neighbouring labels not to overlap.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont labelFont() const;

    Qt::Orientation orientation_;
};

} // namespace tamblor::audio
