#pragma once
// A peak level meter on a dBFS scale: instant rise, a broadcast-style fall back, a peak hold
// mark and a clip light. Fed with the peak magnitude (0..32767) of each buffer.
#include <QTimer>
#include <QWidget>

namespace tamblor::audio {

class LevelMeter : public QWidget {
    Q_OBJECT
public:
    // Fall back: 20 dB in 1.7 s, like a type I peak programme meter.
    static constexpr double kFallDbPerSecond = 20.0 / 1.7;
    static constexpr int kHoldMs = 1500;
    static constexpr int kTickMs = 25;

    explicit LevelMeter(Qt::Orientation orientation = Qt::Vertical, QWidget* parent = nullptr);

    // One buffer's peak magnitude 0..32767; full scale lights the clip indication.
    void setValue(int magnitude);
    int value() const { return value_; }
    // What the meter shows, in dBFS (the floor is kMeterFloorDb).
    double displayDb() const { return displayDb_; }
    double peakHoldDb() const { return holdDb_; }
    bool isClipped() const { return clipped_; }
    void resetClip();
    // Moves the ballistics on by ms; the meter's own timer calls this every kTickMs.
    void advance(int ms);

    QSize sizeHint() const override;

signals:
    void clipChanged(bool clipped);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override; // a click puts the clip light out

private:
    Qt::Orientation orientation_;
    QTimer timer_;
    int value_ = 0;
    double displayDb_;
    double holdDb_;
    int holdLeftMs_ = 0;
    bool clipped_ = false;
};

} // namespace tamblor::audio
