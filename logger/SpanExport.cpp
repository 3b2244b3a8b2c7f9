#include "logger/SpanExport.h"
#include "audio/core/WaveFormat.h"
#include "audio/format/FileFailure.h"
#include "audio/format/SndFileReader.h"
#include "audio/format/SndFileWriter.h"
#include "logger/SegmentFile.h"
#include "logger/SegmentTimes.h"
#include "platform/Failure.h"
#include "platform/SafeReplace.h"
#include <QDateTime>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <sndfile.h>

namespace tamblor::logger {

namespace {

// Bytes moved per read and write: large enough that the file layer hands them straight to the
// disk, small enough that a cancel is seen at once.
constexpr qint64 ChunkBytes = 4 << 20;

// A segment whose predicted end lies this close to its boundary (a fraction of its span) was cut
// at that boundary: its frames fill the span exactly.
constexpr double ReachedEndFraction = 100e-6;
// A measured rate further than this from the nominal one is not believed.
constexpr double MaxPpm = 5000;

qint64 floorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
qint64 ceilDiv(qint64 a, qint64 b) { return -floorDiv(-a, b); }

// A segment the span takes frames from, as its file stands.
struct Source {
    const SegmentRecord* row = nullptr;
    qint64 frames = 0; // usable frames
    int bits = 16;
    int channels = 1;
    bool wavPcm = false;
    // Frames per millisecond as num / den, from the segment's start.
    qint64 num = 0;
    qint64 den = 1;
    double endMs = 0; // when the frame after its last is due

    // The first frame due at or after `ms`, 0 before the start and frames + 1 well after the end.
    qint64 frameAt(qint64 ms) const
    {
        if (ms <= row->startMs)
            return 0;
        if (double(ms) > endMs + 1000)
            return frames + 1;
        return ceilDiv((ms - row->startMs) * num, den);
    }
    double wallOf(qint64 frame) const { return double(row->startMs) + double(frame) * double(den) / double(num); }
};

struct Piece {
    int source = -1; // -1: silence
    qint64 from = 0;
    qint64 frames = 0;
};

Failure damaged(const QString& path, const QString& what)
{
    return Failure(audio::kInvalidFileFormat, "the segment " + path + " " + what);
}

QString failureText(const Failure& f) { return QString::number(f.number()) + " " + f.description(); }

// The bits of a segment's samples; 0 for a coding the export does not take.
int bitsOf(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    default: return 0;
    }
}

void copyText(char* into, size_t size, const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    std::memset(into, 0, size);
    std::memcpy(into, bytes.constData(), std::min(size, size_t(bytes.size())));
}

class Writer {
public:
    Writer(const QString& path, const audio::WaveFormat& format) : file_(path, format) {}

    sf_private_tag* handle() const { return file_.handle(); }
    void raw(const void* bytes, qint64 n)
    {
        if (sf_write_raw(file_.handle(), bytes, n) != n) {
            file_.throwIfWriteFailed();
            throw Failure(Failure::DeviceIOError);
        }
    }
    void frames(const int* samples, qint64 n)
    {
        if (sf_writef_int(file_.handle(), samples, n) != n) {
            file_.throwIfWriteFailed();
            throw Failure(Failure::DeviceIOError);
        }
    }
    void close() { file_.close(); }
    void startWriteback() { file_.startWriteback(); }

private:
    audio::SndFileWriter file_;
};

QString noSegmentCause(const std::vector<Gap>& gaps, double fromMs, double toMs)
{
    QStringList causes;
    for (const Gap& g : gaps)
        if (double(g.startMs) < toMs && double(g.endMs) > fromMs && !causes.contains(g.cause))
            causes << g.cause;
    if (causes.isEmpty())
        return "no segment on the disk (the logger was not recording, or the segment was deleted)";
    return "not recorded: " + causes.join("; ");
}

// True when `next` takes up where `last` left off in the same run: it begins at the boundary
// `last` was cut at, a little after it only because the cut came late (the input's clock moved
// on), and the logger noted no gap there. No silence goes between them.
bool continues(const Source& last, const Source& next, const std::vector<Gap>& gaps, double lastEndMs)
{
    if (next.row->boundaryMs != last.row->endMs)
        return false;
    const double tolerance = std::max(2000.0 / last.row->sampleRate,
                                      double(last.row->endMs - last.row->startMs) * ReachedEndFraction);
    if (double(next.row->startMs) - lastEndMs > tolerance)
        return false;
    for (const Gap& g : gaps)
        if (double(g.startMs) < double(next.row->startMs) && double(g.endMs) > lastEndMs - tolerance)
            return false;
    return true;
}

} // namespace

