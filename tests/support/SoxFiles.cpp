#include "tests/support/SoxFiles.h"
#include <QProcess>

namespace soxtest {

::testing::AssertionResult makeTone(const QString& path, const QStringList& options, int rate, int channels,
                                    double seconds)
{
    // Without dither, so the low bits of deep files carry the tone itself.
    return runSox(QStringList{"-D", "-n", "-r", QString::number(rate), "-c", QString::number(channels)} + options
                  + QStringList{path, "synth", QString::number(seconds), "sine", "1000", "vol", "0.6"});
}

::testing::AssertionResult runSox(const QStringList& args)
{
    QProcess sox;
    sox.start("sox", args);
    if (!sox.waitForFinished(30000) || sox.exitStatus() != QProcess::NormalExit || sox.exitCode() != 0)
        return ::testing::AssertionFailure() << "sox " << args.join(' ').toStdString() << ": "
                                             << sox.readAllStandardError().toStdString();
    return ::testing::AssertionSuccess();
}

} // namespace soxtest
