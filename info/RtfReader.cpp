#include "info/RtfReader.h"
#include "platform/CodePage.h"
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>
#include <algorithm>
#include <climits>
#include <map>
#include <vector>

namespace tamblor {

namespace {

// A byte of the document's code page (Windows-1252); the bytes it leaves unassigned show as
// the replacement character.
QChar fromCodePage(unsigned char b)
{
    const QChar c = codepage::toChar(b);
    return c.unicode() >= 0x80 && c.unicode() < 0xA0 ? QChar(0xFFFD) : c;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Groups whose text is never shown.
bool isSkippedDestination(const QByteArray& word)
{
    static const char* const names[] = {
        "fonttbl", "colortbl", "stylesheet", "info", "pict", "header", "headerl", "headerr", "headerf",
        "footer", "footerl", "footerr", "footerf", "object", "listtable", "listoverridetable",
        "rsidtbl", "generator", "xmlnsdecl", "themedata", "colorschememapping", "latentstyles",
        "datastore", "fldinst", "filetbl", "revtbl", "footnote", "bkmkstart", "bkmkend", "field_inst",
    };
    for (const char* n : names) {
        if (word == n)
            return true;
    }
    return false;
}

struct CharState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 0; // 0: the document's default size
    int font = -1;      // entry of the font table; -1: the default font
};

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int leftTwips = 0;
    int firstTwips = 0;
    int beforeTwips = 0;
    int afterTwips = 0;
};

struct GroupState {
    CharState chars;
    ParaState para;
    bool skip = false;
    bool fontTable = false; // inside {\fonttbl ...}: text names fonts
    int unicodeSkip = 1;
};

class Parser {
public:
    Parser(const QByteArray& in, QTextDocument& doc) : in_(in), cursor_(&doc) {}

    void run()
    {
        groups_.push_back(GroupState{});
        const qsizetype n = in_.size();
        while (pos_ < n) {
            const char c = in_[pos_];
            if (c == '{') {
                ++pos_;
                openGroup();
            } else if (c == '}') {
                ++pos_;
                closeGroup();
            } else if (c == '\\') {
                ++pos_;
                controlSequence();
            } else if (c == '\r' || c == '\n') {
                ++pos_;
            } else {
                ++pos_;
                character(fromCodePage(static_cast<unsigned char>(c)));
            }
        }
        flush();
        applyParagraph();
    }

private:
    static constexpr int maxDepth = 200;

    GroupState& state() { return groups_.back(); }

    void openGroup()
    {
        if (int(groups_.size()) >= maxDepth) {
            ++overflow_; // deeper groups share their parent's state
            return;
        }
        flush();
        groups_.push_back(groups_.back());
        groupStart_ = true;
    }

    void closeGroup()
    {
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        if (groups_.size() <= 1)
            return; // a stray closing brace
        flush();
        groups_.pop_back();
    }

