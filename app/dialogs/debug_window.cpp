#include "dialogs/debug_window.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "listing/listing_view.h"
#include "window/prompt.h"
#include "window/settings_store.h"
#include "window/shell_support.h"
#include "output/save_listing.h"
#include "listing/text_area.h"
#include "window/window_placement.h"

namespace brevin {

namespace {

constexpr const char* kSaveFilter = "Text File (*.txt) (*.txt);;All Files (*.*) (*)";


struct DebugMenuRow {
  const char* menu;  // the menu the item goes in
  DebugCommand command;  // ignored for a separator
  const char* caption;   // "-" is a separator
  const char* shortcut;
};

constexpr DebugMenuRow kDebugMenus[] = {
    {"&File", DebugCommand::SaveAs, "Save &As ...", ""},
    {"&File", DebugCommand::kCount, "-", ""},
    {"&File", DebugCommand::Print, "&Print ...", ""},
    {"&File", DebugCommand::PrintSetup, "Printer Set&up ...", ""},
    {"&File", DebugCommand::kCount, "-", ""},
    {"&File", DebugCommand::Exit, "E&xit", ""},
    {"&Edit", DebugCommand::Copy, "&Copy", ""},
    {"&Edit", DebugCommand::kCount, "-", ""},
    {"&Edit", DebugCommand::SelectAll, "Select &All", ""},
    {"&Edit", DebugCommand::kCount, "-", ""},
    {"&Edit", DebugCommand::Find, "&Find ...", "Ctrl+F"},
    {"&Edit", DebugCommand::FindNext, "Find &Next", "F3"},
};

}  // namespace

DebugWindow::DebugWindow(SettingsStore& store, const QString& saveFile, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowStaysOnTopHint), store_(store), saveFile_(saveFile) {
  setObjectName("DebugWindow");
  setAccessibleName("Debug Info");
  setWindowTitle("Debug Info");
  setAttribute(Qt::WA_DeleteOnClose);

  textView = new QPlainTextEdit(this);
  textView->setObjectName("textView");
  textView->setAccessibleName("Debug information");
  textView->setReadOnly(true);
  textView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  textView->setLineWrapMode(QPlainTextEdit::NoWrap);
  textView->setUndoRedoEnabled(false);  // a read-only trace needs no undo copy of itself
  textView->setFont(DefaultListingFont());
  setCentralWidget(textView);
  BuildMenus();

  ChooseSaveFile = [this](const QString& title, const QString& folder, const QString& filter) {
    return ShowSaveDialog(this, SaveRequest{title, folder, QString(), filter.split(";;"), 1});
  };

  resize(640, 480);  // design size
  RestorePlacement(this, store_, "Debug", true);
  // The listing's font, so both texts read alike.
  if (const auto* listing = parent != nullptr ? parent->findChild<QPlainTextEdit*>("listingView") : nullptr) {
    textView->setFont(listing->font());
  }
}

void DebugWindow::BuildMenus() {
  QHash<QString, QMenu*> menus;
  for (const DebugMenuRow& row : kDebugMenus) {
    QMenu*& menu = menus[row.menu];
    if (menu == nullptr) {
      menu = menuBar()->addMenu(row.menu);
    }
    if (QString(row.caption) == "-") {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(row.caption);
    if (*row.shortcut != '\0') {
      action->setShortcut(QKeySequence(row.shortcut));
      action->setShortcutContext(Qt::WindowShortcut);
    }
    actions_[static_cast<std::size_t>(row.command)] = action;
  }
  // Print acts through whoever prints for the program; without one it is disabled.
  connect(menus["&File"], &QMenu::aboutToShow, this, [this] {
    Action(DebugCommand::Print)->setEnabled(isSignalConnected(QMetaMethod::fromSignal(&DebugWindow::printRequested)));
  });
  connect(Action(DebugCommand::SaveAs), &QAction::triggered, this, &DebugWindow::SaveAs);
  connect(Action(DebugCommand::Print), &QAction::triggered, this,
          [this] { WithoutTopmost([this] { emit printRequested(textView); }); });
  connect(Action(DebugCommand::PrintSetup), &QAction::triggered, this,
          [this] { WithoutTopmost([this] { emit printSetupRequested(); }); });
  connect(Action(DebugCommand::Exit), &QAction::triggered, this, &QWidget::close);
  connect(Action(DebugCommand::Copy), &QAction::triggered, this, [this] { CopyToClipboard(textView); });
  connect(Action(DebugCommand::SelectAll), &QAction::triggered, this, [this] { SelectAllWithoutFlicker(textView); });
  connect(Action(DebugCommand::Find), &QAction::triggered, this, [this] { emit findRequested(textView); });
  connect(Action(DebugCommand::FindNext), &QAction::triggered, this, [this] { emit findNextRequested(textView); });
}

void DebugWindow::ClearText() {
  textView->clear();
  textView->setUpdatesEnabled(false);
  frozen_ = true;
}

void DebugWindow::AppendTrace(const std::string& text) {
  if (text.empty()) return;
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  if (!frozen_) {
    textView->setUpdatesEnabled(false);
    frozen_ = true;
  }
  if (textView->document()->isEmpty()) {
    textView->setPlainText(shown);
  } else {
    // One insertion at the end: the earlier text is not laid out again.
    QTextCursor end(textView->document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
  }
}

void DebugWindow::EndOutput() {
  QTextCursor start(textView->document());
  textView->setTextCursor(start);
  textView->setUpdatesEnabled(true);
  frozen_ = false;
}

bool DebugWindow::Topmost() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

void DebugWindow::SetTopmost(bool on) {
  if (Topmost() == on) return;
  const bool shown = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (shown) show();  // changing the flags hides a window
}

void DebugWindow::WithoutTopmost(const std::function<void()>& dialog) {
  SetTopmost(false);
  dialog();
  SetTopmost(true);
}

void DebugWindow::SaveAs() {
  QString chosen;
  WithoutTopmost([&] {
    chosen = ChooseSaveFile("Save Debugging Information As ...", FolderOf(saveFile_), kSaveFilter);
  });
  if (chosen.isEmpty()) return;
  QString text = textView->toPlainText();
  text.replace('\n', "\r\n");
  const QString reason = WriteOutputFile(chosen, text.toUtf8());
  if (!reason.isEmpty()) {
    Prompt(ProductTitleText(), CannotWriteText(chosen, reason), MessageButtons::Ok, MessageIcon::Warning);
  }
}

void DebugWindow::closeEvent(QCloseEvent* event) {
  SavePlacement(this, store_, "Debug", true);
  QMainWindow::closeEvent(event);
}

}  // namespace brevin
