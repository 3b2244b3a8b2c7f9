// The "Record Events" window and its editor on the program's real database: events added,
// changed, enabled and deleted through the window and read back by a new program; what is typed
// wrong refused with a message that says what; results other than OK coloured until seen; Record
// Now from the event's card found by its name, never from another.
#include "EventsFixture.h"
#include "app/PromptService.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/VirtualBackend.h"
#include "studio/PlaybackSession.h"
#include "studio/Scheduler.h"
#include <QtEndian>
#include <limits>
#include "tests/support/WavBytes.h"

using namespace tamblor;
using namespace tamblor::events;
using schedule::RecordEvent;
using schedule::RecordRun;
using schedule::RunResult;

namespace {

class EventWindowTest : public EventsTest {
protected:
    // New... on the window, then the event typed: NEWS at 17:00 on weekdays for 2 minutes.
    frmEditEvent* typeNews(frmRecordEvents* w)
    {
        w->cmdNew->click();
        frmEditEvent* e = editor();
        if (!e)
            return nullptr;
        e->txtName->setText("NEWS");
        e->txtStart->setText("17:00");
        e->optWhen[0]->setChecked(true);
        for (int d = 0; d < 7; ++d)
            e->chkDay[d]->setChecked(d < 5);
        e->optEnd[0]->setChecked(true);
        e->txtLength->setText("00:02:00");
        e->optSlot[0]->setChecked(true);
        e->txtTemplate->setText("{name} {time} {date}");
        return e;
    }
    // What OK says when the event is refused (the editor stays open, nothing is stored).
    QString refusal(frmEditEvent* e)
    {
        const size_t before = studio->events().all().size();
        EXPECT_FALSE(accepted(e)) << "the editor stays open";
        EXPECT_EQ(studio->events().all().size(), before) << "nothing is stored";
        return e->lblMessage->text();
    }
    // A take's figures row with its peak, in no slot, as a run refers to it.
    qint64 figuresWithPeak(double dbfs)
    {
        store::TakeFigures f;
        f.peakDbfs = dbfs;
        return studio->figures().store(f);
    }
    RecordRun run(const RecordEvent& event, QTime start, std::optional<RunResult> result)
    {
        RecordRun r = runOf(event, QDate(2026, 12, 7), start, result);
        if (result != RunResult::Missed) {
            r.firstSampleMs = r.scheduledStartMs + 5;
            r.sampleRate = 44100;
            r.lengthFrames = 44100 * 120;
            r.slot = 3;
            r.figuresId = figuresWithPeak(-3.21);
        }
        studio->runs().append(r);
        return r;
    }
};

} // namespace

