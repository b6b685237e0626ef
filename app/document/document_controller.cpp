#include "document/document_controller.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QStringList>
#include <algorithm>
#include <string>
#include <vector>

#include "document/shell_host.h"
#include "brevin/engine.h"
#include "brevin/text.h"
#include "listing/listing_view.h"
#include "listing/object_names.h"
#include "propeller_tool.h"
#include "window/prompt.h"
#include "window/shell_support.h"

namespace brevin {

namespace {

constexpr const char* kOpenFilter =
    "Propeller Image Files (*.binary,*.eeprom) (*.binary *.eeprom *.bin *.eep);;"
    "Spin Source Files (*.spin) (*.spin *.spi);;"
    "Spin Bytecode Files (*.bytecode) (*.bytecode *.byt)";

// The listing and the reports end their lines in CR LF; the text area wants bare line feeds.
QString DisplayText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  shown.replace('\r', '\n');
  return shown;
}

void Inform(const QString& text) {
  Prompt(ProductTitleText(), text, MessageButtons::Ok, MessageIcon::Information);
}

void Warn(const QString& text) { Prompt(ProductTitleText(), text, MessageButtons::Ok, MessageIcon::Warning); }

// Shows the notices of a load in message boxes, each text once per load.
void ShowNotices(const LoadResult& result, std::vector<std::string>& shown) {
  for (const Notice& notice : result.notices) {
    if (std::find(shown.begin(), shown.end(), notice.text) != shown.end()) continue;
    shown.push_back(notice.text);
    Prompt(ProductTitleText(), QString::fromStdString(notice.text), MessageButtons::Ok, notice.icon);
  }
}

QString ShowFileDialog(QWidget* parent, const QString& title, const QString& folder, const QString& fileName,
                       const QString& filter) {
  QFileDialog dialog(parent, title, folder, filter);
  dialog.setObjectName("FileDialogue");
  dialog.setAccessibleName(title);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  if (!fileName.isEmpty()) dialog.selectFile(fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().front();
}

}  // namespace

DocumentController::DocumentController(ListingView& view, Hooks hooks, QWidget* dialogParent)
    : QObject(dialogParent), view_(view), hooks_(std::move(hooks)), dialogParent_(dialogParent),
      host_(std::make_unique<ShellHost>(hooks_.options, [this] { return sourcePath_; })),
      engine_(std::make_unique<Engine>(*host_)), printService_(std::make_unique<SystemPrintService>()) {
  setObjectName("DocumentController");
  reloadTimer_.setObjectName("ReloadTimer");
  reloadTimer_.setInterval(1000);
  connect(&reloadTimer_, &QTimer::timeout, this, &DocumentController::CheckForReload);
  chooseOpenFile_ = [this](const QString& title, const QString& folder, const QString& fileName,
                           const QString& filter) { return ShowFileDialog(dialogParent_, title, folder, fileName, filter); };
  chooseSaveFile_ = [this](const SaveRequest& request) { return ShowSaveDialog(dialogParent_, request); };
  toolRunning_ = [] { return platform::PropellerToolRunning(); };
}

DocumentController::~DocumentController() = default;

void DocumentController::OpenFrom(const QString& lastFile) {
  const QString name = chooseOpenFile_("Open Image File ...", FolderOf(lastFile), FileNameOf(lastFile), kOpenFilter);
  if (name.isEmpty()) return;
  OpenChosenFile(name);
}

void DocumentController::OpenChosenFile(const QString& name) {
  const QString upper = name.toUpper();
  if (upper.endsWith(".SPIN")) {
    Inform("Sorry - Cannot compile Spin source files at this time");
  } else if (upper.endsWith(".BYTECODE")) {
    Inform("Sorry - Cannot Assemble Spin bytecode files at the present time");
  } else {
    OpenFile(name);
  }
}

void DocumentController::OpenFile(const QString& filename) {
  if (!FileExists(filename)) {
    Inform("Cannot find file\r\n\r\n" + filename);
    return;
  }
  QString folder = FolderOf(filename);
  if (folder == FolderOf(lastFile_) && !saveFile_.isEmpty()) folder = FolderOf(saveFile_);
  if (!folder.isEmpty()) folder += '/';
  const QString previousSource = sourcePath_;
  const QString previousSave = saveFile_;
  const bool previousArmed = sourceWarningArmed_;
  sourcePath_ = folder + BaseNameOf(filename) + ".spin";
  sourceWarningArmed_ = true;
  saveFile_ = folder + BaseNameOf(filename) + ".lst";
  if (Process().DeveloperMode && hooks_.saveSettings) hooks_.saveSettings();
  if (!LoadAndDisassemble(filename, false)) {
    // The image was not listed: the window stays as it was, paths included.
    sourcePath_ = previousSource;
    saveFile_ = previousSave;
    sourceWarningArmed_ = previousArmed;
  }
}

void DocumentController::Refresh() {
  if (Process().DeveloperMode && hooks_.saveSettings) hooks_.saveSettings();
  if (FileExists(lastFile_)) {
    emit refreshing();
    LoadAndDisassemble(lastFile_, false);
  } else {
    Warn("Cannot find " + lastFile_);
  }
}

bool DocumentController::LoadAndDisassemble(const QString& path, bool autoReloaded) {
  // Arm the reload watch before the file is read. The timer rests while this
  // load runs and watches afterwards when Auto-Reload is checked.
  reloadWatch_.Arm(path);
  const TimerPause pause(&reloadTimer_, [this] { return hooks_.options().AutoReload; });
  host_->ClearDebugText();  // until the debug window shows it, only the last analysis's text is kept
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QCoreApplication::processEvents();
  // The engine shows the missing-source notice once while the shell keeps it armed.
  engine_->ArmSourceWarning(sourceWarningArmed_);
  const std::string file = QFile::encodeName(path).toStdString();
  LoadResult result = engine_->LoadAndDisassemble(file, autoReloaded);
  QApplication::restoreOverrideCursor();
  // The load's notices, then the checksum question; answered Yes, the image is
  // loaded again and listed anyway, and notices already shown are not repeated.
  std::vector<std::string> shown;
  ShowNotices(result, shown);
  if (result.status == LoadStatus::ChecksumMismatch &&
      Prompt(ProductTitleText(), QString::fromStdString(result.message), MessageButtons::YesNo,
             MessageIcon::Critical) == MessageAnswer::Yes) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    result = engine_->LoadAndDisassemble(file, autoReloaded, true);
    QApplication::restoreOverrideCursor();
    ShowNotices(result, shown);
  }
  sourceWarningArmed_ = engine_->SourceWarningIsArmed();
  emit debugOutputReady();

