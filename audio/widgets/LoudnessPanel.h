#pragma once
// A loudness meter in EBU mode: momentary and short-term loudness as bars on the EBU +9 scale
// (-41 to -14 LUFS) or the +18 scale (-59 to -5 LUFS), each with a mark at its maximum; the
// integrated loudness and the loudness range as numbers with the time they cover; the true
// peak with a light that goes on above a ceiling (it stays on until the meter is reset, as the
// peak it shows does); the maximum momentary and short-term values; a reset. It shows what it
// is given and measures nothing itself.
#include "audio/loudness/LoudnessEngine.h"
#include <QWidget>
#include <limits>

class QLabel;
class QPushButton;

namespace tamblor::audio {

// The two bars and their scale.
class LoudnessBars : public QWidget {
    Q_OBJECT
public:
    static constexpr double kTargetLufs = -23.0;

    explicit LoudnessBars(QWidget* parent = nullptr);
    // 9 or 18: the LU above the target at the top of the scale (twice as many below).
    void setScale(int scale);
    int scale() const { return scale_; }
    double bottomLufs() const { return kTargetLufs - 2.0 * scale_; }
    double topLufs() const { return kTargetLufs + scale_; }
    // The values shown, in LUFS (-inf for none).
    void setValues(double momentary, double shortTerm, double maxMomentary, double maxShortTerm);
    double momentary() const { return momentary_; }
    double shortTerm() const { return shortTerm_; }
    // The colour a bar has at `lufs`.
    static QColor colourAt(double lufs);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int scale_ = 9;
    double momentary_;
    double shortTerm_;
    double maxMomentary_;
    double maxShortTerm_;
};

class LoudnessPanel : public QWidget {
    Q_OBJECT
public:
    explicit LoudnessPanel(QWidget* parent = nullptr);

    void setScale(int scale);
    void setCeiling(double dbtp);
    double ceiling() const { return ceiling_; }
    // The figures of a running meter; `live` false: the source has stopped, the bars fall to
    // nothing and the numbers stay to be read.
    void showReading(const LoudnessReading& reading, bool live = true);
    bool isOverCeiling() const { return over_; }

    // "-23.0", or "--.-" for nothing heard.
    static QString lufsText(double lufs);
    // "00:45", "1:02:05".
    static QString coveredText(double seconds);

    LoudnessBars* bars = nullptr;
    QLabel* lblMomentary = nullptr;
    QLabel* lblShortTerm = nullptr;
    QLabel* lblIntegrated = nullptr;
    QLabel* lblRange = nullptr;
    QLabel* lblCovered = nullptr;
    QLabel* lblTruePeak = nullptr;
    QLabel* ledTruePeak = nullptr;
    QLabel* lblMaxMomentary = nullptr;
    QLabel* lblMaxShortTerm = nullptr;
    QPushButton* cmdReset = nullptr;

signals:
    void resetClicked();

private:
    void showLight();

    double ceiling_ = -1.0;
    double truePeak_ = -std::numeric_limits<double>::infinity(); // the highest shown since the reset
    bool over_ = false;
};

} // namespace tamblor::audio
