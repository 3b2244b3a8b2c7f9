#pragma once
namespace tamblor {
class DriveMap;
struct SharedState;

// Start-up: makes "c:\Tamblor" and "c:\Program Files\Tamblor" when missing and reads settings
// records 1 to 11 into the shared state (record 10 is read and not kept). Throws Failure when a folder or file cannot be made or
// opened.
void InitializeApplication(const DriveMap& drives, SharedState& state);

} // namespace tamblor
