#include "editor/EditorMath.h"
#include "platform/NumericText.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tamblor::editor {

int64_t columnStep(int64_t viewLength, int64_t columnCount)
{
    if (columnCount <= 0 || viewLength <= 0)
        return 0;
    const auto perColumn = int64_t(roundHalfEven(double(viewLength) / double(columnCount)));
    return perColumn / 4 * 4;
}

double columnToByteExact(double x, int64_t columnCount, int64_t viewLength, int64_t viewStart)
{
    if (columnCount <= 0)
        return double(viewStart);
    return x / double(columnCount) * double(viewLength) + double(viewStart);
}

int64_t columnToByte(double x, int64_t columnCount, int64_t viewLength, int64_t viewStart)
{
    return int64_t(roundHalfEven(columnToByteExact(x, columnCount, viewLength, viewStart)));
}

int64_t byteToColumn(double p, int64_t viewStart, int64_t viewLength, int64_t columnCount)
{
    if (viewLength <= 0)
        return 0;
    return int64_t(roundHalfEven((p - double(viewStart)) / double(viewLength) * double(columnCount)));
}

int16_t columnPeak(int a, int b, int c, int d)
{
    const int p = std::abs(a) > std::abs(b) ? a : b;
    const int q = std::abs(c) > std::abs(d) ? c : d;
    const int v = std::abs(p) > std::abs(q) ? p : q;
    return int16_t(std::clamp(v, -32768, 32767));
}

int from8Bit(int value) { return (value - 128) * 256; }

QString timeText(int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    const auto two = [](int64_t v) { return QString::number(v).rightJustified(2, '0'); };
    return two(seconds / 3600) + ':' + two(seconds % 3600 / 60) + ':' + two(seconds % 60);
}

QString generalNumber(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    QString s = QString::number(value, 'g', 15);
    return s.toUpper(); // an exponent shows as "E-05"
}

CutRange cutRange(int64_t dataSize, int64_t start, int64_t stop, int64_t chunk)
{
    CutRange r;
    bool found = false;
    if (chunk <= 0)
        return r;
    for (int64_t begin = 0; begin < dataSize; begin += chunk) {
        const int64_t end = std::min(begin + chunk, dataSize);
        if (end >= start && end <= stop) {
            if (!found) {
                r.from = begin;
                found = true;
            }
            r.to = end;
        } else if (found) {
            break; // chunk ends only grow: nothing later lies in the marks again
        }
    }
    return r;
}

int progressPercent(int64_t copied, int64_t size)
{
    int64_t percent = 100;
    if (size >= 100)
        percent = std::min<int64_t>(100, copied / (size / 100)); // small sizes would pass 100
    else if (size > 0)
        percent = copied * 100 / size;
    return int(percent);
}

QString percentText(int percent)
{
    return (percent < 0 ? QString() : QStringLiteral(" ")) + QString::number(percent) + " %";
}

QString progressText(int64_t copied, int64_t size) { return percentText(progressPercent(copied, size)); }

QString numberedName(const QString& base, int n)
{
    return base + QString::number(n).rightJustified(2, '0') + ".wav";
}

} // namespace tamblor::editor
