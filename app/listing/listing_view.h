// The listing area: a read-only QPlainTextEdit that owns its decorations. It
// colours the text from the analysis model, underlines the reference under the
// mouse, follows a reference (Enter, double-click, Ctrl+click), turns the
// mouse's side buttons and Esc into Back and Forward requests, zooms its font
// (Ctrl++, Ctrl+-, Ctrl+0), keeps the reader's place when a new listing of the
// same image replaces the old one, and marks the line a jump landed on.
#pragma once

#include <QPlainTextEdit>
#include <QTimer>

#include "brevin/analysis.h"

namespace brevin {

class ListingHighlighter;

// The listing font by default: Courier New when installed, else the system's
// fixed-pitch font, at 8.25 points.
QFont DefaultListingFont();

class ListingView : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit ListingView(QWidget* parent = nullptr);
  ~ListingView() override;

  // Shows a listing and its model; keepPlace keeps the top line and the caret
  // on the same addresses as in the text shown before.
  void ShowListing(AnalysisPtr analysis, const QString& text, bool keepPlace);
  // Shows a text without a model (a reference table): no colours, no links.
  void ShowText(const QString& text);
  const AnalysisPtr& Model() const { return analysis_; }

  // The reference under a viewport position, with its line; null when none.
  const LineReference* ReferenceAtPoint(const QPoint& pos, int* line = nullptr) const;
  // The tool-tip of the label under a viewport position ("" when none).
  QString LabelToolTip(const QPoint& pos) const;
  // The line a reference at the caret leads to; none when the caret is on none.
  std::optional<int> TargetAtCaret() const;

  // Marks the line a jump landed on with a full-width band, until the caret
  // leaves that line or the band has faded (kTargetMarkMs).
  void MarkTarget(int line);
  // The marked line, or -1 when no band is shown.
  int MarkedLine() const { return markedLine_; }
  static constexpr int kTargetMarkMs = 1500;

  ListingHighlighter* Highlighter() const { return highlighter_; }

 signals:
  // The model changed; emitted before the new text is set.
  void analysisChanged(const AnalysisPtr& analysis);
  void followRequested(int line);
  void backRequested();
  void forwardRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  void AddZoomActions();
  void ShowHover(const QPoint& pos);
  void UpdateDecorations();
  // A Ctrl+click or double-click on a reference; true when it was one.
  bool FollowAtPoint(const QPoint& pos);

  AnalysisPtr analysis_;
  ListingHighlighter* highlighter_;
  int hoverLine_ = -1;
  std::size_t hoverStart_ = 0;
  std::size_t hoverEnd_ = 0;
  int markedLine_ = -1;
  QTimer markTimer_;
};

}  // namespace brevin
