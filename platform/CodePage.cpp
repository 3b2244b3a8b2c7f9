#include "platform/CodePage.h"

namespace tamblor::codepage {

namespace {

// 0x80..0x9F; 0 marks a byte the code page leaves unassigned.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

QChar toChar(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] != 0)
        return QChar(kHigh[byte - 0x80]);
    return QChar(byte);
}

QString toText(const char* bytes, qsizetype count)
{
    QString out(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        out[i] = toChar(static_cast<unsigned char>(bytes[i]));
    return out;
}

bool toByte(QChar c, char& byte)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
        byte = char(u);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        // An unassigned byte stands for the control character of its own number.
        if (kHigh[i] == u || (kHigh[i] == 0 && u == 0x80 + i)) {
            byte = char(0x80 + i);
            return true;
        }
    }
    return false;
}

QString representable(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        char b;
        if (toByte(c, b)) {
            out += c;
        } else {
            out += QLatin1Char('?');
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i; // one character, one "?"
        }
    }
    return out;
}

QByteArray toBytes(const QString& text)
{
    const QString kept = representable(text);
    QByteArray out(kept.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < kept.size(); ++i) {
        char b = '?';
        toByte(kept[i], b);
        out[i] = b;
    }
    return out;
}

QChar toUpper(QChar c)
{
    const QChar upper = c.toUpper(); // the simple, one-to-one mapping
    char b;
    return toByte(c, b) && !toByte(upper, b) ? c : upper;
}

QString toUpper(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        c = toUpper(c);
    return out;
}

} // namespace tamblor::codepage
