#pragma once
// A fresh, empty TAMBLOR_ROOT for every test that derives from TempRootTest.
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <map>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

class TempRootTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Native path of a file below the root ("C/Tamblor/MyComp.ini").
    QString native(const QString& relative) const;
    QString root() const;

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

// Reads a whole file as bytes; empty when it is missing.
QByteArray readAllBytes(const QString& path);
void writeAllBytes(const QString& path, const QByteArray& bytes);
// MyComp.ini as bytes: the given records (1-based, 16-bit little-endian), the file as long as
// the last of them (`size` bytes at least), the records not given 0.
QByteArray settingsBytes(const std::map<int, int16_t>& records, int size = 0);
