#include "PulseFixture.h"
#include "audio/devices/AudioBackend.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <QProcess>

namespace tamblor::audio::measure {

std::map<QString, QString> readPulseState(const QString& path)
{
    std::map<QString, QString> state;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return state;
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        const int eq = line.indexOf('=');
        if (eq > 0)
            state[line.left(eq)] = line.mid(eq + 1);
    }
    return state;
}

QString pulseServerGone(const std::map<QString, QString>& state)
{
    // A dead server may stay a zombie (the daemon's parent here is an init that does not reap),
    // so its state is read, not only whether its PID exists.
    const auto pid = state.find("pid");
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid == state.end() ? QString("0") : pid->second));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const qsizetype after = line.lastIndexOf(") ");
        if (after > 0 && line.size() > after + 2 && line[after + 2] != 'Z' && line[after + 2] != 'X')
            return {};
    }
    QString story = QStringLiteral("the PulseAudio server (pid %1) is gone").arg(pid == state.end() ? "?" : pid->second);
    const auto runtime = state.find("runtime");
    QFile log(runtime == state.end() ? QString() : runtime->second + "/server.log");
    if (log.open(QIODevice::ReadOnly)) {
        const QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
        story += "; its log ends:\n  " + lines.mid(std::max<qsizetype>(0, lines.size() - 15)).join("\n  ");
    }
    return story;
}

std::map<QString, QString> sharedPulseServer(const QString& path, const QString& fixture)
{
    std::map<QString, QString> state = readPulseState(path);
    if (state.empty())
        return state;
    const QString gone = pulseServerGone(state);
    if (gone.isEmpty())
        return state;
    std::fprintf(stderr, "%s\nstarting another\n", qPrintable(gone));
    if (QProcess::execute("sh", {fixture, "start", path}) != 0)
        return {};
    return readPulseState(path);
}

void usePulseServer(const std::map<QString, QString>& state, const QString& sink, const QString& source)
{
    const auto server = state.find("server");
    setenv("PULSE_SERVER", server == state.end() ? "" : server->second.toLocal8Bit().constData(), 1);
    setenv("PULSE_SINK", sink.toLocal8Bit().constData(), 1);
    setenv("PULSE_SOURCE", source.toLocal8Bit().constData(), 1);
}

int findDevice(const AudioBackend& backend, bool input, const QString& name)
{
    const int count = input ? backend.inputDeviceCount() : backend.outputDeviceCount();
    for (int i = 0; i < count; ++i)
        if ((input ? backend.inputDeviceName(i) : backend.outputDeviceName(i)) == name)
            return i;
    return -1;
}

double sinkConfiguredLatency(const QString& sink)
{
    QProcess pactl;
    pactl.start("pactl", {"list", "sinks"});
    if (!pactl.waitForFinished(10000))
        return 0;
    bool ours = false;
    const QStringList lines = QString::fromUtf8(pactl.readAllStandardOutput()).split('\n');
    static const QRegularExpression configured("configured (\\d+) usec");
    for (const QString& line : lines) {
        if (line.trimmed().startsWith("Name:"))
            ours = line.trimmed() == "Name: " + sink;
        const auto m = configured.match(line);
        if (ours && m.hasMatch())
            return m.captured(1).toDouble() / 1e6;
    }
    return 0;
}

bool MonitorCapture::start(const QString& source)
{
    bytes_.clear();
    parec_.setProcessChannelMode(QProcess::SeparateChannels);
    parec_.start("parec", {"-d", source, "--raw", "--format=s16le", "--rate=" + QString::number(Rate),
                           "--channels=2", "--latency-msec=10"});
    if (!parec_.waitForStarted(10000))
        return false;
    QElapsedTimer t;
    t.start();
    while (bytes_.isEmpty() && t.elapsed() < 10000) {
        parec_.waitForReadyRead(100);
        bytes_ += parec_.readAllStandardOutput();
    }
    since_.start();
    return !bytes_.isEmpty();
}

void MonitorCapture::catchUp()
{
    const qint64 due = since_.elapsed() * Rate / 1000;
    QElapsedTimer t;
    t.start();
    while (bytes_.size() / 4 < due && t.elapsed() < 5000) {
        parec_.waitForReadyRead(50);
        bytes_ += parec_.readAllStandardOutput();
    }
}

std::vector<int16_t> MonitorCapture::stop()
{
    bytes_ += parec_.readAllStandardOutput();
    parec_.terminate();
    parec_.waitForFinished(5000);
    bytes_ += parec_.readAllStandardOutput();
    std::vector<int16_t> samples(size_t(bytes_.size()) / 4 * 2);
    std::memcpy(samples.data(), bytes_.constData(), samples.size() * 2);
    return samples;
}

} // namespace tamblor::audio::measure
