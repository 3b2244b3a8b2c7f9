#include "app/Application.h"
#include "audio/widgets/Gauge.h"
#include "browse/DriveList.h"
#include "browse/FolderList.h"
#include "studio/Studio.h"
#include "wavefiles/SortedListBox.h"
#include "wavefiles/frmWaveFiles.h"
#include "send/frmSend.h"
#include "audio/format/RiffReader.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/AppFixture.h"
#include "tests/support/SoxFiles.h"
#include "tests/support/WavBytes.h"
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <sndfile.h>
#include <vector>

using namespace tamblor;

namespace {

struct Wav {
    SF_INFO info{};
    std::vector<int16_t> samples;
    int64_t frames() const { return info.frames; }
};

// A tone written by libsndfile: `seconds` of 440 Hz at the given rate, channels and format.
Wav writeWav(const QString& path, int rate, int channels, double seconds, int format = SF_FORMAT_PCM_16)
{
    Wav w;
    w.info.samplerate = rate;
    w.info.channels = channels;
    w.info.format = SF_FORMAT_WAV | format;
    const int64_t frames = int64_t(rate * seconds);
    w.samples.resize(size_t(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        const double v = 12000.0 * std::sin(2 * M_PI * 440.0 * double(i) / rate);
        for (int c = 0; c < channels; ++c)
            w.samples[size_t(i * channels + c)] = int16_t(std::lround(c == 0 ? v : -v));
    }
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &w.info);
    EXPECT_TRUE(f) << sf_strerror(nullptr);
    if (f) {
        sf_writef_short(f, w.samples.data(), frames);
        sf_close(f);
    }
    w.info.frames = frames;
    return w;
}

Wav readWav(const QString& path)
{
    Wav w;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &w.info);
    EXPECT_TRUE(f) << path.toStdString() << ": " << sf_strerror(nullptr);
    if (!f)
        return w;
    w.samples.resize(size_t(w.info.frames * w.info.channels));
    sf_readf_short(f, w.samples.data(), w.info.frames);
    sf_close(f);
    return w;
}

int peak(const std::vector<int16_t>& samples)
{
    int p = 0;
    for (int16_t s : samples)
        p = std::max(p, std::abs(int(s)));
    return p;
}

// Names and contents of the files of a folder.
QMap<QString, QByteArray> folderContents(const QString& dir)
{
    QMap<QString, QByteArray> out;
    for (const QFileInfo& e : QDir(dir).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
        out[e.fileName()] = e.isDir() ? QByteArray("<dir>") : readAllBytes(e.filePath());
    return out;
}

} // namespace

class SendTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        studio = std::make_unique<Studio>(*app);
        studio->setTimerRunning(false);
        app->windows().registerWindow(WindowName::frmSend,
                                      [this](Application& a) { return new frmSend(a, studio->library()); });
        ASSERT_TRUE(app->start());
        source = addSlot(1, "Spot / News 2", 44100, 2, 1.5);
        QDir().mkpath(native("C/Out"));
    }
    void TearDown() override
    {
        app->windows().destroyAll();
        studio.reset();
        AppTest::TearDown();
    }
    // A library slot with its sound file; the slot the next open() sends, as the library
    // list's selection hands it over.
    Wav addSlot(int slot, const QString& name, int rate, int channels, double seconds,
                int format = SF_FORMAT_PCM_16)
    {
        Wav w = writeWav(native(QString("C/Tamblor/SF%1.wav").arg(slot, 4, 10, QChar('0'))), rate, channels,
                         seconds, format);
        IndexRecord r;
        r.Status = SlotStatus::Used;
        r.setSoundName(name);
        r.setLengthText("1");
        studio->library().write(slot, r);
        sendSlot = slot;
        // An open window is handed the slot, as a further export from the library does.
        if (auto* open = app->windows().find<frmSend>(WindowName::frmSend))
            open->openFor(slot);
        return w;
    }
    // Opens the window for sendSlot.
    frmSend* open()
    {
        dlg = app->windows().show<frmSend>(WindowName::frmSend);
        EXPECT_TRUE(dlg);
        if (dlg)
            dlg->openFor(sendSlot);
        return dlg;
    }
    std::unique_ptr<Studio> studio;
    int sendSlot = 0;
    template <class T> T* child(const char* name) const
    {
        T* w = dlg->findChild<T*>(name);
        EXPECT_TRUE(w) << name;
        return w;
    }
    QLineEdit* nameBox() const { return child<QLineEdit>("txtFileName"); }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    QLabel* label1() const { return child<QLabel>("Label1"); }
    FolderList* dir1() const { return child<FolderList>("Dir1"); }

    // Clicks a folder entry of Dir1 as the operator does.
    void clickFolder(const QString& dosPath)
    {
        auto* list = dir1();
        const int row = list->rowOf(dosPath);
        ASSERT_GE(row, 0) << dosPath.toStdString();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
    void typeNameAndEnter(const QString& name)
    {
        nameBox()->setText(name);
        QTest::keyClick(nameBox(), Qt::Key_Return);
    }
    // Runs `start` and waits for the end of the transfer it begins.
    template <class F> void sendAndWait(F start)
    {
        QSignalSpy done(dlg, &frmSend::sendFinished);
        start();
        ASSERT_TRUE(done.count() > 0 || done.wait(30000));
    }
    // Enter in the name box, then "Send".
    void sendAs(const QString& name)
    {
        typeNameAndEnter(name);
        ASSERT_TRUE(button("cmdSend")->isVisible());
        sendAndWait([this] { button("cmdSend")->click(); });
    }

    // The library window, opened as the program registers it, exports `slot` to this window.
    frmWaveFiles* exportFromLibrary(int slot)
    {
        if (!app->windows().isRegistered(WindowName::frmWaveFiles))
            app->windows().registerWindow(WindowName::frmWaveFiles,
                                          [this](Application& a) { return new frmWaveFiles(a, *studio); });
        auto* library = app->windows().show<frmWaveFiles>(WindowName::frmWaveFiles);
        if (!library)
            return nullptr;
        library->selectEntry(library->lstSoundFile->findItemData(slot));
        library->mnuExport->trigger();
        dlg = app->windows().find<frmSend>(WindowName::frmSend);
        return library;
    }

    frmSend* dlg = nullptr;
    Wav source;
};

