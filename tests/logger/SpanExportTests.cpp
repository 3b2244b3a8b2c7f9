// The export of a span of wall-clock time from the segments: real segment files written by the
// logger's own cutter, every frame numbered end to end (left channel the low 16 bits of its
// number, right the high), the exported file read back frame by frame.
#include "logger/LoggerStore.h"
#include "logger/SegmentRecorder.h"
#include "logger/SpanExport.h"
#include "tests/support/TestEnv.h"
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>

using namespace tamblor::logger;

namespace {

constexpr int Rate = 44100;
const qint64 T0 = QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC).toMSecsSinceEpoch();

// The number a frame carries, and the frame of a number.
uint32_t numberOf(int left, int right) { return uint32_t(uint16_t(left)) | uint32_t(uint16_t(right)) << 16; }

struct Exported {
    std::vector<int> samples; // interleaved, as 32-bit
    int64_t frames = -1;
    int channels = 0;
    int rate = 0;
    int bits = 0;
    // The number of frame i, with samples at `shift` bits above 16-bit.
    uint32_t number(int64_t i, int shift) const
    {
        return numberOf(samples[size_t(i * channels)] >> shift, samples[size_t(i * channels + 1)] >> shift);
    }
};

Exported readBack(const QString& path)
{
    Exported out;
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        return out;
    out.frames = info.frames;
    out.channels = info.channels;
    out.rate = info.samplerate;
    out.bits = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24 ? 24 : 16;
    out.samples.resize(size_t(info.frames * info.channels));
    sf_readf_int(f, out.samples.data(), info.frames);
    sf_close(f);
    return out;
}

class SpanExportTest : public TempRootTest {
protected:
    // One run of the cutter from `startMs` for `ms`, 1-minute segments, stereo, its input `ppm`
    // fast, the frames numbered from `first`; the rows of the segments it closed.
    std::vector<SegmentRecord> record(const QString& folder, FileEncoding encoding, qint64 startMs, qint64 ms,
                                      uint32_t first, double ppm = 0)
    {
        RecorderSettings rs;
        rs.folder = folder;
        rs.encoding = encoding;
        rs.rate = Rate;
        rs.channels = 2;
        rs.segmentMinutes = 1;
        SegmentRecorder recorder(rs);
        std::vector<SegmentRecord> rows;
        recorder.closed = [&rows](SegmentRecord& r) { rows.push_back(r); };
        recorder.begin(startMs);
        std::vector<int16_t> buffer;
        qint64 given = 0;
        for (qint64 at = 100; at <= ms; at += 100) {
            const qint64 due = std::llround(double(at) * Rate * (1.0 + ppm * 1e-6) / 1000.0);
            buffer.resize(size_t(due - given) * 2);
            for (qint64 i = given; i < due; ++i) {
                const uint32_t n = first + uint32_t(i);
                buffer[size_t(i - given) * 2] = int16_t(uint16_t(n & 0xFFFF));
                buffer[size_t(i - given) * 2 + 1] = int16_t(uint16_t(n >> 16));
            }
            recorder.noteInput(due, startMs + at);
            recorder.addFrames(buffer.data(), due - given);
            given = due;
        }
        recorder.end();
        return rows;
    }
    QString target() const { return native("out/export.wav"); }
    void SetUp() override
    {
        TempRootTest::SetUp();
        QDir().mkpath(native("out"));
    }
    // Files in the target's folder (a working file left behind would show here).
    QStringList leftInOut() const { return QDir(native("out")).entryList(QDir::Files | QDir::Hidden); }
};

qint64 frameDue(qint64 ms) { return (ms * Rate + 999) / 1000; } // the first frame due at or after ms

} // namespace

