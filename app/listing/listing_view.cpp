#include "listing/listing_view.h"

#include <QAction>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextBlock>
#include <QToolTip>

#include "listing/listing_highlighter.h"
#include "listing/listing_zoom.h"
#include "listing/view_position.h"

namespace brevin {

namespace {

constexpr int kFadeStepMs = 50;
constexpr int kFadeMs = 500;  // the last part of the mark's time

void SetFontSize(QPlainTextEdit& view, double size) {
  QFont font = view.font();
  font.setPointSizeF(size);
  view.setFont(font);
}

}  // namespace

QFont DefaultListingFont() {
  QFont font;
  if (QFontDatabase::families().contains("Courier New")) {
    font = QFont("Courier New");
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  }
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setBold(false);
  font.setItalic(false);
  font.setPointSizeF(8.25);
  return font;
}

ListingView::ListingView(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName("listingView");
  setAccessibleName("Listing");
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  viewport()->setMouseTracking(true);
  highlighter_ = new ListingHighlighter(document());
  AddZoomActions();

  markTimer_.setInterval(kFadeStepMs);
  connect(&markTimer_, &QTimer::timeout, this, [this] {
    // The band holds its colour, then fades out over its last half second.
    const int left = markTimer_.property("left").toInt() - kFadeStepMs;
    markTimer_.setProperty("left", left);
    if (left <= 0) {
      markedLine_ = -1;
      markTimer_.stop();
    }
    UpdateDecorations();
  });
  // Moving the caret off the marked line ends the mark.
  connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
    if (markedLine_ >= 0 && textCursor().blockNumber() != markedLine_) {
      markedLine_ = -1;
      markTimer_.stop();
      UpdateDecorations();
    }
  });
}

ListingView::~ListingView() = default;

void ListingView::AddZoomActions() {
  const auto add = [this](const char* name, const QList<QKeySequence>& keys, auto handler) {
    auto* action = new QAction(this);
    action->setObjectName(name);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, handler);
    addAction(action);
  };
  // Ctrl+= as well: on most layouts "+" needs Shift.
  add("ZoomIn", {QKeySequence(QKeySequence::ZoomIn), QKeySequence("Ctrl+=")},
      [this] { SetFontSize(*this, NextZoomSize(font().pointSizeF(), +1)); });
  add("ZoomOut", {QKeySequence(QKeySequence::ZoomOut)},
      [this] { SetFontSize(*this, NextZoomSize(font().pointSizeF(), -1)); });
  add("ZoomReset", {QKeySequence("Ctrl+0")}, [this] { SetFontSize(*this, kDesignListingSize); });
}

void ListingView::ShowListing(AnalysisPtr analysis, const QString& text, bool keepPlace) {
  const ViewPosition place = keepPlace ? CaptureView(this) : ViewPosition{};
  analysis_ = std::move(analysis);
  highlighter_->SetAnalysis(analysis_);  // before the text, so it is coloured as it loads
  hoverLine_ = -1;
  markedLine_ = -1;
  markTimer_.stop();
  setExtraSelections({});
  emit analysisChanged(analysis_);
  setPlainText(text);
  if (keepPlace) RestoreView(this, place);
}

void ListingView::ShowText(const QString& text) { ShowListing(nullptr, text, false); }

const LineReference* ListingView::ReferenceAtPoint(const QPoint& pos, int* lineOut) const {
  if (!analysis_) return nullptr;
  const QTextCursor cursor = cursorForPosition(pos);
  int column = cursor.positionInBlock();
  // The caret position nearest the point lies left or right of the character under it.
  if (cursorRect(cursor).center().x() > pos.x()) --column;
  if (column < 0) return nullptr;
  const int line = cursor.blockNumber();
  // Past the end of a short line there is no character.
  if (column >= cursor.block().length() - 1) return nullptr;
  if (lineOut != nullptr) *lineOut = line;
  return analysis_->ReferenceAt(static_cast<std::size_t>(line), static_cast<std::size_t>(column));
}

QString ListingView::LabelToolTip(const QPoint& pos) const {
  if (!analysis_) return {};
  int line = -1;
  std::string name;
  if (const LineReference* ref = ReferenceAtPoint(pos, &line)) {
    name = ref->name;
  } else {
    const QTextCursor cursor = cursorForPosition(pos);
    if (static_cast<std::size_t>(cursor.blockNumber()) >= analysis_->lines.size()) return {};
    const auto& l = analysis_->lines[static_cast<std::size_t>(cursor.blockNumber())];
    const auto column = static_cast<std::size_t>(cursor.positionInBlock());
    if (!l.defines || column < l.labelStart || column > l.labelEnd) return {};
    name = *l.defines;
  }
  const Symbol* symbol = analysis_->FindSymbol(name);
  const auto defining = analysis_->LineDefining(name);
  if (symbol == nullptr || !defining) return {};
  const std::size_t n = symbol->referencedFrom.size();
  const QString known =
      symbol->libraryName ? "Library name: " + QString::fromStdString(*symbol->libraryName) + "\n" : QString();
  return QString::fromUtf8(analysis_->lines[*defining].text).trimmed() + "\n" + known +
         (n == 1 ? QString("Referenced from 1 place") : QString("Referenced from %1 places").arg(n));
}

