// The text of the "Spin Source" dock: a read-only, non-wrapping text area that
// owns its decorations (the colours, the marked line). It shows one recovered
// file, marks one statement line with a band, and turns a click on a line (or
// Enter on the caret's line) into a request to go there in the listing.
#pragma once

#include <QPlainTextEdit>
#include <QPoint>

namespace brevin {

class SpinSourceHighlighter;

class SpinSourceView : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit SpinSourceView(QWidget* parent = nullptr);

  // Shows the text; the highlight goes. Showing the text already shown keeps
  // the place and the highlight.
  void ShowSource(const QString& text);
  // Marks the line with a full-width band and scrolls it into view (-1: none).
  void HighlightLine(int line);
  int HighlightedLine() const { return highlighted_; }
  // Scrolls so the line is the first in view (as far as the text allows).
  void ShowLineAtTop(int line);
  // The first and last lines wholly or partly in view.
  int FirstLineInView() const;
  int LastLineInView() const;
  SpinSourceHighlighter* Highlighter() const { return highlighter_; }

 signals:
  // A click on a line, or Enter with the caret on it.
  void lineChosen(int line);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void UpdateDecorations();

  SpinSourceHighlighter* highlighter_;
  int highlighted_ = -1;
  QPoint pressedAt_{-1, -1};
};

}  // namespace brevin
