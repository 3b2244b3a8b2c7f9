// The web server under load while a take records: 200 requests a second to the Now page (each
// on a connection of its own, from 4 client threads on the loopback) for a minute, while a
// record event's take runs on the virtual input in real time (44100 stereo). Three runs, each on
// a fresh root under WORKDIR; for each, and then as the median of the three:
//   page under load: p50 <ms> ms, p99 <ms> ms; frames lost by the take: <n>
//   user-interface thread's longest stall: <ms> ms
// Then, with the take still recording, a 600 MB take is downloaded whole:
//   download of 600 MB: <s> s; user-interface thread's longest stall: <ms> ms
// Frames lost are the input's dropped frames plus the frames the take was short of its length,
// over the load and the download together.
//   bench_page WORKDIR [seconds=60] [rate=200] [runs=3]
// With --serve SECONDS PORT: no load; the studio of WORKDIR/serve with the 600 MB take and a
// take by hand recording a tone, its pages open without a token on PORT for SECONDS (for a look
// with a browser: chromium --headless --screenshot http://127.0.0.1:PORT/now).
#include "../StallProbe.h"
#include "audio/devices/VirtualBackend.h"
#include "core/Core.h"
#include "core/NoticeLog.h"
#include "core/ProgramSettings.h"
#include "library/IndexRecord.h"
#include "schedule/EventStore.h"
#include "schedule/RunStore.h"
#include "studio/Studio.h"
#include "web/WebService.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tamblor;

