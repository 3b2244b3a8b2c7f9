#include "core/SingleInstance.h"
#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSysInfo>
#include <QThread>
#include <cerrno>
#include <csignal>

namespace tamblor {

namespace {
constexpr char Request[] = "raise\n";
constexpr char AnswerLine[] = "ok\n";
} // namespace

SingleInstance::SingleInstance(const QString& root, QObject* parent) : SingleInstance(root, "Tamblor", parent) {}

SingleInstance::SingleInstance(const QString& root, const QString& program, QObject* parent)
    : QObject(parent), root_(QDir(root).absolutePath()), program_(program),
      lock_(QDir(root_).filePath(program + ".lock"))
{
    // No age makes a lock stale; only a holder that is no longer running does.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::isHeld(const QString& root, const QString& program, qint64* pid)
{
    // getLockInfo() only reads the file; the lock object is never locked here.
    QLockFile lock(QDir(QDir(root).absolutePath()).filePath(program + ".lock"));
    qint64 holder = 0;
    QString host, app;
    if (!lock.getLockInfo(&holder, &host, &app) || holder <= 0)
        return false;
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        return true; // a holder on another machine sharing the root: it cannot be asked, so it counts
    if (::kill(pid_t(holder), 0) == -1 && errno == ESRCH)
        return false;
    // A process id used again by another program: the holder's name is its program file's.
    // (A program file replaced by an upgrade while it runs reads "... (deleted)".)
    const QFileInfo exe(QString("/proc/%1/exe").arg(holder));
    QString file = exe.exists() ? exe.symLinkTarget() : QString();
    if (file.endsWith(" (deleted)"))
        file.chop(10);
    if (!app.isEmpty() && !file.isEmpty() && QFileInfo(file).fileName() != QFileInfo(app).fileName())
        return false;
    if (pid)
        *pid = holder;
    return true;
}

QString SingleInstance::serverName(const QString& root, const QString& program)
{
    const QByteArray path = QDir(root).canonicalPath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(path.isEmpty() ? root.toUtf8() : path,
                                                     QCryptographicHash::Sha1).toHex().left(16);
    return program.toLower() + "-" + qEnvironmentVariable("USER", "user") + "-" + QString::fromLatin1(hash);
}

SingleInstance::Claim SingleInstance::claim()
{
    QDir().mkpath(root_);
    // Two programs started together: the one that took the lock may not be listening yet when
    // the other asks. While the holder is alive the question is asked again after a short wait,
    // for as long as the holder is given to answer.
    QDeadlineTimer deadline(answerTimeout_);
    for (;;) {
        if (lock_.tryLock(0)) {
            listen();
            return Claim::First;
        }
        if (lock_.error() != QLockFile::LockFailedError)
            return Claim::NoAnswer;
        switch (askRunningProgram()) {
        case Answer::Raised:
            return Claim::Handed;
        case Answer::Silent:
            return Claim::NoAnswer; // it listens but does not answer
        case Answer::NotListening:
            break;
        }
        if (holderMayHaveEnded() && lock_.removeStaleLockFile())
            continue;
        if (deadline.hasExpired())
            return Claim::NoAnswer;
        QThread::msleep(RetryMs);
    }
}

bool SingleInstance::holderMayHaveEnded() const
{
    // The holder writes its process id only once it holds the lock: a lock file without one is
    // being taken this moment, unless it is old (its maker died between the two steps).
    qint64 pid = 0;
    QString host, app;
    if (lock_.getLockInfo(&pid, &host, &app))
        return true; // removeStaleLockFile() removes it only when its holder is gone
    const QFileInfo info(lock_.fileName());
    return info.exists() && info.lastModified().msecsTo(QDateTime::currentDateTime()) > answerTimeout_;
}

SingleInstance::Answer SingleInstance::askRunningProgram()
{
    QLocalSocket socket;
    socket.connectToServer(serverName(root_, program_));
    if (!socket.waitForConnected(answerTimeout_))
        return Answer::NotListening;
    // Connected: the holder's socket is up and its answer comes once its event loop runs.
    socket.write(Request);
    if (!socket.waitForBytesWritten(answerTimeout_))
        return Answer::Silent;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(answerTimeout_))
            return Answer::Silent;
    }
    return socket.readLine() == AnswerLine ? Answer::Raised : Answer::Silent;
}

void SingleInstance::listen()
{
    const QString name = serverName(root_, program_);
    QLocalServer::removeServer(name); // a socket file left by a program that died
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name))
        return; // the lock still keeps a second program off the index
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (!s->canReadLine())
                    return;
                if (s->readLine() == Request) {
                    s->write(AnswerLine);
                    s->flush();
                    emit activationRequested();
                }
            });
        }
    });
}

} // namespace tamblor
