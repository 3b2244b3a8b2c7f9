#include "tests/support/TestEnv.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>

void TempRootTest::SetUp()
{
    dir_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(dir_->isValid());
    setenv("TAMBLOR_ROOT", dir_->path().toLocal8Bit().constData(), 1);
    setenv("TAMBLOR_AUDIO", "virtual", 1);
}

void TempRootTest::TearDown()
{
    dir_.reset();
    unsetenv("TAMBLOR_ROOT");
}

QString TempRootTest::root() const { return dir_->path(); }

QString TempRootTest::native(const QString& relative) const
{
    return dir_->path() + "/" + relative;
}

QByteArray readAllBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeAllBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QByteArray settingsBytes(const std::map<int, int16_t>& records, int size)
{
    int last = 0;
    for (const auto& [n, v] : records)
        last = std::max(last, n);
    QByteArray bytes(std::max(2 * last, size), '\0');
    for (const auto& [n, v] : records)
        qToLittleEndian<int16_t>(v, bytes.data() + 2 * (n - 1));
    return bytes;
}
