#pragma once
// A small reader for the rich-text files the help window shows: paragraphs, bold, italic,
// underline, font sizes, alignment, indents and paragraph spacing, tabs and line breaks,
// \'hh and \uN characters. Font and colour tables, style sheets, document information,
// pictures and every {\*\...} group are skipped. Malformed input (unbalanced braces, cut-off
// escapes, absurd nesting) is read as far as it makes sense, never with a crash or a hang:
// the work is linear in the size of the input.
#include <QByteArray>

class QTextDocument;

namespace tamblor {

class RtfReader {
public:
    // Replaces the document's content with the text of `rtf`. Input that does not start with
    // "{\rtf" is shown as plain text.
    static void read(const QByteArray& rtf, QTextDocument& document);

    static bool looksLikeRtf(const QByteArray& data);
};

} // namespace tamblor
