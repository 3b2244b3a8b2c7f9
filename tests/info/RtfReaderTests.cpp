#include "info/RtfReader.h"
#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <random>

using namespace tamblor;

namespace {

QString plain(const QByteArray& rtf)
{
    QTextDocument doc;
    RtfReader::read(rtf, doc);
    // The raw text keeps line separators and no-break spaces; paragraphs end with "\n".
    return doc.toRawText().replace(QChar::ParagraphSeparator, '\n');
}

// Each run of text with its style: "B" bold, "I" italic, "U" underline, e.g. "[BI]text".
QStringList runs(const QByteArray& rtf)
{
    QTextDocument doc;
    RtfReader::read(rtf, doc);
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            QString style;
            if (f.fontWeight() >= QFont::Bold)
                style += 'B';
            if (f.fontItalic())
                style += 'I';
            if (f.fontUnderline())
                style += 'U';
            out << "[" + style + "]" + it.fragment().text();
        }
    }
    return out;
}

} // namespace

TEST(RtfReader, BoldItalicAndGroupsRestoreTheirFormatting)
{
    EXPECT_EQ(runs("{\\rtf1 plain {\\b bold {\\i both} bold} plain}"),
              (QStringList{"[]plain ", "[B]bold ", "[BI]both", "[B] bold", "[] plain"}));
    EXPECT_EQ(runs("{\\rtf1 \\b on\\b0 off \\i it\\i0  \\ul u\\ulnone  x}"),
              (QStringList{"[B]on", "[]off ", "[I]it", "[] ", "[U]u", "[] x"}));
    EXPECT_EQ(runs("{\\rtf1 \\b\\i\\ul all\\plain  none}"), (QStringList{"[BIU]all", "[] none"}));
}

TEST(RtfReader, ParagraphsLinesTabsAndEscapes)
{
    EXPECT_EQ(plain("{\\rtf1 one\\par two\\line three\\tab four}"),
              QString("one\ntwo") + QChar::LineSeparator + "three\tfour");
    // The blank after a control word is its delimiter; line ends in the source are not text.
    EXPECT_EQ(plain("{\\rtf1 a\\par\r\nb\\par  c}"), "a\nb\n c");
    EXPECT_EQ(plain("{\\rtf1 \\\\ \\{ \\} \\~x}"), QString("\\ { } ") + QChar(0xA0) + "x");
    // Code page 1252 escapes, upper or lower case hex.
    EXPECT_EQ(plain("{\\rtf1 caf\\'e9 \\'80 \\'93q\\'94}"), QString::fromUtf8("caf\u00e9 \u20ac \u201cq\u201d"));
    // \uN with its fallback skipped, negative numbers, and \uc changing the fallback length.
    EXPECT_EQ(plain("{\\rtf1 \\u8364?x \\u-3913?y {\\uc2\\u233\\'65\\'65z}}"),
              QString::fromUtf8("\u20acx \uf0b7y \u00e9z"));
    EXPECT_EQ(plain("{\\rtf1 \\emdash\\bullet\\ldblquote\\rdblquote}"), QString::fromUtf8("\u2014\u2022\u201c\u201d"));
    // A control word's number is its own; the text after it is text.
    EXPECT_EQ(plain("{\\rtf1 \\fs24 12\\fs20-3}"), "12-3");
}

TEST(RtfReader, TablesInformationAndIgnorableGroupsAreSkipped)
{
    const QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Courier New;}}"
                           "{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s1 Heading 1;}}"
                           "{\\info{\\title Secret}{\\author Someone}}{\\*\\generator Writer 9;}"
                           "{\\*\\unknowndest hidden {\\b nested}}{\\pict\\pngblip 89504e47}"
                           "\\pard Visible{\\*\\bkmkstart x} text}";
    EXPECT_EQ(plain(rtf), "Visible text");
    // \* only marks a destination at the start of its group.
    EXPECT_EQ(plain("{\\rtf1 a {b \\*c} d}"), "a b c d");
    // \bin data is stepped over even when it holds braces.
    EXPECT_EQ(plain("{\\rtf1 a{\\*\\blob\\bin4 }}{x}b}"), "ab");
}

TEST(RtfReader, FixedPitchFontsOfTheFontTableAreFollowed)
{
    QTextDocument doc;
    RtfReader::read("{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern{\\*\\panose 02070309}Courier New;}}"
                    "\\f0 a \\f1 code\\f0  b {\\f1 more}\\plain  c}",
                    doc);
    EXPECT_EQ(doc.toPlainText(), "a code b more c");
    QStringList fixed;
    for (auto it = doc.begin().begin(); !it.atEnd(); ++it) {
        const QTextCharFormat f = it.fragment().charFormat();
        if (f.fontFixedPitch()) {
            fixed << it.fragment().text();
            EXPECT_EQ(f.fontFamilies().toStringList().value(0), "Courier New");
        }
    }
    EXPECT_EQ(fixed, (QStringList{"code", "more"}));
}