namespace {

// One GET of `path` on a connection of its own; the time to the whole answer in ms, or -1.
double fetch(int port, const QByteArray& request)
{
    const auto t0 = std::chrono::steady_clock::now();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    char buf[16384];
    QByteArray all;
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        all.append(buf, qsizetype(n));
    }
    ::close(fd);
    if (!all.startsWith("HTTP/1.1 200"))
        return -1;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

constexpr qint64 BigBytes = 600LL * 1000 * 1000;

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

struct Figures {
    double p50 = 0, p99 = 0, stall = 0;
    double downloadSeconds = 0, downloadStall = 0, idleStall = 0;
    qint64 lost = 0;
    int failed = 0, sent = 0;
};

void makeRoot(const QString& root)
{
    QDir(root).removeRecursively();
    QDir().mkpath(root + "/C/Tamblor");
    QByteArray ini(22, '\0'); // 44100 stereo, start mode Off, unity gain
    ini[4] = 3;
    ini[8] = 1;
    ini[20] = char(16384 & 0xff);
    ini[21] = char(16384 >> 8);
    QFile f(root + "/C/Tamblor/MyComp.ini");
    f.open(QIODevice::WriteOnly);
    f.write(ini);
    f.close();
    // Slot 1: a take of 600 MB (silence, a sparse file).
    IndexRecord big;
    big.Status = SlotStatus::Used;
    big.setSoundName("BIG");
    big.setLengthText("3401");
    QFile index(root + "/C/Tamblor/Schedule.dat");
    index.open(QIODevice::WriteOnly);
    index.write(big.toBytes());
    index.close();
    QFile wave(root + "/C/Tamblor/SF0001.wav");
    wave.open(QIODevice::WriteOnly);
    const quint32 data = BigBytes - 44;
    QByteArray header("RIFF....WAVEfmt ");
    auto le = [](quint32 v, int n) {
        QByteArray b;
        for (int i = 0; i < n; ++i)
            b += char((v >> (8 * i)) & 0xff);
        return b;
    };
    header = "RIFF" + le(data + 36, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(44100, 4) + le(176400, 4) +
             le(4, 2) + le(16, 2) + "data" + le(data, 4);
    wave.write(header);
    wave.resize(BigBytes);
    wave.close();
}

int serve(const QString& root, int seconds, int port)
{
    makeRoot(root);
    Core app(root);
    NoticeLog log(app.notices());
    Studio studio(app);
    web::WebService service(app, studio);
    WebPreferences prefs;
    prefs.enabled = true;
    prefs.port = port;
    prefs.viewWithoutToken = true;
    ProgramSettings(app.drives()).setWeb(prefs);
    try {
        app.startUp();
    } catch (const Failure& failure) {
        std::fprintf(stderr, "the program did not start: %s\n", qPrintable(failure.text()));
        return 1;
    }
    if (auto* card = dynamic_cast<audio::VirtualBackend*>(&app.audio()))
        card->setInputSignal(audio::sources::tone(440.0, 6000));
    schedule::RecordEvent e;
    e.name = "EVENING NEWS";
    e.start = QTime(18, 0);
    e.weekdays = schedule::RecordEvent::EveryDay;
    e.lengthSeconds = 900;
    studio.events().add(e);
    const auto answer = service.desk().carryOut(web::StudioActions::Action::StartTake, 0);
    std::printf("serving on http://127.0.0.1:%d/ for %d s: %s\n", service.port(), seconds, qPrintable(answer.text));
    std::fflush(stdout);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000LL)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    app.endProgram();
    return 0;
}

bool runOnce(const QString& root, int seconds, int rate, Figures& out)
{
    makeRoot(root);

    Core app(root);
    NoticeLog log(app.notices());
    Studio studio(app);
    web::WebService service(app, studio);
    WebPreferences prefs;
    prefs.enabled = true;
    prefs.port = 0;
    ProgramSettings(app.drives()).setWeb(prefs);
    try {
        app.startUp();
    } catch (const Failure& failure) {
        std::fprintf(stderr, "the program did not start: %s\n", qPrintable(failure.text()));
        return false;
    }
    if (!service.isRunning()) {
        std::fprintf(stderr, "the web server did not start: %s\n", qPrintable(service.lastError()));
        return false;
    }
    if (auto* card = dynamic_cast<audio::VirtualBackend*>(&app.audio()))
        card->setInputSignal(audio::sources::tone(1000.0, 8000));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QByteArray token = service.tokens().make("bench", web::Role::Viewer, now, now + 3600'000).token;
    const QByteArray request = "GET /now HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nAuthorization: Bearer " +
                               token + "\r\n\r\n";

    // A take of the load's length and some more, starting in three seconds.
    const QDateTime start = app.clock().now().addSecs(3);
    schedule::RecordEvent e;
    e.name = "LOAD";
    e.start = QTime(start.time().hour(), start.time().minute(), start.time().second());
    e.weekdays = schedule::RecordEvent::EveryDay;
    e.lengthSeconds = seconds + 15;
    studio.events().add(e);
    QElapsedTimer wait;
    wait.start();
    while (studio.recording().state() != RecordingSession::State::Writing && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (studio.recording().state() != RecordingSession::State::Writing) {
        std::fprintf(stderr, "the take did not start\n");
        return false;
    }
    const quint64 droppedBefore = studio.recording().input().droppedFrames();
    // The peer: the same probe on the same machine with the take recording and no request.
    QElapsedTimer idle;
    idle.start();
    out.idleStall = bench::longestStall([] {}, [&] { return idle.elapsed() >= 1000 * std::min(seconds, 10); });

    // The load: each of 4 threads sends its share at an even pace.
    std::vector<double> times;
    std::mutex timesMutex;
    std::atomic<int> failed{0}, running{4};
    const int port = service.port();
    std::vector<std::thread> clients;
    const auto begin = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    for (int c = 0; c < 4; ++c)
        clients.emplace_back([&, c] {
            const int each = seconds * rate / 4;
            const auto interval = std::chrono::microseconds(4'000'000 / rate);
            std::vector<double> mine;
            for (int i = 0; i < each; ++i) {
                std::this_thread::sleep_until(begin + interval * i + interval * c / 4);
                const double ms = fetch(port, request);
                if (ms < 0)
                    ++failed;
                else
                    mine.push_back(ms);
            }
            std::lock_guard lock(timesMutex);
            times.insert(times.end(), mine.begin(), mine.end());
            --running;
        });
    out.stall = bench::longestStall([] {}, [&] { return running == 0; });
    for (auto& t : clients)
        t.join();

    // The download of the 600 MB take, the take still recording.
    std::atomic<bool> downloaded{false};
    qint64 received = 0;
    QElapsedTimer took;
    took.start();
    std::thread downloader([&] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            const QByteArray get = "GET /library/1/download HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                   "Authorization: Bearer " + token + "\r\n\r\n";
            ::send(fd, get.constData(), size_t(get.size()), MSG_NOSIGNAL);
            static char buf[1 << 20];
            for (;;) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                received += n;
            }
        }
        ::close(fd);
        downloaded = true;
    });
    out.downloadStall = bench::longestStall([] {}, [&] { return downloaded.load(); });
    downloader.join();
    out.downloadSeconds = double(took.elapsed()) / 1000.0;
    if (received < BigBytes) {
        std::fprintf(stderr, "the download ended after %lld bytes\n", static_cast<long long>(received));
        return false;
    }