TEST_F(EventWindowTest, AnEventTypedInIsStoredListedChangedDisabledAndDeletedAndANewProgramReadsItBack)
{
    frmRecordEvents* w = openEvents();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->lstEvents->topLevelItemCount(), 0);
    EXPECT_FALSE(w->cmdEdit->isEnabled());
    EXPECT_FALSE(w->lblDatabase->isVisible());

    frmEditEvent* e = typeNews(w);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->lblExample->text(), "e.g. \"NEWS 17:00 07.12\"");
    EXPECT_TRUE(accepted(e)) << e->lblMessage->text().toStdString();
    EXPECT_TRUE(app->messageText().isEmpty()) << "no warning for a plain event";

    ASSERT_EQ(w->lstEvents->topLevelItemCount(), 1);
    EXPECT_EQ(row(w->lstEvents, 0), QStringList({"NEWS", "Mon-Fri", "17:00", "for 00:02:00",
                                                 "First free: {name} {time} {date}",
                                                 row(w->lstEvents, 0)[frmRecordEvents::Input], "Nothing", "Yes",
                                                 "12/07/2026 17:00", ""}));
    const QStringList listed = row(w->lstEvents, 0);
    // The clock's tick moves the next start on once it has gone by.
    app->clock().setFixed(QDateTime(QDate(2026, 12, 7), QTime(17, 0, 30)));
    w->Timer1_Timer();
    EXPECT_EQ(w->lstEvents->topLevelItem(0)->text(frmRecordEvents::NextStart), "12/08/2026 17:00");

    // What was stored is what the next program reads and lists.
    restartProgram();
    ASSERT_EQ(studio->events().all().size(), 1u);
    const qint64 id = studio->events().all()[0].id;
    w = openEvents();
    EXPECT_EQ(row(w->lstEvents, 0), listed);

    // Changed (the editor opened on what is stored): ends at a time of day, into slot 12 each
    // time, loudness normalized; Saturday only.
    // Opened on a list of events, the first is the one the buttons work on.
    ASSERT_TRUE(w->lstEvents->topLevelItem(0)->isSelected());
    ASSERT_TRUE(w->cmdEdit->isEnabled());
    e = change(w);
    ASSERT_TRUE(e);
    for (int d = 0; d < 7; ++d)
        e->chkDay[d]->setChecked(d == 5);
    e->optEnd[1]->setChecked(true);
    e->txtEnd->setText("17:30");
    e->optSlot[1]->setChecked(true);
    e->txtSlot->setText("12");
    e->cboAfter->setCurrentIndex(2);
    e->txtTarget->setText("-18");
    EXPECT_TRUE(accepted(e)) << e->lblMessage->text().toStdString();
    ASSERT_EQ(w->lstEvents->topLevelItemCount(), 1);
    EXPECT_EQ(row(w->lstEvents, 0), QStringList({"NEWS", "Sat", "17:00", "until 17:30", "Slot 12",
                                                 row(w->lstEvents, 0)[frmRecordEvents::Input],
                                                 "Loudness -18 LUFS, peak -1 dBTP", "Yes", "12/12/2026 17:00", ""}));

    // Disabled and enabled again from the list.
    w->selectEvent(id);
    EXPECT_EQ(w->cmdEnable->text(), "Disable");
    w->cmdEnable->click();
    EXPECT_FALSE(studio->events().find(id)->enabled);
    EXPECT_EQ(row(w->lstEvents, 0)[frmRecordEvents::Enabled], "No");
    EXPECT_EQ(row(w->lstEvents, 0)[frmRecordEvents::NextStart], "off");
    EXPECT_EQ(w->cmdEnable->text(), "Enable");
    w->cmdEnable->click();
    EXPECT_TRUE(studio->events().find(id)->enabled);

    // Delete asks, naming the event; No keeps it, Yes removes it.
    prompts->answers = {QMessageBox::No, QMessageBox::Yes};
    w->cmdDelete->click();
    ASSERT_EQ(prompts->asked.size(), 1u);
    EXPECT_TRUE(prompts->asked[0].text.contains("\"NEWS\"")) << prompts->asked[0].text.toStdString();
    EXPECT_EQ(studio->events().all().size(), 1u);
    w->cmdDelete->click();
    EXPECT_TRUE(studio->events().all().empty());
    EXPECT_EQ(w->lstEvents->topLevelItemCount(), 0);
    restartProgram();
    EXPECT_TRUE(studio->events().all().empty());
}

