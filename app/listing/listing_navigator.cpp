#include "listing/listing_navigator.h"

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>

#include "desktop/desktop_icons.h"
#include "dialogs/go_to_dialog.h"
#include "listing/image_map.h"
#include "listing/listing_highlighter.h"
#include "listing/listing_view.h"
#include "listing/outline_dock.h"
#include "window/settings_store.h"

namespace brevin {

ListingNavigator::ListingNavigator(QMainWindow& window, ListingView& view, SettingsStore& store)
    : QObject(&window), view_(view), store_(store) {
  setObjectName("ListingNavigator");
  view_.Highlighter()->SetEnabled(store_.ReadBool("Settings", "Colours", true));

  outline_ = new OutlineDock(&window);
  window.addDockWidget(Qt::LeftDockWidgetArea, outline_);
  window.resizeDocks({outline_}, {190}, Qt::Horizontal);  // the listing keeps most of the width
  connect(outline_, &OutlineDock::addressChosen, this, &ListingNavigator::JumpToAddress);

  map_ = new ImageMap;
  mapDock_ = new QDockWidget(&window);
  mapDock_->setObjectName("ImageMapDock");
  mapDock_->setAccessibleName("Image map dock");
  mapDock_->setWindowTitle("Image map");  // what a screen reader says for a dock (its title bar is hidden)
  mapDock_->setTitleBarWidget(new QWidget(mapDock_));  // a bare strip, no title bar
  mapDock_->setFeatures(QDockWidget::NoDockWidgetFeatures);
  mapDock_->setWidget(map_);
  window.addDockWidget(Qt::RightDockWidgetArea, mapDock_);
  connect(map_, &ImageMap::addressChosen, this, &ListingNavigator::JumpToAddress);
  // A drag moves the view without filling the history with every step; its click was recorded.
  connect(map_, &ImageMap::addressDragged, this, [this](std::int32_t address) {
    if (const auto line = analysis_ ? analysis_->LineAtAddress(address) : std::nullopt) MoveTo(static_cast<int>(*line));
  });

  BuildActions(window);
  connect(&view_, &ListingView::analysisChanged, this, &ListingNavigator::SetAnalysis);
  connect(&view_, &ListingView::followRequested, this, &ListingNavigator::JumpToLine);
  connect(&view_, &ListingView::backRequested, this, &ListingNavigator::Back);
  connect(&view_, &ListingView::forwardRequested, this, &ListingNavigator::Forward);
  connect(&view_, &QPlainTextEdit::cursorPositionChanged, this, &ListingNavigator::UpdatePosition);
  connect(view_.verticalScrollBar(), &QScrollBar::valueChanged, this, &ListingNavigator::UpdateViewRange);
  connect(view_.verticalScrollBar(), &QScrollBar::rangeChanged, this, &ListingNavigator::UpdateViewRange);
}

ListingHighlighter* ListingNavigator::Highlighter() const { return view_.Highlighter(); }

const LineReference* ListingNavigator::ReferenceAtPoint(const QPoint& pos, int* line) const {
  return view_.ReferenceAtPoint(pos, line);
}

QString ListingNavigator::LabelToolTip(const QPoint& pos) const { return view_.LabelToolTip(pos); }

ListingNavigator::~ListingNavigator() = default;

void ListingNavigator::BuildActions(QMainWindow& window) {
  goTo_ = new QAction("&Go To ...", &window);
  goTo_->setObjectName("goTo");
  goTo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  connect(goTo_, &QAction::triggered, this, &ListingNavigator::ShowGoTo);

  // The program's own arrows, like the other toolbar buttons; the style's where they are missing.
  QStyle* style = window.style();
  auto icon = [style](const QString& tip, QStyle::StandardPixmap fallback) {
    const QIcon own = ToolbarIcon(tip);
    return own.isNull() ? style->standardIcon(fallback) : own;
  };
  backAction_ = new QAction(icon("Back", QStyle::SP_ArrowBack), "&Back", &window);
  backAction_->setObjectName("back");
  backAction_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
  backAction_->setToolTip("Back");
  connect(backAction_, &QAction::triggered, this, &ListingNavigator::Back);
  forwardAction_ = new QAction(icon("Forward", QStyle::SP_ArrowForward), "F&orward", &window);
  forwardAction_->setObjectName("forward");
  forwardAction_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
  forwardAction_->setToolTip("Forward");
  connect(forwardAction_, &QAction::triggered, this, &ListingNavigator::Forward);

  colours_ = new QAction("S&yntax Colours", &window);
  colours_->setObjectName("colours");
  colours_->setCheckable(true);
  colours_->setChecked(view_.Highlighter()->Enabled());
  connect(colours_, &QAction::toggled, this, [this](bool on) {
    view_.Highlighter()->SetEnabled(on);
    store_.WriteBool("Settings", "Colours", on);
  });

  UpdateHistoryActions();
}

void ListingNavigator::SetAnalysis(const AnalysisPtr& analysis) {
  analysis_ = analysis;
  outline_->SetAnalysis(analysis_);
  map_->SetAnalysis(analysis_);
  back_.clear();
  forward_.clear();
  UpdateHistoryActions();
}

std::optional<int> ListingNavigator::Resolve(const QString& input) const {
  if (!analysis_) return std::nullopt;
  const QString text = input.trimmed();
  const bool dollar = text.startsWith('$');
  if (!dollar) {
    if (const auto line = analysis_->LineDefining(text.toStdString())) return static_cast<int>(*line);
    // A name the library gives ("tx", or "FullDuplexSerial.tx" inside that object).
    if (const auto known = analysis_->LibraryNameAddress(text.toStdString())) {
      if (const auto line = analysis_->LineAtAddress(*known)) return static_cast<int>(*line);
    }
  }
  const QString digits = dollar ? text.mid(1) : text;
  bool ok = false;
  const uint address = digits.toUInt(&ok, 16);
  if (!ok || digits.isEmpty() || digits.size() > 4 || address > 0x7FFF) return std::nullopt;
  if (const auto line = analysis_->LineAtAddress(static_cast<std::int32_t>(address))) return static_cast<int>(*line);
  return std::nullopt;
}

int ListingNavigator::CurrentLine() const { return view_.textCursor().blockNumber(); }

int ListingNavigator::VisibleLines() const {
  const int spacing = std::max(1, view_.fontMetrics().lineSpacing());
  return std::max(1, view_.viewport()->height() / spacing);
}

void ListingNavigator::MoveTo(int line) {
  const QTextBlock block = view_.document()->findBlockByNumber(line);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  view_.setTextCursor(cursor);
  // The listing does not wrap, so the scroll bar counts lines: the target goes to the upper third.
  view_.verticalScrollBar()->setValue(std::max(0, line - VisibleLines() / 3));
  // A thin caret is easy to lose after a long jump: the line itself is marked.
  view_.MarkTarget(line);
}

void ListingNavigator::JumpToLine(int line) {
  if (line < 0 || line >= view_.document()->blockCount()) return;
  const int from = CurrentLine();
  if (from != line) {
    back_.push_back(from);
    forward_.clear();
  }
  MoveTo(line);
  UpdateHistoryActions();
}

void ListingNavigator::JumpToAddress(std::int32_t address) {
  if (!analysis_) return;
  if (const auto line = analysis_->LineAtAddress(address)) JumpToLine(static_cast<int>(*line));
}

bool ListingNavigator::FollowAtCaret() {
  const auto target = view_.TargetAtCaret();
  if (!target) return false;
  JumpToLine(*target);
  return true;
}

void ListingNavigator::Back() {
  if (back_.empty()) return;
  forward_.push_back(CurrentLine());
  const int line = back_.back();
  back_.pop_back();
  MoveTo(line);
  UpdateHistoryActions();
}

void ListingNavigator::Forward() {
  if (forward_.empty()) return;
  back_.push_back(CurrentLine());
  const int line = forward_.back();
  forward_.pop_back();
  MoveTo(line);
  UpdateHistoryActions();
}

void ListingNavigator::ShowGoTo() {
  if (dialog_ == nullptr) {
    dialog_ = new GoToDialog([this](const QString& text) { return Resolve(text); }, view_.window());
    connect(dialog_, &GoToDialog::lineChosen, this, &ListingNavigator::JumpToLine);
  }
  dialog_->Input()->clear();
  dialog_->Problem()->clear();
  dialog_->open();  // window-modal without a nested event loop
  dialog_->Input()->setFocus();
}

void ListingNavigator::UpdateHistoryActions() {
  backAction_->setEnabled(!back_.empty());
  forwardAction_->setEnabled(!forward_.empty());
}

std::optional<std::int32_t> ListingNavigator::AddressNear(int line, int direction) const {
  if (!analysis_) return std::nullopt;
  const int count = static_cast<int>(analysis_->lines.size());
  // A few lines are enough: blanks, markers and source lines come in short runs.
  for (int i = line, steps = 0; i >= 0 && i < count && steps < 200; i += direction, ++steps) {
    if (const auto& a = analysis_->lines[static_cast<std::size_t>(i)].address) return *a;
  }
  return std::nullopt;
}

void ListingNavigator::UpdatePosition() {
  if (!analysis_) return;
  const auto address = AddressNear(CurrentLine(), -1);
  outline_->ShowPosition(address.value_or(-1));
}

void ListingNavigator::UpdateViewRange() {
  if (!analysis_) return;
  const int first = view_.verticalScrollBar()->value();
  const int last = first + VisibleLines() - 1;
  const auto from = AddressNear(first, 1);
  const auto to = AddressNear(last, -1);
  if (from && to && *to >= *from) map_->SetViewRange(*from, *to);
}

}  // namespace brevin
