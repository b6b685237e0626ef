#include "tool/propeller_tool_integration.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include "dialogs/file_search_dialog.h"
#include "window/main_window.h"
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

struct Manual {
  const char* description;  // also the name in the "Cannot locate" message
  const char* pattern;
  QString MainWindow::*path;
  QString MainWindow::*otherPath;
};

void OpenManual(MainWindow& window, const Manual& manual) {
  QString& path = window.*manual.path;
  const QString description = manual.description;
  if (!FileExists(path)) {
    const QString start = path.isEmpty() ? window.*manual.otherPath : path;
    FindFileDialog(&window, description, manual.pattern, path, start);
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

void OpenFromPath(MainWindow& window, const QString& description, const QString& subPath) {
  if (PropellerToolExe(window.PropToolPath).isEmpty()) {
    // The search starts in the folder that holds the program's folder.
    QString programFolder = Process().AppFolder;
    if (programFolder.endsWith('/') && programFolder.size() > 1) programFolder.chop(1);
    QString found;
    if (FindFileDialog(&window, description, "propeller.exe", found, programFolder) && FileExists(found)) {
      window.PropToolPath = FolderOf(found);
    }
  }
  if (!PropellerToolExe(window.PropToolPath).isEmpty()) {
    window.OpenFrom(PathNoCase(window.PropToolPath, subPath) + '/');
  } else {
    Prompt(ProductTitleText(), "Cannot find the " + description, MessageButtons::Ok, MessageIcon::Information);
  }
}

void OpenPropellerManual(MainWindow& window) {
  OpenManual(window, {"Propeller Manual", "Propeller Manual v*.pdf", &MainWindow::PropToolManual,
                      &MainWindow::PropToolQuickReference});
}

void OpenPropellerQuickReference(MainWindow& window) {
  OpenManual(window, {"Propeller Quick Reference", "Propeller Quick Reference v*.pdf",
                      &MainWindow::PropToolQuickReference, &MainWindow::PropToolManual});
}

}  // namespace brevin
