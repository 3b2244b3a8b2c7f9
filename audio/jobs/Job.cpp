#include "audio/jobs/Job.h"
#include "audio/core/ThreadRole.h"
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <chrono>
#include <new>

namespace tamblor::jobs {

bool JobControl::cancelled() const noexcept
{
    return job_.cancel_.load(std::memory_order_relaxed) || job_.generation_.load() != generation_;
}

void JobControl::progress(int percent, int phase)
{
    if (percent == lastPercent_ && phase == lastPhase_)
        return;
    lastPercent_ = percent;
    lastPhase_ = phase;
    Job* job = &job_;
    job_.deliver(generation_, [job, percent, phase] { emit job->progressed(percent, phase); }, job_.stepwise_);
}

void JobControl::post(std::function<void()> work) { job_.deliver(generation_, std::move(work), job_.stepwise_); }

Job::Job(QObject* parent) : QObject(parent) {}

Job::~Job() { stop(); }

void Job::start(Body body)
{
    stop();
    cancel_ = false;
    cancelled_ = false;
    failure_.reset();
    running_ = true;
    const unsigned generation = ++generation_;
    thread_ = std::thread(&Job::run, this, std::move(body), generation);
}

void Job::run(Body body, unsigned generation)
{
    audio::ThreadRoleScope role(audio::ThreadRole::Worker);
    deliver(generation, [this] { emit started(); }, false);
    JobControl control(*this, generation);
    std::optional<Failure> failure;
    try {
        body(control);
    } catch (const Failure& f) {
        failure = f;
    } catch (const std::bad_alloc&) {
        failure = Failure(Failure::OutOfMemory);
    } catch (const std::exception& e) {
        failure = Failure(Failure::DeviceIOError, QString::fromLocal8Bit(e.what()));
    }
    const bool cancelled = control.cancelled();
    deliver(generation, [this, failure, cancelled] {
        join();
        running_ = false;
        cancelled_ = cancelled && !failure;
        failure_ = failure;
        emit finished();
    }, false);
}

void Job::deliver(unsigned generation, std::function<void()> work, bool wait)
{
    uint64_t step = 0;
    if (wait) {
        const std::lock_guard lock(stepMutex_);
        step = ++stepsPosted_;
    }
    QMetaObject::invokeMethod(
        this,
        [this, generation, wait, work = std::move(work)] {
            if (generation == generation_.load())
                work();
            if (wait) {
                const std::lock_guard lock(stepMutex_);
                ++stepsHandled_;
                stepDone_.notify_all();
            }
        },
        Qt::QueuedConnection);
    if (wait) {
        std::unique_lock lock(stepMutex_);
        stepDone_.wait(lock, [&] { return stepsHandled_ >= step || cancel_ || generation != generation_.load(); });
    }
}

void Job::cancel() noexcept
{
    const std::lock_guard lock(stepMutex_);
    cancel_ = true;
    stepDone_.notify_all();
}

void Job::stop() noexcept
{
    {
        const std::lock_guard lock(stepMutex_);
        cancel_ = true;
        ++generation_; // what the run posted from now on, or has posted, is dropped
        stepDone_.notify_all();
    }
    join();
    running_ = false;
}

void Job::finish()
{
    // What the body posts is queued for this object: deliver it, in order, until the end has
    // been delivered too (a stepwise body waits for each delivery, so no plain join here).
    while (running_) {
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        if (running_)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Job::join() noexcept
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

QString failureText(const Failure& failure, const QString& file)
{
    const QString text = failure.text();
    if (file.isEmpty() || failure.description().contains(file))
        return text;
    return text + ": " + file;
}

} // namespace tamblor::jobs
