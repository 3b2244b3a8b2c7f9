// The recording and playback owners without a window: every (state, event) pair of each, with
// the state reached, the record state or playing flag, and what the index holds afterwards.
#include "core/Core.h"
#include "audio/devices/VirtualBackend.h"
#include "library/SoundLibrary.h"
#include "studio/PlaybackSession.h"
#include "studio/RecordingSession.h"
#include "tests/audio/devices/SignalMeasure.h"
#include "tests/support/CoreLibraryFixture.h"
#include <QCoreApplication>

using namespace tamblor;
using namespace tamblor::audio;
using RS = RecordingSession;
using PS = PlaybackSession;

namespace {

class SessionTest : public CoreLibraryTest {
protected:
    void SetUp() override
    {
        CoreLibraryTest::SetUp();
        ASSERT_NO_THROW(core->startUp());
        core->state().RecordStartMode = 2; // a press arms; a second press writes
        core->state().FormatIndex = 3;
        core->state().ChannelMode = 1;
        core->state().VoxThreshold = 5000;
    }
    VirtualBackend& backend() { return dynamic_cast<VirtualBackend&>(core->audio()); }
    char status(int slot) const
    {
        const QByteArray all = indexBytes();
        return all.size() >= 39 * slot ? all.at(39 * (slot - 1)) : '-';
    }
};

// Brings a fresh session into `s` by its own events.
void enter(RS& session, RS::State s)
{
    if (s == RS::State::Idle)
        return;
    session.handle(RS::Event::Press); // armed
    if (s == RS::State::Armed)
        return;
    session.handle(RS::Event::Press); // writing
    if (s == RS::State::WritingOn)
        session.handle(RS::Event::Press);
}

struct RecordingRow {
    RS::State from;
    RS::Event event;
    RS::State to;
    char slotStatus; // of the session's slot afterwards; '-': the index is not touched
};

} // namespace

TEST_F(SessionTest, EveryRecordingEventMovesEveryStateAsTheTableSays)
{
    using S = RS::State;
    using E = RS::Event;
    const std::vector<RecordingRow> table = {
        {S::Idle, E::Press, S::Armed, '2'},           {S::Idle, E::LoudBuffer, S::Idle, '-'},
        {S::Idle, E::Tick, S::Idle, '-'},             {S::Idle, E::Stop, S::Idle, '-'},
        {S::Idle, E::DeviceFailure, S::Idle, '-'},    {S::Idle, E::WriteFailure, S::Idle, '-'},
        {S::Idle, E::LimitReached, S::Idle, '-'},     {S::Idle, E::WindowClosing, S::Idle, '-'},
        {S::Idle, E::ProgramEnding, S::Idle, '-'},

        {S::Armed, E::Press, S::Writing, '2'},        {S::Armed, E::LoudBuffer, S::Writing, '2'},
        {S::Armed, E::Tick, S::Armed, '2'},           {S::Armed, E::Stop, S::Idle, '0'},
        {S::Armed, E::DeviceFailure, S::Idle, '0'},   {S::Armed, E::WriteFailure, S::Armed, '2'},
        {S::Armed, E::LimitReached, S::Armed, '2'},   {S::Armed, E::WindowClosing, S::Idle, '0'},
        {S::Armed, E::ProgramEnding, S::Idle, '0'},

        {S::Writing, E::Press, S::WritingOn, '2'},    {S::Writing, E::LoudBuffer, S::Writing, '2'},
        {S::Writing, E::Tick, S::Writing, '2'},       {S::Writing, E::Stop, S::Idle, '1'},
        {S::Writing, E::DeviceFailure, S::Idle, '1'}, {S::Writing, E::WriteFailure, S::Idle, '1'},
        {S::Writing, E::LimitReached, S::Idle, '1'},  {S::Writing, E::WindowClosing, S::Idle, '1'},
        {S::Writing, E::ProgramEnding, S::Idle, '1'},

        {S::WritingOn, E::Press, S::WritingOn, '2'},    {S::WritingOn, E::LoudBuffer, S::WritingOn, '2'},
        {S::WritingOn, E::Tick, S::WritingOn, '2'},     {S::WritingOn, E::Stop, S::Idle, '1'},
        {S::WritingOn, E::DeviceFailure, S::Idle, '1'}, {S::WritingOn, E::WriteFailure, S::Idle, '1'},
        {S::WritingOn, E::LimitReached, S::Idle, '1'},  {S::WritingOn, E::WindowClosing, S::Idle, '1'},
        {S::WritingOn, E::ProgramEnding, S::Idle, '1'},
    };
    ASSERT_EQ(table.size(), size_t(RS::AllStates * RS::AllEvents));

    for (const RecordingRow& row : table) {
        SCOPED_TRACE(std::string(RS::name(row.from)) + " + " + RS::name(row.event));
        RS session(*core, *library);
        session.applySettings();
        enter(session, row.from);
        ASSERT_EQ(session.state(), row.from);
        backend().advance(4096);
        session.input().waitIdle();
        const QByteArray before = indexBytes();

        session.handle(row.event);
        EXPECT_EQ(session.state(), row.to);
        const int expectedRecordState = row.to == S::Idle ? 0 : row.to == S::Armed ? 1 : row.to == S::Writing ? 2 : 3;
        EXPECT_EQ(session.recordState(), row.from == S::WritingOn && row.event == E::Press ? 4 : expectedRecordState);
        const int slot = session.slot();
        if (row.slotStatus == '-') {
            EXPECT_EQ(indexBytes(), before);
        } else {
            EXPECT_EQ(status(slot), row.slotStatus);
        }
        // Idle means the device is closed; a take ends with a file that holds what came in.
        EXPECT_EQ(session.input().isOpen(), row.to != S::Idle);
        if (row.slotStatus == '1') {
            const QString file = native(QString::asprintf("C/Tamblor/SF%04d.wav", slot));
            EXPECT_EQ(measure::readWav(file).samples.size(), 2u * 4096u);
        }
        session.handle(E::Stop); // leaves the index to the next row
    }
}