TEST_F(SendTest, OpensOnDriveCWithTheSuggestedName)
{
    open();
    EXPECT_EQ(dlg->windowTitle(), "Send To:");
    EXPECT_EQ(dir1()->path(), "c:\\");
    EXPECT_EQ(child<DriveList>("Drive1")->drive(), "c:");
    EXPECT_EQ(dlg->destinationFolder(), "c:");
    EXPECT_TRUE(nameBox()->isVisible());
    EXPECT_EQ(nameBox()->text(), "SPOT___NEWS_2");
    EXPECT_EQ(child<QCheckBox>("Check1")->text(), "Compress File");
    EXPECT_FALSE(child<QCheckBox>("Check1")->isChecked());
    EXPECT_FALSE(button("cmdSend")->isVisible());
    EXPECT_FALSE(button("cmdNo")->isVisible());
    EXPECT_TRUE(button("cmdClose")->isVisible());
    EXPECT_EQ(button("cmdClose")->text(), "Close");
    EXPECT_FALSE(label1()->isVisible());
    EXPECT_FALSE(child<audio::Gauge>("Gauge")->isVisible());
    // Releasing the right button over the window opens the pop-up menu.
    auto* popup = child<QMenu>("mnuHiddenPopup");
    EXPECT_EQ(child<QAction>("mnuHiddenPopupSend")->text(), "Send");
    QTest::mouseRelease(dlg, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_TRUE(popup->isVisible());
    popup->hide();
    // The drive's folders are listed below its root.
    EXPECT_GE(dir1()->rowOf("c:\\Out"), 0);
    EXPECT_GE(dir1()->rowOf("c:\\Tamblor"), 0);

    // While the window stays open a further export only changes the slot, not the name.
    dlg->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(app->windows().find(WindowName::frmSend));
    addSlot(2, QString::fromUtf8("Café-Mix!"), 22050, 1, 0.2);
    open();
    EXPECT_EQ(nameBox()->text(), "CAFMIX");
    addSlot(3, "Other", 22050, 1, 0.2);
    open();
    EXPECT_EQ(nameBox()->text(), "CAFMIX");
    EXPECT_EQ(dlg->slot(), 3);
}

TEST_F(SendTest, PlainSendCopiesTheAudioInItsOwnFormat)
{
    open();
    clickFolder("c:\\Out");
    EXPECT_EQ(dlg->destinationFolder(), "c:\\Out");
    typeNameAndEnter("Promo");
    // Nothing to replace: "Send" takes the place of "Close" and has the focus.
    EXPECT_FALSE(label1()->isVisible());
    EXPECT_FALSE(button("cmdClose")->isVisible());
    EXPECT_FALSE(button("cmdNo")->isVisible());
    EXPECT_TRUE(button("cmdSend")->isVisible());
    EXPECT_EQ(dlg->destinationBase(), "c:\\Out\\Promo");

    // A second Enter sends.
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg));
    ASSERT_TRUE(button("cmdSend")->hasFocus());
    sendAndWait([this] { QTest::keyClick(button("cmdSend"), Qt::Key_Return); });
    EXPECT_EQ(app->messageText(), "");
    const Wav out = readWav(native("C/Out/Promo.wav"));
    EXPECT_EQ(out.info.samplerate, 44100);
    EXPECT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(out.samples, source.samples);
    EXPECT_EQ(label1()->text(), "Format:  PCM   44.100 kHz, 16 Bit, Stereo");
    EXPECT_TRUE(label1()->isVisible());
    EXPECT_TRUE(child<audio::Gauge>("Gauge")->isVisible());
    EXPECT_EQ(child<audio::Gauge>("Gauge")->value(), 100); // a short send ends full too
    EXPECT_TRUE(button("cmdClose")->isVisible());
    EXPECT_FALSE(button("cmdSend")->isVisible());
    EXPECT_EQ(readWav(native("C/Tamblor/SF0001.wav")).samples, source.samples); // source untouched
}

