#pragma once
// The library window over a fresh root: index and settings bytes written before start-up,
// the window opened through the registry over the studio (library, recorder, player) that
// outlives it, the virtual input and output stepped by the test.
#include "app/Application.h"
#include "app/ButtonColour.h"
#include "audio/devices/FilePlayer.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "audio/devices/VirtualBackend.h"
#include "wavefiles/SortedListBox.h"
#include "studio/Studio.h"
#include "wavefiles/frmWaveFiles.h"
#include "tests/support/LibraryFixture.h"
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include "audio/widgets/LevelMeter.h"
#include <QtEndian>
#include <map>

class LibraryWindowTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        newStudio();
    }
    void TearDown() override
    {
        endStudio();
        AppTest::TearDown();
    }
    // The program's windows go first, then the studio (a take under way is kept), then the
    // application.
    void endStudio()
    {
        if (app)
            app->windows().destroyAll();
        studio.reset();
    }
    // The studio's clock is off: the tests step the sessions by tick() or studio->tick().
    void newStudio()
    {
        studio = std::make_unique<tamblor::Studio>(*app);
        studio->setTimerRunning(false);
    }
    // A fresh program over the same root: application and studio.
    void newApp()
    {
        endStudio();
        AppTest::newApp();
        newStudio();
    }
    // The library window as the program registers it.
    void registerLibraryWindow()
    {
        app->windows().registerWindow(tamblor::WindowName::frmWaveFiles,
                                      [this](tamblor::Application& a) { return new tamblor::frmWaveFiles(a, *studio); });
    }
    // One 39-byte index record.
    static QByteArray rec(const char* status, const QString& name, const QString& length = "0",
                          const QString& date = "12-01-26")
    {
        return indexRecordBytes(status, name, length, date);
    }
    // Records 1..n of Schedule.dat, as bytes, before start-up.
    void writeIndex(const QList<QByteArray>& records)
    {
        QByteArray all;
        for (const QByteArray& r : records)
            all += r;
        writeAllBytes(indexPath(), all);
    }
    // Settings records (1-based) of MyComp.ini; records not given are 0.
    void writeSettings(const std::map<int, int16_t>& records)
    {
        writeAllBytes(native("C/Tamblor/MyComp.ini"), settingsBytes(records));
    }
    QString indexPath() const { return native("C/Tamblor/Schedule.dat"); }
    QByteArray indexBytes() const { return readAllBytes(indexPath()); }
    QByteArray recordBytes(int n) const { return indexBytes().mid(39 * (n - 1), 39); }
    QString slotFile(int n) const { return native(QString::asprintf("C/Tamblor/SF%04d.wav", n)); }

    // Starts the program and opens the library window.
    void open()
    {
        registerLibraryWindow();
        if (!app->clock().isFixed())
            app->clock().setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 7, 51)));
        ASSERT_TRUE(app->start());
        w = app->windows().show<tamblor::frmWaveFiles>(tamblor::WindowName::frmWaveFiles);
        ASSERT_TRUE(w);
        w->Timer1->stop(); // ticks are run by the tests, one by one
    }
    // Closed windows delete themselves once pending deletions run.
    static void flushDeletes()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void reopen()
    {
        w->close();
        flushDeletes();
        w = app->windows().show<tamblor::frmWaveFiles>(tamblor::WindowName::frmWaveFiles);
        w->Timer1->stop();
    }

    QStringList lines() const
    {
        QStringList out;
        for (int i = 0; i < w->lstSoundFile->count(); ++i)
            out << w->lstSoundFile->item(i)->text();
        return out;
    }
    QList<int> slotList() const
    {
        QList<int> out;
        for (int i = 0; i < w->lstSoundFile->count(); ++i)
            out << w->lstSoundFile->itemData(i);
        return out;
    }
    int selectedSlot() const
    {
        const int row = w->lstSoundFile->selectedRow();
        return row < 0 ? 0 : w->lstSoundFile->itemData(row);
    }
    // Clicks a list entry as the operator does.
    void clickRow(int row)
    {
        auto* list = w->lstSoundFile;
        const QRect r = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }
    void clickSlot(int slot) { clickRow(w->lstSoundFile->findItemData(slot)); }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

    tamblor::audio::VirtualBackend& backend()
    {
        return dynamic_cast<tamblor::audio::VirtualBackend&>(app->audio());
    }
    // Runs the input for `frames` frames and delivers its events.
    void feed(size_t frames)
    {
        backend().advance(frames);
        w->WaveIn().waitIdle();
    }
    // One tick of the studio's clock, the programme watch's measuring of what the tick handed
    // its worker (waited for, so that the meter and the alarm have moved), then the window's
    // display timer.
    void tick()
    {
        studio->tick();
        studio->watch().waitIdle();
        w->Timer1_Timer();
    }
    void advanceClock(int seconds) { app->clock().advance(qint64(seconds) * 1000); }
    QColor colour(QPushButton* b) const { return tamblor::buttonColour(b); }

    std::unique_ptr<tamblor::Studio> studio;
    tamblor::frmWaveFiles* w = nullptr;
};