TEST_F(SpanExportTest, JoinsThreeSegmentsFromMidFirstToMidThirdFrameByFrame)
{
    const auto rows = record(native("seg"), FileEncoding::Wav16, T0, 180000, 0);
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& r : rows)
        ASSERT_EQ(r.frames, 60 * Rate);

    // Starts and ends between two frames: the first frame is the one due at or after the start,
    // the last the one before the end.
    const qint64 start = T0 + 30001, end = T0 + 150007;
    const ExportResult result = SpanExport(rows, {}).exportTo(target(), start, end);
    ASSERT_TRUE(result.done()) << result.problem.toStdString();
    EXPECT_TRUE(result.fills.empty());
    EXPECT_EQ(result.files.size(), 3);
    EXPECT_EQ(result.bits, 16);
    const Exported out = readBack(target());
    const qint64 first = frameDue(30001), last = frameDue(150007) - 1;
    ASSERT_EQ(out.frames, last - first + 1);
    ASSERT_EQ(result.frames, out.frames);
    EXPECT_EQ(out.rate, Rate);
    EXPECT_EQ(out.channels, 2);
    qint64 wrong = 0;
    for (qint64 i = 0; i < out.frames; ++i)
        wrong += out.number(i, 16) != uint32_t(first + i);
    EXPECT_EQ(wrong, 0) << "frames not numbered end to end across the joints";
    EXPECT_EQ(leftInOut(), QStringList{"export.wav"});
    EXPECT_TRUE(result.summary().contains("Every frame of the span was recorded")) << result.summary().toStdString();

    // Exactly one segment, and a span of one millisecond across a joint.
    const ExportResult whole = SpanExport(rows, {}).exportTo(target(), T0 + 60000, T0 + 120000);
    ASSERT_TRUE(whole.done());
    const Exported w = readBack(target());
    ASSERT_EQ(w.frames, 60 * Rate);
    EXPECT_EQ(w.number(0, 16), uint32_t(60 * Rate));
    EXPECT_EQ(w.number(w.frames - 1, 16), uint32_t(120 * Rate - 1));
    ASSERT_TRUE(SpanExport(rows, {}).exportTo(target(), T0 + 59999, T0 + 60000).done());
    const Exported one = readBack(target());
    ASSERT_EQ(one.frames, frameDue(60000) - frameDue(59999));
    EXPECT_EQ(one.number(0, 16), uint32_t(frameDue(59999)));
    EXPECT_EQ(one.number(one.frames - 1, 16), uint32_t(60 * Rate - 1));
}

TEST_F(SpanExportTest, FollowsTheInputsDriftAcrossTheJoints)
{
    // The card 150 ppm fast: each segment holds more frames than its span at the nominal rate.
    const double ppm = 150;
    const auto rows = record(native("seg"), FileEncoding::Wav16, T0, 180000, 0, ppm);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_GT(rows[1].frames, 60 * Rate);
    const ExportResult result = SpanExport(rows, {}).exportTo(target(), T0 + 30000, T0 + 150000);
    ASSERT_TRUE(result.done()) << result.problem.toStdString();
    const Exported out = readBack(target());
    const double fast = Rate * (1 + ppm * 1e-6);
    // Within a frame of the frame due at the start, and of the count due over the span.
    EXPECT_NEAR(double(out.number(0, 16)), 30.0 * fast, 1.5);
    EXPECT_NEAR(double(out.frames), 120.0 * fast, 2.0);
    qint64 wrong = 0;
    for (qint64 i = 1; i < out.frames; ++i)
        wrong += out.number(i, 16) != out.number(i - 1, 16) + 1;
    EXPECT_EQ(wrong, 0) << "a frame lost or doubled at a joint";
}

