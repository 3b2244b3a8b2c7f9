// tamblor-logger: records the station's input round the clock into segment files beside the
// library, on the same root as the program (TAMBLOR_ROOT), with a lock of its own.
//   tamblor-logger                          records until SIGTERM or Ctrl+C
//   tamblor-logger --hold FROM TO [NOTE]    keeps the span (local "yyyy-MM-ddTHH:mm") from deletion
//   tamblor-logger --lift ID                lifts a hold
//   tamblor-logger --holds                  lists the holds in force
#include "core/Core.h"
#include "core/NoticeLog.h"
#include "core/SingleInstance.h"
#include "logger/Logger.h"
#include "core/StopSignals.h"
#include "platform/Failure.h"
#include "platform/ProgramStarter.h"
#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>

namespace {

// The holds: what a complaint being looked into keeps from deletion. Runs beside a recording
// logger (the database takes writes from both).
int holds(tamblor::Core& core, const QStringList& args)
{
    using tamblor::logger::Hold;
    tamblor::logger::LoggerStore store(core);
    core.startUp();
    if (!store.isOpen())
        return 1;
    if (args.value(1) == "--hold") {
        const QDateTime from = QDateTime::fromString(args.value(2), Qt::ISODate);
        const QDateTime to = QDateTime::fromString(args.value(3), Qt::ISODate);
        if (!from.isValid() || !to.isValid() || to <= from) {
            std::fprintf(stderr, "tamblor-logger: --hold FROM TO [NOTE], as 2026-12-07T17:00 2026-12-07T18:00\n");
            return 2;
        }
        const qint64 id = store.placeHold({0, from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch(), args.mid(4).join(' ')});
        std::printf("hold %lld placed\n", static_cast<long long>(id));
    } else if (args.value(1) == "--lift") {
        store.liftHold(args.value(2).toLongLong(), QDateTime::currentMSecsSinceEpoch());
    }
    for (const Hold& h : store.holds())
        std::printf("%lld  %s  %s  %s\n", static_cast<long long>(h.id),
                    qPrintable(QDateTime::fromMSecsSinceEpoch(h.startMs).toString(Qt::ISODate)),
                    qPrintable(QDateTime::fromMSecsSinceEpoch(h.endMs).toString(Qt::ISODate)), qPrintable(h.note));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName("tamblor-logger");
    tamblor::Core core;
    tamblor::NoticeLog log(core.notices());
    const QStringList args = app.arguments();
    if (args.size() > 1) {
        if (args[1] == "--hold" || args[1] == "--lift" || args[1] == "--holds") {
            try {
                return holds(core, args);
            } catch (const tamblor::Failure& f) {
                std::fprintf(stderr, "tamblor-logger: %s\n", qPrintable(f.text()));
                return 1;
            }
        }
        std::fprintf(stderr, "usage: tamblor-logger [--hold FROM TO [NOTE] | --lift ID | --holds]\n");
        return 2;
    }
    tamblor::SingleInstance instance(core.drives().root(), tamblor::logger::Logger::LockName);
    if (instance.claim() != tamblor::SingleInstance::Claim::First) {
        std::fprintf(stderr, "tamblor-logger: a logger is already running on %s\n",
                     qPrintable(core.drives().root()));
        return 2;
    }
    tamblor::ProcessStarter starter;
    tamblor::logger::Logger logger(core, starter);
    try {
        core.startUp();
        logger.start();
    } catch (const tamblor::Failure& f) {
        std::fprintf(stderr, "tamblor-logger: %s\n", qPrintable(f.text()));
        return 1;
    }
    std::fprintf(stderr, "tamblor-logger: recording into %s\n", qPrintable(logger.settings().folder));
    tamblor::StopSignals stopSignals([&] {
        logger.stop();
        core.endProgram();
        app.quit();
    });
    return app.exec();
}
