// The image being shown and everything that follows from it: the engine and
// the current analysis, the image's path (LastFile), where its listing is saved
// (SaveFile) and its source is read (SourcePath), the Auto-Reload watch and
// timer, and the commands that open, refresh, reload, save, print and export.
// The window listens to its signals; it never reaches into the window.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "brevin/analysis.h"
#include "document/file_watch.h"
#include "brevin/options.h"
#include "output/printing.h"
#include "output/save_listing.h"

class QWidget;

namespace brevin {

class Engine;
class ListingView;
class SettingsStore;
class ShellHost;

class DocumentController : public QObject {
  Q_OBJECT

 public:
  // What the controller asks of the window: the menus' option marks, whether
  // View > Keep Position is checked, and (developer mode) saving the settings
  // before each load.
  struct Hooks {
    std::function<Options()> options;
    std::function<bool()> keepPlace;
    std::function<void()> saveSettings;
  };

  DocumentController(ListingView& view, Hooks hooks, QWidget* dialogParent);
  ~DocumentController() override;

  // ---- Opening
  // The open dialog from the folder of lastFile, then OpenChosenFile.
  void OpenFrom(const QString& lastFile);
  // A file chosen by the user (dialog, command line, drop): Spin source and
  // bytecode files are refused, anything else goes to OpenFile.
  void OpenChosenFile(const QString& name);
  void OpenFile(const QString& filename);
  void Refresh();
  // One load: runs the engine and shows its listing. False when nothing was
  // listed; the window then stays as it was.
  bool LoadAndDisassemble(const QString& path, bool autoReloaded);
  // Replaces the listing with a reference table (no model, no place keeping).
  void ShowReference(const std::string& text);
  // The view holds a listing of LastFile (not a reference table).
  bool ListingShown() const { return listingShown_; }

  // ---- Auto-Reload
  // The "A&uto-Reload" mark changed: start (and check at once) or stop.
  void ToggleAutoReload(bool on);
  // One tick: reloads the image when it was written since its last load.
  void CheckForReload();
  QTimer& ReloadTimer() { return reloadTimer_; }
  FileWatch& ReloadWatch() { return reloadWatch_; }

  // ---- Saving, printing, PDF export
  void SaveListing();
  void SaveListingAs();
  void PrintListing();
  void PrintWithSource();
  void PrinterSetup();
  void ExportPdf();
  // Prints a document (the listing, or the debug window's text), warning on failure.
  void PrintDocumentNow(const PrintDocument& document);
  void SetPrintService(std::unique_ptr<PrintService> service);

  // ---- The file being shown
  const QString& LastFile() const { return lastFile_; }
  const QString& SaveFile() const { return saveFile_; }
  const QString& SourcePath() const { return sourcePath_; }
  void SetLastFile(const QString& path) { lastFile_ = path; }
  void SetSaveFile(const QString& path) { saveFile_ = path; }
  bool SourceWarningArmed() const { return sourceWarningArmed_; }
  // Armed, the missing-source notice may show at the next load (set again when
  // Include Source Code is switched).
  void SetSourceWarningArmed(bool armed) { sourceWarningArmed_ = armed; }
  bool BytecodeListing() const { return bytecodeListing_; }

  Engine& engine() { return *engine_; }
  ShellHost& host() { return *host_; }
  // The model of the listing shown last; null before the first listing.
  const AnalysisPtr& analysis() const { return analysis_; }
  // The sub-objects' OBJ names by address, when the listing included the source.
  const std::map<std::int32_t, QString>& ObjectNames() const { return objectNames_; }
  // "12 of 40 methods are not called from the program; View > Trace All Methods
  // decodes them" after a listing that left method entries undecoded, else empty.
  const QString& MethodsNotice() const { return methodsNotice_; }
  // The listed image file's bytes (as far as an image reaches) and the Spin
  // source found beside it when it was listed (empty when there was none).
  const QByteArray& ImageBytes() const { return imageBytes_; }
  const QString& SourceText() const { return sourceText_; }

  // The dialogs, replaceable by tests. Open: (title, folder, file name, filter)
  // -> chosen path; save: the request -> chosen path; both empty on cancel.
  using FileChooser = std::function<QString(const QString&, const QString&, const QString&, const QString&)>;
  using SaveChooser = std::function<QString(const SaveRequest&)>;
  FileChooser& OpenChooser() { return chooseOpenFile_; }
  SaveChooser& SaveAsChooser() { return chooseSaveFile_; }
  // Whether the Propeller Tool is running (asked before printing its source).
  std::function<bool()>& ToolRunningCheck() { return toolRunning_; }

 signals:
  // A listing of path is shown (a new image, a refresh or a reload).
  void listed(const QString& path);
  // A reference table replaced the listing.
  void referenceShown();
  // A load ended; the debug text it wrote (maybe none) is in host().DebugText().
  void debugOutputReady();
  // Refresh is about to reload the image: the debug text of the last one is stale.
  void refreshing();

 private:
  bool WriteListingTo(const QString& path);
  PrintDocument ListingDocument() const;

  ListingView& view_;
  Hooks hooks_;
  QWidget* dialogParent_;
  std::unique_ptr<ShellHost> host_;
  std::unique_ptr<Engine> engine_;
  AnalysisPtr analysis_;
  std::map<std::int32_t, QString> objectNames_;
  QString methodsNotice_;
  QByteArray imageBytes_;
  QString sourceText_;
  std::unique_ptr<PrintService> printService_;
  QString lastFile_;
  QString saveFile_;
  QString sourcePath_;
  bool sourceWarningArmed_ = false;
  bool bytecodeListing_ = false;
  bool listingShown_ = false;
  FileWatch reloadWatch_;  // the image as it was at its last load
  QTimer reloadTimer_;
  FileChooser chooseOpenFile_;
  SaveChooser chooseSaveFile_;
  std::function<bool()> toolRunning_;
};

}  // namespace brevin
