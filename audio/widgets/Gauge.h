#pragma once
// A progress gauge 0..100 with a caption, shown as "caption value%" over the bar.
#include <QWidget>

namespace tamblor::audio {

class Gauge : public QWidget {
    Q_OBJECT
public:
    explicit Gauge(QWidget* parent = nullptr);

    int value() const { return value_; }
    void setValue(int percent); // clamped to 0..100
    QString caption() const { return caption_; }
    void setCaption(const QString& caption);
    // What the gauge shows: the caption followed by the value and "%" ("Scanning 42%").
    QString text() const;
    QSize sizeHint() const override { return {200, 22}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int value_ = 0;
    QString caption_;
};

} // namespace tamblor::audio