TEST_F(SendTest, CompressedSendWrites22050OfTheSameDurationAndAPlainSendAfterItTheSourceFormat)
{
    open();
    clickFolder("c:\\Out");
    child<QCheckBox>("Check1")->setChecked(true);
    sendAs("Small");
    const Wav small = readWav(native("C/Out/Small.wav"));
    EXPECT_EQ(small.info.samplerate, 22050);
    EXPECT_EQ(small.info.channels, 2);
    EXPECT_EQ(small.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const double inSeconds = double(source.frames()) / 44100.0;
    const double outSeconds = double(small.frames()) / 22050.0;
    EXPECT_NEAR(outSeconds, inSeconds, 0.002);
    EXPECT_NEAR(peak(small.samples), peak(source.samples), peak(source.samples) / 10);
    EXPECT_EQ(label1()->text(), "Format:  PCM   22.050 kHz, 16 Bit, Stereo");

    child<QCheckBox>("Check1")->setChecked(false);
    sendAs("Big");
    const Wav big = readWav(native("C/Out/Big.wav"));
    EXPECT_EQ(big.info.samplerate, 44100);
    EXPECT_EQ(big.samples, source.samples);
    EXPECT_EQ(label1()->text(), "Format:  PCM   44.100 kHz, 16 Bit, Stereo");
}

// The sample bytes of a wave file as the shared reader finds them.
QByteArray dataChunkOf(const QString& path)
{
    const audio::RiffLayout l = audio::RiffReader::read(path);
    return readAllBytes(path).mid(qsizetype(l.dataOffset), qsizetype(l.dataSize));
}

TEST_F(SendTest, APlainSendCopiesTheSampleBytesOfEveryFormatUnchanged)
{
    using namespace wavtest;
    const QString slotFile = native("C/Tamblor/SF0004.wav");
    struct Case {
        const char* name;
        QStringList sox; // empty: the bytes below
        QByteArray bytes;
        const char* label;
    };
    QByteArray cutShort = wav(1, 2, 44100, 16, pcmBytes(sine(44100, 2, 440, 0.3, 9000), 16), 1000000);
    cutShort.chop(3); // and the last frame incomplete
    const std::vector<Case> cases = {
        {"Deep", {"-b", "24"}, {}, "Format:  PCM   44.100 kHz, 24 Bit, Stereo"},
        {"Float", {"-e", "floating-point", "-b", "32"}, {}, "Format:  IEEE Float   44.100 kHz, 32 Bit, Stereo"},
        {"Adpcm", {"-e", "ms-adpcm"}, {}, "Format:  Microsoft ADPCM   44.100 kHz, 4 Bit, Stereo"},
        {"Byte", {"-b", "8"}, {}, "Format:  PCM   44.100 kHz, 8 Bit, Stereo"},
        {"Int32", {"-b", "32"}, {}, "Format:  PCM   44.100 kHz, 32 Bit, Stereo"},
        {"Cut", {}, cutShort, "Format:  PCM   44.100 kHz, 16 Bit, Stereo"},
    };
    open();
    clickFolder("c:\\Out");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        addSlot(4, c.name, 44100, 2, 0.1);
        if (c.sox.isEmpty()) {
            writeAllBytes(slotFile, c.bytes);
        } else {
            ASSERT_TRUE(soxtest::makeTone(slotFile, c.sox, 44100, 2, 0.7));
        }
        const QByteArray before = readAllBytes(slotFile);
        app->showMessage(QString());
        sendAs(c.name);
        EXPECT_EQ(app->messageText(), "");
        const QString sent = native(QString("C/Out/%1.wav").arg(c.name));
        const QByteArray data = dataChunkOf(slotFile);
        EXPECT_FALSE(data.isEmpty());
        EXPECT_TRUE(dataChunkOf(sent) == data);
        EXPECT_EQ(audio::RiffReader::read(sent).format, audio::RiffReader::read(slotFile).format);
        EXPECT_EQ(label1()->text(), c.label);
        EXPECT_EQ(readAllBytes(slotFile), before);
    }
    // The cut-short take: the destination's header states what it holds.
    const QByteArray cut = readAllBytes(native("C/Out/Cut.wav"));
    EXPECT_EQ(cut.mid(40, 4), le32(uint32_t(cut.size() - 44)));
    EXPECT_EQ(cut.mid(4, 4), le32(uint32_t(cut.size() - 8)));
}

