#pragma once
// A record event as a value: what to record, when, from which input, into which slot, and what
// to do with the take afterwards. Times of day are local wall-clock times in whole seconds.
#include <QDate>
#include <QString>
#include <QTime>
#include <cstdint>
#include <optional>

namespace tamblor::schedule {

enum class EndKind {
    Length,    // the take lasts lengthSeconds
    TimeOfDay, // the take ends at `end`; an end not after the start is on the next day
};
enum class Destination {
    FirstFree, // the first free slot, named from nameTemplate
    FixedSlot, // one slot that each run replaces once the new take is complete and OK
};
enum class AfterRecording { Nothing, PeakNormalize, LoudnessNormalize };

struct RecordEvent {
    static constexpr int MaxSlot = 900;
    // The longest take: the index keeps a length in five characters.
    static constexpr int MaxSeconds = 99999;
    // Monday is bit 0, Sunday bit 6 (QDate::dayOfWeek() - 1).
    static constexpr int Weekdays = 0x1f;
    static constexpr int EveryDay = 0x7f;

    qint64 id = 0; // 0 until stored
    QString name;
    QTime start{0, 0};
    // The days of a weekly event; not used by a one-shot event.
    int weekdays = 0;
    // The day of a one-shot event (invalid for a weekly one). Afterwards it is kept as done.
    QDate date;
    EndKind endKind = EndKind::Length;
    int lengthSeconds = 0;
    QTime end{0, 0};
    // The input: recording device, format and channel mode in the preferences' terms; none means
    // "as the preferences are when the event starts".
    std::optional<int> device;
    std::optional<int> format;
    std::optional<int> channels;
    // The name of the card `device` numbered when it was chosen ("" when none was kept): the
    // card is found again by it when the numbers have moved.
    QString deviceName;
    Destination destination = Destination::FirstFree;
    // {name}, {date} ("07.12") and {time} ("17:00") of the scheduled start.
    QString nameTemplate = "{name}";
    int fixedSlot = 0;
    AfterRecording after = AfterRecording::Nothing;
    int peakPercent = 100;     // peak normalize: the peak's share of full scale
    double loudnessLufs = -23; // loudness normalize: the target
    double ceilingDbtp = -1;   // and the true-peak ceiling
    bool enabled = true;
    // When the event was stored last (ms since 1970, UTC); no run before it counts as missed.
    qint64 changedAtMs = 0;

    bool isOneShot() const { return date.isValid(); }
    // True when a weekly event runs on the day of the week (1 Monday .. 7 Sunday).
    bool runsOnWeekday(int dayOfWeek) const { return dayOfWeek >= 1 && dayOfWeek <= 7 && (weekdays >> (dayOfWeek - 1)) & 1; }
    static int weekdayBit(int dayOfWeek) { return 1 << (dayOfWeek - 1); }
    // The planned length of a take in seconds (an end at a time of day not after the start is
    // on the next day, so never 0 for it).
    int plannedSeconds() const
    {
        if (endKind == EndKind::Length)
            return lengthSeconds;
        const int d = start.secsTo(end);
        return d > 0 ? d : d + 24 * 3600;
    }

    // What keeps the event as it is stored from being run (a length of 0 or less, or longer
    // than the index can hold; a fixed slot with no slot; no day to run on); empty when it can
    // run. Such an event records nothing until it is repaired.
    QString problem() const;
    // True when a take of the event would be telephone quality: 8000 samples per second, or
    // mono, with the format and channels the preferences `defaultFormat` and `defaultChannels`
    // give where the event keeps none.
    bool recordsAt8kHz(int defaultFormat) const { return format.value_or(defaultFormat) == 0; }
    bool recordsMono(int defaultChannels) const { return channels.value_or(defaultChannels) == 0; }

    bool operator==(const RecordEvent&) const = default;
};

} // namespace tamblor::schedule
