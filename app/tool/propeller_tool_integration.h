// What the shell knows about the Propeller Tool installation: its folder
// (found once by the file search, then remembered), the three Open From
// shortcuts into its example folders, and its two PDF manuals.
//
// On Linux the tool runs under Wine, so its installation folder is any folder
// holding "Propeller.exe"; file names are compared without regard to case, as
// on the tool's own system.
#pragma once

#include <QString>
#include <functional>

namespace brevin {

class MainWindow;

// The entry of folder whose name equals name ignoring case (an exact match
// first); empty when there is none.
QString EntryNoCase(const QString& folder, const QString& name);
// The path below folder, each part matched ignoring case where the exact name
// is missing; parts that cannot be matched are kept as given.
QString PathNoCase(const QString& folder, const QString& relative);
// The tool's program file in the folder, or empty when it holds none.
QString PropellerToolExe(const QString& folder);

// Opens a document with the desktop's handler (xdg-open); tests replace it.
using DocumentOpener = std::function<void(const QString& path)>;
void SetDocumentOpener(DocumentOpener opener);

// The three Open From items: the open dialog in a folder of the installation,
// after a file search when the stored folder does not hold the program.
void OpenFromPath(MainWindow& window, const QString& description, const QString& subPath);
// Help's Propeller Manual and Quick Reference items.
void OpenPropellerManual(MainWindow& window);
void OpenPropellerQuickReference(MainWindow& window);

}  // namespace brevin