TEST_F(SpanExportTest, FillsASpanWithoutRecordingWithSilenceAndSaysWhere)
{
    // A run that stops at 90 s, another that begins at 120.5 s; the logger noted the gap.
    auto rows = record(native("seg"), FileEncoding::Wav16, T0, 90000, 0);
    const auto second = record(native("seg"), FileEncoding::Wav16, T0 + 120500, 60000, 10000000);
    rows.insert(rows.end(), second.begin(), second.end());
    ASSERT_EQ(rows.size(), 4u);
    const std::vector<Gap> gaps{{1, T0 + 90000, T0 + 120500, 0, "the logger was not running (restart)"}};
    const ExportResult result = SpanExport(rows, gaps).exportTo(target(), T0 + 30000, T0 + 150000);
    ASSERT_TRUE(result.done()) << result.problem.toStdString();
    ASSERT_EQ(result.fills.size(), 1u);
    const ExportFill& fill = result.fills[0];
    EXPECT_EQ(fill.position, 60 * Rate);
    EXPECT_EQ(fill.frames, 30500 * Rate / 1000);
    EXPECT_EQ(fill.startMs, T0 + 90000);
    EXPECT_EQ(fill.endMs, T0 + 120500);
    EXPECT_TRUE(fill.cause.contains("restart")) << fill.cause.toStdString();
    EXPECT_TRUE(result.summary().contains("Silence at 60.000 s")) << result.summary().toStdString();

    const Exported out = readBack(target());
    ASSERT_EQ(out.frames, 120 * Rate); // every later frame keeps its time
    qint64 wrong = 0;
    for (qint64 i = 0; i < out.frames; ++i) {
        uint32_t want;
        if (i < fill.position)
            want = uint32_t(30 * Rate + i);
        else if (i < fill.position + fill.frames)
            want = 0;
        else
            want = 10000000u + uint32_t(i - fill.position - fill.frames);
        wrong += out.number(i, 16) != want;
    }
    EXPECT_EQ(wrong, 0);

    // A span before any recording is filled too, with the reason that nothing is on the disk.
    const ExportResult early = SpanExport(rows, {}).exportTo(target(), T0 - 1000, T0 + 1000);
    ASSERT_TRUE(early.done());
    ASSERT_EQ(early.fills.size(), 1u);
    EXPECT_EQ(early.fills[0].frames, Rate);
    EXPECT_TRUE(early.fills[0].cause.contains("no segment")) << early.fills[0].cause.toStdString();
    // A span with no recording at all is refused.
    const ExportResult none = SpanExport(rows, gaps).exportTo(native("out/none.wav"), T0 + 95000, T0 + 115000);
    EXPECT_EQ(none.status, ExportResult::Status::Failed);
    EXPECT_TRUE(none.problem.contains("no recording")) << none.problem.toStdString();
    EXPECT_FALSE(QFileInfo::exists(native("out/none.wav")));
}

TEST_F(SpanExportTest, MixedCodingsBecomeOne24BitFile)
{
    // The same three minutes recorded three ways; one segment of each is joined.
    const auto wav16 = record(native("a"), FileEncoding::Wav16, T0, 180000, 0);
    const auto flac = record(native("b"), FileEncoding::Flac, T0, 180000, 0);
    const auto wav24 = record(native("c"), FileEncoding::Wav24, T0, 180000, 0);
    ASSERT_EQ(wav16.size(), 3u);
    ASSERT_EQ(flac.size(), 3u);
    ASSERT_EQ(wav24.size(), 3u);
    const ExportResult result =
        SpanExport({wav16[0], flac[1], wav24[2]}, {}).exportTo(target(), T0 + 30000, T0 + 150000);
    ASSERT_TRUE(result.done()) << result.problem.toStdString();
    EXPECT_EQ(result.bits, 24);
    const Exported out = readBack(target());
    EXPECT_EQ(out.bits, 24);
    ASSERT_EQ(out.frames, 120 * Rate);
    qint64 wrong = 0;
    for (qint64 i = 0; i < out.frames; ++i)
        wrong += out.number(i, 16) != uint32_t(30 * Rate + i);
    EXPECT_EQ(wrong, 0);

    // Segments at two rates are not joined.
    auto other = wav16;
    other[2].sampleRate = 48000;
    const ExportResult refused = SpanExport(other, {}).exportTo(target(), T0 + 30000, T0 + 150000);
    EXPECT_EQ(refused.status, ExportResult::Status::Failed);
}

TEST_F(SpanExportTest, ACancelLeavesNoFile)
{
    const auto rows = record(native("seg"), FileEncoding::Wav16, T0, 180000, 0);
    QFile::remove(target());
    int calls = 0;
    qint64 lastTotal = 0;
    const ExportResult result = SpanExport(rows, {}).exportTo(target(), T0, T0 + 180000, [&](qint64 done, qint64 total) {
        lastTotal = total;
        return ++calls < 3 && done < total; // cancelled part way
    });
    EXPECT_EQ(result.status, ExportResult::Status::Cancelled);
    EXPECT_EQ(lastTotal, 180 * Rate);
    EXPECT_TRUE(leftInOut().isEmpty()) << leftInOut().join(",").toStdString();

    // A file already there stays as it was.
    writeAllBytes(target(), "old");
    const ExportResult again = SpanExport(rows, {}).exportTo(target(), T0, T0 + 180000, [](qint64 done, qint64) {
        return done == 0;
    });
    EXPECT_EQ(again.status, ExportResult::Status::Cancelled);
    EXPECT_EQ(readAllBytes(target()), QByteArray("old"));
    EXPECT_EQ(leftInOut(), QStringList{"export.wav"});
}

