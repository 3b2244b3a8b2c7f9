#include "bench/support/PeerRun.h"
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sys/wait.h>

namespace bench {

PeerOutput PeerOutput::about(const QString& path, int64_t bytes, int64_t slack)
{
    return PeerOutput{path, bytes - slack, bytes + slack};
}

PeerTime timePeer(const QString& command, const PeerOutput& output, const std::function<void()>& after)
{
    PeerTime t;
    if (!output.path.isEmpty())
        QFile::remove(output.path); // a file left by an earlier run must not pass for this one's
    const auto t0 = std::chrono::steady_clock::now();
    const int status = std::system(command.toLocal8Bit().constData());
    const bool exited = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (exited && after)
        after();
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (status == -1) {
        t.failure = QStringLiteral("could not start");
    } else if (WIFSIGNALED(status)) {
        t.failure = QStringLiteral("killed by signal %1").arg(WTERMSIG(status));
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        t.failure = QStringLiteral("exit status %1").arg(WIFEXITED(status) ? WEXITSTATUS(status) : status);
    } else if (!output.path.isEmpty()) {
        const QFileInfo file(output.path);
        const int64_t size = file.exists() ? file.size() : -1;
        if (size < output.minBytes || size > output.maxBytes)
            t.failure = size < 0 ? QStringLiteral("no output") : QStringLiteral("output of %1 bytes").arg(size);
    }
    t.ok = t.failure.isEmpty();
    return t;
}

PeerTime bestPeer(int runs, const QString& command, const PeerOutput& output, const std::function<void()>& after)
{
    PeerTime best;
    best.seconds = 1e30;
    best.ok = true;
    for (int i = 0; i < runs; ++i) {
        const PeerTime t = timePeer(command, output, after);
        if (!t.ok)
            return t;
        best.seconds = std::min(best.seconds, t.seconds);
    }
    return best;
}

QString ratioText(double ours, const PeerTime& peer)
{
    if (!peer.ok)
        return QStringLiteral("peer failed (%1)").arg(peer.failure);
    return QStringLiteral("ratio %1").arg(ours / peer.seconds, 0, 'f', 3);
}

QString goalText(double ratio, double goal, const PeerTime& peer)
{
    const QString g = QStringLiteral("goal <= %1: ").arg(goal);
    if (!peer.ok)
        return g + QStringLiteral("not judged");
    return g + (ratio <= goal ? QStringLiteral("met") : QStringLiteral("MISSED"));
}

} // namespace bench
