#pragma once
namespace tamblor {
class Application;
// Registers frmAbout and frmHelp with the application's window registry.
void registerInfoWindows(Application& app);
// Places the help text that ships with the program at "c:\Program Files\Tamblor\TamblorHelp.rtf"
// when no file is there; an existing file (perhaps edited by the studio) is kept. False when the
// file is missing and could not be placed.
bool installHelpFileIfMissing(Application& app);
} // namespace tamblor
