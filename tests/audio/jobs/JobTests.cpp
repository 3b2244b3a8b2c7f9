// The worker facility: where a body runs, what reaches the owner, cancel, stop, failures.
#include "audio/core/ThreadRole.h"
#include "audio/jobs/Job.h"
#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace tamblor;
using namespace tamblor::jobs;

namespace {

// Spins the event loop until `done` (a guard of a minute against a hang, not a timing check).
bool waitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 60000); }

} // namespace

TEST(JobTest, TheBodyRunsOnAWorkerThreadMarkedAsSuch)
{
    Job job;
    std::atomic<bool> onWorker{false}, offUi{false};
    QSignalSpy started(&job, &Job::started);
    job.start([&](JobControl&) {
        onWorker = audio::currentThreadRole() == audio::ThreadRole::Worker;
        offUi = !audio::onUiThread();
    });
    EXPECT_TRUE(job.isRunning());
    ASSERT_TRUE(waitFor([&] { return !job.isRunning(); }));
    EXPECT_TRUE(onWorker);
    EXPECT_TRUE(offUi);
    EXPECT_EQ(started.count(), 1);
    EXPECT_FALSE(job.failure());
    EXPECT_FALSE(job.wasCancelled());
    // The owner's thread keeps its own role.
    EXPECT_EQ(audio::currentThreadRole(), audio::ThreadRole::Unmarked);
}

TEST(JobTest, ProgressAndPostsArriveInOrderOnTheOwnersThreadAndOnlyChangesCount)
{
    Job job;
    std::vector<std::pair<int, int>> seen;
    std::vector<QString> order;
    QObject::connect(&job, &Job::progressed, [&](int percent, int phase) {
        EXPECT_TRUE(audio::onUiThread());
        seen.emplace_back(percent, phase);
        order.push_back(QString::number(percent));
    });
    QObject::connect(&job, &Job::finished, [&] { order.push_back("end"); });
    job.start([](JobControl& c) {
        c.progress(0);
        c.progress(0); // the same again: not reported
        c.progress(50);
        c.post([] {});
        c.progress(100);
        c.progress(0, 1);
        c.progress(100, 1);
    });
    ASSERT_TRUE(waitFor([&] { return !job.isRunning(); }));
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 0}, {50, 0}, {100, 0}, {0, 1}, {100, 1}}));
    EXPECT_EQ(order.back(), "end");
}

TEST(JobTest, TheOwnerKeepsAnsweringEventsWhileTheBodyRuns)
{
    // The body can only end once the owner's thread has run a timer: a window that waited for
    // the body would never get there.
    Job job;
    std::atomic<bool> answered{false};
    job.start([&](JobControl& c) {
        while (!answered && !c.cancelled())
            QThread::msleep(1);
    });
    QTimer::singleShot(0, [&] { answered = true; });
    ASSERT_TRUE(waitFor([&] { return !job.isRunning(); }));
    EXPECT_TRUE(answered);
    EXPECT_FALSE(job.wasCancelled());
}

TEST(JobTest, CancelReachesTheBodyAndTheEndSaysSo)
{
    Job job;
    std::atomic<bool> sawCancel{false};
    job.start([&](JobControl& c) {
        while (!c.cancelled())
            QThread::msleep(1);
        sawCancel = true;
    });
    QSignalSpy finished(&job, &Job::finished);
    job.cancel();
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_TRUE(sawCancel);
    EXPECT_TRUE(job.wasCancelled());
    EXPECT_FALSE(job.isRunning());
}

TEST(JobTest, FailuresReachTheOwnerWithTheirNumber)
{
    Job job;
    job.start([](JobControl&) { throw Failure(Failure::DiskFull); });
    job.finish();
    ASSERT_TRUE(job.failure());
    EXPECT_EQ(job.failure()->number(), 61);
    EXPECT_FALSE(job.wasCancelled());

    job.start([](JobControl&) { throw std::bad_alloc(); });
    job.finish();
    ASSERT_TRUE(job.failure());
    EXPECT_EQ(job.failure()->number(), 7);

    job.start([](JobControl&) { throw std::runtime_error("broken"); });
    job.finish();
    ASSERT_TRUE(job.failure());
    EXPECT_EQ(job.failure()->number(), 57);
    EXPECT_EQ(job.failure()->description(), "broken");

    // A run that works clears the last failure.
    job.start([](JobControl&) {});
    job.finish();
    EXPECT_FALSE(job.failure());
}

TEST(JobTest, AFailureTextNamesTheFile)
{
    EXPECT_EQ(failureText(Failure(Failure::DiskFull), "c:\\Out\\Wide.wav"), "61 Disk full: c:\\Out\\Wide.wav");
    EXPECT_EQ(failureText(Failure(Failure::FileNotFound), QString()), "53 File not found");
    // A description that names the file already is not made longer.
    EXPECT_EQ(failureText(Failure(70, "cannot write c:\\Out\\Wide.wav"), "c:\\Out\\Wide.wav"),
              "70 cannot write c:\\Out\\Wide.wav");
}

TEST(JobTest, StopWaitsForTheBodyAndDropsWhatItPosted)
{
    Job job;
    int delivered = 0;
    QSignalSpy finished(&job, &Job::finished);
    std::atomic<bool> posted{false};
    job.start([&](JobControl& c) {
        c.post([&] { ++delivered; });
        posted = true;
        while (!c.cancelled())
            QThread::msleep(1);
        c.post([&] { ++delivered; });
    });
    while (!posted)
        QThread::msleep(1);
    job.stop(); // without a turn of the event loop: the first post is still queued
    EXPECT_FALSE(job.isRunning());
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(finished.count(), 0);

    // A new start after a stop runs as usual.
    job.start([](JobControl& c) { c.progress(100); });
    job.finish();
    EXPECT_EQ(finished.count(), 1);
}

TEST(JobTest, DestroyingARunningJobWaitsAndNothingArrivesAfterwards)
{
    std::atomic<bool> ended{false};
    int delivered = 0;
    {
        auto owner = std::make_unique<QObject>();
        auto* job = new Job(owner.get());
        job->start([&](JobControl& c) {
            while (!c.cancelled()) {
                c.post([&] { ++delivered; });
                QThread::usleep(100);
            }
            ended = true;
        });
        QThread::msleep(5);
    } // the owner goes, and its job with it
    EXPECT_TRUE(ended);
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 0);
}

TEST(JobTest, StepwiseTheBodyWaitsForTheOwnerAtEveryStep)
{
    Job job;
    job.setStepwise(true);
    std::atomic<int> reached{0};
    std::vector<int> handledAt;
    QObject::connect(&job, &Job::progressed, [&](int percent) {
        // The body is held at the step being handled: it has gone no further.
        handledAt.push_back(reached);
        EXPECT_EQ(reached.load(), percent);
        if (percent == 2)
            job.cancel();
    });
    job.start([&](JobControl& c) {
        for (int step = 0; step < 5 && !c.cancelled(); ++step) {
            reached = step;
            c.progress(step);
        }
    });
    ASSERT_TRUE(waitFor([&] { return !job.isRunning(); }));
    EXPECT_EQ(handledAt, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(job.wasCancelled());

    // finish() delivers the steps one after the other too.
    handledAt.clear();
    job.start([&](JobControl& c) {
        for (int step = 0; step < 2; ++step) {
            reached = step;
            c.progress(step);
        }
    });
    job.finish();
    EXPECT_EQ(handledAt, (std::vector<int>{0, 1}));
}
