#include "audio/widgets/LoudnessPanel.h"
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace tamblor::audio {

namespace {

constexpr double kNone = -std::numeric_limits<double>::infinity();
constexpr int kBarWidth = 16;
constexpr int kGap = 4;
const QColor kLightOff(96, 0, 0);
const QColor kLightOn(255, 0, 0);

QLabel* namedLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    return label;
}

} // namespace

LoudnessBars::LoudnessBars(QWidget* parent)
    : QWidget(parent), momentary_(kNone), shortTerm_(kNone), maxMomentary_(kNone), maxShortTerm_(kNone)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

void LoudnessBars::setScale(int scale)
{
    scale_ = scale == 18 ? 18 : 9;
    update();
}

void LoudnessBars::setValues(double momentary, double shortTerm, double maxMomentary, double maxShortTerm)
{
    momentary_ = momentary;
    shortTerm_ = shortTerm;
    maxMomentary_ = maxMomentary;
    maxShortTerm_ = maxShortTerm;
    update();
}

QColor LoudnessBars::colourAt(double lufs)
{
    if (lufs > kTargetLufs + 5.0)
        return QColor(230, 0, 0);
    if (lufs > kTargetLufs + 1.0)
        return QColor(255, 170, 0);
    if (lufs >= kTargetLufs - 1.0)
        return QColor(0, 230, 0);
    return QColor(0, 150, 0);
}

QSize LoudnessBars::sizeHint() const { return {minimumSizeHint().width(), 220}; }

QSize LoudnessBars::minimumSizeHint() const
{
    const int labels = fontMetrics().horizontalAdvance("-59") + 6;
    return {labels + 2 * kBarWidth + 2 * kGap, 13 * fontMetrics().height() / 2 + 8};
}

void LoudnessBars::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    const int labels = fm.horizontalAdvance("-59") + 6;
    const int top = fm.height() / 2;
    const int bottom = height() - fm.height() - 2; // room for the bars' captions below
    const double span = topLufs() - bottomLufs();
    auto yOf = [&](double lufs) {
        const double f = std::clamp((lufs - bottomLufs()) / span, 0.0, 1.0);
        return bottom - int(std::lround(f * (bottom - top)));
    };

    // The scale: a mark every 3 LU (+9) or 6 LU (+18), the target drawn across the bars.
    const int step = scale_ == 18 ? 6 : 3;
    p.setPen(palette().color(QPalette::WindowText));
    for (int lufs = int(topLufs()); lufs >= int(bottomLufs()); lufs -= step) {
        const int y = yOf(lufs);
        p.drawText(QRect(0, y - fm.height() / 2, labels - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(lufs));
    }
    const double values[2] = {momentary_, shortTerm_};
    const char* const captions[2] = {"M", "S"};
    const double maxima[2] = {maxMomentary_, maxShortTerm_};
    for (int i = 0; i < 2; ++i) {
        const int x = labels + kGap + i * (kBarWidth + kGap);
        const QRect well(x, top, kBarWidth, bottom - top);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(x - kGap, bottom + 2, kBarWidth + 2 * kGap, fm.height()), Qt::AlignCenter, captions[i]);
        p.fillRect(well, QColor(24, 24, 24));
        if (values[i] > bottomLufs()) {
            // The bar in the colours of the zones it reaches.
            for (double from = bottomLufs(); from < values[i]; from += 1.0) {
                const double to = std::min(values[i], from + 1.0);
                p.fillRect(QRect(x, yOf(to), kBarWidth, yOf(from) - yOf(to)), colourAt(to));
            }
        }
        if (maxima[i] > bottomLufs()) {
            p.fillRect(QRect(x, yOf(maxima[i]) - 1, kBarWidth, 2), Qt::white);
        }
        for (int lufs = int(topLufs()); lufs >= int(bottomLufs()); lufs -= step)
            p.fillRect(QRect(x, yOf(lufs), 3, 1), QColor(160, 160, 160));
    }
    p.setPen(QPen(QColor(0, 170, 255), 1));
    const int target = yOf(kTargetLufs);
    p.drawLine(labels + 1, target, labels + kGap + 2 * (kBarWidth + kGap) - 1, target);
}

