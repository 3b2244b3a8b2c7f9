// A program that records one take into the library at $TAMBLOR_ROOT and never stops: the
// crash tests kill it. On the virtual backend in real time (TAMBLOR_AUDIO=virtual-realtime)
// with the counter signal, so the file shows exactly which frames were kept. Once writing, it
// prints "writing <steady clock ms when capture started>".
#include "core/Core.h"
#include "core/NoticeLog.h"
#include "audio/devices/VirtualBackend.h"
#include "studio/Studio.h"
#include <QCoreApplication>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication qtApp(argc, argv);
    tamblor::Core app;
    tamblor::NoticeLog log(app.notices());
    tamblor::Studio studio(app);
    try {
        app.startUp();
    } catch (...) {
        return 2;
    }
    auto* virtualCard = dynamic_cast<tamblor::audio::VirtualBackend*>(&app.audio());
    if (!virtualCard)
        return 3;
    virtualCard->setInputSignal(tamblor::audio::sources::counter());
    tamblor::RecordingSession& session = studio.recording();
    session.applySettings();
    session.setStartMode(tamblor::RecordingSession::StartMode::Off); // one press writes
    const auto started = std::chrono::steady_clock::now();
    session.handle(tamblor::RecordingSession::Event::Press);
    if (session.state() != tamblor::RecordingSession::State::Writing)
        return 4;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(started.time_since_epoch()).count();
    std::printf("writing %lld\n", static_cast<long long>(ms));
    std::fflush(stdout);
    return qtApp.exec();
}