TEST_F(EventWindowTest, WhatIsTypedWrongIsRefusedWithAMessageThatSaysWhat)
{
    frmRecordEvents* w = openEvents();
    frmEditEvent* e = typeNews(w);
    ASSERT_TRUE(e);

    e->txtName->setText("   ");
    EXPECT_EQ(refusal(e), "Type a name for the event.");
    e->txtName->setText("NEWS");

    for (QCheckBox* day : e->chkDay)
        day->setChecked(false);
    EXPECT_EQ(refusal(e), "Tick the days the event records on, or choose one date.");
    e->chkDay[0]->setChecked(true);

    e->txtLength->setText("00:00:00");
    EXPECT_EQ(refusal(e), "The length must be longer than 0 seconds.");
    e->optEnd[1]->setChecked(true);
    e->txtEnd->setText("17:00");
    EXPECT_EQ(refusal(e), "The end is the start: the take would last 0 seconds. (An end earlier than the start is "
                          "on the next day.)");
    // An end earlier than the start is the next morning: accepted further down.
    e->txtEnd->setText("01:00");

    e->optSlot[1]->setChecked(true);
    for (const char* slot : {"0", "901", "", "twelve", "-3"}) {
        e->txtSlot->setText(slot);
        EXPECT_EQ(refusal(e), "The slot must be a number from 1 to 900.") << slot;
    }
    e->optSlot[0]->setChecked(true);
    e->txtTemplate->setText("   ");
    EXPECT_EQ(refusal(e), "The name template makes an empty name: use {name}, {date}, {time} or some text.");
    EXPECT_EQ(e->lblExample->text(), "(an empty name)");
    e->txtTemplate->setText("{name} {time}");

    // A one-shot event: a day gone, and today's time gone, are refused; today later is not.
    e->optWhen[1]->setChecked(true);
    e->txtDate->setText("12/06/2026");
    EXPECT_EQ(refusal(e), "The date 12/06/2026 has gone; choose today or a later day.");
    e->txtDate->setText("12/7/2026");
    e->txtStart->setText("16:47:59");
    EXPECT_EQ(refusal(e), "16:47:59 today has gone; choose a later time or another day.");

    // Several faults at once are all told.
    e->txtName->clear();
    e->txtLength->setText("00:00");
    e->optEnd[0]->setChecked(true);
    const QString faults = refusal(e);
    EXPECT_EQ(faults.split("\n").size(), 3) << faults.toStdString();

    e->txtName->setText("NEWS");
    e->txtStart->setText("17:00");
    e->optEnd[1]->setChecked(true);
    e->txtEnd->setText("01:00");
    EXPECT_TRUE(accepted(e)) << e->lblMessage->text().toStdString();
    ASSERT_EQ(studio->events().all().size(), 1u);
    const RecordEvent news = studio->events().all()[0];
    EXPECT_EQ(news.date, QDate(2026, 12, 7));
    EXPECT_EQ(news.plannedSeconds(), 8 * 3600);
    EXPECT_EQ(row(w->lstEvents, 0)[frmRecordEvents::Days], "12/07/2026");
}

TEST_F(EventWindowTest, ALengthOfMoreThanADayIsListedAndEditedAsTyped)
{
    storeEvent("MARATHON", QTime(6, 0), 27 * 3600 + 5, RecordEvent::EveryDay);
    frmRecordEvents* w = openEvents();
    ASSERT_EQ(w->lstEvents->topLevelItemCount(), 1);
    EXPECT_EQ(w->lstEvents->topLevelItem(0)->text(frmRecordEvents::End), "for 27:00:05");
    frmEditEvent* edit = change(w);
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->txtLength->text(), "27:00:05");
}

TEST_F(EventWindowTest, TextThatIsNoTimeDateOrNumberIsRefusedNamingTheField)
{
    frmRecordEvents* w = openEvents();
    frmEditEvent* e = typeNews(w);
    ASSERT_TRUE(e);
    for (const char* start : {"25:00", "17", "five", ""}) {
        e->txtStart->setText(start);
        EXPECT_EQ(refusal(e), "Type the start as a time of day: 17:00, or 06:10:30 with seconds.") << start;
    }
    e->txtStart->setText("6:10:30");
    e->optWhen[1]->setChecked(true);
    for (const char* date : {"02/31/2027", "24.12.2026"}) {
        e->txtDate->setText(date);
        EXPECT_EQ(refusal(e), "Type the date as month/day/year: 12/24/2026.") << date;
    }
    e->txtDate->setText("12/24/2026");
    e->optEnd[1]->setChecked(true);
    e->txtEnd->setText("7 o'clock");
    EXPECT_EQ(refusal(e), "Type the end as a time of day: 18:00, or 18:00:30 with seconds.");
    e->optEnd[0]->setChecked(true);
    e->txtLength->setText("none");
    EXPECT_EQ(refusal(e), "The length must be longer than 0 seconds.");
    e->txtLength->setText("1:30"); // minutes and seconds, as the program reads a time text
    e->cboAfter->setCurrentIndex(1);
    e->txtPeak->setText("0");
    EXPECT_EQ(refusal(e), "Type the peak as a whole number of per cent from 1 to 100.");
    e->txtPeak->setText("98");
    e->cboAfter->setCurrentIndex(2);
    e->txtTarget->setText("-2");
    e->txtCeiling->setText("1");
    EXPECT_EQ(refusal(e), "Type the loudness as a number of LUFS from -60 to -5.\n"
                          "Type the true peak as a number of dBTP from -20 to 0.");
    e->cboAfter->setCurrentIndex(1); // the loudness fields are not read for a peak normalize
    EXPECT_TRUE(accepted(e)) << e->lblMessage->text().toStdString();
    ASSERT_EQ(studio->events().all().size(), 1u);
    const RecordEvent stored = studio->events().all()[0];
    EXPECT_EQ(stored.start, QTime(6, 10, 30));
    EXPECT_EQ(stored.date, QDate(2026, 12, 24));
    EXPECT_EQ(stored.lengthSeconds, 90);
    EXPECT_EQ(stored.after, schedule::AfterRecording::PeakNormalize);
    EXPECT_EQ(stored.peakPercent, 98);
    EXPECT_EQ(row(w->lstEvents, 0), QStringList({"NEWS", "12/24/2026", "06:10:30", "for 00:01:30",
                                                 "First free: {name} {time} {date}",
                                                 row(w->lstEvents, 0)[frmRecordEvents::Input], "Peak 98 %", "Yes",
                                                 "12/24/2026 06:10:30", ""}));
}

