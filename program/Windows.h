#pragma once
namespace tamblor {
class Application;
// Registers every tool window with the application's window registry.
void registerWindows(Application& app);
} // namespace tamblor
