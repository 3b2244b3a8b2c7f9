#include "app/mnuMenu.h"
#include "info/InfoServices.h"
#include "info/InfoWindows.h"
#include "info/frmAbout.h"
#include "tests/support/AppFixture.h"
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace tamblor;

namespace {
const RegistryRoot HKLM = RegistryRoot::LocalMachine;
const QString PathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QString FolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
} // namespace

class AboutTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        registerInfoWindows(*app);
        ASSERT_TRUE(app->start());
        auto reg = std::make_unique<MemoryRegistry>();
        registry = reg.get();
        auto st = std::make_unique<RecordingStarter>();
        starter = st.get();
        app->fields<InfoServices>().registry = std::move(reg);
        app->fields<InfoServices>().starter = std::move(st);
    }
    frmAbout* open()
    {
        app->windows().find<mnuMenu>(WindowName::mnuMenu)->findChild<QAction*>("mnuAbout")->trigger();
        return app->windows().find<frmAbout>(WindowName::frmAbout);
    }
    void clickSysInfo(frmAbout* w) { QTest::mouseClick(w->findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton); }
    std::vector<QString> messages() const
    {
        std::vector<QString> texts;
        for (const auto& a : prompts->asked)
            texts.push_back(a.text);
        return texts;
    }
    const std::vector<QString> unavailable{"System Information Is Unavailable At This Time"};

    MemoryRegistry* registry = nullptr;
    RecordingStarter* starter = nullptr;
};

TEST_F(AboutTest, ShowsTitleVersionAndDescriptionAndClosesOnOK)
{
    frmAbout* w = open();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isModal());
    EXPECT_EQ(w->windowTitle(), "About Tamblor");
    EXPECT_EQ(w->findChild<QLabel*>("lblTitle")->text(), "Tamblor");
    EXPECT_EQ(w->findChild<QLabel*>("lblVersion")->text(), QString("Version ") + TAMBLOR_VERSION);
    EXPECT_EQ(frmAbout::versionText(), QString("Version ") + TAMBLOR_VERSION);
    const QStringList description = w->findChild<QLabel*>("lblDescription")->text().split(QChar(10));
    ASSERT_EQ(description.size(), 2);
    EXPECT_FALSE(description[0].isEmpty());
    EXPECT_FALSE(description[1].isEmpty());
    EXPECT_FALSE(w->findChild<QLabel*>("picIcon")->pixmap().isNull());
    EXPECT_EQ(w->findChild<QPushButton*>("cmdOK")->text(), "OK");
    EXPECT_EQ(w->findChild<QPushButton*>("cmdSysInfo")->text(), "&System Info...");

    QTest::mouseClick(w->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app->windows().find(WindowName::frmAbout), nullptr);
    EXPECT_TRUE(prompts->asked.empty());
}

TEST_F(AboutTest, GetKeyValueReadsTextAndNumbers)
{
    frmAbout* w = open();
    QString val = "stale";
    // 12 characters stored, the last one the terminating zero: 11 come back.
    registry->setText(HKLM, "SOFTWARE\\Tamblor", "Twelve", "Hello World");
    ASSERT_TRUE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "Twelve", val));
    EXPECT_EQ(val, "Hello World");
    EXPECT_EQ(val.size(), 11);
    // Without a terminator nothing is cut.
    registry->setText(HKLM, "SOFTWARE\\Tamblor", "Bare", "Hello World!", false);
    ASSERT_TRUE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "Bare", val));
    EXPECT_EQ(val, "Hello World!");
    // Only one terminator is cut; an empty text is a text.
    registry->setText(HKLM, "SOFTWARE\\Tamblor", "Empty", "");
    ASSERT_TRUE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "Empty", val));
    EXPECT_EQ(val, "");
    // Key paths and value names ignore case; non-ASCII text survives.
    registry->setText(HKLM, "SOFTWARE\\Tamblor", "Name", QString::fromUtf8("Caf\u00e9 \u20ac"));
    ASSERT_TRUE(w->GetKeyValue(HKLM, "software\\TAMBLOR", "name", val));
    EXPECT_EQ(val, QString::fromUtf8("Caf\u00e9 \u20ac"));
    // A 32-bit number comes back in hexadecimal.
    registry->setNumber(HKLM, "SOFTWARE\\Tamblor", "Count", 0x1F2Eu);
    ASSERT_TRUE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "Count", val));
    EXPECT_EQ(val, "1F2E");
    registry->setNumber(HKLM, "SOFTWARE\\Tamblor", "Zero", 0);
    ASSERT_TRUE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "Zero", val));
    EXPECT_EQ(val, "0");
}