TEST(RtfReader, ParagraphFormattingIsKept)
{
    QTextDocument doc;
    RtfReader::read("{\\rtf1 \\pard\\qc\\sa120 Title\\par\\pard\\li720 indented\\par\\pard plain}", doc);
    ASSERT_EQ(doc.blockCount(), 3);
    EXPECT_EQ(doc.findBlockByNumber(0).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_DOUBLE_EQ(doc.findBlockByNumber(0).blockFormat().bottomMargin(), 8.0);
    EXPECT_DOUBLE_EQ(doc.findBlockByNumber(1).blockFormat().leftMargin(), 48.0);
    EXPECT_EQ(doc.findBlockByNumber(2).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_DOUBLE_EQ(doc.findBlockByNumber(2).blockFormat().leftMargin(), 0.0);
    // A hanging indent puts a tab stop at the indent, so "bullet, tab, text" lines up.
    RtfReader::read("{\\rtf1 \\pard\\li360\\fi-240 \\bullet\\tab item\\par}", doc);
    const auto tabs = doc.firstBlock().blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 1);
    EXPECT_DOUBLE_EQ(tabs[0].position, 16.0); // measured from the first line's start
    EXPECT_DOUBLE_EQ(doc.firstBlock().blockFormat().textIndent(), -16.0);
}

TEST(RtfReader, TextThatIsNotRtfIsShownAsItIs)
{
    EXPECT_EQ(plain("Just a note {not rtf} \\par"), "Just a note {not rtf} \\par");
    EXPECT_EQ(plain(""), "");
    EXPECT_TRUE(RtfReader::looksLikeRtf("\r\n {\\rtf1}"));
}

TEST(RtfReader, MalformedInputIsReadAsFarAsItGoes)
{
    // Unbalanced braces either way.
    EXPECT_EQ(plain("{\\rtf1 a}} b}}} c"), "a b c");
    EXPECT_EQ(plain("{\\rtf1 {\\b a {\\i b"), "a b");
    EXPECT_EQ(runs("{\\rtf1 {\\b a {\\i b"), (QStringList{"[B]a ", "[BI]b"}));
    // Cut-off escapes and words at the very end.
    EXPECT_EQ(plain("{\\rtf1 x\\'4"), "x");
    EXPECT_EQ(plain("{\\rtf1 x\\'"), "x");
    EXPECT_EQ(plain("{\\rtf1 x\\'zz y"), "xzz y");
    EXPECT_EQ(plain("{\\rtf1 x\\'4z y"), "xz y"); // one digit: dropped, the rest is text
    EXPECT_EQ(plain("{\\rtf1 x\\"), "x");
    EXPECT_EQ(plain("{\\rtf1 x\\u"), "x");
    EXPECT_EQ(plain("{\\rtf1 x\\u65"), "xA");
    EXPECT_EQ(plain("{\\rtf1 x\\bin99999999"), "x");
    EXPECT_EQ(plain("{\\rtf1 x\\bin-5 y}"), "xy");
    // Absurd numbers and words.
    EXPECT_EQ(plain("{\\rtf1 \\u99999999999999999999? \\fs-99999999999 y}"), QString(QChar(0xFFFD)) + " y");
    EXPECT_EQ(plain("{\\rtf1 \\" + QByteArray(100000, 'a') + " z}"), "z");
    // A stray zero byte is a character like any other.
    EXPECT_EQ(plain(QByteArray("{\\rtf1 a\0b}", 10)).size(), 3);
}

TEST(RtfReader, DeepNestingAndLargeInputsFinish)
{
    // Far deeper than any real document; the braces still balance.
    const int depth = 200000;
    QByteArray deep = "{\\rtf1 " + QByteArray(depth, '{') + "\\b deep" + QByteArray(depth, '}') + " after}";
    EXPECT_EQ(plain(deep), "deep after");
    // Closing more groups than were opened, many times over.
    EXPECT_EQ(plain("{\\rtf1 a" + QByteArray(depth, '}') + "b"), "ab");
    // Four megabytes of text in many paragraphs.
    QByteArray big = "{\\rtf1 ";
    for (int i = 0; i < 100000; ++i)
        big += "Line {\\b bold} text here with some words\\par\n";
    big += "}";
    QTextDocument doc;
    RtfReader::read(big, doc);
    EXPECT_EQ(doc.blockCount(), 100001);
    EXPECT_EQ(doc.findBlockByNumber(99999).text(), "Line bold text here with some words");
}

TEST(RtfReader, RandomBytesAfterTheHeaderNeverBreakTheReader)
{
    std::mt19937 random(20261206);
    const char alphabet[] = "{}\\'*abuc0123456789- \r\nxyz?";
    for (int round = 0; round < 300; ++round) {
        QByteArray input = "{\\rtf1 ";
        const int len = int(random() % 400);
        for (int i = 0; i < len; ++i) {
            // Mostly RTF's own characters, sometimes any byte.
            input += (random() % 8) ? alphabet[random() % (sizeof alphabet - 1)] : char(random() % 256);
        }
        QTextDocument doc;
        RtfReader::read(input, doc);
        // Every visible character comes from at least one byte of input.
        EXPECT_LE(doc.toPlainText().size(), input.size()) << input.toHex().constData();
    }
}
