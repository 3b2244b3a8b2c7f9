// Builds the application object and the parts its windows stand on (ProgramParts) and runs them:
// one program per library, and an end from outside (SIGTERM, logout) that keeps a take under way.
#include "app/Application.h"
#include "app/EndSignals.h"
#include "app/Form.h"
#include "core/SingleInstance.h"
#include "app/PromptService.h"
#include "platform/DriveMap.h"
#include "program/ProgramParts.h"
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
    // The library, the recorder and the player, the web pages and the logger's reader live as
    // long as the program, beside the windows.
    tamblor::ProgramParts parts(app);
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
    if (!parts.start())
        return 1;
    return qtApp.exec();
}
