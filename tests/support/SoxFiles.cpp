#include "tests/support/SoxFiles.h"
#include <QFile>
#include <QTemporaryFile>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

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
    // Started with posix_spawn rather than QProcess: QProcess starts its child as a vfork that
    // runs Qt's code on this thread's stack and thread-local state, which ThreadSanitizer's
    // bookkeeping for this thread does not survive (it stops seeing this thread's locks).
    QTemporaryFile errors;
    if (!errors.open())
        return ::testing::AssertionFailure() << "no file for sox's messages";
    std::vector<QByteArray> words{"sox"};
    for (const QString& a : args)
        words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errors.handle(), STDERR_FILENO);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, "sox", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (started != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        QFile messages(errors.fileName());
        messages.open(QIODevice::ReadOnly);
        return ::testing::AssertionFailure() << "sox " << args.join(' ').toStdString() << ": "
                                             << (started != 0 ? strerror(started) : "")
                                             << messages.readAll().toStdString();
    }
    return ::testing::AssertionSuccess();
}

} // namespace soxtest
