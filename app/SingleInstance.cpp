#include "app/SingleInstance.h"
#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace tamblor {

namespace {
constexpr char Request[] = "raise\n";
constexpr char Answer[] = "ok\n";
} // namespace

SingleInstance::SingleInstance(const QString& root, QObject* parent)
    : QObject(parent), root_(QDir(root).absolutePath()), lock_(QDir(root_).filePath("Tamblor.lock"))
{
    // No age makes a lock stale; only a holder that is no longer running does.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString& root)
{
    const QByteArray path = QDir(root).canonicalPath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(path.isEmpty() ? root.toUtf8() : path,
                                                     QCryptographicHash::Sha1).toHex().left(16);
    return "tamblor-" + qEnvironmentVariable("USER", "user") + "-" + QString::fromLatin1(hash);
}

SingleInstance::Claim SingleInstance::claim()
{
    QDir().mkpath(root_);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (lock_.tryLock(0)) {
            listen();
            return Claim::First;
        }
        if (lock_.error() != QLockFile::LockFailedError)
            break;
        if (askRunningProgram())
            return Claim::Handed;
        // The holder may have just ended: one more try before giving up.
        if (lock_.removeStaleLockFile())
            continue;
    }
    return Claim::NoAnswer;
}

bool SingleInstance::askRunningProgram()
{
    QLocalSocket socket;
    socket.connectToServer(serverName(root_));
    if (!socket.waitForConnected(answerTimeout_))
        return false;
    socket.write(Request);
    if (!socket.waitForBytesWritten(answerTimeout_))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(answerTimeout_))
            return false;
    }
    return socket.readLine() == Answer;
}

void SingleInstance::listen()
{
    const QString name = serverName(root_);
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
                    s->write(Answer);
                    s->flush();
                    emit activationRequested();
                }
            });
        }
    });
}

} // namespace tamblor
