#pragma once
// A program over a fresh root with its sound library (not started), and index records as bytes.
// Header only: it needs the library, which the shared test support does not link.
#include "library/IndexRecord.h"
#include "library/SoundLibrary.h"
#include "tests/support/AppFixture.h"

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

class LibraryTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        library = std::make_unique<tamblor::SoundLibrary>(*app);
    }
    void TearDown() override
    {
        library.reset();
        AppTest::TearDown();
    }
    QString indexPath() const { return native("C/Tamblor/Schedule.dat"); }
    QByteArray indexBytes() const { return readAllBytes(indexPath()); }

    std::unique_ptr<tamblor::SoundLibrary> library;
};
