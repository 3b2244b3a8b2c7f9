#pragma once
// The editor's arithmetic: columns and bytes, the drawing step, the column peak, the time
// text, which bytes a cut removes and the progress text. Pure functions, one place each.
#include <QString>
#include <cstdint>

namespace tamblor::editor {

// Bytes per column: the view length over the columns, rounded (halves to even), then cut
// down to a multiple of 4 so a block never splits a 16-bit stereo frame.
int64_t columnStep(int64_t viewLength, int64_t columnCount);

// x / columns * viewLength + viewStart, in double precision, not rounded.
double columnToByteExact(double x, int64_t columnCount, int64_t viewLength, int64_t viewStart);
// The same rounded to the nearest whole number, halves to even.
int64_t columnToByte(double x, int64_t columnCount, int64_t viewLength, int64_t viewStart);
// (p - viewStart) / viewLength * columns, rounded, halves to even.
int64_t byteToColumn(double p, int64_t viewStart, int64_t viewLength, int64_t columnCount);

// The value of largest magnitude among the extremes of two channels; ties go to the later.
int16_t columnPeak(int a, int b, int c, int d);
// An unsigned 8-bit sample on the 16-bit scale: 0 -> -32768, 128 -> 0, 255 -> 32512.
int from8Bit(int value);

// Whole seconds as "hh:mm:ss", two digits at least for each (hours may have more).
QString timeText(int64_t seconds);
// A number as the general format shows it: up to 15 significant digits, no leading blank.
QString generalNumber(double value);

// The stretch of sample data a cut removes: whole chunks of `chunk` bytes counted from the
// first data byte, those whose end lies from start to stop (both included); the last chunk
// ends at the data size. Removed chunks are always contiguous: [from, to); empty when from==to.
struct CutRange {
    int64_t from = 0;
    int64_t to = 0;
    int64_t removed() const { return to - from; }
};
CutRange cutRange(int64_t dataSize, int64_t start, int64_t stop, int64_t chunk = 4096);

// Progress of a copy: " 42 %" (a blank for the sign). Whole percent of copied / (size / 100);
// never above 100; a size under 100 bytes counts in whole percent of the size instead of
// dividing by zero.
QString progressText(int64_t copied, int64_t size);
// The percentage progressText shows, and its text.
int progressPercent(int64_t copied, int64_t size);
QString percentText(int percent);

// The numbered name tried for a copy: base + at least two digits + ".wav" (SONG + 1 -> SONG01.wav).
QString numberedName(const QString& base, int n);

} // namespace tamblor::editor