TEST_F(SendTest, CompressedSendKeepsTheSampleDepthOfTheSource)
{
    const QString slotFile = native("C/Tamblor/SF0004.wav");
    open();
    clickFolder("c:\\Out");
    child<QCheckBox>("Check1")->setChecked(true);
    struct Case {
        const char* name;
        QStringList sox;
        int format;
    };
    for (const Case& c : {Case{"Deep", {"-b", "24"}, SF_FORMAT_PCM_24},
                          Case{"Float", {"-e", "floating-point", "-b", "32"}, SF_FORMAT_FLOAT}}) {
        SCOPED_TRACE(c.name);
        addSlot(4, c.name, 44100, 2, 0.1);
        ASSERT_TRUE(soxtest::makeTone(slotFile, c.sox, 44100, 2, 0.5));
        app->showMessage(QString());
        sendAs(c.name);
        EXPECT_EQ(app->messageText(), "");
        SF_INFO info{};
        SNDFILE* f = sf_open(native(QString("C/Out/%1.wav").arg(c.name)).toLocal8Bit().constData(), SFM_READ, &info);
        ASSERT_TRUE(f);
        EXPECT_EQ(info.samplerate, 22050);
        EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, c.format);
        std::vector<double> samples(size_t(info.frames * info.channels));
        sf_readf_double(f, samples.data(), info.frames);
        sf_close(f);
        // Below the top 16 bits there is sound too: the conversion did not pass through 16 bits.
        int64_t lowBits = 0;
        double peak = 0;
        for (double s : samples) {
            lowBits += std::nearbyint(s * 32768) != s * 32768;
            peak = std::max(peak, std::fabs(s));
        }
        EXPECT_GT(lowBits, int64_t(samples.size() / 2));
        // The tone at its own level (0.6 of full scale).
        EXPECT_NEAR(peak, 0.6, 0.01);
    }
}

TEST_F(SendTest, CompressedAdpcmSendStaysAdpcmAt22050)
{
    addSlot(3, "Adpcm", 44100, 1, 1.0, SF_FORMAT_MS_ADPCM);
    // What the source decodes to, its last block padded out.
    const Wav decoded = readWav(native("C/Tamblor/SF0003.wav"));
    open();
    clickFolder("c:\\Out");
    child<QCheckBox>("Check1")->setChecked(true);
    sendAs("ADPCM");
    EXPECT_EQ(app->messageText(), "");
    const Wav out = readWav(native("C/Out/ADPCM.wav"));
    EXPECT_EQ(out.info.samplerate, 22050);
    EXPECT_EQ(out.info.channels, 1);
    EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM);
    // Both files pad their last block (at most 1012 frames here, 46 ms).
    EXPECT_NEAR(double(out.frames()) / 22050.0, double(decoded.frames()) / 44100.0, 0.046);
    EXPECT_TRUE(label1()->text().startsWith("Format:  Microsoft ADPCM   22.050 kHz, 4 Bit, Mono"))
        << label1()->text().toStdString();
}

TEST_F(SendTest, SendReplacesOnlyTheFilesOfTheTypedNameAfterAsking)
{
    const QString out = native("C/Out");
    QDir().mkpath(out + "/NAME.d");
    for (const char* f : {"NAME.txt", "name.WAV", "Name", "NAME2.wav", "NAMEX.txt", "other.wav", "NAME.tar.gz"})
        writeAllBytes(out + '/' + f, f);
    auto before = folderContents(out);

    open();
    clickFolder("c:\\Out");
    typeNameAndEnter("NAME");
    EXPECT_EQ(label1()->text(), "c:\\Out\\NAME already exists.  Overwrite?");
    EXPECT_TRUE(label1()->isVisible());
    EXPECT_TRUE(button("cmdNo")->isVisible());
    EXPECT_TRUE(button("cmdSend")->isVisible());
    EXPECT_FALSE(button("cmdClose")->isVisible());
    EXPECT_LT(button("cmdSend")->x(), button("cmdNo")->x() + 1); // "Send" stands left of "No"
    EXPECT_EQ(folderContents(out), before); // asking changes nothing

    sendAndWait([this] { button("cmdSend")->click(); });
    for (const char* gone : {"NAME.txt", "name.WAV", "Name"})
        before.remove(gone);
    auto after = folderContents(out);
    ASSERT_TRUE(after.contains("NAME.wav"));
    after.remove("NAME.wav");
    EXPECT_EQ(after, before);
    EXPECT_EQ(readWav(out + "/NAME.wav").samples, source.samples);
}

