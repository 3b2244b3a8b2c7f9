#include "LoggerTestSupport.h"
#include "logger/SegmentTimes.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <sndfile.h>

namespace logger_test {

FileSamples readSamples(const QString& path)
{
    FileSamples out;
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        return out;
    out.frames = info.frames;
    out.channels = info.channels;
    out.rate = info.samplerate;
    out.bits = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24 ? 24 : 16;
    out.samples.resize(size_t(info.frames) * size_t(info.channels));
    const sf_count_t got = sf_readf_short(f, out.samples.data(), info.frames);
    out.samples.resize(size_t(got) * size_t(info.channels));
    sf_close(f);
    return out;
}

uint32_t FileSamples::number(int64_t i) const
{
    const size_t at = size_t(i) * size_t(channels);
    return uint32_t(samples[at]) + uint32_t(samples[at + 1]) * 32768u;
}

int64_t misnumbered(const FileSamples& s, uint32_t first)
{
    int64_t wrong = 0;
    for (int64_t i = 0; i < s.frames; ++i)
        wrong += s.number(i) != first + uint32_t(i);
    return wrong;
}

Recorded recordCounting(const tamblor::logger::RecorderSettings& settings, qint64 fromMs, qint64 toMs, double ratio,
                        qint64 stepMs, uint32_t first)
{
    Recorded out;
    tamblor::logger::SegmentRecorder recorder(settings);
    recorder.closed = [&out](tamblor::logger::SegmentRecord& r) { out.rows.push_back(r); };
    recorder.begin(fromMs);
    const size_t channels = size_t(settings.channels);
    std::vector<int16_t> buffer;
    for (qint64 t = fromMs + stepMs; t <= toMs; t += stepMs) {
        const int64_t due = std::llround(double(t - fromMs) * settings.rate * ratio / 1000.0);
        buffer.resize(size_t(due - out.given) * channels);
        for (int64_t i = out.given; i < due; ++i) {
            const uint32_t n = first + uint32_t(i);
            for (size_t c = 0; c < channels; ++c)
                buffer[size_t(i - out.given) * channels + c] = int16_t(c == 0 ? n % 32768 : n / 32768);
        }
        recorder.noteInput(due, t);
        recorder.addFrames(buffer.data(), due - out.given);
        out.given = due;
    }
    recorder.end();
    return out;
}

Joined joinCounting(const QStringList& files)
{
    Joined j;
    for (const QString& f : files) {
        const FileSamples s = readSamples(f);
        j.firstFrames.push_back(j.frames);
        for (int64_t i = 0; i < s.frames; ++i)
            if (s.samples[size_t(i)] != int16_t((j.frames + i) % 32768))
                ++j.wrong;
        j.frames += std::max<int64_t>(s.frames, 0);
    }
    return j;
}

QStringList segmentFiles(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, {"*.wav", "*.flac"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    // Names sort by local time; across a change of the clocks the start in UTC decides.
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        auto utc = [](const QString& p) {
            const QString base = QFileInfo(p).completeBaseName().left(22);
            const QDateTime t = QDateTime::fromString(base.left(17), "yyyy-MM-ddTHHmmss");
            const int sign = base[17] == '-' ? -1 : 1;
            const int offset = sign * (base.mid(18, 2).toInt() * 3600 + base.mid(20, 2).toInt() * 60);
            return QDateTime(t.date(), t.time(), Qt::UTC).toMSecsSinceEpoch() - qint64(offset) * 1000;
        };
        const qint64 ua = utc(a), ub = utc(b);
        return ua != ub ? ua < ub : a < b;
    });
    return files;
}

namespace {
uint32_t u32(const QByteArray& b, int at)
{
    uint32_t v;
    std::memcpy(&v, b.constData() + at, 4);
    return v;
}
int16_t i16(const QByteArray& b, int at)
{
    int16_t v;
    std::memcpy(&v, b.constData() + at, 2);
    return v;
}
QString text(const QByteArray& b, int at, int size)
{
    QByteArray t = b.mid(at, size);
    const int end = t.indexOf('\0');
    return QString::fromLatin1(end >= 0 ? t.left(end) : t);
}
} // namespace

Bext readBext(const QByteArray& file)
{
    Bext b;
    if (file.size() < 12 || file.left(4) != "RIFF" || file.mid(8, 4) != "WAVE")
        return b;
    b.riffBytes = u32(file, 4);
    int at = 12;
    while (at + 8 <= file.size()) {
        const QByteArray id = file.mid(at, 4);
        const uint32_t size = u32(file, at + 4);
        const int body = at + 8;
        if (id == "bext" && body + 602 <= file.size()) {
            b.found = true;
            b.description = text(file, body, 256);
            b.originator = text(file, body + 256, 32);
            b.originatorReference = text(file, body + 288, 32);
            b.date = text(file, body + 320, 10);
            b.time = text(file, body + 330, 8);
            b.timeReference = uint64_t(u32(file, body + 338)) | (uint64_t(u32(file, body + 342)) << 32);
            b.version = i16(file, body + 346);
            b.loudnessValue = i16(file, body + 412);
            b.loudnessRange = i16(file, body + 414);
            b.maxTruePeak = i16(file, body + 416);
            b.maxMomentary = i16(file, body + 418);
            b.maxShortTerm = i16(file, body + 420);
        }
        if (id == "data") {
            b.dataBytes = size;
            break;
        }
        at = body + int(size) + int(size & 1);
    }
    return b;
}

qint64 localMs(int y, int m, int d, int hh, int mm, int ss)
{
    return QDateTime(QDate(y, m, d), QTime(hh, mm, ss), Qt::LocalTime).toMSecsSinceEpoch();
}

qint64 utcMs(int hh, int mm, int ss, int ms)
{
    return QDateTime(QDate(2026, 12, 7), QTime(hh, mm, ss, ms), Qt::UTC).toMSecsSinceEpoch();
}

tamblor::logger::SegmentRecord closedRow(const QString& folder, qint64 startMs, int minutes, int rate)
{
    namespace SegmentTimes = tamblor::logger::SegmentTimes;
    tamblor::logger::SegmentRecord r;
    r.path = QDir(folder).filePath(SegmentTimes::localDate(startMs).toString("yyyy-MM-dd") + "/" +
                                   SegmentTimes::stamp(startMs) + ".wav");
    r.startMs = r.boundaryMs = startMs;
    r.endMs = startMs + minutes * 60000LL;
    r.utcOffsetSeconds = SegmentTimes::utcOffsetSeconds(startMs);
    r.sampleRate = rate;
    r.channels = 1;
    r.plannedFrames = r.frames = qint64(minutes) * 60 * rate;
    r.result = tamblor::logger::SegmentResult::Ok;
    r.closed = true;
    return r;
}

} // namespace logger_test
