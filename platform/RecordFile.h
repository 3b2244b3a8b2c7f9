#pragma once
// A random-access file of fixed-length records, numbered from 1.
// Opening creates the file when missing. A read past the end reports end of file (a partial
// last record counts as past the end); writing past the end extends the file, and the records
// skipped in between read as zero bytes. Every write goes straight to the file.
#include <QByteArray>
#include <QFile>
#include <QString>
#include "platform/Failure.h"

namespace tamblor {

class RecordFile {
public:
    RecordFile(QString nativePath, int recordLength);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens for reading and writing, creating the file; throws Failure on error.
    void open();
    void close();
    bool isOpen() const { return file_.isOpen(); }

    // Fills `record` with record n; false (end of file) when the record lies past the end.
    bool read(qint64 n, QByteArray& record);
    // Stores `record` (padded with zero bytes or cut to the record length) as record n.
    void write(qint64 n, const QByteArray& record);
    // Whole records the file holds.
    qint64 recordCount() const;
    bool eof() const { return eof_; }
    int recordLength() const { return length_; }
    const QString& path() const { return path_; }

private:
    Failure writeFailure() const;

    QString path_;
    int length_;
    QFile file_;
    bool eof_ = false;
};

} // namespace tamblor
