#pragma once
// Files for the editor's tests and a fixture with the editor open.
#include "editor/frmEditor.h"
#include "tests/support/AppFixture.h"
#include "tests/support/WavBytes.h"
#include <QByteArray>
#include <cstdint>

namespace edtest {

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