QString exportTimeText(qint64 ms)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    return t.toString("yyyy-MM-dd HH:mm:ss.zzz ") + SegmentTimes::offsetText(t.offsetFromUtc());
}

QString ExportResult::summary() const
{
    const auto place = [this](qint64 frame) {
        return rate > 0 ? QString("%1 s (frame %2)").arg(double(frame) / rate, 0, 'f', 3).arg(frame) : QString();
    };
    QStringList lines;
    switch (status) {
    case Status::Cancelled: return "The export was cancelled; no file was written.";
    case Status::Failed: return "The export failed: " + problem;
    case Status::Done: break;
    }
    lines << QString("%1: %2 frames (%3 s), %4 Hz, %5 channel(s), %6-bit, from %7 segment file(s).")
                 .arg(target)
                 .arg(frames)
                 .arg(rate > 0 ? double(frames) / rate : 0.0, 0, 'f', 3)
                 .arg(rate)
                 .arg(channels)
                 .arg(bits)
                 .arg(files.size());
    if (fills.empty())
        lines << "Every frame of the span was recorded.";
    for (const ExportFill& f : fills)
        lines << QString("Silence at %1 for %2 frames (%3 to %4): %5.")
                     .arg(place(f.position))
                     .arg(f.frames)
                     .arg(exportTimeText(f.startMs), exportTimeText(f.endMs), f.cause);
    for (const ExportFill& f : losses)
        lines << QString("Silence at %1 for %2 frames (from %3): %4.")
                     .arg(place(f.position))
                     .arg(f.frames)
                     .arg(exportTimeText(f.startMs), f.cause);
    return lines.join('\n');
}

SpanExport::SpanExport(std::vector<SegmentRecord> segments, std::vector<Gap> gaps)
    : segments_(std::move(segments)), gaps_(std::move(gaps))
{
    std::sort(segments_.begin(), segments_.end(),
              [](const SegmentRecord& a, const SegmentRecord& b) { return a.startMs < b.startMs; });
}

namespace {

// How the segment's frames fall on the wall clock, and what its file holds.
Source sourceOf(const SegmentRecord& row)
{
    Source s;
    s.row = &row;
    const audio::SndFileReader file(row.readPath());
    SF_INFO info{};
    sf_command(file.handle(), SFC_GET_CURRENT_SF_INFO, &info, sizeof info);
    s.bits = bitsOf(info.format);
    s.channels = info.channels;
    s.wavPcm = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && s.bits > 0;
    if (s.bits == 0)
        throw damaged(row.readPath(), "is not 16- or 24-bit PCM");
    if (info.samplerate != row.sampleRate || info.channels != row.channels)
        throw damaged(row.readPath(), QString("holds %1 Hz, %2 channel(s); its row says %3 Hz, %4")
                                    .arg(info.samplerate)
                                    .arg(info.channels)
                                    .arg(row.sampleRate)
                                    .arg(row.channels));
    // A closed segment must hold what its row says; one never closed holds what got into it.
    if (row.closed && file.frames() < row.frames)
        throw damaged(row.readPath(), QString("holds %1 frames; its row says %2 (damaged or cut short)")
                                    .arg(file.frames())
                                    .arg(row.frames));
    s.frames = row.closed ? row.frames : file.frames();

    const double span = double(row.endMs - row.startMs);
    const double ppm = std::abs(row.ppm) <= MaxPpm ? row.ppm : 0.0;
    const double measured = row.sampleRate * (1.0 + ppm * 1e-6) / 1000.0; // frames per ms
    const double predictedEnd = double(row.startMs) + double(s.frames) / measured;
    if (row.closed && span > 0 && std::abs(predictedEnd - double(row.endMs)) <= std::max(2000.0 / row.sampleRate, span * ReachedEndFraction)) {
        s.num = s.frames;
        s.den = row.endMs - row.startMs;
        s.endMs = double(row.endMs);
    } else {
        s.num = std::llround(double(row.sampleRate) * (1e6 + ppm));
        s.den = 1000 * 1000000ll;
        s.endMs = s.wallOf(s.frames);
    }
    if (s.num <= 0)
        throw damaged(row.readPath(), "has no frames");
    return s;
}

} // namespace

