#pragma once
// Prints the library list: 12 pt "Courier New", three blank lines, then one line per entry.
// Goes to the system's default printer; where no printer is installed, to a PDF file, which is
// written beside its name and takes it only once complete. A printout may run on a worker thread.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace tamblor {

class LibraryPrinter {
public:
    // Where the job goes when there is no default printer (a native path).
    explicit LibraryPrinter(QString fallbackPdf) : fallbackPdf_(std::move(fallbackPdf)) {}

    // "     SPOT NEWS                 02:05  42": indent, 25-character name, time text, number.
    static QString entryLine(const QString& soundName, const QString& timeText, int slot);

    // Starts the job, prints the three blank lines; throws Failure 482 when no job can start.
    void begin();
    void printLine(const QString& line);
    // Ends the job, which sends it to the printer. Returns where it went: the printer's name,
    // or the PDF file's path.
    QString end();
    // Abandons a started job without sending it; harmless when none is running.
    void abort();

    // The whole printout: begin, the lines, end. `progress` hears the percentage of the lines
    // printed; when it returns false the job is abandoned and false is returned. Throws Failure
    // (the job is abandoned then too).
    bool print(const QStringList& lines, const std::function<bool(int percent)>& progress);

    // True when the system has no default printer and the job goes to the PDF file.
    static bool usesPdf();

private:
    struct Job;
    QString fallbackPdf_;
    std::shared_ptr<Job> job_;
};

} // namespace tamblor
