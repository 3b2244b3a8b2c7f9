// Builds the application object and the studio (library, recorder, player) and runs them: one program per library, and an end from outside
// (SIGTERM, logout) that keeps a take under way.
#include "app/Application.h"
#include "app/EndSignals.h"
#include "app/Form.h"
#include "core/SingleInstance.h"
#include "app/PromptService.h"
#include "info/InfoWindows.h"
#include "logger/LoggerReader.h"
#include "loggerweb/LoggerWeb.h"
#include "studio/Studio.h"
#include "web/WebService.h"
#include "platform/DriveMap.h"
#include "program/Windows.h"
#include "remote/LineMonitor.h"
#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

namespace {

std::atomic<bool> interrupted{false};

// `tamblor --watch-lines PORT`: the wiring test. No window and no display: it runs before any
// application with a display is made.
int watchLines(int argc, char** argv, int at)
{
    QCoreApplication qtApp(argc, argv);
    QTextStream out(stdout), err(stderr);
    if (at + 1 >= argc) {
        err << "usage: tamblor --watch-lines PORT   (for example /dev/ttyUSB0, /dev/serial/by-id/..., /dev/parport0)"
            << Qt::endl;
        return 2;
    }
    std::signal(SIGINT, [](int) { interrupted = true; });
    std::signal(SIGTERM, [](int) { interrupted = true; });
    return tamblor::remote::LineMonitor().run(QString::fromLocal8Bit(argv[at + 1]), out, err, [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(tamblor::remote::LineMonitor::PollMs));
        return !interrupted.load();
    });
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--watch-lines") == 0)
            return watchLines(argc, argv, i);

    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("Tamblor");
    QApplication::setOrganizationName("Tamblor");

    // A second program on the same library would write a second index beside the first.
    tamblor::SingleInstance instance(tamblor::DriveMap::defaultRoot());
    switch (instance.claim()) {
    case tamblor::SingleInstance::Claim::First:
        break;
    case tamblor::SingleInstance::Claim::Handed:
        return 0;
    case tamblor::SingleInstance::Claim::NoAnswer:
        tamblor::DialogPromptService().message(nullptr, "Tamblor", tamblor::SingleInstance::NoAnswerText,
                                               QMessageBox::Ok, QMessageBox::Warning);
        return 1;
    }

    tamblor::Application app;
    // The library, the recorder and the player live as long as the program, beside the windows.
    tamblor::Studio studio(app);
    // The web pages (off until switched on), served beside the studio on threads of their own.
    tamblor::web::WebService web(app, studio);
    // The logger on this root, if there is one: its database read-only, its lock looked at.
    tamblor::logger::LoggerReader logger(app);
    // Its page and metrics on the web server, from snapshots of that reader.
    tamblor::loggerweb::LoggerWeb loggerWeb(app, web, logger);
    tamblor::registerWindows(app, studio, web, logger);
    QObject::connect(&app, &tamblor::Application::programEnded, &qtApp, &QApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&instance, &tamblor::SingleInstance::activationRequested, &app, [&app] {
        if (auto* menu = app.windows().find(tamblor::WindowName::mnuMenu)) {
            menu->showNormal();
            menu->raise();
            menu->activateWindow();
        }
    });
    // Closing the main menu is the one way out: the take under way is finished first.
    tamblor::EndSignals endSignals([&app] { app.endFromOutside(); });
    if (!app.start())
        return 1;
    // The folders exist once start-up has run.
    tamblor::installHelpFileIfMissing(app, tamblor::shippedHelpFile(QApplication::applicationDirPath()));
    return qtApp.exec();
}
