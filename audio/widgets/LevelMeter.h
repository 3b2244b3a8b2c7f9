#pragma once
// A peak level meter on a dBFS scale, with the ballistics of a broadcast peak meter: instant
// rise, a fall back of 20 dB in 1.7 s, a peak hold mark that stays for 2 s, and a clip light
// that a sample at full scale lights and only a click puts out. Fed with the peak magnitude
// (0..32767) of each buffer. The ballistics run on a time source rather than on timer ticks,
// so a late or missed tick never changes how fast the meter falls, and tests step the time.
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace tamblor::audio {

class LevelMeter : public QWidget {
    Q_OBJECT
public:
    static constexpr double kFallDbPerSecond = 20.0 / 1.7;
    static constexpr int kHoldMs = 2000;
    // How often the meter redraws while it falls.
    static constexpr int kTickMs = 25;
    // Milliseconds on a clock that only moves forward.
    using TimeSource = std::function<qint64()>;

    explicit LevelMeter(Qt::Orientation orientation = Qt::Vertical, QWidget* parent = nullptr);

    // Replaces the meter's own steady clock (windows hand over the program's clock).
    void setTimeSource(TimeSource now);

    // One buffer's peak magnitude 0..32767; full scale lights the clip light.
    void setValue(int magnitude);
    int value() const { return value_; }
    // What the meter shows, in dBFS (the floor is kMeterFloorDb), as of the time source's now.
    double displayDb();
    double peakHoldDb();
    bool isClipped() const { return clipped_; }
    void resetClip();

    QSize sizeHint() const override;

signals:
    void clipChanged(bool clipped);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override; // a click puts the clip light out

private:
    // Moves the bar and the hold mark on to the time source's now.
    void catchUp();

    Qt::Orientation orientation_;
    QTimer timer_;
    QElapsedTimer steady_;
    TimeSource now_;
    qint64 last_ = 0; // the time the ballistics stand at
    int value_ = 0;
    double displayDb_;
    double holdDb_;
    qint64 holdUntil_ = 0; // the hold mark starts to fall at this time
    bool clipped_ = false;
};

} // namespace tamblor::audio
