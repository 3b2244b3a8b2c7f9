// One program per library, with two processes: a second start on the same root hands over to
// the running program and ends without touching the index; a lock left by a killed program is
// taken over; a holder that does not answer is reported.
#include "app/SingleInstance.h"
#include "tests/support/TestEnv.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <csignal>

using tamblor::SingleInstance;

namespace {

class SingleInstanceTest : public TempRootTest {
protected:
    // The program itself on this test's root, on the virtual sound card, without a screen.
    void startProgram(QProcess& p)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TAMBLOR_ROOT", root());
        env.insert("TAMBLOR_AUDIO", "virtual");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(TAMBLOR_PROGRAM, {});
        ASSERT_TRUE(p.waitForStarted(10000));
    }
    // Runs events (the first program's socket) until the process ends.
    static bool waitWithEvents(QProcess& p, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return p.state() == QProcess::NotRunning;
    }
};

} // namespace

TEST_F(SingleInstanceTest, ASecondStartBringsTheFirstToTheFrontAndEnds)
{
    SingleInstance first(root());
    QSignalSpy raised(&first, &SingleInstance::activationRequested);
    ASSERT_EQ(first.claim(), SingleInstance::Claim::First);

    QProcess second;
    startProgram(second);
    ASSERT_TRUE(waitWithEvents(second, 20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(raised.count(), 1);
    // It never opened the index (nor made the drive's folders).
    EXPECT_FALSE(QFileInfo::exists(native("C/Tamblor/Schedule.dat")));
}

TEST_F(SingleInstanceTest, TheLockOfAKilledProgramIsTakenOver)
{
    QProcess killed;
    startProgram(killed);
    // Up once its index exists.
    QElapsedTimer t;
    t.start();
    while (!QFileInfo::exists(native("C/Tamblor/Schedule.dat")) && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(QFileInfo::exists(native("C/Tamblor/Schedule.dat")));
    {
        SingleInstance whileRunning(root());
        whileRunning.setAnswerTimeout(3000);
        EXPECT_EQ(whileRunning.claim(), SingleInstance::Claim::Handed);
    }
    ::kill(pid_t(killed.processId()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished(10000));

    SingleInstance next(root());
    EXPECT_EQ(next.claim(), SingleInstance::Claim::First);
}

TEST_F(SingleInstanceTest, AHolderThatDoesNotAnswerIsReported)
{
    QDir().mkpath(root());
    QLockFile held(QDir(root()).filePath("Tamblor.lock")); // a live holder without a socket
    ASSERT_TRUE(held.tryLock(0));
    SingleInstance second(root());
    second.setAnswerTimeout(300);
    EXPECT_EQ(second.claim(), SingleInstance::Claim::NoAnswer);
}
