// The guide that ships with the program against the windows it describes: the record events,
// the loudness panel, the silence alarm and the notices each have their section, and every
// caption the guide names in bold is the caption the window shows.
#include "ProgramFixture.h"
#include "core/ProgramSettings.h"
#include "events/frmEditEvent.h"
#include "info/frmHelp.h"
#include "schedule/RecordRun.h"
#include "tests/support/LayoutCheck.h"
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QSet>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTreeWidget>

using namespace tamblor;

namespace {

class HelpGuideTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        if (HasFatalFailure())
            return;
        auto* help = app->windows().show<frmHelp>(WindowName::frmHelp);
        ASSERT_TRUE(help);
        guide = help->findChild<QTextBrowser*>("RichTextBox1")->document();
        for (QTextBlock b = guide->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().fontWeight() == QFont::Bold)
                    bold << it.fragment().text().trimmed();
    }
    // What a control shows as its caption.
    static QString captionOf(QObject* control)
    {
        if (auto* b = qobject_cast<QAbstractButton*>(control))
            return b->text().remove('&');
        if (auto* l = qobject_cast<QLabel*>(control))
            return l->text();
        if (auto* g = qobject_cast<QGroupBox*>(control))
            return g->title();
        if (auto* a = qobject_cast<QAction*>(control))
            return a->text().remove('&');
        return {};
    }
    // Each control named in `window` shows its caption, and the guide names that caption in bold
    // (`named`, when given, is how the guide names it: "Files > Print Results").
    struct Caption {
        const char* object;
        const char* caption;
        const char* named = nullptr;
    };
    void expectCaptions(QWidget* window, const std::vector<Caption>& captions)
    {
        ASSERT_TRUE(window);
        for (const Caption& c : captions) {
            QObject* control = window->findChild<QObject*>(c.object);
            ASSERT_TRUE(control) << c.object;
            EXPECT_EQ(captionOf(control), c.caption) << c.object;
            const QString named = c.named ? c.named : c.caption;
            EXPECT_TRUE(bold.contains(named)) << named.toStdString() << " is not named in the guide";
        }
    }
    // Every heading of a list's columns is named in bold.
    void expectColumns(QWidget* window, const char* list)
    {
        auto* tree = window->findChild<QTreeWidget*>(list);
        ASSERT_TRUE(tree) << list;
        for (int c = 0; c < tree->columnCount(); ++c)
            EXPECT_TRUE(bold.contains(tree->headerItem()->text(c)))
                << list << ": " << tree->headerItem()->text(c).toStdString() << " is not named in the guide";
    }

    QTextDocument* guide = nullptr;
    QSet<QString> bold;
};

} // namespace

TEST_F(HelpGuideTest, EachNewPartHasItsSectionInTheGuide)
{
    EXPECT_TRUE(bold.contains("The events"));
    // Each a heading of its own, in bold; a picture of the help window at each, for a person to read.
    auto* help = app->windows().find(WindowName::frmHelp);
    auto* browser = help->findChild<QTextBrowser*>("RichTextBox1");
    help->resize(640, 720);
    for (const char* heading : {"The loudness panel", "The silence alarm", "Record Events", "The event's window",
                                "The results", "Keeping the history", "The Notices list"}) {
        EXPECT_TRUE(bold.contains(heading)) << heading;
        QTextBlock block = guide->begin();
        while (block.isValid() && block.text() != heading)
            block = block.next();
        ASSERT_TRUE(block.isValid()) << heading << " is no heading of its own";
        browser->moveCursor(QTextCursor::End); // the heading comes to the top
        browser->setTextCursor(QTextCursor(block));
        browser->ensureCursorVisible();
        EXPECT_TRUE(layoutcheck::saveScreenshot(help, QString("help-%1").arg(QString(heading).replace(' ', '-').remove('\''))));
    }
    const QString text = guide->toPlainText();
    EXPECT_FALSE(text.contains("\\par")); // the RTF read whole
    // What the guide says of the defaults is what the program has.
    const LoudnessPreferences defaults;
    EXPECT_TRUE(text.contains(QString("%1 dBFS unless changed").arg(defaults.silenceThresholdDbfs))) << "threshold";
    EXPECT_TRUE(text.contains(QString("%1 seconds unless changed").arg(defaults.silenceSeconds))) << "time";
    EXPECT_TRUE(text.contains(QString("(%1 dBTP unless changed)").arg(defaults.truePeakCeilingDbtp))) << "ceiling";
    EXPECT_TRUE(text.contains(QString("opens that input for %1 seconds").arg(events::frmEditEvent::CheckMs / 1000)));
    EXPECT_TRUE(text.contains("C:\\Tamblor\\Record Results.csv"));
}

