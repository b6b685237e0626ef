#include "recovery/spin_source_controller.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <algorithm>
#include <exception>

#include "listing/listing_view.h"
#include "recovery/spin_source_export.h"
#include "recovery/spin_source_view.h"
#include "window/prompt.h"
#include "window/settings_store.h"
#include "window/shell_support.h"

namespace brevin {

namespace {

constexpr const char* kExportTitle = "Export Spin Source";

QString CleanPath(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

// The folder dialog. A folder that does not exist yet (the new folder offered
// for an export) is made for the dialog to show it, selected in its parent,
// and removed again when it stayed empty: the caller makes it once it is chosen.
QString ShowFolderDialog(QWidget* parent, const QString& title, const QString& folder) {
  const bool offered = !QFileInfo::exists(folder) && QDir().mkdir(folder);
  QFileDialog dialog(parent, title, offered ? QFileInfo(folder).absolutePath() : folder);
  dialog.setObjectName("FolderDialogue");
  dialog.setAccessibleName(title);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (offered) dialog.selectFile(QFileInfo(folder).fileName());
  const bool accepted = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  if (offered) QDir().rmdir(folder);  // only an empty folder goes
  return accepted ? dialog.selectedFiles().front() : QString();
}

}  // namespace

SpinSourceController::SpinSourceController(QMainWindow& window, ListingView& listing, QAction* toggle)
    : QObject(&window), window_(window), listing_(listing), toggle_(toggle) {
  setObjectName("SpinSourceController");
  dock_ = new QDockWidget("Spin Source", &window);
  dock_->setObjectName("SpinSourceDock");
  dock_->setAccessibleName("Spin Source");
  dock_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
  view_ = new SpinSourceView(dock_);
  view_->setFont(listing_.font());  // monospace, as the listing
  dock_->setWidget(view_);
  window.addDockWidget(Qt::BottomDockWidgetArea, dock_);
  dock_->hide();  // off until the View menu shows it

  recover_ = [](const SpinSourceRequest& request) { return RecoverSpinSource(request); };
  chooseFolder_ = [&window](const QString& title, const QString& folder) {
    return ShowFolderDialog(&window, title, folder);
  };

  // The menu mark is the dock's wanted state: set by the user or the settings.
  connect(toggle_, &QAction::toggled, this, &SpinSourceController::SetDockShown);
  connect(dock_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible) {
      ShowProjectState();
      FollowCaret();
    } else if (dock_->isHidden()) {
      toggle_->setChecked(false);  // closed with its own button
    }
  });
  connect(&listing_, &QPlainTextEdit::cursorPositionChanged, this, &SpinSourceController::FollowCaret);
  connect(view_, &SpinSourceView::lineChosen, this, &SpinSourceController::ChooseLine);
  listing_.installEventFilter(this);
}

bool SpinSourceController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &listing_ && event->type() == QEvent::FontChange) view_->setFont(listing_.font());
  return QObject::eventFilter(watched, event);
}

SpinSourceController::~SpinSourceController() = default;

void SpinSourceController::SetDockShown(bool shown) {
  if (toggle_->isChecked() != shown) toggle_->setChecked(shown);
  dock_->setVisible(shown);
  if (shown && !sized_) {
    sized_ = true;
    window_.resizeDocks({dock_}, {window_.height() / 4}, Qt::Vertical);  // the listing keeps most of the height
  }
  if (shown) {
    ShowProjectState();
    FollowCaret();
  }
}

void SpinSourceController::Load(const SettingsStore& store) { folder_ = store.ReadText("Mru", "SpinSourceFolder"); }

void SpinSourceController::Save(SettingsStore& store) const { store.WriteText("Mru", "SpinSourceFolder", folder_); }

void SpinSourceController::SetImage(SpinSourceInput input) {
  input_ = std::move(input);
  project_.reset();
  index_.clear();
  shownFile_ = -1;
  shownInstance_ = -1;
  shownMethod_ = -1;
  if (!dock_->isHidden()) {
    ShowProjectState();
    FollowCaret();
  }
}

