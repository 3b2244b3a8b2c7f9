// The export of a span of wall-clock time from the segments: real segment files written by the
// logger's own cutter, every frame numbered end to end, the exported file read back frame by frame.
#include "LoggerTestSupport.h"
#include "logger/LoggerStore.h"
#include "logger/SpanExport.h"
#include "tests/support/TestEnv.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tamblor::logger;
using namespace logger_test;

namespace {

constexpr int Rate = 44100;
const qint64 T0 = utcMs(9, 0, 0);

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
        return recordCounting(rs, startMs, startMs + ms, 1.0 + ppm * 1e-6, 100, first).rows;
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
    const FileSamples out = readSamples(target());
    const qint64 first = frameDue(30001), last = frameDue(150007) - 1;
    ASSERT_EQ(out.frames, last - first + 1);
    ASSERT_EQ(result.frames, out.frames);
    EXPECT_EQ(out.rate, Rate);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(misnumbered(out, uint32_t(first)), 0) << "frames not numbered end to end across the joints";
    EXPECT_EQ(leftInOut(), QStringList{"export.wav"});
    EXPECT_TRUE(result.summary().contains("Every frame of the span was recorded")) << result.summary().toStdString();

    // Exactly one segment, and a span of one millisecond across a joint.
    const ExportResult whole = SpanExport(rows, {}).exportTo(target(), T0 + 60000, T0 + 120000);
    ASSERT_TRUE(whole.done());
    const FileSamples w = readSamples(target());
    ASSERT_EQ(w.frames, 60 * Rate);
    EXPECT_EQ(misnumbered(w, 60 * Rate), 0);
    ASSERT_TRUE(SpanExport(rows, {}).exportTo(target(), T0 + 59999, T0 + 60000).done());
    const FileSamples one = readSamples(target());
    ASSERT_EQ(one.frames, frameDue(60000) - frameDue(59999));
    EXPECT_EQ(misnumbered(one, uint32_t(frameDue(59999))), 0);
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
    const FileSamples out = readSamples(target());
    const double fast = Rate * (1 + ppm * 1e-6);
    // Within a frame of the frame due at the start, and of the count due over the span.
    EXPECT_NEAR(double(out.number(0)), 30.0 * fast, 1.5);
    EXPECT_NEAR(double(out.frames), 120.0 * fast, 2.0);
    EXPECT_EQ(misnumbered(out, out.number(0)), 0) << "a frame lost or doubled at a joint";
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

    const FileSamples out = readSamples(target());
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
        wrong += out.number(i) != want;
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
    const FileSamples out = readSamples(target());
    EXPECT_EQ(out.bits, 24);
    ASSERT_EQ(out.frames, 120 * Rate);
    EXPECT_EQ(misnumbered(out, 30 * Rate), 0);

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
    const FileSamples out = readSamples(target());
    ASSERT_EQ(out.frames, 120 * Rate);
    EXPECT_EQ(misnumbered(out, 30 * Rate), 0);

    // Where the logger noted a gap at that joint, the gap is filled and told.
    const std::vector<Gap> gaps{{1, T0 + 60000, T0 + 60003, 0, "the input stopped"}};
    const ExportResult told = SpanExport(rows, gaps).exportTo(target(), T0 + 30000, T0 + 150000);
    ASSERT_TRUE(told.done());
    ASSERT_EQ(told.fills.size(), 1u);
    EXPECT_EQ(told.fills[0].position, 30 * Rate);
    EXPECT_EQ(told.fills[0].frames, 3 * Rate / 1000);
}
