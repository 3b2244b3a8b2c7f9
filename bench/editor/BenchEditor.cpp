// Timing of the wave editor on one generated hour of 44100 Hz 16-bit stereo (about 635 MB):
//   "Full" drawing of the whole hour with a warm cache (goal: under 1 s), and how long the
//   window waits at most for its events while it draws (a click is answered in that time);
//   a cut in the middle of the hour        vs cp followed by a sync of the copy, the peer doing
//   the same safe work (the cut's copy is on the disk before it replaces the original; goal: at
//   most 1.25 times), and for comparison vs a plain cp; three rounds, judged on the median.
//   A cp counts only when it exited with 0 and left a copy of the file's size; otherwise the
//   line says "peer failed" instead of a ratio. And the longest the window went without
//   answering events during the cut and its redraw (median of the three rounds; goal at most
//   50 ms).
// Usage: bench_editor [work folder]. Everything written is deleted afterwards.
#include "app/Application.h"
#include "app/PromptService.h"
#include "audio/widgets/Oscope.h"
#include "browse/FileList.h"
#include "editor/frmEditor.h"
#include "bench/support/PeerRun.h"
#include "../StallProbe.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdlib.h>
#include <functional>
#include <vector>

using namespace tamblor;

namespace {

constexpr int kRate = 44100;
constexpr int64_t kFrames = int64_t(kRate) * 3600;
constexpr int64_t kDataBytes = kFrames * 4;

double seconds(const std::function<void()>& work)
{
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void run(const QString& command)
{
    if (std::system(command.toLocal8Bit().constData()) != 0) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(command));
        std::exit(1);
    }
}

void put16(char* p, int v) { p[0] = char(v & 0xff), p[1] = char((v >> 8) & 0xff); }
void put32(char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xff);
}

