#pragma once
// Wave files for the editor's tests, written byte by byte, and a fixture with the editor open.
#include "editor/frmEditor.h"
#include "tests/support/AppFixture.h"
#include <QByteArray>
#include <cstdint>
#include <vector>

namespace edtest {

QByteArray le16(int v);
QByteArray le32(uint32_t v);
// A RIFF WAVE file with a 16-byte fmt chunk and the data as given. dataSizeField < 0 writes
// the real size of data into the data chunk's header.
QByteArray wav(int formatTag, int channels, int rate, int bits, const QByteArray& data,
               int64_t dataSizeField = -1);
// 16-bit little-endian samples.
QByteArray samples16(const std::vector<int16_t>& samples);
// A byte pattern that differs at every position within 64 KiB (for comparing cut files).
QByteArray pattern(int64_t size);

} // namespace edtest

class EditorTest : public AppTest {
protected:
    void SetUp() override;
    // Writes a file into c:\Tamblor and lists it.
    QString put(const QString& name, const QByteArray& bytes);
    // Chooses the file in the file list and loads it.
    void load(const QString& name);
    // Makes the display `columns` columns wide (before a load reads its size).
    void setColumns(int columns);

    tamblor::frmEditor* editor = nullptr;
};
