#include "dialogs/file_search_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "tool/file_search.h"
#include "mounts.h"
#include "window/prompt.h"
#include "window/shell_support.h"

namespace brevin {

namespace {

SearchRootsFunction& RootsOverride() {
  static SearchRootsFunction roots;
  return roots;
}

std::string Native(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString Shown(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// How long one slice of the walk may keep the event loop waiting.
constexpr int kSliceMilliseconds = 15;
constexpr int kEntriesPerStep = 64;

}  // namespace

void SetSearchRootsFunction(SearchRootsFunction roots) { RootsOverride() = std::move(roots); }

QStringList SearchRoots() {
  if (RootsOverride()) return RootsOverride()();
  QStringList roots;
  for (const std::string& root :
       platform::SearchRoots(qEnvironmentVariable("WINEPREFIX").toStdString(), Native(QDir::homePath()),
                             platform::ReadMountsTable(), Native(QCoreApplication::applicationFilePath()),
                             Native(QDir::currentPath()))) {
    roots << Shown(root);
  }
  return roots;
}

FileSearchDialog::FileSearchDialog(const QString& description, const QString& pattern, const QString& startPath,
                                   QWidget* parent)
    : QDialog(parent), description_(description), pattern_(pattern), startFolder_(FolderOf(startPath)) {
  setObjectName("frmFindFile");
  setWindowTitle("Integration Wizard");
  setAccessibleName("Integration Wizard");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  actionLabel = new QLabel("Searching for ....", this);
  actionLabel->setObjectName("actionLabel");
  actionLabel->setAccessibleName("Action");
  statusLabel = new QLabel(this);
  statusLabel->setObjectName("statusLabel");
  statusLabel->setAccessibleName("Status");
  statusLabel->setWordWrap(true);
  statusLabel->setMinimumHeight(statusLabel->fontMetrics().height() * 3);
  statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

  const auto button = [this](const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setAccessibleName(QString(caption).remove('&'));
    b->setAutoDefault(false);
    return b;
  };
  searchButton = button("searchButton", "&Search");
  okayButton = button("okayButton", "&Use");
  cancelButton = button("cancelButton", "&Cancel");
  connect(searchButton, &QPushButton::clicked, this, &FileSearchDialog::Search);
  connect(okayButton, &QPushButton::clicked, this, &FileSearchDialog::Okay);
  connect(cancelButton, &QPushButton::clicked, this, &FileSearchDialog::Cancel);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(searchButton);
  buttons->addWidget(okayButton);
  buttons->addWidget(cancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(actionLabel);
  layout->addWidget(statusLabel, 1);
  layout->addLayout(buttons);
  setMinimumWidth(480);

  stepTimer_ = new QTimer(this);
  stepTimer_->setInterval(0);
  connect(stepTimer_, &QTimer::timeout, this, [this] { Step(); });
}

FileSearchDialog::~FileSearchDialog() = default;

void FileSearchDialog::ShowFolder(const QString& folder) {
  shownFolder_ = folder;
  statusLabel->setText(folder);
}

void FileSearchDialog::ShowResult(const QString& text, bool failure) {
  QFont font = statusLabel->font();
  font.setBold(failure);
  statusLabel->setFont(font);
  QPalette palette = statusLabel->palette();
  palette.setColor(QPalette::WindowText, failure ? QColor(Qt::red) : palette.color(QPalette::ButtonText));
  statusLabel->setPalette(palette);
  statusLabel->setText(text);
}

void FileSearchDialog::Load() {
  busy_ = true;
  foundPath_.clear();
  actionLabel->setText("Searching for " + description_ + " ...");
  ShowResult(QString(), false);
  found_ = abort_ = done_ = false;
  searchButton->setEnabled(false);
  okayButton->setEnabled(false);
  if (!startFolder_.isEmpty()) Examine(startFolder_, Buttons::YesNo);
  if (found_) {
    actionLabel->setText(description_ + " found in ...");
    okayButton->setEnabled(true);
    searchButton->setEnabled(true);
    cancelButton->setText("&Cancel");
    done_ = true;
  } else {
    Search();
  }
}

void FileSearchDialog::Examine(const QString& folder, Buttons buttons) {
  ShowFolder(folder);
  if (FirstMatchingFile(Native(folder), Native(pattern_)).empty()) return;
  const MessageAnswer answer =
      Prompt("Searching for " + description_,
             "Is this the installation directory of the " + description_ + " you want to use ?\r\n\r\n" + folder,
             buttons == Buttons::YesNo ? MessageButtons::YesNo : MessageButtons::YesNoCancel, MessageIcon::Question,
             MessageAnswer::Yes);
  if (answer == MessageAnswer::Yes) found_ = true;
  if (answer == MessageAnswer::Cancel && buttons == Buttons::YesNoCancel) abort_ = true;
}

void FileSearchDialog::Search() {
  actionLabel->setText("Searching for " + description_ + " ...");
  ShowResult(QString(), false);
  found_ = abort_ = done_ = false;
  searchButton->setEnabled(false);
  okayButton->setEnabled(false);
  cancelButton->setText("&Stop");
  setCursor(Qt::BusyCursor);

  std::vector<std::string> roots;
  for (const QString& root : SearchRoots()) roots.push_back(Native(root));
  search_ = std::make_unique<FolderSearch>(Native(pattern_), std::move(roots));
  search_->onFolder = [this](const std::string& folder) { ShowFolder(Shown(folder)); };
  search_->onMatch = [this](const std::string& folder) {
    Examine(Shown(folder), Buttons::YesNoCancel);
    if (found_) return FolderSearch::Decision::Found;
    return abort_ ? FolderSearch::Decision::Abort : FolderSearch::Decision::Continue;
  };
  stepTimer_->start();
}

bool FileSearchDialog::Step() {
  if (!search_) return false;
  if (stepping_) return true;  // a question of this step is open
  stepping_ = true;
  QElapsedTimer slice;
  slice.start();
  bool more = true;
  while (more && !abort_ && slice.elapsed() < kSliceMilliseconds) more = search_->Step(kEntriesPerStep);
  stepping_ = false;
  if (more && !abort_) return true;
  FinishSearch();
  return false;
}

void FileSearchDialog::FinishSearch() {
  stepTimer_->stop();
  unsetCursor();
  found_ = search_->Found();
  abort_ = abort_ || search_->Aborted();
  if (found_) {
    actionLabel->setText(description_ + " found in ...");
    ShowFolder(Shown(search_->FoundFolder()));
    okayButton->setEnabled(true);
  } else {
    ShowResult(abort_ ? "Aborted" : "Not found !", true);
  }
  search_.reset();
  searchButton->setEnabled(true);
  cancelButton->setText("&Cancel");
  done_ = true;
}

void FileSearchDialog::Okay() {
  foundPath_ = shownFolder_ + '/' + Shown(FirstMatchingFile(Native(shownFolder_), Native(pattern_)));
  busy_ = false;
  done(QDialog::Accepted);
}

void FileSearchDialog::Cancel() {
  if (!done_) {
    // "&Stop": the walk ends before its next slice, or at once between slices.
    abort_ = true;
    if (search_ && !stepping_) FinishSearch();
    return;
  }
  pattern_.clear();
  Close();
}

void FileSearchDialog::Close() {
  busy_ = false;
  done(QDialog::Rejected);
}

void FileSearchDialog::closeEvent(QCloseEvent* event) {
  if (!done_) {
    event->ignore();  // the frame's close button waits for the search to end
    return;
  }
  busy_ = false;
  QDialog::closeEvent(event);
}

void FileSearchDialog::reject() {
  if (!done_) return;  // Escape, like the frame, is refused while searching
  Close();
}

bool FindFileDialog(QWidget* owner, const QString& description, const QString& pattern, QString& result,
                    const QString& startPath) {
  if (owner != nullptr) {
    owner->setCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    owner->setEnabled(false);
  }
  bool changed = false;
  {
    FileSearchDialog dialog(description, pattern, startPath, owner);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setEnabled(true);
    dialog.show();
    dialog.Load();
    if (dialog.Busy()) {
      QEventLoop loop;
      QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
      loop.exec();
    }
    if (FileExists(dialog.FoundPath())) {
      result = dialog.FoundPath();
      changed = true;
    }
  }
  if (owner != nullptr) {
    owner->setEnabled(true);
    owner->unsetCursor();
  }
  return changed;
}

}  // namespace brevin