    // The take's end.
    wait.restart();
    while (wait.elapsed() < 40000) {
        const auto last = studio.runs().last(e.id);
        if (last && last->result && !studio.scheduler().checking())
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    studio.scheduler().finishChecks();
    const auto run = studio.runs().last(e.id);
    const auto timing = studio.scheduler().lastTiming();
    if (!run || !run->result || !timing) {
        std::fprintf(stderr, "the take did not end\n");
        return false;
    }
    out.lost = qint64(studio.recording().input().droppedFrames() - droppedBefore) +
               std::max<qint64>(0, timing->framesAsked - timing->framesWritten);
    out.p50 = percentile(times, 0.50);
    out.p99 = percentile(times, 0.99);
    out.failed = failed;
    out.sent = int(times.size()) + failed;
    std::printf("  run: %d requests (%d failed), result %s\n", out.sent, out.failed,
                qPrintable(schedule::resultText(*run->result)));
    app.endProgram();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_page WORKDIR [seconds=60] [rate=200] [runs=3]\n");
        return 2;
    }
    qputenv("TAMBLOR_AUDIO", "virtual-realtime");
    QCoreApplication qapp(argc, argv);
    const QString workdir = QString::fromLocal8Bit(argv[1]);
    if (argc > 3 && std::strcmp(argv[2], "--serve") == 0)
        return serve(workdir + "/serve", std::atoi(argv[3]), argc > 4 ? std::atoi(argv[4]) : 8390);
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    const int rate = argc > 3 ? std::max(4, std::atoi(argv[3])) : 200;
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    std::printf("load: %d requests a second to /now for %d s on the loopback (4 client threads, a connection each),\n"
                "while a take records 44100 stereo from the real-time virtual input; %d runs\n",
                rate, seconds, runs);
    std::vector<double> p50, p99, stall, lost, download, downloadStall, idleStall;
    for (int i = 0; i < runs; ++i) {
        Figures f;
        if (!runOnce(QString("%1/run-%2").arg(workdir).arg(i + 1), seconds, rate, f))
            return 1;
        std::printf("  page under load: p50 %.2f ms, p99 %.2f ms; frames lost by the take: %lld; "
                    "user-interface thread's longest stall: %.1f ms (its peer without requests: %.1f ms)\n",
                    f.p50, f.p99, static_cast<long long>(f.lost), f.stall, f.idleStall);
        std::printf("  download of 600 MB: %.2f s; user-interface thread's longest stall: %.1f ms\n", f.downloadSeconds,
                    f.downloadStall);
        p50.push_back(f.p50);
        p99.push_back(f.p99);
        stall.push_back(f.stall);
        lost.push_back(double(f.lost));
        download.push_back(f.downloadSeconds);
        downloadStall.push_back(f.downloadStall);
        idleStall.push_back(f.idleStall);
    }
    std::printf("page under load: p50 %.2f ms, p99 %.2f ms; frames lost by the take: %.0f\n", bench::median(p50),
                bench::median(p99), bench::median(lost));
    std::printf("user-interface thread's longest stall: %.1f ms (median of %d; its peer without requests %.1f ms)\n",
                bench::median(stall), runs, bench::median(idleStall));
    std::printf("download of 600 MB while the take records: %.2f s; user-interface thread's longest stall: %.1f ms\n",
                bench::median(download), bench::median(downloadStall));
    return 0;
}
