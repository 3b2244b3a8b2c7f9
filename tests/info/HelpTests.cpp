#include "app/mnuMenu.h"
#include "info/InfoWindows.h"
#include "info/frmHelp.h"
#include "tests/support/AppFixture.h"
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

using namespace tamblor;

class HelpTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        registerInfoWindows(*app);
        ASSERT_TRUE(app->start());
        helpPath = native("C/Program Files/Tamblor/TamblorHelp.rtf");
    }
    frmHelp* open()
    {
        app->windows().find<mnuMenu>(WindowName::mnuMenu)->findChild<QAction*>("mnuHelp")->trigger();
        return app->windows().find<frmHelp>(WindowName::frmHelp);
    }
    static QTextBrowser* box(frmHelp* w) { return w->findChild<QTextBrowser*>("RichTextBox1"); }
    // The first fragment of the document whose text contains `text`.
    static QTextCharFormat formatOf(QTextDocument* doc, const QString& text)
    {
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                if (it.fragment().text().contains(text))
                    return it.fragment().charFormat();
            }
        }
        ADD_FAILURE() << "no text " << text.toStdString();
        return {};
    }
    QString helpPath;
    const QString builtIn = shippedHelpFile(QCoreApplication::applicationDirPath());
};

TEST_F(HelpTest, ShippedGuideIsPlacedOnceAndShownWithBoldAndItalic)
{
    ASSERT_FALSE(QFile::exists(helpPath));
    ASSERT_TRUE(installHelpFileIfMissing(*app, builtIn));
    ASSERT_TRUE(QFile::exists(helpPath));
    const QByteArray shipped = readAllBytes(helpPath);
    EXPECT_TRUE(shipped.startsWith("{\\rtf1"));

    frmHelp* w = open();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->windowTitle(), "Pendrel Help");
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(app->messageText(), "");
    QTextBrowser* text = box(w);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->geometry(), w->rect()); // fills the window
    const QString plain = text->toPlainText();
    EXPECT_FALSE(plain.contains("\\par")); // no RTF shows through
    EXPECT_FALSE(plain.contains("Arial"));  // nor the font table
    for (const char* heading : {"The main menu", "My Preferences", "The WaveFiles window", "Send To",
                                "Normalize", "Wave Form Generator", "Error Message"})
        EXPECT_TRUE(plain.contains(heading)) << heading;
    EXPECT_EQ(formatOf(text->document(), "The WaveFiles window").fontWeight(), QFont::Bold);
    EXPECT_FALSE(formatOf(text->document(), "The WaveFiles window").fontItalic());
    EXPECT_TRUE(formatOf(text->document(), "View Index that may need updating").fontItalic());

    // An existing file is the studio's own and stays untouched.
    writeAllBytes(helpPath, "{\\rtf1 Our studio's own notes.}");
    EXPECT_TRUE(installHelpFileIfMissing(*app, builtIn));
    EXPECT_EQ(readAllBytes(helpPath), QByteArray("{\\rtf1 Our studio's own notes.}"));
}

TEST_F(HelpTest, AnInstalledProgramPlacesTheHelpTextInstalledBesideIt)
{
    // <prefix>/bin/tamblor finds <prefix>/share/tamblor/TamblorHelp.rtf.
    const QString prefix = native("usr");
    ASSERT_TRUE(QDir().mkpath(prefix + "/bin"));
    EXPECT_EQ(shippedHelpFile(prefix + "/bin"), ":/tamblor/TamblorHelp.rtf"); // nothing installed yet
    writeAllBytes(prefix + "/share/tamblor/TamblorHelp.rtf", "{\\rtf1 Installed {\\b guide}\\par}");
    const QString installed = shippedHelpFile(prefix + "/bin");
    EXPECT_EQ(installed, prefix + "/share/tamblor/TamblorHelp.rtf");
    ASSERT_TRUE(installHelpFileIfMissing(*app, installed));
    EXPECT_EQ(readAllBytes(helpPath), QByteArray("{\\rtf1 Installed {\\b guide}\\par}"));
    EXPECT_EQ(box(open())->toPlainText(), "Installed guide\n");
}

TEST_F(HelpTest, GuideAndAboutDescribeOnlyWhatTheMainMenuReaches)
{
    // The editor's entry stays hidden, so neither text may send the operator looking for it.
    auto* menu = app->windows().find<mnuMenu>(WindowName::mnuMenu);
    ASSERT_FALSE(menu->findChild<QAction*>("mnuEdit")->isVisible());
    ASSERT_TRUE(installHelpFileIfMissing(*app, builtIn));
    const QString guide = box(open())->toPlainText();
    EXPECT_FALSE(guide.contains("editor", Qt::CaseInsensitive));
    EXPECT_FALSE(guide.contains("trim", Qt::CaseInsensitive));
    app->windows().show(WindowName::frmAbout);
    auto* description = app->windows().find(WindowName::frmAbout)->findChild<QLabel*>("lblDescription");
    ASSERT_TRUE(description);
    EXPECT_FALSE(description->text().contains("editor", Qt::CaseInsensitive));

    // Every entry the menu shows is in the guide.
    for (const char* entry : {"Files > Exit", "Setup > My Prefences", "WaveFiles", "Tools > Normalize",
                              "Tools > Wave Generator", "Help", "About"})
        EXPECT_TRUE(guide.contains(entry)) << entry;
}

TEST_F(HelpTest, AnyCaseOfTheFileNameIsFound)
{
    writeAllBytes(native("C/Program Files/Tamblor/tamblorhelp.RTF"), "{\\rtf1 Hello {\\b bold}\\par}");
    frmHelp* w = open();
    EXPECT_EQ(box(w)->toPlainText(), "Hello bold\n");
    EXPECT_EQ(app->messageText(), "");
}

TEST_F(HelpTest, MissingOrUnreadableFileIsReportedAndTheWindowStaysEmpty)
{
    const QString missing =
        "The file TamblorHelp.rtf was not found.  It must be installed in C:\\Program Files\\Tamblor folder";
    frmHelp* w = open();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(box(w)->toPlainText().isEmpty());
    EXPECT_EQ(app->messageText(), missing);
    EXPECT_TRUE(prompts->asked.empty()); // the message window, not a modal box

    // A folder in the file's place is no help file either.
    w->close();
    app->windows().find(WindowName::frmError)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(QDir().mkpath(helpPath));
    EXPECT_FALSE(installHelpFileIfMissing(*app, builtIn));
    w = open();
    ASSERT_TRUE(w);
    EXPECT_TRUE(box(w)->toPlainText().isEmpty());
    EXPECT_EQ(app->messageText(), missing);

#ifndef Q_OS_WIN
    // A file that cannot be read.
    w->close();
    app->windows().find(WindowName::frmError)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QDir(helpPath).removeRecursively();
    writeAllBytes(helpPath, "{\\rtf1 secret}");
    QFile::setPermissions(helpPath, QFileDevice::WriteOwner);
    if (!QFile(helpPath).open(QIODevice::ReadOnly)) { // root reads everything
        w = open();
        EXPECT_TRUE(box(w)->toPlainText().isEmpty());
        EXPECT_EQ(app->messageText(), missing);
    }
#endif
}