TEST_F(EventWindowTest, ACutNameAndAnOverlapOnTheSameInputAreStoredWithAWarningNamingTheOtherEvent)
{
    storeEvent("WEATHER", QTime(17, 1), 5 * 60, RecordEvent::EveryDay);
    frmRecordEvents* w = openEvents();
    frmEditEvent* e = typeNews(w);
    ASSERT_TRUE(e);
    e->txtName->setText("NETWORK NEWS FROM LONDON");
    EXPECT_TRUE(accepted(e)) << "warnings do not keep the event from being stored";
    EXPECT_EQ(studio->events().all().size(), 2u);
    const QString said = app->messageText();
    EXPECT_TRUE(said.contains("\"NETWORK NEWS FROM LONDON 17:00 07.12\" is named \"NETWORK NEWS FROM LONDON \""))
        << said.toStdString();
    EXPECT_TRUE(said.contains("\"WEATHER\" records from the same input at 12/07/2026 17:01")) << said.toStdString();

    // Moved clear of the other event: no overlap is told.
    app->showMessage("");
    const RecordEvent news = studio->events().all()[0].name == "WEATHER" ? studio->events().all()[1]
                                                                         : studio->events().all()[0];
    w->selectEvent(news.id);
    e = change(w);
    e->txtName->setText("NEWS");
    e->txtStart->setText("16:58");
    e->txtLength->setText("00:03:00"); // ends as WEATHER starts
    ASSERT_TRUE(accepted(e));
    EXPECT_EQ(app->messageText(), "");
}

