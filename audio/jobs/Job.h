#pragma once
// The one way long file work leaves the user-interface thread: a job runs a body on a worker
// thread of its own (marked as a worker, so the file layer's thread rules hold), which reports
// progress and looks at a cancel flag; the owner's thread is told of the progress, of anything
// the body hands over, and of the end with its failure, if any. The windows only show what
// arrives. Normalize, the editor's cut and drawing, send-to and the printed list all run this way.
//
// Lifetime: destroying a job cancels it and waits for the body; nothing it posted arrives
// afterwards. stop() does the same and keeps the job for another start().
#include "platform/Failure.h"
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace tamblor::jobs {

class Job;

// What a body sees of its job, on the worker thread.
class JobControl {
public:
    // True once the owner has cancelled (or stopped, or destroyed) the job: the body returns
    // as soon as it can, leaving no half-written file behind.
    bool cancelled() const noexcept;
    // Progress 0..100 of a phase (a job with one phase uses 0). Only a change reaches the owner.
    void progress(int percent, int phase = 0);
    // Runs `work` on the owner's thread, in order with the progress, unless the run has ended
    // for the owner meanwhile (stopped, restarted or destroyed).
    void post(std::function<void()> work);

private:
    friend class Job;
    JobControl(Job& job, unsigned generation) : job_(job), generation_(generation) {}
    Job& job_;
    unsigned generation_;
    int lastPercent_ = -1;
    int lastPhase_ = -1;
};

class Job : public QObject {
    Q_OBJECT
public:
    // The work. It throws Failure for what went wrong (other exceptions become failures too).
    using Body = std::function<void(JobControl&)>;

    explicit Job(QObject* parent = nullptr);
    ~Job() override;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Starts `body` on a worker thread; a run still going is stopped first. started() and then,
    // once the body has returned, finished() are emitted on this object's thread.
    void start(Body body);
    // Asks the body to stop; finished() still comes, with wasCancelled() true.
    void cancel() noexcept;
    // Cancels and waits for the body; nothing of that run (not even finished()) arrives.
    void stop() noexcept;
    // Waits for the body and delivers what it posted and finished() at once (for a program
    // without an event loop at hand, and for ending a run deterministically).
    void finish();

    // Stepwise: every progress report and post waits on the worker until the owner has handled
    // it (or the run is cancelled), so the owner acts on each step before the body goes on. For
    // checking what the owner does at a given step; off by default.
    void setStepwise(bool stepwise) { stepwise_ = stepwise; }
    bool isStepwise() const { return stepwise_; }

    // True from start() until finished() has been emitted (or stop()).
    bool isRunning() const { return running_; }
    // After finished(): whether the run was cancelled, and the failure that ended it.
    bool wasCancelled() const { return cancelled_; }
    const std::optional<Failure>& failure() const { return failure_; }

signals:
    void started();
    // Percent 0..100 of a phase, as the body reported it.
    void progressed(int percent, int phase);
    void finished();

private:
    friend class JobControl;
    void run(Body body, unsigned generation);
    void deliver(unsigned generation, std::function<void()> work, bool wait);
    void join() noexcept;

    std::thread thread_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> stepwise_{false};
    // Stepwise runs: deliveries handed to the owner and handled by it.
    std::mutex stepMutex_;
    std::condition_variable stepDone_;
    uint64_t stepsPosted_ = 0;
    uint64_t stepsHandled_ = 0;
    std::atomic<unsigned> generation_{0};
    bool running_ = false;
    bool cancelled_ = false;
    std::optional<Failure> failure_;
};

// The text a failure of a file job shows the operator: "number description" and the file it
// happened to ("53 File not found: c:\Tamblor\SONG.wav"); the file is left out when the
// description already names it or when there is none.
QString failureText(const Failure& failure, const QString& file);

} // namespace tamblor::jobs
