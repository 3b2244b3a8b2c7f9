#pragma once
namespace tamblor {
class DriveMap;
struct SharedState;

// Start-up: makes "c:\Tamblor" and "c:\Program Files\Tamblor" when missing, reads settings
// records 1 to 10 into the shared state and opens the index "c:\Tamblor\Schedule.dat" for the
// whole run. Throws Failure when a folder or file cannot be made or opened.
void InitializeApplication(const DriveMap& drives, SharedState& state);

} // namespace tamblor