  if (result.status != LoadStatus::Listed) {
    // A declined checksum question was the user's own choice; anything else is reported.
    // Either way the window keeps the listing, caption and commands it had.
    if (result.status != LoadStatus::ChecksumMismatch) Warn(QString::fromStdString(result.message));
    return false;
  }
  const bool sameImage = path == lastFile_;
  lastFile_ = path;
  analysis_ = result.analysis;
  objectNames_.clear();
  imageBytes_.clear();
  sourceText_.clear();
  // The bytes just listed (the model keeps them), for the Spin source recovery
  // and the OBJ names: the file is not read again, so they are what was listed.
  const std::vector<std::uint8_t>& image = analysis_->image.bytes;
  imageBytes_ = QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
  if (FileExists(sourcePath_)) {
    if (QFile source(sourcePath_); source.open(QIODevice::ReadOnly)) {
      const QByteArray bytes = source.readAll();
      sourceText_ = QString::fromStdString(SpinSourceText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
    }
    // The source the listing included also names the sub-objects.
    if (hooks_.options().IncludeSourceCode) objectNames_ = SubObjectNames(imageBytes_, sourcePath_);
  }
  bytecodeListing_ = analysis_->bytecodeListing;
  const std::string untraced = UntracedMethodsText(result, hooks_.options());
  methodsNotice_ = untraced.empty() ? QString()
                                    : QString::fromStdString(untraced) + "; View > Trace All Methods decodes them";
  // A new listing of the image already shown keeps the reader's place.
  const bool keepPlace = listingShown_ && sameImage && hooks_.keepPlace && hooks_.keepPlace();
  view_.ShowListing(analysis_, DisplayText(analysis_->listing), keepPlace);
  listingShown_ = true;
  emit listed(path);
  if (!result.warnings.empty()) {
    QStringList lines;
    for (const std::string& w : result.warnings) lines << QString::fromStdString(w);
    Warn(lines.join("\r\n"));
  }
  return true;
}

void DocumentController::ShowReference(const std::string& text) {
  listingShown_ = false;
  view_.ShowText(DisplayText(text));
  emit referenceShown();
}

}  // namespace brevin
