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

class QWidget;

namespace brevin {

class SettingsStore;

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

// The installation as the program knows it: the tool's folder and its two
// manuals, kept in the "PropTool" section.
class PropellerTool {
 public:
  // dialogParent: the window the file search and messages belong to.
  explicit PropellerTool(QWidget* dialogParent) : parent_(dialogParent) {}

  void Load(const SettingsStore& store);
  void Save(SettingsStore& store) const;

  // The three Open From items: openFrom (the open dialog) in a folder of the
  // installation, after a file search when the stored folder does not hold the program.
  void OpenFromPath(const QString& description, const QString& subPath,
                    const std::function<void(const QString& folder)>& openFrom);
  // Help's Propeller Manual and Quick Reference items.
  void OpenManual();
  void OpenQuickReference();

  QString folder;          // the folder holding Propeller.exe
  QString manual;          // the Propeller Manual's PDF
  QString quickReference;  // the Quick Reference's PDF

 private:
  void OpenPdf(const char* description, const char* pattern, QString& path, const QString& otherPath);

  QWidget* parent_;
};

}  // namespace brevin