TEST_F(EventWindowTest, AResultOtherThanOkStandsOutUntilSeenAndStaysSeenAfterARestart)
{
    const RecordEvent news = storeEvent("NEWS", QTime(17, 0), 120);
    const RecordEvent weather = storeEvent("WEATHER", QTime(6, 10), 60);
    const RecordRun done = run(news, QTime(8, 0), RunResult::OK);
    const RecordRun missed = run(weather, QTime(6, 10), RunResult::Missed);
    const RecordRun busy = run(news, QTime(9, 0), RunResult::DeviceBusy);

    frmRecordEvents* w = openEvents();
    ASSERT_EQ(w->lstRuns->topLevelItemCount(), 3);
    const auto find = [&](qint64 id) {
        for (int i = 0; i < w->lstRuns->topLevelItemCount(); ++i)
            if (w->lstRuns->topLevelItem(i)->data(0, Qt::UserRole).toLongLong() == id)
                return w->lstRuns->topLevelItem(i);
        return static_cast<QTreeWidgetItem*>(nullptr);
    };
    const auto face = [&](qint64 id) { return find(id)->background(frmRecordEvents::Result).color(); };
    const auto text = [&](qint64 id) { return find(id)->foreground(frmRecordEvents::Result).color(); };
    const QTreeWidgetItem* ok = find(done.id);
    EXPECT_EQ(ok->background(frmRecordEvents::Result).style(), Qt::NoBrush);
    EXPECT_EQ(QStringList({ok->text(0), ok->text(2), ok->text(3), ok->text(4), ok->text(frmRecordEvents::Result),
                           ok->text(frmRecordEvents::Peak)}),
              QStringList({"NEWS", "08:00:00 (planned)", "02:00", "3", "OK", "-3.2 dBFS"}))
        << "a run stored before its first sample was measured shows when it was planned to start";

    EXPECT_EQ(face(missed.id), frmRecordEvents::attentionColour());
    EXPECT_EQ(face(busy.id), frmRecordEvents::attentionColour());
    EXPECT_EQ(text(busy.id), frmRecordEvents::notOkTextColour());
    EXPECT_EQ(w->lblAttention->text(), "2 results need your attention");
    // The events' last results.
    w->selectEvent(weather.id);
    EXPECT_EQ(w->lstEvents->currentItem()->text(frmRecordEvents::LastResult), "Missed");
    EXPECT_EQ(w->lstEvents->currentItem()->foreground(frmRecordEvents::LastResult).color(),
              frmRecordEvents::notOkTextColour());

    // Seen: the face goes, the result stays red.
    w->selectRun(missed.id);
    ASSERT_TRUE(w->cmdSeen->isEnabled());
    w->cmdSeen->click();
    EXPECT_EQ(find(missed.id)->background(frmRecordEvents::Result).style(), Qt::NoBrush);
    EXPECT_EQ(text(missed.id), frmRecordEvents::notOkTextColour());
    EXPECT_EQ(face(busy.id), frmRecordEvents::attentionColour());
    EXPECT_EQ(w->lblAttention->text(), "1 result needs your attention");
    EXPECT_FALSE(w->cmdSeen->isEnabled()) << "the selected result has been seen";

    // What is seen, and what is not, outlives the window and the program.
    restartProgram();
    w = openEvents();
    EXPECT_EQ(find(missed.id)->background(frmRecordEvents::Result).style(), Qt::NoBrush);
    EXPECT_EQ(face(busy.id), frmRecordEvents::attentionColour());
    ASSERT_TRUE(w->cmdAllSeen->isEnabled());
    w->cmdAllSeen->click();
    EXPECT_EQ(find(busy.id)->background(frmRecordEvents::Result).style(), Qt::NoBrush);
    EXPECT_EQ(w->lblAttention->text(), "");
    EXPECT_FALSE(w->cmdAllSeen->isEnabled());

    // A result that comes in while the window is open shows at once.
    const RecordRun late = run(news, QTime(10, 0), RunResult::LateStart);
    EXPECT_EQ(face(late.id), frmRecordEvents::attentionColour());
    EXPECT_EQ(w->lblAttention->text(), "1 result needs your attention");

    // A take of digital silence has a peak of minus infinity.
    RecordRun silent = run(weather, QTime(11, 0), RunResult::Silent);
    silent.figuresId = figuresWithPeak(-std::numeric_limits<double>::infinity());
    studio->runs().update(silent);
    EXPECT_EQ(find(silent.id)->text(frmRecordEvents::Peak), QString("-%1 dBFS").arg(QChar(0x221E)));
}

TEST_F(EventWindowTest, TheTakeOfARunPlaysFromItsSlotAndStops)
{
    const RecordEvent news = storeEvent("NEWS", QTime(17, 0), 120);
    const RecordRun ok = run(news, QTime(8, 0), RunResult::OK); // slot 3
    const RecordRun missed = run(news, QTime(9, 0), RunResult::Missed); // no take
    const auto samples = wavtest::sine(44100, 2, 440, 2.0, 8000);
    writeAllBytes(native("C/Tamblor/SF0003.wav"), wavtest::wav(1, 2, 44100, 16, wavtest::pcmBytes(samples, 16)));

    frmRecordEvents* w = openEvents();
    w->selectRun(missed.id);
    EXPECT_FALSE(w->cmdPlay->isEnabled());
    w->selectRun(ok.id);
    ASSERT_TRUE(w->cmdPlay->isEnabled());
    w->cmdPlay->click();
    EXPECT_TRUE(studio->playback().isPlaying());
    EXPECT_EQ(w->cmdPlay->text(), "Stop");
    w->cmdPlay->click();
    EXPECT_FALSE(studio->playback().isPlaying());
    EXPECT_EQ(w->cmdPlay->text(), "Play");

    // A slot emptied since is told, not played.
    QFile::remove(native("C/Tamblor/SF0003.wav"));
    w->cmdPlay->click();
    EXPECT_FALSE(studio->playback().isPlaying());
    EXPECT_EQ(app->messageText(), "The take of \"NEWS\" is no longer in slot 3.");
}

