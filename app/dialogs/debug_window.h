// The "Debug Info" window: the debug output of the analyses, one text area with
// File (Save As, Print, Printer Setup, Exit) and Edit (Copy, Select All, Find,
// Find Next) menus. It stays above the other windows and keeps its placement in
// section "Debug".
//
// An analysis writes its whole trace at once: the shell collects the debug text
// while the engine runs and hands it over in one piece (AppendTrace), so even a
// trace of tens of thousands of lines is laid out once, not line by line.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <array>
#include <functional>
#include <string>

class QPlainTextEdit;

namespace brevin {

class SettingsStore;

// The debug window's commands, in menu order.
enum class DebugCommand { SaveAs, Print, PrintSetup, Exit, Copy, SelectAll, Find, FindNext, kCount };

class DebugWindow : public QMainWindow {
  Q_OBJECT

 public:
  // saveFile is the main window's SaveFile; its folder is where Save As starts.
  DebugWindow(SettingsStore& store, const QString& saveFile, QWidget* parent = nullptr);

  // Empties the text and holds painting until EndOutput (a Refresh re-runs the analysis).
  void ClearText();
  // Adds the debug text of one analysis (lines ending in CR LF) below the text so far.
  void AppendTrace(const std::string& text);
  // The end of an analysis: the caret goes to the start and painting resumes.
  void EndOutput();
  bool Frozen() const { return frozen_; }

  // Save As: writes the text as plain text with CR LF line ends, through a
  // temporary file beside the target, so a failed write leaves no partial file.
  void SaveAs();

  QAction* Action(DebugCommand command) const { return actions_[static_cast<std::size_t>(command)]; }
  bool Topmost() const;

  QPlainTextEdit* textView = nullptr;

  // The save dialog: (title, folder, filter) -> chosen path, empty on cancel.
  using SaveChooser = std::function<QString(const QString&, const QString&, const QString&)>;
  SaveChooser ChooseSaveFile;

 signals:
  void findRequested(QPlainTextEdit* area);
  void findNextRequested(QPlainTextEdit* area);
  void printRequested(QPlainTextEdit* area);
  void printSetupRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void SetTopmost(bool on);
  // Runs a dialog with the window lowered from the top, so the dialog is not hidden behind it.
  void WithoutTopmost(const std::function<void()>& dialog);

  SettingsStore& store_;
  const QString& saveFile_;
  std::array<QAction*, static_cast<std::size_t>(DebugCommand::kCount)> actions_{};
  bool frozen_ = false;
};

}  // namespace brevin