TEST_F(SendTest, NoReturnsToChoosingAndLeavesTheFolderAlone)
{
    writeAllBytes(native("C/Out/X.mp3"), "old");
    open();
    clickFolder("c:\\Out");
    typeNameAndEnter("x");
    ASSERT_TRUE(button("cmdNo")->isVisible());
    button("cmdNo")->click();
    EXPECT_EQ(nameBox()->text(), "");
    EXPECT_FALSE(label1()->isVisible());
    EXPECT_FALSE(button("cmdNo")->isVisible());
    EXPECT_FALSE(button("cmdSend")->isVisible());
    EXPECT_TRUE(button("cmdClose")->isVisible());
    EXPECT_EQ(readAllBytes(native("C/Out/X.mp3")), "old");
    EXPECT_EQ(QDir(native("C/Out")).entryList(QDir::Files), QStringList({"X.mp3"}));
}

TEST_F(SendTest, NamesThatAreNotOnePlainFileNameAreRefused)
{
    writeAllBytes(native("C/Out/keep.wav"), "keep");
    writeAllBytes(native("C/x.wav"), "outside");
    const auto out = folderContents(native("C/Out"));
    const auto drive = folderContents(native("C"));
    open();
    clickFolder("c:\\Out");
    for (const char* bad : {"*", "*.*", "../x", "..\\x", "sub/x", "c:x", "k?ep", ""}) {
        app->showMessage("");
        typeNameAndEnter(bad);
        EXPECT_NE(app->messageText(), "") << bad;
        EXPECT_FALSE(label1()->isVisible()) << bad;
        EXPECT_FALSE(button("cmdSend")->isVisible()) << bad;
        // The pop-up "Send" asks nothing, so it checks the name itself.
        app->showMessage("");
        child<QAction>("mnuHiddenPopupSend")->trigger();
        EXPECT_NE(app->messageText(), "") << bad;
        EXPECT_FALSE(dlg->isSending());
    }
    QTest::qWait(50);
    EXPECT_EQ(folderContents(native("C/Out")), out);
    EXPECT_EQ(folderContents(native("C")), drive);
    nameBox()->setText("*");
    QTest::keyClick(nameBox(), Qt::Key_Return);
    EXPECT_TRUE(app->messageText().contains("\"*\"")) << app->messageText().toStdString();
}

TEST_F(SendTest, LibraryFilesAreNeverReplaced)
{
    const QByteArray index = readAllBytes(native("C/Tamblor/Schedule.dat"));
    open();
    clickFolder("c:\\Tamblor");
    for (const char* name : {"SF0001", "sf0001", "Schedule", "MYCOMP"}) {
        app->showMessage("");
        typeNameAndEnter(name);
        EXPECT_TRUE(app->messageText().contains("cannot be replaced")) << name;
        EXPECT_FALSE(button("cmdSend")->isVisible());
        child<QAction>("mnuHiddenPopupSend")->trigger();
        EXPECT_TRUE(app->messageText().contains("cannot be replaced")) << name;
    }
    EXPECT_EQ(readWav(native("C/Tamblor/SF0001.wav")).samples, source.samples);
    EXPECT_EQ(readAllBytes(native("C/Tamblor/Schedule.dat")), index);
    EXPECT_TRUE(QFileInfo::exists(native("C/Tamblor/MyComp.ini")));
}

TEST_F(SendTest, AMissingSourceIsReportedAndTheDestinationKept)
{
    writeAllBytes(native("C/Out/Gone.wav"), "previous");
    sendSlot = 7;
    open();
    clickFolder("c:\\Out");
    typeNameAndEnter("Gone");
    ASSERT_TRUE(button("cmdSend")->isVisible());
    button("cmdSend")->click();
    EXPECT_EQ(app->messageText(), "53 File not found");
    // The window can be closed, and the send tried again.
    EXPECT_TRUE(button("cmdClose")->isVisible());
    EXPECT_TRUE(button("cmdSend")->isVisible());
    EXPECT_FALSE(dlg->isSending());
    EXPECT_EQ(readAllBytes(native("C/Out/Gone.wav")), "previous");

    const Wav found = addSlot(7, "Gone", 22050, 1, 0.2); // the file is back
    app->showMessage(QString());
    sendAndWait([this] { button("cmdSend")->click(); });
    EXPECT_EQ(app->messageText(), "");
    EXPECT_EQ(readWav(native("C/Out/Gone.wav")).samples, found.samples);
    EXPECT_EQ(child<audio::Gauge>("Gauge")->value(), 100);
    EXPECT_FALSE(button("cmdSend")->isVisible());
    EXPECT_TRUE(button("cmdClose")->isVisible());
}

