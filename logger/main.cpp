// tamblor-logger: records the station's input round the clock into segment files beside the
// library, on the same root as the program (TAMBLOR_ROOT), with a lock of its own.
#include "core/Core.h"
#include "core/NoticeLog.h"
#include "core/SingleInstance.h"
#include "logger/Logger.h"
#include "logger/StopSignals.h"
#include "platform/Failure.h"
#include "platform/ProgramStarter.h"
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName("tamblor-logger");
    tamblor::Core core;
    tamblor::NoticeLog log(core.notices());
    tamblor::SingleInstance instance(core.drives().root(), "TamblorLogger");
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
    tamblor::logger::StopSignals stopSignals([&] {
        logger.stop();
        core.endProgram();
        app.quit();
    });
    return app.exec();
}