TEST_F(HelpGuideTest, EveryResultIsExplained)
{
    for (int r = 0; r < schedule::RunResultCount; ++r) {
        const QString name = schedule::resultText(schedule::RunResult(r));
        EXPECT_TRUE(bold.contains(name)) << name.toStdString() << " is not explained";
    }
}

TEST_F(HelpGuideTest, TheCaptionsTheGuideNamesAreThoseTheWindowsShow)
{
    expectCaptions(app->windows().find(WindowName::mnuMenu),
                   {{"mnuRecordEvents", "Record Events", "Tools > Record Events"}, {"mnuNotices", "Notices"}});

    QWidget* events = app->windows().show(WindowName::frmRecordEvents);
    expectCaptions(events, {{"cmdNew", "New..."},
                            {"cmdEdit", "Change..."},
                            {"cmdDelete", "Delete"},
                            {"cmdEnable", "Disable"},
                            {"cmdRecordNow", "Record Now"},
                            {"chkFinished", "Show finished"},
                            {"lblEvents", "Events"},
                            {"lblRuns", "Results"},
                            {"cmdSeen", "Seen"},
                            {"cmdAllSeen", "All Seen"},
                            {"cmdPlay", "Play"},
                            {"lblFrom", "Results from"},
                            {"lblTo", "to"},
                            {"cmdExport", "Export CSV"},
                            {"cmdPrint", "Print"},
                            {"mnuExport", "Export Results as CSV", "Files > Export Results as CSV"},
                            {"mnuPrint", "Print Results", "Files > Print Results"}});
    EXPECT_EQ(events->windowTitle(), "Record Events");
    expectColumns(events, "lstEvents");
    expectColumns(events, "lstRuns");

    auto* editor = app->windows().show<events::frmEditEvent>(WindowName::frmEditEvent);
    ASSERT_TRUE(editor);
    editor->editEvent(0);
    EXPECT_TRUE(bold.contains(editor->windowTitle())) << editor->windowTitle().toStdString();
    expectCaptions(editor, {{"lblName", "Name"},
                            {"lblStart", "Start"},
                            {"fraWhen", "When"},
                            {"optWhen_0", "Every week on"},
                            {"optWhen_1", "Once, on"},
                            {"fraEnd", "End"},
                            {"optEnd_0", "Length"},
                            {"optEnd_1", "At"},
                            {"fraSlot", "Recorded into"},
                            {"optSlot_0", "The first free slot, named"},
                            {"optSlot_1", "Always slot"},
                            {"fraInput", "Input"},
                            {"lblDevice", "Card"},
                            {"lblFormat", "Format"},
                            {"cmdCheck", "Check input"},
                            {"fraAfter", "After recording"},
                            {"lblPeak", "Peak"},
                            {"chkEnabled", "Enabled"},
                            {"cmdOK", "OK"},
                            {"cmdCancel", "Cancel"}});
    // The lists' first choice, "As the preferences: ...", as the events' tests show it.
    EXPECT_TRUE(bold.contains("As the preferences"));
    auto* after = editor->findChild<QComboBox*>("cboAfter");
    ASSERT_TRUE(after);
    for (int i = 0; i < after->count(); ++i)
        EXPECT_TRUE(bold.contains(after->itemText(i))) << after->itemText(i).toStdString();

    // The loudness panel: its frame, its reset and the first word of each figure.
    QWidget* library = app->windows().show(WindowName::frmWaveFiles);
    expectCaptions(library, {{"fraLoudness", "Loudness"}, {"cmdLoudnessReset", "Reset"}, {"lblFiguresCaption", "Loudness"}});
    for (const auto& [label, word] : std::vector<std::pair<const char*, const char*>>{
             {"lblMomentary", "M"}, {"lblShortTerm", "S"}, {"lblIntegrated", "I"}, {"lblRange", "LRA"},
             {"lblTruePeak", "TP"}, {"lblMaxMomentary", "Max M"}, {"lblMaxShortTerm", "Max S"}, {"lblCovered", "over"}}) {
        auto* l = library->findChild<QLabel*>(label);
        ASSERT_TRUE(l) << label;
        EXPECT_EQ(l->text().section(' ', 0, QString(word).count(' ')), word) << label;
        EXPECT_TRUE(bold.contains(word)) << word;
    }

    // The silence alarm's settings.
    expectCaptions(app->windows().show(WindowName::frmMyPreferences),
                   {{"fraLoudness", "Loudness meter and silence alarm"},
                    {"lblSilenceThreshold", "Silence below (dBFS)"},
                    {"lblSilenceTime", "Silence alarm after (s)"},
                    {"lblSilenceCommand", "Silence command"}});

    QWidget* notices = app->windows().show(WindowName::frmNotices);
    EXPECT_EQ(notices->windowTitle(), "Notices");
    expectCaptions(notices, {{"cmdClose", "Close"}});
    expectColumns(notices, "lstNotices");
}
