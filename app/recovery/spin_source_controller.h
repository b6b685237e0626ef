// The Spin source recovered from the listed image, kept once per analysis: the
// "Spin Source" dock that shows the object at the listing's caret beside the
// listing, and File > "Export Spin Source ..." that writes the project into a
// folder. The recovery runs only when something needs it: while the dock is
// shown, or for an export.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "brevin/analysis.h"
#include "brevin/spin_source.h"

class QAction;
class QDockWidget;
class QMainWindow;

namespace brevin {

class ListingView;
class SettingsStore;
class SpinSourceView;

// The listed image as the recovery takes it.
struct SpinSourceInput {
  AnalysisPtr analysis;  // the listing's model; null when no image is listed
  QString imagePath;
  QByteArray image;    // the image file's bytes, as they were listed
  QString sourceText;  // the top object's source found beside the image; empty when none
  QString sourcePath;  // the file sourceText was read from; the child objects' sources are beside it
};

class SpinSourceController : public QObject {
  Q_OBJECT

 public:
  using Recovery = std::function<SpinSourceProject(const SpinSourceRequest&)>;
  // (title, folder to start in) -> the chosen folder; empty on cancel.
  using FolderChooser = std::function<QString(const QString&, const QString&)>;

  // Adds the dock to the window, hidden; toggle is the View menu's check item
  // that shows and hides it (the dock's own close button clears the mark).
  SpinSourceController(QMainWindow& window, ListingView& listing, QAction* toggle);
  ~SpinSourceController() override;

  // A new listing: the project recovered for the one before is dropped.
  void SetImage(SpinSourceInput input);
  // No image is listed any more (a reference table replaced the listing).
  void ClearImage() { SetImage({}); }
  bool HasImage() const { return input_.analysis != nullptr; }
  // The project of the listed image, recovered now when it is not yet; null
  // when no image is listed.
  const SpinSourceProject* Project();
  // How many times the recovery ran (it runs once per listing at most).
  int Recoveries() const { return recoveries_; }

  // The export command: asks for a folder (a new one named after the image,
  // "<image folder>/<image name>_spin", when the image's folder holds its
  // source), asks before replacing files there, and writes the project.
  void Export();
  const QString& Folder() const { return folder_; }
  void Load(const SettingsStore& store);
  void Save(SettingsStore& store) const;

  QDockWidget* Dock() const { return dock_; }
  // The dock's size came from the saved window state: kept when it is shown.
  void KeepDockSize() { sized_ = true; }
  SpinSourceView* View() const { return view_; }
  // The file shown (index into the project's files; -1 none) and the address
  // of the copy of its object the listing's caret is in.
  int ShownFile() const { return shownFile_; }
  std::int32_t ShownInstance() const { return shownInstance_; }

  // Replaceable by tests.
  Recovery& RecoveryFunction() { return recover_; }
  FolderChooser& Chooser() { return chooseFolder_; }

 protected:
  // Follows the listing's font (Set Font, zoom) so both stay alike.
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  // A statement was chosen in the dock: the listing line of its first bytecode.
  void lineChosen(int line);

 private:
  // Per file: the statement marks by offset, the methods by offset, and the
  // offset each clickable line leads to.
  struct FileIndex {
    std::vector<SpinSourceMark> byOffset;                // ascending by (offset, line)
    std::vector<std::pair<std::int32_t, int>> methods;   // (offset, first line), ascending
    std::vector<std::pair<int, std::int32_t>> lineTargets;  // (line, offset), ascending by line
  };

  void SetDockShown(bool shown);
  void BuildIndex();
  void ShowProjectState();
  void FollowCaret();
  void ChooseLine(int line);
  std::optional<std::int32_t> CaretAddress() const;
  void ShowFile(int file, std::int32_t instance);

  QMainWindow& window_;
  ListingView& listing_;
  QAction* toggle_;
  QDockWidget* dock_;
  SpinSourceView* view_;
  SpinSourceInput input_;
  std::optional<SpinSourceProject> project_;
  QStringList sourcesRead_;  // the Spin sources the recovery read: an export never replaces them
  std::vector<FileIndex> index_;
  int recoveries_ = 0;
  int shownFile_ = -1;
  std::int32_t shownInstance_ = -1;
  std::int32_t shownMethod_ = -1;  // offset of the method last brought into view
  bool sized_ = false;  // the dock got its first height
  QString folder_;
  Recovery recover_;
  FolderChooser chooseFolder_;
};

}  // namespace brevin