    // After "\": a control word, a control symbol or \'hh.
    void controlSequence()
    {
        const qsizetype n = in_.size();
        if (pos_ >= n)
            return;
        const char c = in_[pos_];
        if (!isLetter(c)) {
            ++pos_;
            const bool first = groupStart_;
            groupStart_ = false;
            switch (c) {
            case '\\': case '{': case '}':
                character(QChar(c));
                break;
            case '~':
                character(QChar(0x00A0));
                break;
            case '_':
                character(QChar(0x2011));
                break;
            case '\'': {
                const int hi = pos_ < n ? hexDigit(in_[pos_]) : -1;
                const int lo = pos_ + 1 < n ? hexDigit(in_[pos_ + 1]) : -1;
                if (hi < 0 || lo < 0) {
                    // A cut-off escape: drop the one digit there is.
                    if (hi >= 0)
                        ++pos_;
                    break;
                }
                pos_ += 2;
                character(fromCodePage(static_cast<unsigned char>(hi * 16 + lo)));
                break;
            }
            case '*':
                if (first) {
                    state().skip = true;
                    state().fontTable = false; // {\*\panose ...} and the like name no font
                }
                break;
            case '\r': case '\n':
                paragraph();
                break;
            default:
                break; // \- optional hyphen, \| and the rest: nothing to show
            }
            return;
        }
        qsizetype start = pos_;
        while (pos_ < n && isLetter(in_[pos_]) && pos_ - start < 32)
            ++pos_;
        const QByteArray word = in_.mid(start, pos_ - start);
        while (pos_ < n && isLetter(in_[pos_]))
            ++pos_; // an overlong word: the rest of its letters go with it
        bool hasParam = false;
        bool negative = false;
        long long param = 0;
        if (pos_ < n && in_[pos_] == '-' && pos_ + 1 < n && isDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        int digits = 0;
        while (pos_ < n && isDigit(in_[pos_])) {
            if (digits < 10)
                param = param * 10 + (in_[pos_] - '0');
            ++digits;
            ++pos_;
        }
        if (digits > 0)
            hasParam = true;
        if (negative)
            param = -param;
        if (pos_ < n && in_[pos_] == ' ')
            ++pos_; // the delimiting blank belongs to the word
        const bool first = groupStart_;
        groupStart_ = false;
        controlWord(word, hasParam, int(std::clamp<long long>(param, INT_MIN, INT_MAX)), first);
    }

    void controlWord(const QByteArray& w, bool hasParam, int p, bool firstInGroup)
    {
        GroupState& s = state();
        if (firstInGroup && isSkippedDestination(w)) {
            s.skip = true;
            s.fontTable = w == "fonttbl";
            return;
        }
        if (s.fontTable) {
            if (w == "f" && hasParam)
                fontEntry_ = p;
            else if (w == "fmodern")
                fonts_[fontEntry_].fixed = true;
            return;
        }
        const bool on = !hasParam || p != 0;
        if (w == "bin") {
            // Binary data follows: step over it.
            const qsizetype len = hasParam && p > 0 ? qsizetype(p) : 0;
            pos_ = std::min(in_.size(), pos_ + len);
            return;
        }
        if (s.skip)
            return;
        if (w == "par") {
            paragraph();
        } else if (w == "line") {
            character(QChar::LineSeparator);
        } else if (w == "tab") {
            character(QChar('\t'));
        } else if (w == "b") {
            setChars([&](CharState& c) { c.bold = on; });
        } else if (w == "i") {
            setChars([&](CharState& c) { c.italic = on; });
        } else if (w == "ul") {
            setChars([&](CharState& c) { c.underline = on; });
        } else if (w == "ulnone") {
            setChars([&](CharState& c) { c.underline = false; });
        } else if (w == "fs") {
            setChars([&](CharState& c) { c.halfPoints = hasParam ? std::clamp(p, 8, 144) : 0; });
        } else if (w == "f") {
            setChars([&](CharState& c) { c.font = hasParam ? p : -1; });
        } else if (w == "plain") {
            setChars([&](CharState& c) { c = CharState{}; });
        } else if (w == "pard") {
            s.para = ParaState{};
        } else if (w == "ql") {
            s.para.align = Qt::AlignLeft;
        } else if (w == "qc") {
            s.para.align = Qt::AlignHCenter;
        } else if (w == "qr") {
            s.para.align = Qt::AlignRight;
        } else if (w == "qj") {
            s.para.align = Qt::AlignJustify;
        } else if (w == "li") {
            s.para.leftTwips = std::clamp(p, 0, 20000);
        } else if (w == "fi") {
            s.para.firstTwips = std::clamp(p, -20000, 20000);
        } else if (w == "sb") {
            s.para.beforeTwips = std::clamp(p, 0, 20000);
        } else if (w == "sa") {
            s.para.afterTwips = std::clamp(p, 0, 20000);
        } else if (w == "uc") {
            s.unicodeSkip = std::clamp(p, 0, 10);
        } else if (w == "u" && hasParam) {
            int code = p;
            if (code < 0)
                code += 65536;
            if (code <= 0 || code > 0xFFFF)
                code = 0xFFFD;
            character(QChar(char16_t(code)));
            skipFallback(s.unicodeSkip);
        } else if (w == "emdash") {
            character(QChar(0x2014));
        } else if (w == "endash") {
            character(QChar(0x2013));
        } else if (w == "bullet") {
            character(QChar(0x2022));
        } else if (w == "lquote") {
            character(QChar(0x2018));
        } else if (w == "rquote") {
            character(QChar(0x2019));
        } else if (w == "ldblquote") {
            character(QChar(0x201C));
        } else if (w == "rdblquote") {
            character(QChar(0x201D));
        }
        // Every other word changes nothing that is shown.
    }

    // Steps over the replacement characters that follow \uN: plain characters and \'hh each
    // count as one; a brace ends the fallback early.
    void skipFallback(int count)
    {
        const qsizetype n = in_.size();
        while (count > 0 && pos_ < n) {
            const char c = in_[pos_];
            if (c == '{' || c == '}')
                return;
            if (c == '\r' || c == '\n') {
                ++pos_;
                continue;
            }
            if (c == '\\') {
                if (pos_ + 1 < n && in_[pos_ + 1] == '\'') {
                    pos_ = std::min(n, pos_ + 4);
                } else if (pos_ + 1 < n && isLetter(in_[pos_ + 1])) {
                    return; // a control word ends the fallback
                } else {
                    pos_ = std::min(n, pos_ + 2);
                }
            } else {
                ++pos_;
            }
            --count;
        }
    }

    template <class F> void setChars(F change)
    {
        CharState next = state().chars;
        change(next);
        if (next.bold != state().chars.bold || next.italic != state().chars.italic
            || next.underline != state().chars.underline || next.halfPoints != state().chars.halfPoints
            || next.font != state().chars.font)
            flush();
        state().chars = next;
    }

    void character(QChar c)
    {
        groupStart_ = false;
        if (state().fontTable) {
            if (c != QChar(';') && fonts_[fontEntry_].name.size() < 100)
                fonts_[fontEntry_].name.append(c);
            return;
        }
        if (state().skip)
            return;
        if (pending_.isEmpty())
            pendingChars_ = state().chars;
        else if (!sameChars(pendingChars_, state().chars)) {
            flush();
            pendingChars_ = state().chars;
        }
        pending_.append(c);
        paraState_ = state().para;
    }

    static bool sameChars(const CharState& a, const CharState& b)
    {
        return a.bold == b.bold && a.italic == b.italic && a.underline == b.underline
               && a.halfPoints == b.halfPoints && a.font == b.font;
    }

    void flush()
    {
        if (pending_.isEmpty())
            return;
        QTextCharFormat f;
        f.setFontWeight(pendingChars_.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(pendingChars_.italic);
        f.setFontUnderline(pendingChars_.underline);
        if (pendingChars_.halfPoints > 0)
            f.setFontPointSize(pendingChars_.halfPoints / 2.0);
        // Only fixed-pitch fonts are followed: the text is otherwise shown in the reader's
        // own font, which every system has.
        auto font = fonts_.find(pendingChars_.font);
        if (font != fonts_.end() && font->second.fixed) {
            f.setFontFamilies(QStringList{font->second.name.trimmed(), QStringLiteral("monospace")});
            f.setFontFixedPitch(true);
            f.setFontStyleHint(QFont::TypeWriter);
        }
        cursor_.insertText(pending_, f);
        pending_.clear();
    }

    void applyParagraph()
    {
        const ParaState& p = paraState_;
        QTextBlockFormat b;
        b.setAlignment(p.align);
        b.setLeftMargin(p.leftTwips / 15.0);
        b.setTextIndent(p.firstTwips / 15.0);
        b.setTopMargin(p.beforeTwips / 15.0);
        b.setBottomMargin(p.afterTwips / 15.0);
        if (p.firstTwips < 0 && p.leftTwips > 0) // a hanging indent tabs to the indent
            b.setTabPositions({QTextOption::Tab(-p.firstTwips / 15.0, QTextOption::LeftTab)}); // from the first line's start
        cursor_.setBlockFormat(b);
    }

    void paragraph()
    {
        if (state().skip)
            return;
        flush();
        paraState_ = state().para;
        applyParagraph();
        cursor_.insertBlock();
        paraState_ = state().para;
    }

    const QByteArray& in_;
    QTextCursor cursor_;
    qsizetype pos_ = 0;
    std::vector<GroupState> groups_;
    int overflow_ = 0;
    bool groupStart_ = false;
    QString pending_;
    CharState pendingChars_;
    ParaState paraState_;
    struct Font {
        QString name;
        bool fixed = false;
    };
    std::map<int, Font> fonts_; // the font table, by number
    int fontEntry_ = 0;
};

} // namespace

bool RtfReader::looksLikeRtf(const QByteArray& data)
{
    qsizetype i = 0;
    while (i < data.size() && (data[i] == ' ' || data[i] == '\r' || data[i] == '\n' || data[i] == '\t'))
        ++i;
    return data.mid(i, 5) == "{\\rtf";
}

void RtfReader::read(const QByteArray& rtf, QTextDocument& document)
{
    document.clear();
    if (!looksLikeRtf(rtf)) {
        document.setPlainText(QString::fromLocal8Bit(rtf));
        return;
    }
    QTextOption option = document.defaultTextOption();
    option.setTabStopDistance(48); // half an inch, as in RTF
    document.setDefaultTextOption(option);
    Parser parser(rtf, document);
    parser.run();
}

} // namespace tamblor
