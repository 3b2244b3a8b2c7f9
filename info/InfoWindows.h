#pragma once
#include <QString>

namespace tamblor {
class Application;
// Registers frmAbout and frmHelp with the application's window registry.
void registerInfoWindows(Application& app);
// The help text that ships with the program: the one installed beside it
// (<prefix>/share/tamblor/TamblorHelp.rtf for a program in <prefix>/bin), which a package update
// refreshes, else the copy built into the program.
QString shippedHelpFile(const QString& programFolder);
// Places the shipped help text `source` at "c:\Program Files\Tamblor\TamblorHelp.rtf" when no
// file is there; an existing file (perhaps edited by the studio) is kept. False when the file is
// missing and could not be placed.
bool installHelpFileIfMissing(Application& app, const QString& source);
} // namespace tamblor