LoudnessPanel::LoudnessPanel(QWidget* parent) : QWidget(parent)
{
    bars = new LoudnessBars(this);
    bars->setObjectName("LoudnessBars");
    bars->setToolTip("Momentary (M) and short-term (S) loudness in LUFS; the line is the target, -23 LUFS");
    lblMomentary = namedLabel(this, "lblMomentary");
    lblShortTerm = namedLabel(this, "lblShortTerm");
    lblIntegrated = namedLabel(this, "lblIntegrated");
    lblIntegrated->setToolTip("Integrated loudness since the start");
    lblRange = namedLabel(this, "lblRange");
    lblRange->setToolTip("Loudness range since the start");
    lblCovered = namedLabel(this, "lblCovered");
    lblCovered->setToolTip("The time the integrated loudness and the range cover");
    lblTruePeak = namedLabel(this, "lblTruePeak");
    ledTruePeak = namedLabel(this, "ledTruePeak");
    ledTruePeak->setFixedSize(14, 14);
    ledTruePeak->setAutoFillBackground(true);
    lblMaxMomentary = namedLabel(this, "lblMaxMomentary");
    lblMaxShortTerm = namedLabel(this, "lblMaxShortTerm");
    cmdReset = new QPushButton("Reset", this);
    cmdReset->setObjectName("cmdLoudnessReset");
    cmdReset->setToolTip("Start the loudness figures afresh");
    QFont bold = lblIntegrated->font();
    bold.setBold(true);
    for (QLabel* l : {lblMomentary, lblShortTerm, lblIntegrated, lblTruePeak})
        l->setFont(bold);
    // Room for the widest figure each can show, so the panel keeps its size as they change.
    const std::pair<QLabel*, const char*> widest[] = {
        {lblMomentary, "M -88.8"},         {lblShortTerm, "S -88.8"},       {lblMaxMomentary, "Max M -88.8"},
        {lblMaxShortTerm, "Max S -88.8"},  {lblIntegrated, "I -88.8 LUFS"}, {lblRange, "LRA 88.8 LU"},
        {lblCovered, "over 88:88:88"},     {lblTruePeak, "TP -88.8 dBTP"}};
    for (const auto& [label, text] : widest)
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* barRow = new QHBoxLayout;
    barRow->addWidget(bars);
    auto* now = new QVBoxLayout;
    now->addWidget(lblMomentary);
    now->addWidget(lblShortTerm);
    now->addStretch();
    now->addWidget(lblMaxMomentary);
    now->addWidget(lblMaxShortTerm);
    barRow->addLayout(now);
    layout->addLayout(barRow, 1);
    layout->addWidget(lblIntegrated);
    layout->addWidget(lblRange);
    layout->addWidget(lblCovered);
    auto* peakRow = new QHBoxLayout;
    peakRow->addWidget(lblTruePeak);
    peakRow->addWidget(ledTruePeak);
    peakRow->addStretch();
    layout->addLayout(peakRow);
    layout->addWidget(cmdReset);

    connect(cmdReset, &QPushButton::clicked, this, &LoudnessPanel::resetClicked);
    setCeiling(ceiling_);
    showReading({kNone, kNone, kNone, kNone, kNone, 0.0, kNone, kNone, 0.0}, false);
}

void LoudnessPanel::setScale(int scale) { bars->setScale(scale); }

void LoudnessPanel::setCeiling(double dbtp)
{
    ceiling_ = dbtp;
    ledTruePeak->setToolTip(QStringLiteral("Lit once the true peak has passed %1 dBTP").arg(dbtp, 0, 'f', 1));
    over_ = std::isfinite(truePeak_) && truePeak_ > ceiling_;
    showLight();
}

QString LoudnessPanel::lufsText(double lufs)
{
    if (!std::isfinite(lufs) || lufs < -99.9)
        return QStringLiteral("--.-");
    const QString text = QString::number(lufs, 'f', 1);
    return text == "-0.0" ? QStringLiteral("0.0") : text;
}

QString LoudnessPanel::coveredText(double seconds)
{
    const long s = std::lround(std::max(seconds, 0.0));
    if (s >= 3600)
        return QString::asprintf("%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return QString::asprintf("%02ld:%02ld", s / 60, s % 60);
}

void LoudnessPanel::showReading(const LoudnessReading& r, bool live)
{
    if (live)
        bars->setValues(r.momentaryLufs, r.shortTermLufs, r.maxMomentaryLufs, r.maxShortTermLufs);
    else
        bars->setValues(kNone, kNone, r.maxMomentaryLufs, r.maxShortTermLufs);
    lblMomentary->setText("M " + lufsText(live ? r.momentaryLufs : kNone));
    lblShortTerm->setText("S " + lufsText(live ? r.shortTermLufs : kNone));
    lblMaxMomentary->setText("Max M " + lufsText(r.maxMomentaryLufs));
    lblMaxShortTerm->setText("Max S " + lufsText(r.maxShortTermLufs));
    lblIntegrated->setText("I " + lufsText(r.integratedLufs) + " LUFS");
    lblRange->setText("LRA " + (std::isfinite(r.integratedLufs) ? QString::number(r.rangeLu, 'f', 1) : "--.-") + " LU");
    lblCovered->setText("over " + coveredText(r.seconds));
    lblTruePeak->setText("TP " + lufsText(r.truePeakDbtp) + " dBTP");
    truePeak_ = r.truePeakDbtp;
    const bool over = std::isfinite(r.truePeakDbtp) && r.truePeakDbtp > ceiling_;
    if (over != over_) {
        over_ = over;
        showLight();
    }
}

void LoudnessPanel::showLight()
{
    QPalette pal = ledTruePeak->palette();
    pal.setColor(QPalette::Window, over_ ? kLightOn : kLightOff);
    ledTruePeak->setPalette(pal);
}

} // namespace tamblor::audio
