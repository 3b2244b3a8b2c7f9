#pragma once
// The studio machine's ANSI code page, Windows-1252: one byte per character in the index and
// the other fixed-width files. It holds Latin-1 plus the characters it places at 0x80..0x9F
// (€ ‚ ƒ „ … † ‡ ˆ ‰ Š ‹ Œ Ž ‘ ’ “ ” • – — ˜ ™ š › œ ž Ÿ).
#include <QByteArray>
#include <QChar>
#include <QString>

namespace tamblor::codepage {

// The character a byte stands for. The five bytes the code page leaves unassigned (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) read as the control characters of the same number, as Windows
// reads them, so that they are written back unchanged.
QChar toChar(unsigned char byte);
QString toText(const char* bytes, qsizetype count);
inline QString toText(const QByteArray& bytes) { return toText(bytes.constData(), bytes.size()); }

// The byte of a character; false when the code page has none for it.
bool toByte(QChar c, char& byte);
// One byte per character: a character the code page cannot hold (a pair of surrogates counts
// as one character) becomes "?".
QByteArray toBytes(const QString& text);
// The text as the code page keeps it: every character it cannot hold becomes one "?", so
// the text has exactly as many characters as it will have bytes.
QString representable(const QString& text);

// Upper case one character at a time, never expanding ("ß" stays "ß", where full case mapping
// makes "SS"); a character whose capital the code page cannot hold ("µ") stays as it is.
QChar toUpper(QChar c);
QString toUpper(const QString& text);

} // namespace tamblor::codepage
