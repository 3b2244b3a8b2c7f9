// Feeds arbitrary bytes to the help text reader. It must read any input to the end without a
// crash, and its work must stay linear: the document it builds is bounded by the input.
#include "info/RtfReader.h"
#include <QGuiApplication>
#include <QTextDocument>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Text layout needs a font database, which needs a GUI application; offscreen has no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray rtf(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument document;
    tamblor::RtfReader::read(rtf, document);
    // Each input byte yields at most a few characters (a \uN escape, a tab, a paragraph).
    if (document.characterCount() > 4 * qsizetype(size) + 16)
        std::abort();
    return 0;
}