TEST_F(AboutTest, GetKeyValueFailsEmptyOnMissingOversizedOrForeignValues)
{
    frmAbout* w = open();
    QString val = "stale";
    EXPECT_FALSE(w->GetKeyValue(HKLM, "SOFTWARE\\Nowhere", "PATH", val));
    EXPECT_EQ(val, "");
    registry->createKey(HKLM, "SOFTWARE\\Tamblor");
    val = "stale";
    EXPECT_FALSE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "PATH", val));
    EXPECT_EQ(val, "");
    // The value is under another root.
    registry->setText(RegistryRoot::CurrentUser, "SOFTWARE\\Tamblor", "PATH", "x");
    EXPECT_FALSE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "PATH", val));
    // 1024 characters with the terminator fit the buffer; one more does not.
    registry->setText(HKLM, "SOFTWARE\\Tamblor", "Fits", QString(1023, 'a'));
    ASSERT_TRUE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "Fits", val));
    EXPECT_EQ(val.size(), 1023);
    registry->setText(HKLM, "SOFTWARE\\Tamblor", "Long", QString(1024, 'a'));
    val = "stale";
    EXPECT_FALSE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "Long", val));
    EXPECT_EQ(val, "");
    // Binary values and truncated numbers are not read as text.
    registry->setValue(HKLM, "SOFTWARE\\Tamblor", "Blob", RegBinary, QByteArray("\x01\x02", 2));
    EXPECT_FALSE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "Blob", val));
    registry->setValue(HKLM, "SOFTWARE\\Tamblor", "Short", RegNumber, QByteArray("\x01\x02", 2));
    EXPECT_FALSE(w->GetKeyValue(HKLM, "SOFTWARE\\Tamblor", "Short", val));
}

TEST_F(AboutTest, SysInfoStartsTheToolNamedByTheFirstKey)
{
    registry->setText(HKLM, PathKey, "PATH", "/opt/tools/sysinfo");
    frmAbout* w = open();
    clickSysInfo(w);
    ASSERT_EQ(starter->started.size(), 1u);
    EXPECT_EQ(starter->started[0].program, "/opt/tools/sysinfo");
    EXPECT_TRUE(prompts->asked.empty());
    // The first key wins even when the second names a real program.
    registry->setText(HKLM, FolderKey, "MSINFO", "c:\\Tools");
    writeAllBytes(native("C/Tools/MSINFO32.EXE"), "MZ");
    clickSysInfo(w);
    ASSERT_EQ(starter->started.size(), 2u);
    EXPECT_EQ(starter->started[1].program, "/opt/tools/sysinfo");
}

TEST_F(AboutTest, SysInfoFallsBackToTheFolderOfTheSecondKey)
{
    registry->setText(HKLM, FolderKey, "MSINFO", "C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo");
    frmAbout* w = open();
    // The folder lacks the program: the failure message, nothing started.
    clickSysInfo(w);
    EXPECT_TRUE(starter->started.empty());
    EXPECT_EQ(messages(), unavailable);
    EXPECT_EQ(prompts->asked[0].title, "Tamblor");
    // With the program there (any case on disk) it starts.
    writeAllBytes(native("C/Program Files/Common Files/Microsoft Shared/MSInfo/msinfo32.exe"), "MZ");
    clickSysInfo(w);
    ASSERT_EQ(starter->started.size(), 1u);
    EXPECT_EQ(starter->started[0].program,
              app->drives().toNative("c:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo\\MSINFO32.EXE"));
    EXPECT_TRUE(QFile::exists(starter->started[0].program));
    EXPECT_EQ(prompts->asked.size(), 1u);
}

TEST_F(AboutTest, SysInfoReportsMissingRegistryEntriesAndFailedStarts)
{
    frmAbout* w = open();
    clickSysInfo(w); // nothing registered
    EXPECT_EQ(messages(), unavailable);
    prompts->asked.clear();
    // A folder of the program's name is no program.
    registry->setText(HKLM, FolderKey, "MSINFO", "c:\\Tools");
    QDir().mkpath(native("C/Tools/MSINFO32.EXE"));
    clickSysInfo(w);
    EXPECT_EQ(messages(), unavailable);
    EXPECT_TRUE(starter->started.empty());
    prompts->asked.clear();
    // Registered, but the start fails.
    registry->setText(HKLM, PathKey, "PATH", "/opt/tools/sysinfo");
    starter->succeeds = false;
    clickSysInfo(w);
    EXPECT_EQ(starter->started.size(), 1u);
    EXPECT_EQ(messages(), unavailable);
    // The window stays as it was.
    EXPECT_EQ(app->windows().find(WindowName::frmAbout), w);
}

#ifndef Q_OS_WIN
TEST_F(AboutTest, WithoutWindowsTheInstalledInformationToolIsOffered)
{
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    // No tool installed: the stand-in registry names none.
    app->fields<InfoServices>().registry = systemInformationRegistry(findSystemInformationTool({bin.path()}));
    frmAbout* w = open();
    clickSysInfo(w);
    EXPECT_EQ(messages(), unavailable);
    EXPECT_TRUE(starter->started.empty());
    // An executable tool on the search path is found and started; a file that cannot be
    // executed is passed over.
    writeAllBytes(bin.path() + "/kinfocenter", "#!/bin/sh\n");
    EXPECT_EQ(findSystemInformationTool({bin.path()}), "");
    QFile::setPermissions(bin.path() + "/kinfocenter", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeAllBytes(bin.path() + "/hardinfo", "#!/bin/sh\n");
    QFile::setPermissions(bin.path() + "/hardinfo", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString tool = findSystemInformationTool({bin.path()});
    EXPECT_EQ(tool, bin.path() + "/hardinfo"); // the information tool before the info centre
    app->fields<InfoServices>().registry = systemInformationRegistry(tool);
    clickSysInfo(w);
    ASSERT_EQ(starter->started.size(), 1u);
    EXPECT_EQ(starter->started[0].program, tool);
}
#endif