TEST_F(SpanExportTest, AMissingOrDamagedSegmentIsAFailureThatNamesIt)
{
    auto rows = record(native("seg"), FileEncoding::Wav16, T0, 180000, 0);
    ASSERT_EQ(rows.size(), 3u);
    const QString middle = rows[1].path;

    // Cut short: the file holds less than its row says.
    QByteArray bytes = readAllBytes(middle);
    writeAllBytes(middle, bytes.left(bytes.size() / 2));
    ExportResult cut = SpanExport(rows, {}).exportTo(target(), T0 + 30000, T0 + 150000);
    EXPECT_EQ(cut.status, ExportResult::Status::Failed);
    EXPECT_TRUE(cut.problem.contains(middle)) << cut.problem.toStdString();
    EXPECT_TRUE(cut.problem.contains("damaged")) << cut.problem.toStdString();

    // Not a sound file at all.
    writeAllBytes(middle, QByteArray(4096, 'x'));
    ExportResult garbage = SpanExport(rows, {}).exportTo(target(), T0 + 30000, T0 + 150000);
    EXPECT_EQ(garbage.status, ExportResult::Status::Failed);
    EXPECT_TRUE(garbage.problem.contains(middle)) << garbage.problem.toStdString();

    // Gone.
    QFile::remove(middle);
    ExportResult missing = SpanExport(rows, {}).exportTo(target(), T0 + 30000, T0 + 150000);
    EXPECT_EQ(missing.status, ExportResult::Status::Failed);
    EXPECT_TRUE(missing.problem.startsWith("53 ")) << missing.problem.toStdString();
    EXPECT_TRUE(missing.problem.contains(middle)) << missing.problem.toStdString();
    EXPECT_TRUE(missing.summary().startsWith("The export failed"));
    EXPECT_TRUE(leftInOut().isEmpty()) << leftInOut().join(",").toStdString();

    // A span that does not need the missing file is still exported; an empty span is refused.
    EXPECT_TRUE(SpanExport(rows, {}).exportTo(target(), T0 + 130000, T0 + 150000).done());
    EXPECT_EQ(SpanExport(rows, {}).exportTo(target(), T0 + 150000, T0 + 150000).status, ExportResult::Status::Failed);
}

TEST_F(SpanExportTest, ACutThatCameLateInTheSameRunIsNoGap)
{
    // The second segment began 3 ms after its boundary (the input's clock moved on at the cut):
    // its frames follow the first's directly, so nothing goes between them.
    auto rows = record(native("seg"), FileEncoding::Wav16, T0, 180000, 0);
    ASSERT_EQ(rows.size(), 3u);
    rows[1].startMs += 3;
    const ExportResult joined = SpanExport(rows, {}).exportTo(target(), T0 + 30000, T0 + 150000);
    ASSERT_TRUE(joined.done()) << joined.problem.toStdString();
    EXPECT_TRUE(joined.fills.empty());
    const Exported out = readBack(target());
    ASSERT_EQ(out.frames, 120 * Rate);
    qint64 wrong = 0;
    for (qint64 i = 0; i < out.frames; ++i)
        wrong += out.number(i, 16) != uint32_t(30 * Rate + i);
    EXPECT_EQ(wrong, 0);

    // Where the logger noted a gap at that joint, the gap is filled and told.
    const std::vector<Gap> gaps{{1, T0 + 60000, T0 + 60003, 0, "the input stopped"}};
    const ExportResult told = SpanExport(rows, gaps).exportTo(target(), T0 + 30000, T0 + 150000);
    ASSERT_TRUE(told.done());
    ASSERT_EQ(told.fills.size(), 1u);
    EXPECT_EQ(told.fills[0].position, 30 * Rate);
    EXPECT_EQ(told.fills[0].frames, 3 * Rate / 1000);
}
