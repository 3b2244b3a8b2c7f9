#include "send/SendName.h"
#include "tests/support/TestEnv.h"
#include <QDir>
#include <gtest/gtest.h>

using namespace tamblor::send;

TEST(SendNameTest, SuggestionKeepsDigitsAndLettersAndTurnsBlanksAndSlashesIntoUnderscores)
{
    EXPECT_EQ(suggestedFileName("Spot / News 2"), "SPOT___NEWS_2");
    EXPECT_EQ(suggestedFileName(QString::fromUtf8("Café-Mix!")), "CAFMIX");
    EXPECT_EQ(suggestedFileName("   Morning show 7        "), "MORNING_SHOW_7");
    EXPECT_EQ(suggestedFileName(QString(25, ' ')), "");
    EXPECT_EQ(suggestedFileName("(No Name 005 ****)"), "NO_NAME_005_");
    EXPECT_EQ(suggestedFileName("a\\b.c:d"), "ABCD");
}

TEST(SendNameTest, SuggestionUpperCasesOneCharacterAtATimeAndKeepsOnlyAToZ)
{
    EXPECT_EQ(suggestedFileName(QString::fromUtf8("Straße")), "STRAE");
    EXPECT_EQ(suggestedFileName(QString::fromUtf8("ﬁnal œuvre")), "NAL_UVRE");
}

TEST(SendNameTest, OnlyPlainFileNamesAreAccepted)
{
    for (const char* good : {"PROMO", "Spot News 2", "mix.v2", "CONTEST", "_", "a-b(1)"})
        EXPECT_EQ(fileNameProblem(good), "") << good;
    for (const char* bad : {"", "*", "*.*", "NAME?", "../x", "..", ".", "a/b", "a\\b", "c:x", "a<b", "a>b",
                            "a|b", "a\"b", "end.", "end ", " lead", "CON", "nul.txt", "Lpt1", "com9"}) {
        const QString problem = fileNameProblem(bad);
        EXPECT_FALSE(problem.isEmpty()) << bad;
    }
    EXPECT_FALSE(fileNameProblem(QString("tab\there")).isEmpty());
    EXPECT_FALSE(fileNameProblem(QString(252, 'x')).isEmpty());
    EXPECT_TRUE(fileNameProblem(QString(251, 'x')).isEmpty());
    EXPECT_TRUE(fileNameProblem("*").contains("\"*\""));
}

class BaseNameTest : public TempRootTest {};

TEST_F(BaseNameTest, MatchesTheNameWithOneExtensionOrNoneWithoutRegardToCase)
{
    const QString dir = native("Out");
    QDir().mkpath(dir + "/NAME.d");
    for (const char* f : {"NAME.txt", "name.WAV", "Name", "NAME2.wav", "NAMEX.txt", "other.wav", "NAME.tar.gz",
                          "xNAME.wav", ".NAME"})
        writeAllBytes(dir + '/' + f, f);
    QStringList found;
    for (const QString& p : filesWithBaseName(dir, "NAME"))
        found << QFileInfo(p).fileName();
    found.sort();
    EXPECT_EQ(found, QStringList({"NAME.txt", "Name", "name.WAV"}));
    EXPECT_TRUE(filesWithBaseName(dir, "nothing").isEmpty());
    EXPECT_TRUE(filesWithBaseName(dir + "/missing", "NAME").isEmpty());
}

TEST(SendNameTest, GaugeRoundsHalvesToEven)
{
    EXPECT_EQ(gaugePercent(5, 1000), 0);    // 0.5
    EXPECT_EQ(gaugePercent(15, 1000), 2);   // 1.5
    EXPECT_EQ(gaugePercent(25, 1000), 2);   // 2.5
    EXPECT_EQ(gaugePercent(35, 1000), 4);   // 3.5
    EXPECT_EQ(gaugePercent(1, 3), 33);
    EXPECT_EQ(gaugePercent(2, 3), 67);
    EXPECT_EQ(gaugePercent(1000, 1000), 100);
    EXPECT_EQ(gaugePercent(0, 0), -1);
}
