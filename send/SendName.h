#pragma once
// Names of the send-to window: the name it suggests for a sound, the check that a typed name is
// one plain file name, and the files a send replaces.
#include <QString>
#include <QStringList>
#include <cstdint>

namespace tamblor::send {

// The sound's name in upper case without surrounding blanks, a blank or "/" becoming "_",
// digits and A-Z kept and everything else dropped: "Spot / News 2" -> "SPOT___NEWS_2".
QString suggestedFileName(const QString& soundName);

// Why a typed name is not one plain file name (a path separator, a wildcard, a character the
// file system refuses, a reserved device name, ...); empty when it is fine.
QString fileNameProblem(const QString& name);

// The regular files of a native folder that a send of `name` replaces: the file named exactly
// `name` and every file whose name is `name` followed by one extension, compared without
// regard to case. Folders are never listed.
QStringList filesWithBaseName(const QString& nativeFolder, const QString& name);

// The gauge's percentage for a reader position and length: position x 100 / length rounded to
// a whole number, halves to the even one; -1 when the length is not positive.
int gaugePercent(int64_t position, int64_t length);

} // namespace tamblor::send