TEST_F(SessionTest, EveryPlaybackEventMovesEveryStateAsTheTableSays)
{
    using S = PS::State;
    using E = PS::Event;
    const QString file = native("C/Tamblor/play.wav");
    measure::writeWav(file, 44100, 2, std::vector<int16_t>(2 * 44100, 1000));
    struct Row {
        S from;
        E event;
        S to;
    };
    const std::vector<Row> table = {
        {S::Idle, E::Play, S::Playing},         {S::Idle, E::Pause, S::Idle},
        {S::Idle, E::Stop, S::Idle},            {S::Idle, E::Ended, S::Idle},
        {S::Idle, E::Tick, S::Idle},            {S::Idle, E::DeviceFailure, S::Idle},
        {S::Idle, E::WindowClosing, S::Idle},   {S::Idle, E::ProgramEnding, S::Idle},
        {S::Playing, E::Play, S::Playing},      {S::Playing, E::Pause, S::Paused},
        {S::Playing, E::Stop, S::Idle},         {S::Playing, E::Ended, S::Idle},
        {S::Playing, E::Tick, S::Playing},      {S::Playing, E::DeviceFailure, S::Idle},
        {S::Playing, E::WindowClosing, S::Idle}, {S::Playing, E::ProgramEnding, S::Idle},
        {S::Paused, E::Play, S::Playing},       {S::Paused, E::Pause, S::Paused},
        {S::Paused, E::Stop, S::Idle},          {S::Paused, E::Ended, S::Paused},
        {S::Paused, E::Tick, S::Paused},        {S::Paused, E::DeviceFailure, S::Idle},
        {S::Paused, E::WindowClosing, S::Idle}, {S::Paused, E::ProgramEnding, S::Idle},
    };
    ASSERT_EQ(table.size(), size_t(PS::AllStates * PS::AllEvents));
    for (const Row& row : table) {
        SCOPED_TRACE(std::string(PS::name(row.from)) + " + " + PS::name(row.event));
        PS session(*core);
        session.setFile(file);
        if (row.from != S::Idle)
            session.handle(E::Play);
        if (row.from == S::Paused)
            session.handle(E::Pause);
        ASSERT_EQ(session.state(), row.from);
        session.handle(row.event);
        EXPECT_EQ(session.state(), row.to);
        EXPECT_EQ(session.isPlaying(), row.to != S::Idle);
        EXPECT_EQ(session.player().isPlaying(), row.to != S::Idle);
        EXPECT_EQ(session.player().isPaused(), row.to == S::Paused);
    }
}

TEST_F(SessionTest, ALoudBufferStartsWritingOnlyWhenArmedWithAutoStart)
{
    RS session(*core, *library);
    session.applySettings();
    session.handle(RS::Event::Press);
    ASSERT_EQ(session.state(), RS::State::Armed);
    backend().advance(4096);
    session.input().waitIdle();
    const qint64 sequence = session.input().lastSequence();
    session.buffer(sequence, 9000, 0); // loud, but "Auto Start" is not ticked
    EXPECT_EQ(session.state(), RS::State::Armed);
    session.setAutomatic(true);
    session.buffer(sequence, 5000, 5000); // at the threshold: not loud
    EXPECT_EQ(session.state(), RS::State::Armed);
    session.buffer(sequence, 0, 5001);
    EXPECT_EQ(session.state(), RS::State::Writing);
}
