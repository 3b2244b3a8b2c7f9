#pragma once
// One seven-segment LED digit showing 0..9 (other values leave it dark).
#include <QColor>
#include <QWidget>

namespace tamblor::audio {

class LedDigit : public QWidget {
    Q_OBJECT
public:
    explicit LedDigit(QWidget* parent = nullptr);

    int value() const { return value_; }
    void setValue(int value);
    QColor ledColor() const { return color_; }
    void setLedColor(const QColor& color);
    // The lit segments, bit 0 = a (top) … bit 6 = g (middle), clockwise from the top.
    int segments() const;
    static int segmentsOf(int value);
    QSize sizeHint() const override { return {22, 36}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int value_ = 0;
    QColor color_ = Qt::red;
};

} // namespace tamblor::audio
