#include "WindowStalls.h"
#include "../StallProbe.h"
#include "app/Application.h"
#include "app/PromptService.h"
#include "library/SoundLibrary.h"
#include "send/frmSend.h"
#include "tools/frmNormalize.h"
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace tamblor;

namespace {

double loadNow()
{
    double l[1] = {0};
    return getloadavg(l, 1) == 1 ? l[0] : -1;
}

void report(const char* operation, std::vector<double> stalls)
{
    std::printf("longest stall during %s: %.0f ms   (median of %zu; goal <= 50 ms; load %.2f)\n", operation,
                bench::median(stalls), stalls.size(), loadNow());
}

} // namespace

void benchWindowStalls(const QString& hour, const QString& folder, int runs)
{
    const QString root = folder + "/root";
    QDir(root).removeRecursively();
    QDir().mkpath(root + "/C/Tamblor");
    QDir().mkpath(root + "/C/Out");
    {
        Application app(root);
        auto owned = std::make_unique<ScriptedPromptService>();
        ScriptedPromptService* prompts = owned.get();
        app.setPrompts(std::move(owned));
        app.windows().registerWindow(WindowName::frmNormalize, [](Application& a) { return new frmNormalize(a); });
        SoundLibrary library(app);
        app.windows().registerWindow(WindowName::frmSend, [&library](Application& a) { return new frmSend(a, library); });
        if (!app.start()) {
            std::fprintf(stderr, "the program did not start in %s\n", qPrintable(root));
            return;
        }

        // Normalize a copy of the hour through the window, to a peak and to a loudness.
        const QString copy = root + "/C/Tamblor/HOUR.wav";
        for (const bool loudness : {false, true}) {
            std::vector<double> stalls;
            for (int run = 0; run < runs; ++run) {
                QFile::remove(copy);
                QFile::copy(hour, copy);
                QPointer<frmNormalize> win = app.windows().show<frmNormalize>(WindowName::frmNormalize);
                win->findChild<QRadioButton*>(loudness ? "optLoudness" : "optPeak")->click();
                prompts->fileNames.push_back(copy);
                stalls.push_back(bench::longestStall([&] { win->cmdNormalize_Click(); },
                                                     [&] { return !win || !win->isWorking(); }));
                if (!app.messageText().isEmpty())
                    std::printf("message: %s\n", qPrintable(app.messageText()));
                if (win)
                    win->close();
            }
            report(loudness ? "loudness normalize" : "peak normalize", stalls);
        }
        QFile::remove(copy);

        // Send the hour as library slot 1 to another folder, converted to 22050.
        const QString slotFile = root + "/C/Tamblor/SF0001.wav";
        QFile::copy(hour, slotFile);
        std::vector<double> stalls;
        for (int run = 0; run < runs; ++run) {
            QPointer<frmSend> dlg = app.windows().show<frmSend>(WindowName::frmSend);
            dlg->openFor(1);
            dlg->Dir1_Click("c:\\Out");
            dlg->findChild<QLineEdit*>("txtFileName")->setText("HOUR22");
            dlg->findChild<QCheckBox*>("Check1")->setChecked(true);
            bool ended = false;
            QObject::connect(dlg, &frmSend::sendFinished, [&] { ended = true; });
            stalls.push_back(bench::longestStall([&] { dlg->mnuHiddenPopupSend_Click(); },
                                                 [&] { return ended || !dlg || !dlg->isSending(); }));
            if (!app.messageText().isEmpty())
                std::printf("message: %s\n", qPrintable(app.messageText()));
            if (dlg)
                dlg->close();
            QFile::remove(root + "/C/Out/HOUR22.wav");
        }
        report("convert to 22050", stalls);
        app.windows().destroyAll();
    }
    QDir(root).removeRecursively();
}
