#pragma once
// One slot of the sound file index as a value: its status and three fixed-width text fields.
// On disk a record is 39 bytes, the status character then the texts, each stored left-aligned,
// padded with blanks and cut at its width, one byte per character in the code page of the
// studio machine (Windows-1252; a character outside it is stored as one "?").
#include "platform/CodePage.h"
#include <QByteArray>
#include <QString>

namespace tamblor {

// "1" is a finished take, "2" a slot reserved by a take under way (or one that never
// finished); anything else is free, and a freed slot is written as "0".
enum class SlotStatus { Free, Used, Reserved };

struct IndexRecord {
    static constexpr int StatusWidth = 1;
    static constexpr int SoundNameWidth = 25;
    static constexpr int LengthTextWidth = 5;
    static constexpr int RecordDateWidth = 8;
    static constexpr int Size = StatusWidth + SoundNameWidth + LengthTextWidth + RecordDateWidth;

    SlotStatus Status = SlotStatus::Free;
    // Always exactly their widths; use the setters to assign.
    QString SoundName = QString(SoundNameWidth, ' ');
    QString LengthText = QString(LengthTextWidth, ' ');
    QString RecordDate = QString(RecordDateWidth, ' ');

    // Pads with blanks or cuts to the width, holding only what the code page can store.
    static QString fit(const QString& text, int width)
    {
        const QString kept = codepage::representable(text);
        return kept.size() >= width ? kept.left(width) : kept + QString(width - kept.size(), ' ');
    }

    void setSoundName(const QString& t) { SoundName = fit(t, SoundNameWidth); }
    void setLengthText(const QString& t) { LengthText = fit(t, LengthTextWidth); }
    void setRecordDate(const QString& t) { RecordDate = fit(t, RecordDateWidth); }

    bool isUsed() const { return Status == SlotStatus::Used; }
    bool isReserved() const { return Status == SlotStatus::Reserved; }
    bool isFree() const { return Status == SlotStatus::Free; }

    static char statusByte(SlotStatus s)
    {
        switch (s) {
        case SlotStatus::Used: return '1';
        case SlotStatus::Reserved: return '2';
        case SlotStatus::Free: break;
        }
        return '0';
    }
    static SlotStatus statusOf(char byte)
    {
        return byte == '1' ? SlotStatus::Used : byte == '2' ? SlotStatus::Reserved : SlotStatus::Free;
    }

    QByteArray toBytes() const
    {
        QByteArray out;
        out.reserve(Size);
        out += statusByte(Status);
        for (const QString* f : {&SoundName, &LengthText, &RecordDate})
            out += codepage::toBytes(*f);
        return out;
    }

    static IndexRecord fromBytes(const QByteArray& bytes)
    {
        const QByteArray b = bytes.leftJustified(Size, '\0', true);
        IndexRecord r;
        r.Status = statusOf(b.at(0));
        int at = StatusWidth;
        auto take = [&](int width) {
            QString s = codepage::toText(b.constData() + at, width);
            at += width;
            return s;
        };
        r.SoundName = take(SoundNameWidth);
        r.LengthText = take(LengthTextWidth);
        r.RecordDate = take(RecordDateWidth);
        return r;
    }

    bool operator==(const IndexRecord&) const = default;
};

} // namespace tamblor