ExportResult SpanExport::exportTo(const QString& target, qint64 startMs, qint64 endMs, const ExportProgress& progress) const
{
    ExportResult r;
    r.target = target;
    try {
        if (endMs <= startMs)
            throw Failure(Failure::InvalidCall, "the end is not after the start");

        // The segments the span touches, as their files stand.
        std::vector<Source> sources;
        for (const SegmentRecord& row : segments_) {
            if (row.startMs >= endMs || row.sampleRate <= 0)
                continue;
            // A row's end is at most its boundary plus the drift: anything ending well before
            // the start is left unopened.
            if (double(row.endMs) + double(row.endMs - row.startMs) * MaxPpm * 1e-6 + 1000 < double(startMs))
                continue;
            Source s;
            try {
                s = sourceOf(row);
            } catch (const Failure& f) {
                if (f.number() == audio::kInvalidFileFormat && f.description().startsWith("the segment "))
                    throw;
                throw Failure(f.number(), "the segment " + row.readPath() + ": " + f.description());
            }
            if (s.endMs > double(startMs))
                sources.push_back(s);
        }
        if (sources.empty())
            throw Failure(Failure::FileNotFound, "there is no recording between " + exportTimeText(startMs) + " and " +
                                                     exportTimeText(endMs));
        const int rate = sources.front().row->sampleRate;
        r.rate = rate;
        r.channels = 1;
        r.bits = 16;
        for (const Source& s : sources) {
            if (s.row->sampleRate != rate)
                throw Failure(Failure::InvalidCall,
                              QString("the span holds segments at %1 Hz and at %2 Hz; export each part alone")
                                  .arg(rate)
                                  .arg(s.row->sampleRate));
            r.channels = std::max(r.channels, s.channels);
            r.bits = std::max(r.bits, s.bits);
        }

        // The pieces in order: frames of a segment, or silence where there is none.
        std::vector<Piece> pieces;
        qint64 total = 0;
        double cursor = double(startMs);
        const auto fillTo = [&](double untilMs) {
            const qint64 n = std::llround((untilMs - cursor) * rate / 1000.0);
            if (n <= 0)
                return;
            r.fills.push_back({total, n, qint64(std::floor(cursor)), qint64(std::ceil(untilMs)),
                               noSegmentCause(gaps_, cursor, untilMs)});
            pieces.push_back({-1, 0, n});
            total += n;
        };
        const Source* before = nullptr; // the segment the last frames came from
        for (size_t i = 0; i < sources.size() && cursor < double(endMs); ++i) {
            const Source& s = sources[i];
            if (double(s.row->startMs) > cursor) {
                if (before && continues(*before, s, gaps_, cursor))
                    cursor = double(s.row->startMs);
                else
                    fillTo(std::min<double>(double(s.row->startMs), double(endMs)));
            }
            // The first frame due at or after what is already in (a segment overlapping the one
            // before gives only what that one did not have).
            const qint64 from = std::clamp<qint64>(s.frameAt(qint64(std::ceil(cursor))), 0, s.frames);
            const qint64 to = std::clamp<qint64>(s.frameAt(endMs), from, s.frames);
            if (to <= from)
                continue;
            for (const Loss& loss : s.row->losses) {
                const qint64 a = std::max(loss.position, from), b = std::min(loss.position + loss.frames, to);
                if (b > a)
                    r.losses.push_back({total + a - from, b - a, qint64(std::floor(s.wallOf(a))),
                                        qint64(std::ceil(s.wallOf(b))), "the input lost these frames; the logger filled them with silence"});
            }
            pieces.push_back({int(i), from, to - from});
            before = &s;
            r.files << s.row->path;
            total += to - from;
            cursor = to == s.frames ? s.endMs : double(endMs);
        }
        if (cursor < double(endMs))
            fillTo(double(endMs));
        const qint64 frameBytes = qint64(r.channels) * r.bits / 8;
        if (total * frameBytes > MaxDataBytes)
            throw Failure(Failure::InvalidCall,
                          QString("the span is longer than one wave file holds (at most %1 min at %2 Hz, %3 channel(s), %4-bit)")
                              .arg(MaxDataBytes / frameBytes / rate / 60)
                              .arg(rate)
                              .arg(r.channels)
                              .arg(r.bits));

        // The file: beside the target until it is complete and on the disk.
        SafeReplace replace(QFileInfo(target).absoluteFilePath());
        replace.create().close();
        Writer out(replace.workingPath(), audio::WaveFormat::pcm(rate, r.channels, r.bits));
        {
            SF_BROADCAST_INFO bext{};
            const QDateTime start = QDateTime::fromMSecsSinceEpoch(startMs, Qt::LocalTime);
            copyText(bext.description, sizeof bext.description,
                     QString("Logger export %1 to %2").arg(exportTimeText(startMs), exportTimeText(endMs)));
            copyText(bext.originator, sizeof bext.originator, "Tamblor logger export");
            copyText(bext.origination_date, sizeof bext.origination_date, start.toString("yyyy-MM-dd"));
            copyText(bext.origination_time, sizeof bext.origination_time, start.toString("HH:mm:ss"));
            const auto reference = quint64(SegmentTimes::framesSinceMidnight(startMs, rate));
            bext.time_reference_low = uint32_t(reference & 0xFFFFFFFFu);
            bext.time_reference_high = uint32_t(reference >> 32);
            bext.version = 1;
            sf_command(out.handle(), SFC_SET_BROADCAST_INFO, &bext, sizeof bext);
        }

        const qint64 chunkFrames = std::max<qint64>(1, ChunkBytes / frameBytes);
        std::vector<char> bytes(size_t(chunkFrames * frameBytes));
        std::vector<int> samples(size_t(chunkFrames * r.channels));
        qint64 done = 0, writtenBack = 0;
        const qint64 writebackFrames = 8 * chunkFrames;
        const auto advance = [&](qint64 n) {
            done += n;
            // The disk works on the file as it grows: the sync at the end waits for little.
            if (done - writtenBack >= writebackFrames) {
                out.startWriteback();
                writtenBack = done;
            }
            return !progress || progress(done, total);
        };
        if (progress && !progress(0, total)) {
            r.status = ExportResult::Status::Cancelled;
            return r;
        }
        for (const Piece& piece : pieces) {
            if (piece.source < 0) {
                std::fill(bytes.begin(), bytes.end(), 0);
                for (qint64 left = piece.frames; left > 0;) {
                    const qint64 n = std::min(left, chunkFrames);
                    out.raw(bytes.data(), n * frameBytes);
                    left -= n;
                    if (!advance(n)) {
                        r.status = ExportResult::Status::Cancelled;
                        return r;
                    }
                }
                continue;
            }
            const Source& s = sources[size_t(piece.source)];
            const QString& path = s.row->path;
            std::unique_ptr<audio::SndFileReader> opened;
            try {
                opened = std::make_unique<audio::SndFileReader>(path);
            } catch (const Failure& f) {
                throw Failure(f.number(), "the segment " + path + ": " + f.description());
            }
            audio::SndFileReader& in = *opened;
            if (sf_seek(in.handle(), piece.from, SEEK_SET) != piece.from) {
                in.throwIfReadFailed();
                throw damaged(path, QString("cannot be read from frame %1").arg(piece.from));
            }
            // The same coding as the export: the bytes as they are; any other through samples.
            const bool asIs = s.wavPcm && s.bits == r.bits && s.channels == r.channels;
            for (qint64 left = piece.frames; left > 0;) {
                const qint64 n = std::min(left, chunkFrames);
                qint64 got;
                if (asIs) {
                    got = sf_read_raw(in.handle(), bytes.data(), n * frameBytes) / frameBytes;
                    if (got == n)
                        out.raw(bytes.data(), n * frameBytes);
                } else {
                    got = sf_readf_int(in.handle(), samples.data(), n);
                    if (got == n && s.channels < r.channels) {
                        // A mono segment among stereo ones: on every channel.
                        for (qint64 f = n - 1; f >= 0; --f)
                            for (int c = r.channels - 1; c >= 0; --c)
                                samples[size_t(f * r.channels + c)] = samples[size_t(f)];
                    }
                    if (got == n)
                        out.frames(samples.data(), n);
                }
                if (got != n) {
                    in.throwIfReadFailed();
                    throw damaged(path, QString("ends at frame %1 of %2 (damaged or cut short)")
                                            .arg(piece.from + piece.frames - left + std::max<qint64>(got, 0))
                                            .arg(s.frames));
                }
                left -= n;
                if (!advance(n)) {
                    r.status = ExportResult::Status::Cancelled;
                    return r;
                }
            }
        }
        out.close();
        replace.commit();
        r.frames = total;
        r.status = ExportResult::Status::Done;
    } catch (const Failure& f) {
        r.status = ExportResult::Status::Failed;
        r.problem = failureText(f);
        r.fills.clear();
        r.losses.clear();
    } catch (const std::exception& e) {
        r.status = ExportResult::Status::Failed;
        r.problem = QString::fromLocal8Bit(e.what());
    }
    return r;
}

} // namespace tamblor::logger