TEST_F(EventWindowTest, WithTheDatabaseClosedTheWindowSaysSoAndOffersNoNewEvent)
{
    storeEvent("NEWS", QTime(17, 0), 120);
    studio->database().close();
    frmRecordEvents* w = openEvents();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->lblDatabase->isVisibleTo(w));
    EXPECT_EQ(w->lblDatabase->text(),
              "The record events are not available: the program's database did not open (c:\\Tamblor\\Tamblor.db).");
    EXPECT_FALSE(w->cmdNew->isEnabled());
    EXPECT_EQ(w->lstEvents->topLevelItemCount(), 0);
    EXPECT_EQ(menuLine(), "");
}

TEST_F(EventWindowTest, RecordNowRecordsTheEventAtOnceFromItsCardByNameAndItsResultIsListed)
{
    restartOn44100Stereo(2);
    card().setInputSignal(audio::sources::tone(440.0, 16000));
    RecordEvent news = storeEvent("NEWS", QTime(17, 0), 2);
    news.device = 0; // the number its card had when it was chosen
    news.deviceName = "Studio Line";
    studio->events().update(news);
    RecordEvent gone = storeEvent("GONE", QTime(18, 0), 1);
    gone.device = 1;
    gone.deviceName = "Old USB Card";
    studio->events().update(gone);

    frmRecordEvents* w = openEvents();
    w->selectEvent(news.id);
    ASSERT_TRUE(w->cmdRecordNow->isEnabled());
    w->cmdRecordNow->click();
    ASSERT_TRUE(studio->scheduler().recording());
    EXPECT_EQ(studio->recording().input().deviceId(), 1) << "its card by name, wherever its number moved";
    EXPECT_EQ(menuLine(), "Recording NEWS");
    EXPECT_FALSE(w->cmdRecordNow->isEnabled()) << "one take at a time";

    for (int i = 0; i < 400 && (studio->scheduler().recording() || studio->recording().state() != RecordingSession::State::Idle); ++i)
        step();
    studio->scheduler().finishChecks();
    QCoreApplication::processEvents();
    const std::vector<RecordRun> runs = studio->runs().list(news.id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::OK) << runs[0].detail.toStdString();
    EXPECT_EQ(runs[0].lengthFrames, 2 * 44100);
    ASSERT_EQ(w->lstRuns->topLevelItemCount(), 1);
    EXPECT_EQ(w->lstRuns->topLevelItem(0)->text(frmRecordEvents::Result), "OK");
    w->selectEvent(news.id);
    EXPECT_EQ(w->lstEvents->currentItem()->text(frmRecordEvents::LastResult), "OK");
    EXPECT_TRUE(w->cmdRecordNow->isEnabled());
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 12 min");

    // A card that is gone is never replaced by whatever card has its number.
    w->selectEvent(gone.id);
    w->cmdRecordNow->click();
    const std::optional<RecordRun> refused = studio->runs().last(gone.id);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->result, RunResult::DeviceBusy);
    EXPECT_EQ(refused->detail, "The input \"Old USB Card\" is not there; nothing was recorded from another card.");
}

TEST_F(EventWindowTest, AStoredEventThatCannotRunIsListedAsNeedingRepairSayingWhy)
{
    storeEvent("EMPTY", QTime(17, 0), 0);
    storeEvent("NEWS", QTime(17, 0), 120);
    frmRecordEvents* w = openEvents();
    ASSERT_TRUE(w);
    ASSERT_EQ(w->lstEvents->topLevelItemCount(), 2);
    QStringList next;
    for (int i = 0; i < 2; ++i)
        next << w->lstEvents->topLevelItem(i)->text(frmRecordEvents::Name) + ": " +
                    w->lstEvents->topLevelItem(i)->text(frmRecordEvents::NextStart);
    EXPECT_TRUE(next.contains("EMPTY: Needs repair: its length of 0 seconds is not longer than 0.")) << next.join(" | ").toStdString();
    EXPECT_TRUE(next.contains("NEWS: 12/07/2026 17:00")) << next.join(" | ").toStdString();
    w->Timer1_Timer();
    EXPECT_TRUE(w->lstEvents->topLevelItem(0)->text(frmRecordEvents::NextStart).startsWith("Needs repair") ||
                w->lstEvents->topLevelItem(1)->text(frmRecordEvents::NextStart).startsWith("Needs repair"));
}
