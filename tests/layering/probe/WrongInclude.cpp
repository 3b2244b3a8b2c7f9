// Compiled as if it belonged to the device library: the library window lies above it, so this
// include must not be found.
#include "wavefiles/frmWaveFiles.h"
