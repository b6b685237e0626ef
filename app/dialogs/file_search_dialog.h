// The "Integration Wizard": finds a file of the Propeller Tool installation by
// asking about its start folder, then searching the disks, and lets the user
// confirm each folder that holds a matching file.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QTimer;

namespace brevin {

class FolderSearch;

// Where a disk search walks; the default gives the Wine C: drives, the home
// folder and the real mount points (platform/mounts.h).
using SearchRootsFunction = std::function<QStringList()>;
// Replaces the roots (tests search a folder tree of their own); an empty
// function restores the default.
void SetSearchRootsFunction(SearchRootsFunction roots);
QStringList SearchRoots();

class FileSearchDialog : public QDialog {
  Q_OBJECT

 public:
  FileSearchDialog(const QString& description, const QString& pattern, const QString& startPath,
                   QWidget* parent = nullptr);
  ~FileSearchDialog() override;

  // The dialog's load: asks about the start folder, and starts the disk
  // search unless that folder was accepted.
  void Load();
  // Starts a new disk search (the "&Search" button).
  void Search();
  // One slice of the running search; false when no search is running. The
  // dialog's own timer calls it from the event loop; tests call it directly.
  bool Step();

  bool Busy() const { return busy_; }
  bool Done() const { return done_; }
  // Folder + "/" + the first matching file, set by "&Use"; empty otherwise.
  const QString& FoundPath() const { return foundPath_; }

  QLabel* actionLabel = nullptr;
  QLabel* statusLabel = nullptr;
  QPushButton* searchButton = nullptr;
  QPushButton* okayButton = nullptr;
  QPushButton* cancelButton = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  enum class Buttons { YesNo, YesNoCancel };
  // Shows the folder and, when it holds a matching file, asks about it.
  void Examine(const QString& folder, Buttons buttons);
  void ShowFolder(const QString& folder);
  void ShowResult(const QString& text, bool failure);
  void FinishSearch();
  void Okay();
  void Cancel();
  void Close();

  QString description_;
  QString pattern_;
  QString startFolder_;
  QString foundPath_;
  QString shownFolder_;
  bool busy_ = false;
  bool found_ = false;
  bool abort_ = false;
  bool done_ = false;
  bool stepping_ = false;
  std::unique_ptr<FolderSearch> search_;
  QTimer* stepTimer_ = nullptr;
};

// Runs the dialog over the owner window, which is disabled meanwhile. When the
// user confirms a file that still exists, it is stored in result and true is
// returned; otherwise result is left as it was.
bool FindFileDialog(QWidget* owner, const QString& description, const QString& pattern, QString& result,
                    const QString& startPath);

}  // namespace brevin
