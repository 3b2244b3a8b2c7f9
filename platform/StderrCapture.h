#pragma once
// Holds back what is written to the standard error stream (file descriptor 2, so C libraries'
// own printing too) while it lives; release() puts the stream back and gives the text. Used
// around library calls that print their probing to the terminal.
#include <QByteArray>

namespace tamblor {

class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture(); // releases, dropping the text
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Restores the stream; returns what was written meanwhile (empty when capturing failed, in
    // which case the writing went to the stream as usual).
    QByteArray release();

private:
    int saved_ = -1; // the stream's own descriptor, kept while capturing
    int file_ = -1;  // an unnamed temporary file that receives the writing
};

} // namespace tamblor
