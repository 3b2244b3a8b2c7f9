#pragma once
// A slider 0..MaxValue. positionChanged fires on every change, and also whenever a program
// sets the position (even to the same value), so a window refreshes its label that way;
// movedByUser fires only for the operator's own mouse, wheel and key moves.
#include <QWidget>
#include <algorithm>

namespace tamblor::audio {

class Slider : public QWidget {
    Q_OBJECT
public:
    explicit Slider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

    int position() const { return position_; }
    void setPosition(int position); // clamped to 0..maxValue
    int maxValue() const { return max_; }
    void setMaxValue(int max);
    Qt::Orientation orientation() const { return orientation_; }
    void setOrientation(Qt::Orientation orientation);

    // The position under a point of the widget (vertical: the top is maxValue).
    int positionAt(const QPoint& point) const;
    QSize sizeHint() const override;
    // The groove's full breadth and room for the thumb to travel.
    QSize minimumSizeHint() const override;

signals:
    void positionChanged(int position);
    void movedByUser(int position);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    void moveByUser(int position);
    int step() const { return std::max(1, max_ / 100); }
    QRect grooveRect() const;

    Qt::Orientation orientation_;
    int position_ = 0;
    int max_ = 100;
    bool dragging_ = false;
};

} // namespace tamblor::audio