TEST_F(SendTest, PopupSendAsksNothingAndUsesTheNameAsItIsNow)
{
    writeAllBytes(native("C/Out/Now.txt"), "old");
    open();
    clickFolder("c:\\Out");
    // Enter forms the destination; editing the box afterwards does not change it for "Send".
    typeNameAndEnter("First");
    nameBox()->setText("Second");
    sendAndWait([this] { button("cmdSend")->click(); });
    EXPECT_TRUE(QFileInfo::exists(native("C/Out/First.wav")));
    EXPECT_FALSE(QFileInfo::exists(native("C/Out/Second.wav")));

    // The pop-up forms it again from the box and replaces without asking.
    nameBox()->setText("Now");
    sendAndWait([this] {
        child<QAction>("mnuHiddenPopupSend")->trigger();
        EXPECT_FALSE(button("cmdClose")->isVisible());
        EXPECT_FALSE(label1()->text().contains("Overwrite"));
    });
    EXPECT_FALSE(QFileInfo::exists(native("C/Out/Now.txt")));
    EXPECT_EQ(readWav(native("C/Out/Now.wav")).samples, source.samples);
    EXPECT_TRUE(button("cmdClose")->isVisible());
}

TEST_F(SendTest, ChangingTheDriveShowsItsRootAndAMissingDriveIsReported)
{
    QDir().mkpath(native("D/Music"));
    QDir().mkpath(native("E"));
    open();
    auto* drives = child<DriveList>("Drive1");
    ASSERT_EQ(drives->findText("d:"), 1);
    drives->setCurrentIndex(1);
    EXPECT_EQ(dlg->destinationFolder(), "d:");
    EXPECT_EQ(dir1()->path(), "d:\\");
    EXPECT_GE(dir1()->rowOf("d:\\Music"), 0);
    typeNameAndEnter("OnD");
    EXPECT_EQ(dlg->destinationBase(), "d:\\OnD");

    // Double-clicking opens a folder; the click before it chooses it.
    const int row = dir1()->rowOf("d:\\Music");
    const QPoint at = dir1()->visualItemRect(dir1()->item(row)).center();
    QTest::mouseClick(dir1()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(dir1()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(dir1()->path(), "d:\\Music");
    EXPECT_EQ(dlg->destinationFolder(), "d:\\Music");

    // The keys move through the folders and Enter opens one.
    dir1()->setFocus();
    QTest::keyClick(dir1(), Qt::Key_Up);
    EXPECT_EQ(dlg->destinationFolder(), "d:\\");
    QTest::keyClick(dir1(), Qt::Key_Down);
    EXPECT_EQ(dlg->destinationFolder(), "d:\\Music");
    QTest::keyClick(dir1(), Qt::Key_Up);
    QTest::keyClick(dir1(), Qt::Key_Return);
    EXPECT_EQ(dir1()->path(), "d:\\");
    EXPECT_EQ(dlg->destinationFolder(), "d:\\");

    // A drive that went away: the folder list keeps its path, the destination names the drive.
    QDir(native("E")).removeRecursively();
    drives->setCurrentIndex(2); // the list was filled while E was there
    EXPECT_EQ(app->messageText(), "68  Device unavailable");
    EXPECT_EQ(dlg->destinationFolder(), "e:");
    EXPECT_EQ(dir1()->path(), "d:\\");
    // Opening the list shows the drives as they are now.
    QDir().mkpath(native("G"));
    drives->showPopup();
    drives->hidePopup();
    EXPECT_EQ(drives->findText("e:"), -1);
    EXPECT_EQ(drives->findText("g:"), 2);
    EXPECT_EQ(drives->drive(), "c:"); // the current drive was gone
}

TEST_F(SendTest, ClosingWhileSendingStopsTheTransfer)
{
    addSlot(4, "Long", 44100, 2, 30.0);
    open();
    clickFolder("c:\\Out");
    child<QCheckBox>("Check1")->setChecked(true);
    typeNameAndEnter("Long");
    button("cmdSend")->click();
    // The end event needs the event loop, so the transfer counts as running here. A second
    // send meanwhile is turned down.
    ASSERT_TRUE(dlg->isSending());
    nameBox()->setText("Other");
    child<QAction>("mnuHiddenPopupSend")->trigger();
    EXPECT_EQ(app->messageText(), "A file is being sent. Wait until it has been sent.");
    EXPECT_EQ(dlg->destinationBase(), "c:\\Out\\Long");
    EXPECT_TRUE(label1()->isVisible()); // still the format of the running transfer
    dlg->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(app->windows().find(WindowName::frmSend));
    QTest::qWait(20); // a finish queued before the close must find nothing to touch
    EXPECT_EQ(readWav(native("C/Tamblor/SF0001.wav")).samples, source.samples);
    // The stopped transfer leaves no half-written file behind.
    EXPECT_EQ(folderContents(native("C/Out")), (QMap<QString, QByteArray>()));
}

TEST_F(SendTest, ExportFromTheLibraryWindowSendsTheSelectedSound)
{
    addSlot(2, QString::fromUtf8("Café-Mix!"), 22050, 1, 0.5); // the buffer holds slot 2 now
    frmWaveFiles* library = exportFromLibrary(1);
    ASSERT_TRUE(library && dlg);
    EXPECT_EQ(dlg->slot(), 1);
    EXPECT_EQ(nameBox()->text(), "SPOT___NEWS_2");
    clickFolder("c:\\Out");
    sendAs(nameBox()->text());
    EXPECT_EQ(readWav(native("C/Out/SPOT___NEWS_2.wav")).samples, source.samples);
}

TEST_F(SendTest, OpenedWithoutASlotTheWindowSendsTheOneTheLibraryLastSent)
{
    // The editor's Export opens the window with no slot of its own. Before the library has sent
    // anything, Send says so instead of looking for a file that cannot exist.
    dlg = app->windows().show<frmSend>(WindowName::frmSend);
    ASSERT_TRUE(dlg);
    EXPECT_EQ(dlg->slot(), 0);
    clickFolder("c:\\Out");
    typeNameAndEnter("Nothing");
    if (button("cmdSend")->isVisible())
        button("cmdSend")->click();
    EXPECT_EQ(app->messageText(), "No file was selected.");
    EXPECT_EQ(folderContents(native("C/Out")), (QMap<QString, QByteArray>()));
    button("cmdClose")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(app->windows().find(WindowName::frmSend));

    // Once the library has sent slot 1 and that window is closed, a window opened without a
    // slot works on slot 1 again, its name suggested.
    frmWaveFiles* library = exportFromLibrary(1);
    ASSERT_TRUE(library && dlg);
    button("cmdClose")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(app->windows().find(WindowName::frmSend));
    dlg = app->windows().show<frmSend>(WindowName::frmSend);
    ASSERT_TRUE(dlg);
    EXPECT_EQ(dlg->slot(), 1);
    EXPECT_EQ(nameBox()->text(), "SPOT___NEWS_2");
    clickFolder("c:\\Out");
    sendAs(nameBox()->text());
    EXPECT_EQ(readWav(native("C/Out/SPOT___NEWS_2.wav")).samples, source.samples);
}

TEST_F(SendTest, ARenameInTheLibraryWindowShowsInTheOpenSendWindowAtOnce)
{
    frmWaveFiles* library = exportFromLibrary(1);
    ASSERT_TRUE(library && dlg);
    ASSERT_EQ(nameBox()->text(), "SPOT___NEWS_2");

    // Renamed in the library window: the suggestion follows, key by key.
    QTest::mouseDClick(library->txtName, Qt::LeftButton);
    QTest::keyClicks(library->txtName, "Jingle 7");
    EXPECT_EQ(nameBox()->text(), "JINGLE_7");

    // A name the operator typed is the operator's: a further rename leaves it.
    nameBox()->setText("Mine");
    QTest::keyClicks(library->txtName, "b");
    EXPECT_EQ(nameBox()->text(), "Mine");
}

TEST_F(SendTest, ASendThatFailsKeepsTheFileItWasToReplace)
{
    // Three channels cannot be compressed, and a damaged source cannot be sent at all: either
    // send fails, and the file the operator agreed to replace must still be there.
    const QString out = native("C/Out");
    writeAllBytes(out + "/Wide.wav", "previous wide");
    writeAllBytes(out + "/Wide.txt", "notes");
    writeAllBytes(out + "/Float.wav", "previous float");
    const auto before = folderContents(out);
    struct Case {
        int slot, channels, format;
        bool compress;
        const char* name;
    };
    for (const Case c : {Case{5, 3, SF_FORMAT_PCM_16, true, "Wide"}, Case{6, 1, SF_FORMAT_FLOAT, false, "Float"}}) {
        addSlot(c.slot, c.name, 44100, c.channels, 0.5, c.format);
        if (c.slot == 6) // the format chunk, and no data
            writeAllBytes(native("C/Tamblor/SF0006.wav"),
                          wavtest::riff(wavtest::chunk("fmt ", wavtest::fmtBody(audio::WaveFormat::pcm(44100, 1, 16)))));
        open();
        clickFolder("c:\\Out");
        child<QCheckBox>("Check1")->setChecked(c.compress);
        app->showMessage(QString());
        typeNameAndEnter(c.name);
        ASSERT_TRUE(button("cmdSend")->isVisible()) << c.name;
        QSignalSpy done(dlg, &frmSend::sendFinished);
        button("cmdSend")->click();
        if (dlg->isSending()) {
            ASSERT_TRUE(done.wait(30000));
        }
        if (c.slot == 6) {
            EXPECT_EQ(app->messageText(), "321 Invalid file format: no data chunk");
        }
        EXPECT_NE(app->messageText(), "") << c.name;
        EXPECT_FALSE(dlg->isSending());
        EXPECT_EQ(folderContents(out), before) << c.name;
        dlg->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A disk that fills up during the transfer: the same, and what was written goes again.
    addSlot(7, "Big", 44100, 2, 3.0);
    open();
    clickFolder("c:\\Out");
    child<QCheckBox>("Check1")->setChecked(false);
    app->showMessage(QString());
    typeNameAndEnter("Wide");
    {
        FileSizeLimit full(100000);
        sendAndWait([this] { button("cmdSend")->click(); });
    }
    EXPECT_NE(app->messageText(), "");
    // The message names the file the send was making.
    EXPECT_TRUE(app->messageText().endsWith(": c:\\Out\\Wide.wav", Qt::CaseInsensitive)) << app->messageText().toStdString();
    EXPECT_EQ(folderContents(out), before);
    dlg->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // A send that works replaces them, and leaves nothing else behind.
    addSlot(1, "Spot", 44100, 2, 0.5);
    open();
    clickFolder("c:\\Out");
    typeNameAndEnter("Wide");
    sendAndWait([this] { button("cmdSend")->click(); });
    auto after = folderContents(out);
    EXPECT_EQ(after.keys(), QStringList({"Float.wav", "Wide.wav"}));
    EXPECT_EQ(readWav(out + "/Wide.wav").info.channels, 2);
    // With the permissions any new file gets, not those of a private scratch file.
    writeAllBytes(out + "/Plain.bin", "x");
    EXPECT_EQ(QFileInfo(out + "/Wide.wav").permissions(), QFileInfo(out + "/Plain.bin").permissions());
}

TEST_F(SendTest, TheGaugeStartsAtZeroAndAFailedSendShowsHowFarItGot)
{
    const auto gauge = [this] { return child<audio::Gauge>("Gauge"); };
    open();
    clickFolder("c:\\Out");
    sendAs("First");
    ASSERT_EQ(gauge()->value(), 100);

    // A new destination: nothing of it is sent yet.
    typeNameAndEnter("Second");
    EXPECT_EQ(gauge()->value(), 0);
    sendAndWait([this] { button("cmdSend")->click(); });
    ASSERT_EQ(gauge()->value(), 100);

    // A send that fails before its first byte (the source is gone) got nowhere.
    dlg->openFor(7); // a further export, of a slot whose file is gone
    nameBox()->setText("Gone");
    child<QAction>("mnuHiddenPopupSend")->trigger();
    EXPECT_EQ(app->messageText(), "53 File not found");
    EXPECT_EQ(gauge()->value(), 0);

    // A disk that fills up part way through 20 s of sound compressed to 1.76 MB (the writer's
    // first 1 MB does not fit in 0.5 MB): the gauge stays where the send stopped, never full.
    addSlot(7, "Big", 44100, 2, 20.0);
    app->showMessage(QString());
    child<QCheckBox>("Check1")->setChecked(true);
    typeNameAndEnter("Big");
    ASSERT_TRUE(button("cmdSend")->isVisible());
    {
        FileSizeLimit full(500000);
        sendAndWait([this] { button("cmdSend")->click(); });
    }
    ASSERT_NE(app->messageText(), "");
    EXPECT_TRUE(gauge()->isVisible());
    EXPECT_GE(gauge()->value(), 10);
    EXPECT_LE(gauge()->value(), 90);
    EXPECT_TRUE(button("cmdSend")->isVisible());

    // The same for a plain copy of 10.6 MB when the disk fills at 4 MB.
    addSlot(7, "Plain", 44100, 2, 60.0);
    app->showMessage(QString());
    child<QCheckBox>("Check1")->setChecked(false);
    typeNameAndEnter("Plain");
    ASSERT_TRUE(button("cmdSend")->isVisible());
    {
        FileSizeLimit full(4000000);
        sendAndWait([this] { button("cmdSend")->click(); });
    }
    ASSERT_NE(app->messageText(), "");
    EXPECT_GE(gauge()->value(), 20);
    EXPECT_LE(gauge()->value(), 38);
}
