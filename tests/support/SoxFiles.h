#pragma once
// Sound files made by sox, as the other tools of a studio make them (sox is installed with the
// project's test tools): a tone in a chosen encoding.
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace soxtest {

// Writes `path`: `seconds` of a 1 kHz sine at 0.6 of full scale, `rate` and `channels`, in the
// encoding the output options give (for example {"-b", "24"}, {"-e", "floating-point"},
// {"-e", "ms-adpcm"}).
// Runs sox with these arguments; a failure says what sox said.
::testing::AssertionResult runSox(const QStringList& args);

::testing::AssertionResult makeTone(const QString& path, const QStringList& options, int rate, int channels,
                                    double seconds);

} // namespace soxtest
