#pragma once
// The bodies a take is sent as: its wave file as it is (a download), or, for a file a browser
// cannot play (ADPCM), the same sound decoded through libsndfile to 16-bit PCM in a wave file
// made on the fly (listening). Both are read piece by piece at any offset, so a player can seek
// with range requests; nothing is read before it is asked for.
#include "web/HttpMessage.h"
#include <QString>
#include <memory>

namespace tamblor::web {

// The file as it is; null when it cannot be opened.
std::shared_ptr<BodySource> fileSource(const QString& nativePath);

// Whether browsers play the file as it is: a RIFF wave file of PCM or floating-point samples.
// False for one that cannot be read.
bool isPlayableWave(const QString& nativePath);

// The sound of a file decoded to a 16-bit PCM wave file; null when it cannot be read.
std::shared_ptr<BodySource> decodedWaveSource(const QString& nativePath);

} // namespace tamblor::web
