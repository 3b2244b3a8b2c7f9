#include "library/session/Studio.h"
#include "app/Application.h"
#include "platform/Failure.h"

namespace tamblor {

Studio::Studio(Application& app)
    : app_(app), library_(app), recording_(app, library_), playback_(app), database_(app),
      events_(database_, app.clock()), runs_(database_, app.clock()),
      figures_(database_), watch_(app, recording_, playback_, starter_),
      measurer_(app, library_, recording_, database_, figures_),
      scheduler_(std::make_unique<Scheduler>(app, library_, recording_, database_, events_, runs_))
{
    playback_.setRecording(&recording_);
    timer_.setInterval(TickMs);
    QObject::connect(&timer_, &QTimer::timeout, &recording_, [this] {
        if (!tickClient_)
            tick();
    });
    timer_.start();
}

Studio::~Studio()
{
    timer_.stop();
    scheduler_.reset(); // before the sessions it uses
}

void Studio::tick()
{
    try {
        playback_.handle(PlaybackSession::Event::Tick);
    } catch (const Failure& f) {
        app_.showMessage(f.text());
    }
    try {
        recording_.handle(RecordingSession::Event::Tick);
    } catch (const Failure& f) {
        app_.showMessage(f.text());
    }
    watch_.tick();
}

void Studio::takeTicks(QObject* client) { tickClient_ = client; }

void Studio::releaseTicks(QObject* client)
{
    if (tickClient_ == client)
        tickClient_ = nullptr;
}

void Studio::setTimerRunning(bool running)
{
    if (running)
        timer_.start();
    else
        timer_.stop();
    scheduler_->setTimerRunning(running);
}

} // namespace tamblor
