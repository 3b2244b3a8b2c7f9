#pragma once
// One program per library: the first program on a root holds a lock file there and listens on
// a local socket named after the root. A second start asks that program to bring its main menu
// to the front and ends. A lock left by a program that died is taken over.
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace tamblor {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        First,    // this program owns the library now
        Handed,   // another program owns it and was asked to come to the front
        NoAnswer, // another program holds the lock but does not answer
    };
    static constexpr const char* NoAnswerText =
        "Tamblor is already running on this library but does not answer. Close it, or end it, "
        "and start Tamblor again.";

    explicit SingleInstance(const QString& root, QObject* parent = nullptr);
    // Another program on the same root with a lock of its own (the logger: "TamblorLogger"),
    // so that it runs beside the main program but never twice.
    SingleInstance(const QString& root, const QString& program, QObject* parent = nullptr);
    ~SingleInstance() override;

    // How long a second start waits for the first program to listen, and then for its answer.
    void setAnswerTimeout(int milliseconds) { answerTimeout_ = milliseconds; }
    Claim claim();

    // Whether a running program holds `program`'s lock on `root` now, judged as the lock itself
    // judges a holder (its process on this host, by its name): read from the lock file, never
    // taken. `pid` gets the holder's process id.
    static bool isHeld(const QString& root, const QString& program, qint64* pid = nullptr);

    // The local socket name of a root (one per root, one per user).
    static QString serverName(const QString& root, const QString& program = "Tamblor");

signals:
    // A second start asked this program to come to the front.
    void activationRequested();

private:
    enum class Answer { Raised, NotListening, Silent };
    static constexpr int RetryMs = 50;
    Answer askRunningProgram();
    // True when the lock's holder may have ended (removeStaleLockFile() decides).
    bool holderMayHaveEnded() const;
    void listen();

    QString root_;
    QString program_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
    int answerTimeout_ = 10000; // a program starting on a busy machine needs a while
};

} // namespace tamblor