const SpinSourceProject* SpinSourceController::Project() {
  if (!input_.analysis) return nullptr;
  if (project_) return &*project_;
  SpinSourceRequest request;
  request.image = std::span(reinterpret_cast<const std::uint8_t*>(input_.image.constData()),
                            static_cast<std::size_t>(input_.image.size()));
  request.topName = BaseNameOf(input_.imagePath).toStdString();
  request.analysis = input_.analysis.get();
  request.sourceText = input_.sourceText.toStdString();
  sourcesRead_.clear();
  if (!input_.sourceText.isEmpty()) {
    if (!input_.sourcePath.isEmpty()) sourcesRead_ << input_.sourcePath;
    // The child objects' sources beside the top one, as its OBJ block names them.
    const QString folder = QFileInfo(input_.sourcePath.isEmpty() ? input_.imagePath : input_.sourcePath).absolutePath();
    request.objectSource = [this, folder](const std::string& file) {
      const QString name = QString::fromStdString(file);
      if (name.isEmpty() || name.contains('/') || name.contains('\\')) return std::string();
      QFile child(folder + "/" + name + ".spin");
      if (!child.open(QIODevice::ReadOnly)) return std::string();
      sourcesRead_ << child.fileName();
      return child.readAll().toStdString();
    };
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    project_ = recover_(request);
  } catch (const std::exception& e) {
    // A fault in the recovery costs the source, not the window and its listing.
    project_ = SpinSourceProject{};
    project_->error = std::string("the recovery failed: ") + e.what();
  }
  QApplication::restoreOverrideCursor();
  ++recoveries_;
  BuildIndex();
  return &*project_;
}

void SpinSourceController::BuildIndex() {
  index_.assign(project_->files.size(), FileIndex{});
  for (std::size_t f = 0; f < project_->files.size(); ++f) {
    const SpinSourceFile& file = project_->files[f];
    FileIndex& ix = index_[f];
    ix.byOffset = file.marks;
    std::sort(ix.byOffset.begin(), ix.byOffset.end(), [](const SpinSourceMark& a, const SpinSourceMark& b) {
      return a.offset != b.offset ? a.offset < b.offset : a.line < b.line;
    });
    for (const SpinSourceMark& m : file.marks) ix.lineTargets.emplace_back(m.line, m.offset);
    if (file.instances.empty()) continue;
    const std::int32_t base = file.instances.front().address;
    for (const SpinSourceMethod& m : project_->methods) {
      if (m.file != file.name) continue;
      ix.methods.emplace_back(m.address - base, m.firstLine);
      ix.lineTargets.emplace_back(m.headLine, m.address - base);
    }
    std::sort(ix.methods.begin(), ix.methods.end());
    std::sort(ix.lineTargets.begin(), ix.lineTargets.end());
  }
}

void SpinSourceController::ShowProjectState() {
  if (dock_->isHidden()) return;
  if (!input_.analysis) {
    view_->ShowSource("No image is listed.");
    shownFile_ = -1;
    return;
  }
  const SpinSourceProject* project = Project();
  if (!project->error.empty()) {
    view_->ShowSource("No Spin source could be recovered from this image:\n" + QString::fromStdString(project->error));
    shownFile_ = -1;
  } else if (project->files.empty()) {
    view_->ShowSource("No Spin source could be recovered from this image.");
    shownFile_ = -1;
  } else if (shownFile_ < 0) {
    const auto& first = project->files.front();
    ShowFile(0, first.instances.empty() ? 0 : first.instances.front().address);
  }
}

void SpinSourceController::ShowFile(int file, std::int32_t instance) {
  if (file == shownFile_ && instance == shownInstance_) return;
  view_->ShowSource(QString::fromStdString(project_->files[static_cast<std::size_t>(file)].text));
  if (file != shownFile_) view_->ShowLineAtTop(0);
  shownFile_ = file;
  shownInstance_ = instance;
  shownMethod_ = -1;
}

std::optional<std::int32_t> SpinSourceController::CaretAddress() const {
  const Analysis& a = *input_.analysis;
  const int line = listing_.textCursor().blockNumber();
  // The caret's line, or the nearest line above it with an address (blanks,
  // source lines and titles come in short runs).
  for (int i = std::min(line, static_cast<int>(a.lines.size()) - 1), steps = 0; i >= 0 && steps < 200; --i, ++steps) {
    if (const auto& address = a.lines[static_cast<std::size_t>(i)].address) return *address;
  }
  return std::nullopt;
}