// One hour of a tone whose loudness swells and falls once a minute.
void generate(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    char h[44];
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, uint32_t(36 + kDataBytes));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, 2);
    put32(h + 24, kRate);
    put32(h + 28, kRate * 4);
    put16(h + 32, 4);
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, uint32_t(kDataBytes));
    f.write(h, 44);
    std::vector<int16_t> block(size_t(kRate) * 2);
    for (int64_t second = 0; second < 3600; ++second) {
        const double level = 0.1 + 0.9 * std::abs(std::sin(M_PI * double(second) / 60.0));
        for (int i = 0; i < kRate; ++i) {
            const auto v = int16_t(20000 * level * std::sin(2 * M_PI * 440.0 * i / kRate));
            block[size_t(2 * i)] = v;
            block[size_t(2 * i + 1)] = int16_t(-v);
        }
        f.write(reinterpret_cast<const char*>(block.data()), qint64(block.size() * 2));
    }
    f.close();
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("TAMBLOR_AUDIO", "virtual", 1);
    QApplication qapp(argc, argv);
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/tamblor-bench-editor");
    QDir(work).removeRecursively();
    QDir().mkpath(work + "/root/C/Tamblor");
    const QString hour = work + "/root/C/Tamblor/HOUR.wav";

    std::printf("generating one hour of 44100 Hz 16-bit stereo ...\n");
    generate(hour);
    run("cat '" + hour + "' > /dev/null"); // warm the cache
    std::printf("file: %lld bytes\n", static_cast<long long>(QFileInfo(hour).size()));

    int result = 0;
    {
        Application app(work + "/root");
        app.setPrompts(std::make_unique<ScriptedPromptService>());
        app.windows().registerWindow(WindowName::frmEditor, [](Application& a) { return new frmEditor(a); });
        if (!app.start())
            return 1;
        auto* editor = app.windows().show<frmEditor>(WindowName::frmEditor);
        editor->resize(1280, 600);
        QApplication::processEvents();

        editor->File1->refresh();
        editor->File1->select("HOUR.wav");
        // The drawing runs as a job: each timing lasts until it has ended.
        const auto drawn = [&] {
            while (editor->isBusy())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        };
        const double load = seconds([&] {
            editor->LoadChosenFile();
            drawn();
        });
        std::printf("columns: %lld, bytes per column: %lld\n", static_cast<long long>(editor->ColumnCount),
                    static_cast<long long>(editor->ColumnStep));
        std::printf("load and draw of the whole hour:      %7.3f s\n", load);

        // "Full", best of three, with a 1 ms timer measuring the longest wait of the event loop
        // and a click on "Gain" arriving while the drawing runs.
        double full = 1e9, longestWait = 0, clickAnswered = -1;
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer clock;
            QTimer probe;
            probe.setInterval(1);
            qint64 last = 0;
            bool drawing = false;
            QObject::connect(&probe, &QTimer::timeout, [&] {
                // The stretches between two turns of the event loop while the drawing runs.
                const qint64 now = clock.nsecsElapsed();
                if (drawing)
                    longestWait = std::max(longestWait, (now - last) / 1e6);
                last = now;
            });
            const QString before = editor->cmdGain->text();
            QTimer::singleShot(5, editor, [&] {
                QTest::mouseClick(editor->cmdGain, Qt::LeftButton);
                if (drawing && editor->cmdGain->text() != before)
                    clickAnswered = clock.nsecsElapsed() / 1e6;
            });
            clock.start();
            probe.start();
            drawing = true;
            last = clock.nsecsElapsed();
            full = std::min(full, seconds([&] {
                editor->cmd5_Click();
                drawn();
            }));
            longestWait = std::max(longestWait, (clock.nsecsElapsed() - last) / 1e6);
            drawing = false;
            probe.stop();
            QApplication::processEvents();
        }
        std::printf("\"Full\" of the whole hour (best of 3): %7.3f s   goal < 1 s: %s\n", full,
                    full < 1.0 ? "met" : "MISSED");
        std::printf("longest stretch without events while drawing: %.1f ms; a click during the drawing %s\n",
                    longestWait, clickAnswered >= 0 ? "was answered while it drew" : "was NOT answered while drawing");

        // Cuts against cp of the same file, measured in this run: three rounds, each a cp (best
        // of two) of the file as it is and then a cut of a tenth of the view from its middle.
        const QString copy = work + "/root/C/Tamblor/CP.wav";
        std::vector<double> ratios, durableRatios, stalls;
        bench::PeerTime cpPeer, durablePeer; // a failed run of either peer leaves its mark here
        cpPeer.ok = durablePeer.ok = true;
        for (int round = 0; round < 3; ++round) {
            const bench::PeerOutput copyOutput{copy, QFileInfo(hour).size(), QFileInfo(hour).size()};
            run("sync");
            const bench::PeerTime cp = bench::bestPeer(2, "cp '" + hour + "' '" + copy + "'", copyOutput);
            QFile::remove(copy);
            run("sync");
            // The same copy made as safe as the cut's: on the disk before it counts as done.
            const bench::PeerTime durableCp =
                bench::bestPeer(2, "cp '" + hour + "' '" + copy + "' && sync '" + copy + "'", copyOutput);
            QFile::remove(copy);
            if (!cp.ok)
                cpPeer = cp;
            if (!durableCp.ok)
                durablePeer = durableCp;
            run("sync");
            const int c = int(editor->ColumnCount);
            QTest::mousePress(editor->Oscope, Qt::LeftButton, {}, QPoint(c / 2, 40));
            QTest::mouseRelease(editor->Oscope, Qt::LeftButton, {}, QPoint(c / 2 + c / 10, 40));
            const int64_t before = QFileInfo(hour).size();
            double stall = 0;
            const double cut = seconds([&] {
                stall = bench::longestStall([&] { editor->DeleteBytes(); }, [&] { return !editor->isBusy(); });
            });
            stalls.push_back(stall);
            const int64_t after = QFileInfo(hour).size();
            ratios.push_back(cut / cp.seconds);
            durableRatios.push_back(cut / durableCp.seconds);
            double load[1] = {-1};
            getloadavg(load, 1);
            std::printf("file of %lld bytes: cp %.3f s, cp + sync %.3f s, cut of %lld bytes (flushed to the disk, redraw "
                        "included) %.3f s, %s, to cp + sync %s (load %.2f)\n",
                        static_cast<long long>(before), cp.seconds, durableCp.seconds,
                        static_cast<long long>(before - after), cut, qPrintable(bench::ratioText(cut, cp)),
                        qPrintable(bench::ratioText(cut, durableCp)), load[0]);
            if (!app.messageText().isEmpty())
                std::printf("message: %s\n", qPrintable(app.messageText()));
        }
        const double median = bench::median(ratios), durableMedian = bench::median(durableRatios);
        std::printf("cut / cp, median of 3:                  %s\n",
                    cpPeer.ok ? qPrintable(QString::number(median, 'f', 2)) : "peer failed");
        std::printf("cut / (cp + sync), median of 3:         %s   %s   (both on the disk when done)\n",
                    durablePeer.ok ? qPrintable(QString::number(durableMedian, 'f', 2)) : "peer failed",
                    qPrintable(bench::goalText(durableMedian, 1.25, durablePeer)));
        std::printf("longest stall during cut: %.0f ms   (median of 3; goal <= 50 ms)\n", bench::median(stalls));
        if (full >= 1.0 || !durablePeer.ok || durableMedian > 1.25 || clickAnswered < 0)
            result = 2;
    }
    QDir(work).removeRecursively();
    return result;
}
