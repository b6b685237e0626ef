#include "listing/listing_navigator.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QToolBar>
#include <QToolTip>

#include "desktop/desktop_icons.h"
#include "dialogs/go_to_dialog.h"
#include "listing/image_map.h"
#include "listing/listing_highlighter.h"
#include "window/main_window.h"
#include "listing/outline_dock.h"
#include "window/settings_store.h"

namespace brevin {

namespace {
// A menu of the menu bar by its title without the accelerator mark ("Edit").
QMenu* MenuTitled(QMainWindow& window, const QString& title) {
  for (QAction* action : window.menuBar()->actions()) {
    if (action->menu() != nullptr && action->text().remove('&') == title) return action->menu();
  }
  return nullptr;
}

// The action of a menu after which to insert (its first entry whose text starts so), or null.
QAction* ActionAfter(QMenu* menu, const QString& prefix) {
  const QList<QAction*> actions = menu->actions();
  for (int i = 0; i < actions.size(); ++i) {
    if (actions[i]->text().remove('&').startsWith(prefix)) return i + 1 < actions.size() ? actions[i + 1] : nullptr;
  }
  return nullptr;
}
}  // namespace

ListingNavigator::ListingNavigator(MainWindow& window, SettingsStore& store)
    : QObject(&window), editor_(window.txtDisplay), store_(store) {
  setObjectName("ListingNavigator");
  highlighter_ = new ListingHighlighter(editor_->document());
  highlighter_->SetEnabled(store_.ReadBool("Settings", "Colours", true));

  outline_ = new OutlineDock(&window);
  window.addDockWidget(Qt::LeftDockWidgetArea, outline_);
  window.resizeDocks({outline_}, {190}, Qt::Horizontal);  // the listing keeps most of the width
  connect(outline_, &OutlineDock::addressChosen, this, &ListingNavigator::JumpToAddress);

  map_ = new ImageMap;
  mapDock_ = new QDockWidget(&window);
  mapDock_->setObjectName("ImageMapDock");
  mapDock_->setAccessibleName("Image map dock");
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
  editor_->installEventFilter(this);
  editor_->viewport()->installEventFilter(this);
  editor_->viewport()->setMouseTracking(true);
  connect(editor_, &QPlainTextEdit::cursorPositionChanged, this, &ListingNavigator::UpdatePosition);
  connect(editor_->verticalScrollBar(), &QScrollBar::valueChanged, this, &ListingNavigator::UpdateViewRange);
  connect(editor_->verticalScrollBar(), &QScrollBar::rangeChanged, this, &ListingNavigator::UpdateViewRange);
}

ListingNavigator::~ListingNavigator() = default;

void ListingNavigator::BuildActions(MainWindow& window) {
  goTo_ = new QAction("&Go To ...", &window);
  goTo_->setObjectName("mnuEdit_GoTo");
  goTo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  connect(goTo_, &QAction::triggered, this, &ListingNavigator::ShowGoTo);

  // The program's own arrows, like the other toolbar buttons; the style's where they are missing.
  QStyle* style = window.style();
  auto icon = [style](const QString& tip, QStyle::StandardPixmap fallback) {
    const QIcon own = ToolbarIcon(tip);
    return own.isNull() ? style->standardIcon(fallback) : own;
  };
  backAction_ = new QAction(icon("Back", QStyle::SP_ArrowBack), "Back", &window);
  backAction_->setObjectName("mnuEdit_Back");
  backAction_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
  backAction_->setToolTip("Back");
  connect(backAction_, &QAction::triggered, this, &ListingNavigator::Back);
  forwardAction_ = new QAction(icon("Forward", QStyle::SP_ArrowForward), "Forward", &window);
  forwardAction_->setObjectName("mnuEdit_Forward");
  forwardAction_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
  forwardAction_->setToolTip("Forward");
  connect(forwardAction_, &QAction::triggered, this, &ListingNavigator::Forward);

  colours_ = new QAction("Colours", &window);
  colours_->setObjectName("mnuView_Colours");
  colours_->setCheckable(true);
  colours_->setChecked(highlighter_->Enabled());
  connect(colours_, &QAction::toggled, this, [this](bool on) {
    highlighter_->SetEnabled(on);
    store_.WriteBool("Settings", "Colours", on);
  });

  if (QMenu* edit = MenuTitled(window, "Edit")) {
    QAction* before = ActionAfter(edit, "Find Next");
    edit->insertSeparator(before);
    edit->insertAction(before, goTo_);
    edit->insertAction(before, backAction_);
    edit->insertAction(before, forwardAction_);
  } else {
    window.addAction(goTo_);
    window.addAction(backAction_);
    window.addAction(forwardAction_);
  }
  if (QMenu* view = MenuTitled(window, "View")) {
    view->addSeparator();
    view->addAction(colours_);
    view->addAction(outline_->toggleViewAction());
  } else {
    window.addAction(colours_);
  }
  if (window.Toolbar != nullptr) {
    window.Toolbar->addSeparator();
    window.Toolbar->addAction(backAction_);
    window.Toolbar->addAction(forwardAction_);
  }
  UpdateHistoryActions();
}

void ListingNavigator::SetAnalysis(AnalysisPtr analysis) {
  analysis_ = std::move(analysis);
  highlighter_->SetAnalysis(analysis_);
  outline_->SetAnalysis(analysis_);
  map_->SetAnalysis(analysis_);
  back_.clear();
  forward_.clear();
  hoverLine_ = -1;
  editor_->setExtraSelections({});
  UpdateHistoryActions();
}

std::optional<int> ListingNavigator::Resolve(const QString& input) const {
  if (!analysis_) return std::nullopt;
  const QString text = input.trimmed();
  const bool dollar = text.startsWith('$');
  if (!dollar) {
    if (const auto line = analysis_->LineDefining(text.toStdString())) return static_cast<int>(*line);
  }
  const QString digits = dollar ? text.mid(1) : text;
  bool ok = false;
  const uint address = digits.toUInt(&ok, 16);
  if (!ok || digits.isEmpty() || digits.size() > 4 || address > 0x7FFF) return std::nullopt;
  if (const auto line = analysis_->LineAtAddress(static_cast<std::int32_t>(address))) return static_cast<int>(*line);
  return std::nullopt;
}

int ListingNavigator::CurrentLine() const { return editor_->textCursor().blockNumber(); }

int ListingNavigator::VisibleLines() const {
  const int spacing = std::max(1, editor_->fontMetrics().lineSpacing());
  return std::max(1, editor_->viewport()->height() / spacing);
}

void ListingNavigator::MoveTo(int line) {
  const QTextBlock block = editor_->document()->findBlockByNumber(line);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  editor_->setTextCursor(cursor);
  // The listing does not wrap, so the scroll bar counts lines: the target goes to the upper third.
  editor_->verticalScrollBar()->setValue(std::max(0, line - VisibleLines() / 3));
}

void ListingNavigator::JumpToLine(int line) {
  if (line < 0 || line >= editor_->document()->blockCount()) return;
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
  if (!analysis_) return false;
  const QTextCursor cursor = editor_->textCursor();
  const auto line = static_cast<std::size_t>(cursor.blockNumber());
  const auto column = static_cast<std::size_t>(cursor.positionInBlock());
  const LineReference* ref = analysis_->ReferenceAt(line, column);
  if (ref == nullptr && column > 0) ref = analysis_->ReferenceAt(line, column - 1);  // the caret just after a name
  if (ref == nullptr) return false;
  const auto target = analysis_->LineDefining(ref->name);
  if (!target) return false;
  JumpToLine(static_cast<int>(*target));
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
    dialog_ = new GoToDialog([this](const QString& text) { return Resolve(text); }, editor_->window());
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
  const int first = editor_->verticalScrollBar()->value();
  const int last = first + VisibleLines() - 1;
  const auto from = AddressNear(first, 1);
  const auto to = AddressNear(last, -1);
  if (from && to && *to >= *from) map_->SetViewRange(*from, *to);
}

const LineReference* ListingNavigator::ReferenceAtPoint(const QPoint& pos, int* lineOut) const {
  if (!analysis_) return nullptr;
  const QTextCursor cursor = editor_->cursorForPosition(pos);
  int column = cursor.positionInBlock();
  // The caret position nearest the point lies left or right of the character under it.
  if (editor_->cursorRect(cursor).center().x() > pos.x()) --column;
  if (column < 0) return nullptr;
  const int line = cursor.blockNumber();
  // Past the end of a short line there is no character.
  if (column >= cursor.block().length() - 1) return nullptr;
  if (lineOut != nullptr) *lineOut = line;
  return analysis_->ReferenceAt(static_cast<std::size_t>(line), static_cast<std::size_t>(column));
}

QString ListingNavigator::LabelToolTip(const QPoint& pos) const {
  if (!analysis_) return {};
  int line = -1;
  std::string name;
  if (const LineReference* ref = ReferenceAtPoint(pos, &line)) {
    name = ref->name;
  } else {
    const QTextCursor cursor = editor_->cursorForPosition(pos);
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
  return QString::fromUtf8(analysis_->lines[*defining].text).trimmed() + "\n" +
         (n == 1 ? QString("Referenced from 1 place") : QString("Referenced from %1 places").arg(n));
}

void ListingNavigator::ShowHover(const QPoint& pos) {
  int line = -1;
  const LineReference* ref = ReferenceAtPoint(pos, &line);
  if (ref == nullptr) {
    if (hoverLine_ >= 0) {
      editor_->setExtraSelections({});
      editor_->viewport()->setCursor(Qt::IBeamCursor);
      hoverLine_ = -1;
    }
    return;
  }
  if (line == hoverLine_ && ref->start == hoverStart_) return;
  hoverLine_ = line;
  hoverStart_ = ref->start;
  QTextEdit::ExtraSelection link;
  link.cursor = QTextCursor(editor_->document()->findBlockByNumber(line));
  link.cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, static_cast<int>(ref->start));
  link.cursor.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, static_cast<int>(ref->end - ref->start));
  link.format.setFontUnderline(true);
  link.format.setForeground(QColor(0x00, 0x40, 0xC0));
  editor_->setExtraSelections({link});
  editor_->viewport()->setCursor(Qt::PointingHandCursor);
}

