#pragma once
namespace tamblor {
class Application;
class Studio;
// Registers every tool window with the application's window registry; the windows that show
// the library, a take, a playback or the record events are handed the studio. Sets the main
// menu's line about the next record event.
void registerWindows(Application& app, Studio& studio);
} // namespace tamblor
