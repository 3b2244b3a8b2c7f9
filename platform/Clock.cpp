#include "platform/Clock.h"
#include "platform/NumericText.h"

namespace tamblor {

Clock::Clock()
{
    // Weekday names and numbers are shown the English way unless a locale is set.
    const QLocale sys = QLocale::system();
    locale_ = sys.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : sys;
    steady_.start();
}

qint64 Clock::steadyMs() const
{
    return fixed_ ? fixedSteady_ : steady_.elapsed();
}

QDateTime Clock::now() const
{
    return fixed_ ? *fixed_ : QDateTime::currentDateTime();
}

void Clock::setFixed(std::optional<QDateTime> fixed)
{
    // Fixed for the first time, the steady clock starts at the fixed time; fixed again (the
    // wall clock stepped), it stays where it is.
    if (fixed && !fixed_)
        fixedSteady_ = fixed->toMSecsSinceEpoch();
    fixed_ = std::move(fixed);
}

void Clock::advance(qint64 milliseconds)
{
    if (fixed_) {
        fixed_ = fixed_->addMSecs(milliseconds);
        fixedSteady_ += milliseconds;
    }
}

int Clock::secondsSinceMidnight() const
{
    // The system timer's fraction is rounded, halves to even (08:07:51.6 is 29272).
    return int(roundHalfEven(now().time().msecsSinceStartOfDay() / 1000.0));
}

QString Clock::dateSeparator() const
{
    const QString fmt = locale_.dateFormat(QLocale::ShortFormat);
    for (QChar c : fmt) {
        if (c == '/' || c == '.' || c == '-')
            return QString(c);
    }
    return QStringLiteral("/");
}

} // namespace tamblor