std::optional<int> ListingView::TargetAtCaret() const {
  if (!analysis_) return std::nullopt;
  const QTextCursor cursor = textCursor();
  const auto line = static_cast<std::size_t>(cursor.blockNumber());
  const auto column = static_cast<std::size_t>(cursor.positionInBlock());
  const LineReference* ref = analysis_->ReferenceAt(line, column);
  if (ref == nullptr && column > 0) ref = analysis_->ReferenceAt(line, column - 1);  // the caret just after a name
  if (ref == nullptr) return std::nullopt;
  const auto target = analysis_->LineDefining(ref->name);
  if (!target) return std::nullopt;
  return static_cast<int>(*target);
}

void ListingView::MarkTarget(int line) {
  if (line < 0 || line >= document()->blockCount()) return;
  markedLine_ = line;
  markTimer_.setProperty("left", kTargetMarkMs);
  markTimer_.start();
  UpdateDecorations();
}

void ListingView::UpdateDecorations() {
  QList<QTextEdit::ExtraSelection> selections;
  if (markedLine_ >= 0) {
    // The selection colour, lighter, so the band reads as "here" in any palette.
    QColor band = palette().color(QPalette::Highlight);
    const int left = markTimer_.property("left").toInt();
    const double strength = left >= kFadeMs ? 1.0 : std::max(0.0, static_cast<double>(left) / kFadeMs);
    band.setAlphaF(0.35 * strength);
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(document()->findBlockByNumber(markedLine_));
    mark.format.setBackground(band);
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    selections << mark;
  }
  if (hoverLine_ >= 0) {
    QTextEdit::ExtraSelection link;
    link.cursor = QTextCursor(document()->findBlockByNumber(hoverLine_));
    link.cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, static_cast<int>(hoverStart_));
    link.cursor.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, static_cast<int>(hoverEnd_ - hoverStart_));
    link.format.setFontUnderline(true);
    link.format.setForeground(QColor(0x00, 0x40, 0xC0));
    selections << link;
  }
  setExtraSelections(selections);
}

void ListingView::ShowHover(const QPoint& pos) {
  int line = -1;
  const LineReference* ref = ReferenceAtPoint(pos, &line);
  if (ref == nullptr) {
    if (hoverLine_ >= 0) {
      hoverLine_ = -1;
      viewport()->setCursor(Qt::IBeamCursor);
      UpdateDecorations();
    }
    return;
  }
  if (line == hoverLine_ && ref->start == hoverStart_) return;
  hoverLine_ = line;
  hoverStart_ = ref->start;
  hoverEnd_ = ref->end;
  viewport()->setCursor(Qt::PointingHandCursor);
  UpdateDecorations();
}

bool ListingView::FollowAtPoint(const QPoint& pos) {
  const LineReference* ref = ReferenceAtPoint(pos);
  if (ref == nullptr) return false;
  if (const auto target = analysis_->LineDefining(ref->name)) emit followRequested(static_cast<int>(*target));
  return true;
}

void ListingView::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      if (const auto target = TargetAtCaret()) {
        emit followRequested(*target);
        return;
      }
    } else if (event->key() == Qt::Key_Escape) {
      emit backRequested();
      return;
    }
  }
  QPlainTextEdit::keyPressEvent(event);
}

void ListingView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::BackButton) {
    emit backRequested();
    return;
  }
  if (event->button() == Qt::ForwardButton) {
    emit forwardRequested();
    return;
  }
  QPlainTextEdit::mousePressEvent(event);
}

void ListingView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier) &&
      FollowAtPoint(event->position().toPoint())) {
    return;
  }
  QPlainTextEdit::mouseReleaseEvent(event);
}

void ListingView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && FollowAtPoint(event->position().toPoint())) return;
  QPlainTextEdit::mouseDoubleClickEvent(event);
}

void ListingView::mouseMoveEvent(QMouseEvent* event) {
  ShowHover(event->position().toPoint());
  QPlainTextEdit::mouseMoveEvent(event);
}

void ListingView::leaveEvent(QEvent* event) {
  ShowHover(QPoint(-1, -1));
  QPlainTextEdit::leaveEvent(event);
}

bool ListingView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = LabelToolTip(help->pos());
    if (tip.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), tip, viewport());
    }
    return true;
  }
  if (event->type() == QEvent::Leave) ShowHover(QPoint(-1, -1));
  return QPlainTextEdit::viewportEvent(event);
}

}  // namespace brevin