bool ListingNavigator::eventFilter(QObject* watched, QEvent* event) {
  if (watched == editor_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
      return FollowAtCaret();
    }
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && CanGoBack()) {
      Back();
      return true;
    }
    return false;
  }
  if (watched != editor_->viewport()) return false;
  switch (event->type()) {
    case QEvent::MouseMove:
      ShowHover(static_cast<QMouseEvent*>(event)->position().toPoint());
      return false;
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::BackButton) {
        Back();
        return true;
      }
      if (mouse->button() == Qt::ForwardButton) {
        Forward();
        return true;
      }
      return false;
    }
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const bool ctrlClick = event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton &&
                             (mouse->modifiers() & Qt::ControlModifier);
      const bool doubleClick = event->type() == QEvent::MouseButtonDblClick && mouse->button() == Qt::LeftButton;
      if (!ctrlClick && !doubleClick) return false;
      const LineReference* ref = ReferenceAtPoint(mouse->position().toPoint());
      if (ref == nullptr) return false;
      if (const auto target = analysis_->LineDefining(ref->name)) JumpToLine(static_cast<int>(*target));
      return true;
    }
    case QEvent::ToolTip: {
      auto* help = static_cast<QHelpEvent*>(event);
      const QString tip = LabelToolTip(help->pos());
      if (tip.isEmpty()) {
        QToolTip::hideText();
      } else {
        QToolTip::showText(help->globalPos(), tip, editor_->viewport());
      }
      return true;
    }
    case QEvent::Leave:
      ShowHover(QPoint(-1, -1));
      return false;
    default: return false;
  }
}

}  // namespace brevin
