// Builds the application object and runs it.
#include "app/Application.h"
#include "info/InfoWindows.h"
#include "program/Windows.h"
#include <QApplication>

int main(int argc, char** argv)
{
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("Tamblor");
    QApplication::setOrganizationName("Tamblor");
    tamblor::Application app;
    tamblor::registerWindows(app);
    QObject::connect(&app, &tamblor::Application::programEnded, &qtApp, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!app.start())
        return 1;
    // The folders exist once start-up has run.
    tamblor::installHelpFileIfMissing(app, tamblor::shippedHelpFile(QApplication::applicationDirPath()));
    return qtApp.exec();
}