void SpinSourceController::FollowCaret() {
  if (dock_->isHidden() || !input_.analysis || listing_.Model() != input_.analysis) return;
  const SpinSourceProject* project = Project();
  if (!project->error.empty() || project->files.empty()) return;
  const auto address = CaretAddress();
  int file = -1;
  std::int32_t instance = 0;
  for (std::size_t f = 0; address && f < project->files.size() && file < 0; ++f) {
    for (const SpinObjectInstance& copy : project->files[f].instances) {
      if (*address >= copy.address && *address - copy.address < copy.size) {
        file = static_cast<int>(f);
        instance = copy.address;
        break;
      }
    }
  }
  if (file < 0) {
    // Outside every object (the header, variables, the stack): the text stays, unmarked.
    view_->HighlightLine(-1);
    return;
  }
  ShowFile(file, instance);
  const FileIndex& ix = index_[static_cast<std::size_t>(file)];
  const std::int32_t offset = *address - instance;

  // The method holding the caret: the last one starting at or before it.
  const auto method = std::upper_bound(ix.methods.begin(), ix.methods.end(), offset,
                                       [](std::int32_t o, const auto& m) { return o < m.first; });
  if (method == ix.methods.begin()) {
    view_->HighlightLine(-1);  // before the first method: the object's data
    return;
  }
  const auto [methodOffset, firstLine] = *std::prev(method);

  // The statement: the last mark at or before the caret's offset within that
  // method; among marks at the same offset the innermost (last) line, unless
  // the one already marked is one of them (a statement just clicked).
  const auto after = std::upper_bound(ix.byOffset.begin(), ix.byOffset.end(), offset,
                                      [](std::int32_t o, const SpinSourceMark& m) { return o < m.offset; });
  int line = -1;
  if (after != ix.byOffset.begin() && std::prev(after)->offset >= methodOffset) {
    const std::int32_t at = std::prev(after)->offset;
    line = std::prev(after)->line;
    for (auto it = std::prev(after);; --it) {
      if (it->offset != at) break;
      if (it->line == view_->HighlightedLine()) line = it->line;
      if (it == ix.byOffset.begin()) break;
    }
  }
  if (methodOffset != shownMethod_) {
    shownMethod_ = methodOffset;
    view_->ShowLineAtTop(firstLine);
  }
  view_->HighlightLine(line);
}

void SpinSourceController::ChooseLine(int line) {
  if (shownFile_ < 0 || !input_.analysis) return;
  const FileIndex& ix = index_[static_cast<std::size_t>(shownFile_)];
  const auto target = std::lower_bound(ix.lineTargets.begin(), ix.lineTargets.end(), std::make_pair(line, INT32_MIN));
  if (target == ix.lineTargets.end() || target->first != line) return;  // no statement starts on that line
  view_->HighlightLine(line);
  if (const auto listingLine = input_.analysis->LineAtAddress(shownInstance_ + target->second)) {
    emit lineChosen(static_cast<int>(*listingLine));
  }
}

void SpinSourceController::Export() {
  if (!input_.analysis) return;
  const QString imageFolder = FolderOf(input_.imagePath);
  const QString stem = BaseNameOf(input_.imagePath);
  QString start = folder_;
  if (start.isEmpty() || !QFileInfo(start).isDir()) start = imageFolder;
  // A folder that holds the image's sources (the image's own, or the one its
  // source was read from) is not offered: a new folder named after the image
  // inside it is, so the hand-written files stay apart.
  const QString sourceFolder = input_.sourceText.isEmpty() ? QString() : FolderOf(input_.sourcePath);
  const bool holdsSources =
      (CleanPath(start) == CleanPath(imageFolder) && QFileInfo::exists(imageFolder + "/" + stem + ".spin")) ||
      (!sourceFolder.isEmpty() && CleanPath(start) == CleanPath(sourceFolder));
  if (holdsSources) start = QDir(start).filePath(stem + "_spin");
  const QString chosen = chooseFolder_(kExportTitle, start);
  if (chosen.isEmpty()) return;
  folder_ = chosen;
  // The offered new folder is made once it is chosen, and goes again when nothing is written into it.
  const bool made = CleanPath(chosen) == CleanPath(start) && !QFileInfo::exists(chosen) && QDir().mkdir(chosen);
  const auto dropMade = [&] {
    if (made) QDir().rmdir(chosen);
  };
  const SpinSourceProject* project = Project();
  const SpinExportInputs inputs{input_.imagePath, sourcesRead_};
  const SpinExportPlan plan = PlanSpinExport(chosen, *project, inputs);
  if (!plan.refusal.isEmpty()) {
    dropMade();
    Prompt(ProductTitleText(), plan.refusal, MessageButtons::Ok, MessageIcon::Warning);
    return;
  }
  if (!plan.existing.isEmpty() &&
      Prompt(ProductTitleText(), ReplaceSpinFilesText(chosen, plan.existing), MessageButtons::YesNo,
             MessageIcon::Question, MessageAnswer::No) != MessageAnswer::Yes) {
    return;  // nothing is written
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // Only the files the user was asked about are replaced: one come since is refused.
  const SpinExportResult result = WriteSpinProject(chosen, *project, inputs, !plan.existing.isEmpty());
  QApplication::restoreOverrideCursor();
  if (!result.written) dropMade();
  Prompt(ProductTitleText(), result.text, MessageButtons::Ok,
         result.written ? MessageIcon::Information : MessageIcon::Warning);
}

}  // namespace brevin
