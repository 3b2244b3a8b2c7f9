#pragma once
namespace tamblor {
class Application;
class Studio;
// Registers every tool window with the application's window registry; the windows that show
// the library, a take or a playback are handed the studio.
void registerWindows(Application& app, Studio& studio);
} // namespace tamblor
