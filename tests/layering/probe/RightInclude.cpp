// Compiled as if it belonged to the device library: headers of the libraries below it are seen.
#include "audio/core/WaveFormat.h"
#include "audio/devices/FilePlayer.h"
#include "platform/Failure.h"
