#pragma once
#include "library/IndexRecord.h"
#include <QByteArray>
#include <QString>

// One 39-byte index record; the status is any character, as an index may hold ("0" and "x" are
// free, "1" used, "2" reserved).
inline QByteArray indexRecordBytes(const char* status, const QString& name = {}, const QString& length = {},
                                   const QString& date = {})
{
    tamblor::IndexRecord r;
    r.setSoundName(name);
    r.setLengthText(length);
    r.setRecordDate(date);
    QByteArray bytes = r.toBytes();
    bytes[0] = status[0];
    return bytes;
}
