// Travelling through the listing: Go To (Ctrl+G), Follow (the listing view's
// requests), Back and Forward (Alt+Left, Alt+Right, and the view's requests from
// the mouse's side buttons and Esc), the Outline dock, the Image map strip and
// the colours. All of it reads the analysis model; the
// listing text itself is never changed.
#pragma once

#include <QObject>
#include <optional>
#include <vector>

#include "brevin/analysis.h"

class QAction;
class QDockWidget;
class QMainWindow;
class QPoint;

namespace brevin {

class GoToDialog;
class ImageMap;
class ListingHighlighter;
class ListingView;
class OutlineDock;
class SettingsStore;

class ListingNavigator : public QObject {
  Q_OBJECT

 public:
  // Adds the Outline and Image map docks to the window; the window puts the
  // actions in its menus and toolbar.
  ListingNavigator(QMainWindow& window, ListingView& view, SettingsStore& store);
  ~ListingNavigator() override;

  const AnalysisPtr& Model() const { return analysis_; }

  // The listing line for a Go To text: a label in any letter case, or a hub
  // address written $1A2B or 1A2B. None when neither is known.
  std::optional<int> Resolve(const QString& text) const;
  // Moves the caret to the start of the line, scrolls it to the upper third and
  // marks it; a jump is recorded for Back.
  void JumpToLine(int line);
  void JumpToAddress(std::int32_t address);
  // Follows the reference at the caret; false when the caret is on none.
  bool FollowAtCaret();
  void Back();
  void Forward();
  void ShowGoTo();

  int CurrentLine() const;
  bool CanGoBack() const { return !back_.empty(); }
  bool CanGoForward() const { return !forward_.empty(); }
  // The reference under a viewport position, with its line; null when none.
  const LineReference* ReferenceAtPoint(const QPoint& pos, int* line = nullptr) const;
  // The tool-tip of the label under a viewport position ("" when none).
  QString LabelToolTip(const QPoint& pos) const;

  QAction* GoToAction() const { return goTo_; }
  QAction* BackAction() const { return backAction_; }
  QAction* ForwardAction() const { return forwardAction_; }
  QAction* ColoursAction() const { return colours_; }
  OutlineDock* Outline() const { return outline_; }
  ImageMap* Map() const { return map_; }
  ListingHighlighter* Highlighter() const;
  GoToDialog* Dialog() const { return dialog_; }

 private:
  // The model of the text about to be shown (null for a text without one, such
  // as a reference table): a new history, outline and map.
  void SetAnalysis(const AnalysisPtr& analysis);
  void BuildActions(QMainWindow& window);
  void MoveTo(int line);
  void UpdateHistoryActions();
  void UpdatePosition();
  void UpdateViewRange();
  int VisibleLines() const;
  // The hub address of the line, or of the nearest line before it that has one.
  std::optional<std::int32_t> AddressNear(int line, int direction) const;

  ListingView& view_;
  SettingsStore& store_;
  AnalysisPtr analysis_;
  OutlineDock* outline_;
  QDockWidget* mapDock_;
  ImageMap* map_;
  GoToDialog* dialog_ = nullptr;
  QAction* goTo_ = nullptr;
  QAction* backAction_ = nullptr;
  QAction* forwardAction_ = nullptr;
  QAction* colours_ = nullptr;
  std::vector<int> back_, forward_;  // lines, most recent last
};

}  // namespace brevin
