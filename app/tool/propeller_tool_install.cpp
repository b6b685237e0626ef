#include "tool/propeller_tool_install.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include "dialogs/file_search_dialog.h"
#include "window/settings_store.h"
#include "window/prompt.h"
#include "propeller_tool.h"
#include "window/shell_support.h"

namespace brevin {

namespace {

DocumentOpener& CurrentOpener() {
  static DocumentOpener opener;
  return opener;
}

void OpenDocument(const QString& path) {
  if (CurrentOpener()) {
    CurrentOpener()(path);
    return;
  }
  // The viewer's own failures are its business; the request is all we make.
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace

QString EntryNoCase(const QString& folder, const QString& name) {
  if (folder.isEmpty() || name.isEmpty()) return QString();
  const QDir dir(folder);
  if (QFileInfo::exists(dir.filePath(name))) return dir.filePath(name);
  const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& entry : entries) {
    if (entry.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
  }
  return QString();
}

QString PathNoCase(const QString& folder, const QString& relative) {
  QString path = folder;
  for (const QString& part : relative.split(QRegularExpression("[/\\\\]"), Qt::SkipEmptyParts)) {
    const QString found = EntryNoCase(path, part);
    path = found.isEmpty() ? path + '/' + part : found;
  }
  return path;
}

QString PropellerToolExe(const QString& folder) {
  const QString exe = EntryNoCase(folder, platform::kPropellerToolExe);
  return FileExists(exe) ? exe : QString();
}

void SetDocumentOpener(DocumentOpener opener) { CurrentOpener() = std::move(opener); }

void PropellerTool::Load(const SettingsStore& s) {
  folder = s.ReadText("PropTool", "Path");
  manual = s.ReadText("PropTool", "Manual");
  quickReference = s.ReadText("PropTool", "QuickReference");
}

void PropellerTool::Save(SettingsStore& s) const {
  s.WriteText("PropTool", "Path", folder);
  s.WriteText("PropTool", "Manual", manual);
  s.WriteText("PropTool", "QuickReference", quickReference);
}

void PropellerTool::OpenFromPath(const QString& description, const QString& subPath,
                                 const std::function<void(const QString& folder)>& openFrom) {
  if (PropellerToolExe(folder).isEmpty()) {
    // The search starts in the folder that holds the program's folder.
    QString programFolder = Process().AppFolder;
    if (programFolder.endsWith('/') && programFolder.size() > 1) programFolder.chop(1);
    QString found;
    if (FindFileDialog(parent_, description, "propeller.exe", found, programFolder) && FileExists(found)) {
      folder = FolderOf(found);
    }
  }
  if (!PropellerToolExe(folder).isEmpty()) {
    openFrom(PathNoCase(folder, subPath) + '/');
  } else {
    Prompt(ProductTitleText(), "Cannot find the " + description, MessageButtons::Ok, MessageIcon::Information);
  }
}

void PropellerTool::OpenManual() {
  OpenPdf("Propeller Manual", "Propeller Manual v*.pdf", manual, quickReference);
}

void PropellerTool::OpenQuickReference() {
  OpenPdf("Propeller Quick Reference", "Propeller Quick Reference v*.pdf", quickReference, manual);
}

void PropellerTool::OpenPdf(const char* descriptionText, const char* pattern, QString& path, const QString& otherPath) {
  const QString description = descriptionText;
  if (!FileExists(path)) {
    const QString start = path.isEmpty() ? otherPath : path;
    FindFileDialog(parent_, description, pattern, path, start);
  }
  if (FileExists(path)) {
    if (!QFileInfo(path).isReadable()) {
      Prompt(ProductTitleText(), "Cannot read " + description + "\r\n\r\n" + path + "\r\n\r\nThe file is not readable.",
             MessageButtons::Ok, MessageIcon::Warning);
      return;
    }
    OpenDocument(path);
    return;
  }
  QString text = "Cannot locate " + description;
  if (!path.isEmpty()) text += "\r\n\r\n" + path;
  Prompt(ProductTitleText(), text, MessageButtons::Ok, MessageIcon::Information);
}

}  // namespace brevin
