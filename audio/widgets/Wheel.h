#pragma once
// A thumb wheel for one value 0..MaxValue: dragged up or down with the mouse, turned with the
// mouse wheel or the arrow keys, or set by the program. valueChanged fires on every change.
#include <QWidget>

namespace tamblor::audio {

class Wheel : public QWidget {
    Q_OBJECT
public:
    // Mouse travel per step when dragging.
    static constexpr int kPixelsPerStep = 8;

    explicit Wheel(QWidget* parent = nullptr);

    int value() const { return value_; }
    void setValue(int value); // clamped to 0..maxValue
    int maxValue() const { return max_; }
    void setMaxValue(int max);
    int radius() const { return radius_; }
    void setRadius(int radius);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); } // a wheel is drawn whole or not at all

signals:
    void valueChanged(int value);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    int value_ = 0;
    int max_ = 9;
    int radius_ = 12;
    bool dragging_ = false;
    int dragStartY_ = 0;
    int dragStartValue_ = 0;
};

} // namespace tamblor::audio
