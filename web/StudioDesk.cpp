#include "web/StudioDesk.h"
#include "core/Core.h"
#include "studio/Studio.h"
#include "web/AuditTrail.h"
#include "web/WebLog.h"
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace tamblor::web {

StudioDesk::StudioDesk(Core& app, Studio& studio, AuditTrail& audit, WebLog& log, QObject* parent)
    : QObject(parent), app_(app), studio_(studio), audit_(audit), log_(log)
{
}

StudioActions::Answer StudioDesk::perform(Action action, qint64 eventId)
{
    if (QThread::currentThread() == thread())
        return carryOut(action, eventId);
    struct Pending {
        std::mutex mutex;
        std::condition_variable ready;
        std::optional<Answer> answer;
    };
    auto pending = std::make_shared<Pending>();
    if (closed_)
        return {false, "The program is ending."};
    QMetaObject::invokeMethod(
        this,
        [this, pending, action, eventId] {
            const Answer a = closed_ ? Answer{false, "The program is ending."} : carryOut(action, eventId);
            std::lock_guard lock(pending->mutex);
            pending->answer = a;
            pending->ready.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(pending->mutex);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(AnswerMs);
    while (!pending->answer && !closed_ && std::chrono::steady_clock::now() < until)
        pending->ready.wait_for(lock, std::chrono::milliseconds(100));
    if (pending->answer)
        return *pending->answer;
    return {false, closed_ ? "The program is ending." : "The studio did not answer in time."};
}

void StudioDesk::audit(const AuditRow& row)
{
    QMetaObject::invokeMethod(
        this,
        [this, row] {
            try {
                audit_.append(row);
            } catch (const Failure& f) {
                log_.add(QString("the audit row \"%1\" of %2 could not be written: %3")
                             .arg(row.action, row.tokenName, f.description()));
            }
        },
        Qt::QueuedConnection);
}

StudioActions::Answer StudioDesk::carryOut(Action action, qint64 eventId)
{
    RecordingSession& take = studio_.recording();
    // What the studio tells the operator meanwhile is the answer's reason.
    QStringList told;
    const auto listening = connect(&app_.notices(), &Notices::posted, this, [&told](const Notice& n) { told << n.text; });
    Answer answer;
    switch (action) {
    case Action::StartTake:
        if (take.state() != RecordingSession::State::Idle) {
            answer = {false, "A take is under way."};
            break;
        }
        take.setStartMode(RecordingSession::StartMode::Off); // writing starts at once
        take.handle(RecordingSession::Event::Press);
        take.setStartMode(std::nullopt);
        if (take.state() == RecordingSession::State::Idle)
            answer = {false, take.refusal().isEmpty() ? told.join(' ') : take.refusal()};
        else
            answer = {true, QString("Recording into slot %1.").arg(take.slot())};
        break;
    case Action::StopTake:
        if (take.state() == RecordingSession::State::Idle)
            answer = {false, "No take is under way."};
        else if (take.clocked())
            answer = {false, "The take of a record event runs to its planned end."};
        else {
            const int slot = take.slot();
            take.handle(RecordingSession::Event::Stop);
            answer = {true, QString("The take in slot %1 is stopped.").arg(slot)};
        }
        break;
    case Action::RecordNow:
        if (studio_.scheduler().recordNow(eventId))
            answer = {true, QString("Recording event %1 now.").arg(eventId)};
        else
            answer = {false, told.isEmpty() ? QString("The event cannot be recorded now.") : told.join(' ')};
        break;
    }
    disconnect(listening);
    return answer;
}

} // namespace tamblor::web
