#pragma once
// One 39-byte record of the sound file index, four fixed-width text fields.
// Texts are stored left-aligned, padded with blanks and cut at the width, one byte per
// character in the code page of the studio machine (Windows-1252; a character outside it is
// stored as one "?").
#include "platform/CodePage.h"
#include <QByteArray>
#include <QString>

namespace tamblor {

struct IndexRecord {
    static constexpr int StatusWidth = 1;
    static constexpr int SoundNameWidth = 25;
    static constexpr int LengthTextWidth = 5;
    static constexpr int RecordDateWidth = 8;
    static constexpr int Size = StatusWidth + SoundNameWidth + LengthTextWidth + RecordDateWidth;

    // Always exactly their widths; use setField to assign.
    QString Status = QString(StatusWidth, ' ');
    QString SoundName = QString(SoundNameWidth, ' ');
    QString LengthText = QString(LengthTextWidth, ' ');
    QString RecordDate = QString(RecordDateWidth, ' ');

    // Pads with blanks or cuts to the width, holding only what the code page can store.
    static QString fit(const QString& text, int width)
    {
        const QString kept = codepage::representable(text);
        return kept.size() >= width ? kept.left(width) : kept + QString(width - kept.size(), ' ');
    }
    static void setField(QString& field, const QString& text, int width) { field = fit(text, width); }

    void setStatus(const QString& t) { setField(Status, t, StatusWidth); }
    void setSoundName(const QString& t) { setField(SoundName, t, SoundNameWidth); }
    void setLengthText(const QString& t) { setField(LengthText, t, LengthTextWidth); }
    void setRecordDate(const QString& t) { setField(RecordDate, t, RecordDateWidth); }

    bool isUsed() const { return Status == QLatin1String("1"); }
    bool isReserved() const { return Status == QLatin1String("2"); }

    QByteArray toBytes() const
    {
        QByteArray out;
        out.reserve(Size);
        for (const QString* f : {&Status, &SoundName, &LengthText, &RecordDate})
            out += codepage::toBytes(*f);
        return out;
    }

    static IndexRecord fromBytes(const QByteArray& bytes)
    {
        const QByteArray b = bytes.leftJustified(Size, '\0', true);
        IndexRecord r;
        int at = 0;
        auto take = [&](int width) {
            QString s = codepage::toText(b.constData() + at, width);
            at += width;
            return s;
        };
        r.Status = take(StatusWidth);
        r.SoundName = take(SoundNameWidth);
        r.LengthText = take(LengthTextWidth);
        r.RecordDate = take(RecordDateWidth);
        return r;
    }
};

} // namespace tamblor
