#pragma once
// The program's clock and date conventions, injectable so tests can fix "now".
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QString>
#include <optional>

namespace tamblor {

class Clock {
public:
    Clock();

    QDateTime now() const;
    // Fixes "now" for tests; std::nullopt returns to the system clock.
    void setFixed(std::optional<QDateTime> fixed);
    // Moves a fixed clock on (no effect on the system clock).
    void advance(qint64 milliseconds);
    bool isFixed() const { return fixed_.has_value(); }

    // Milliseconds on a clock that never jumps, for meters and other ballistics; a fixed clock's
    // advance() moves it by as much, and setFixed() (a step of the wall clock) does not.
    qint64 steadyMs() const;

    // Seconds since midnight of today, rounded to a whole number (86400 in the last half second).
    int secondsSinceMidnight() const;

    const QLocale& locale() const { return locale_; }
    void setLocale(const QLocale& locale) { locale_ = locale; }
    // The separator of the locale's short date ("/" in the United States).
    QString dateSeparator() const;

private:
    std::optional<QDateTime> fixed_;
    QElapsedTimer steady_;
    qint64 fixedSteady_ = 0;
    QLocale locale_;
};

} // namespace tamblor
