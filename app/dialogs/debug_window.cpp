#include "dialogs/debug_window.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "window/main_window.h"
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
  const char* name;
  const char* caption;  // "-" is a separator
  const char* shortcut;
};

constexpr DebugMenuRow kDebugMenus[] = {
    {"&File", "mnuFile_SaveAs", "Save &As ...", ""},
    {"&File", "", "-", ""},
    {"&File", "mnuFile_Print", "&Print ...", ""},
    {"&File", "mnuFile_PrintSetup", "Printer Set&up ...", ""},
    {"&File", "", "-", ""},
    {"&File", "mnuFile_Exit", "E&xit", ""},
    {"&Edit", "mnuEdit_Copy", "&Copy", ""},
    {"&Edit", "", "-", ""},
    {"&Edit", "mnuEdit_SelectAll", "Select &All", ""},
    {"&Edit", "", "-", ""},
    {"&Edit", "mnuEdit_Find", "&Find ...", "Ctrl+F"},
    {"&Edit", "mnuEdit_FindNext", "Find &Next", "F3"},
};

}  // namespace

DebugWindow::DebugWindow(SettingsStore& store, const QString& saveFile, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowStaysOnTopHint), store_(store), saveFile_(saveFile) {
  setObjectName("DebugWindow");
  setAccessibleName("Debug Info");
  setWindowTitle("Debug Info");
  setAttribute(Qt::WA_DeleteOnClose);

  txtDisplay = new QPlainTextEdit(this);
  txtDisplay->setObjectName("txtDisplay");
  txtDisplay->setAccessibleName("Debug information");
  txtDisplay->setReadOnly(true);
  txtDisplay->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  txtDisplay->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtDisplay->setUndoRedoEnabled(false);  // a read-only trace needs no undo copy of itself
  txtDisplay->setFont(DefaultListingFont());
  setCentralWidget(txtDisplay);
  BuildMenus();

  ChooseSaveFile = [this](const QString& title, const QString& folder, const QString& filter) {
    return ShowSaveDialog(this, SaveRequest{title, folder, QString(), filter.split(";;"), 1});
  };

  resize(640, 480);  // design size
  RestorePlacement(this, store_, "Debug", true);
  if (auto* main = qobject_cast<MainWindow*>(parent)) txtDisplay->setFont(main->txtDisplay->font());
}

void DebugWindow::BuildMenus() {
  QHash<QString, QMenu*> menus;
  for (const DebugMenuRow& row : kDebugMenus) {
    QMenu*& menu = menus[row.menu];
    if (menu == nullptr) {
      menu = menuBar()->addMenu(row.menu);
      menu->setObjectName(row.menu[1] == 'F' ? "mnuFile" : "mnuEdit");
    }
    if (QString(row.caption) == "-") {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(row.caption);
    action->setObjectName(row.name);
    if (*row.shortcut != '\0') {
      action->setShortcut(QKeySequence(row.shortcut));
      action->setShortcutContext(Qt::WindowShortcut);
    }
    items_.insert(row.name, action);
  }
  // Print acts through whoever prints for the program; without one it is disabled.
  connect(menus["&File"], &QMenu::aboutToShow, this, [this] {
    Item("mnuFile_Print")->setEnabled(isSignalConnected(QMetaMethod::fromSignal(&DebugWindow::printRequested)));
  });
  connect(Item("mnuFile_SaveAs"), &QAction::triggered, this, &DebugWindow::SaveAs);
  connect(Item("mnuFile_Print"), &QAction::triggered, this,
          [this] { WithoutTopmost([this] { emit printRequested(txtDisplay); }); });
  connect(Item("mnuFile_PrintSetup"), &QAction::triggered, this,
          [this] { WithoutTopmost([this] { emit printSetupRequested(); }); });
  connect(Item("mnuFile_Exit"), &QAction::triggered, this, &QWidget::close);
  connect(Item("mnuEdit_Copy"), &QAction::triggered, this, [this] { CopyToClipboard(txtDisplay); });
  connect(Item("mnuEdit_SelectAll"), &QAction::triggered, this, [this] { SelectAllWithoutFlicker(txtDisplay); });
  connect(Item("mnuEdit_Find"), &QAction::triggered, this, [this] { emit findRequested(txtDisplay); });
  connect(Item("mnuEdit_FindNext"), &QAction::triggered, this, [this] { emit findNextRequested(txtDisplay); });
}

void DebugWindow::ClearText() {
  txtDisplay->clear();
  txtDisplay->setUpdatesEnabled(false);
  frozen_ = true;
}

void DebugWindow::AppendTrace(const std::string& text) {
  if (text.empty()) return;
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  if (!frozen_) {
    txtDisplay->setUpdatesEnabled(false);
    frozen_ = true;
  }
  if (txtDisplay->document()->isEmpty()) {
    txtDisplay->setPlainText(shown);
  } else {
    // One insertion at the end: the earlier text is not laid out again.
    QTextCursor end(txtDisplay->document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
  }
}

void DebugWindow::EndOutput() {
  QTextCursor start(txtDisplay->document());
  txtDisplay->setTextCursor(start);
  txtDisplay->setUpdatesEnabled(true);
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
  QString text = txtDisplay->toPlainText();
  text.replace('\n', "\r\n");
  const QString reason = WriteFileAtomically(chosen, text.toUtf8());
  if (!reason.isEmpty()) {
    Prompt(ProductTitleText(), CannotWriteText(chosen, reason), MessageButtons::Ok, MessageIcon::Warning);
  }
}

void DebugWindow::closeEvent(QCloseEvent* event) {
  SavePlacement(this, store_, "Debug", true);
  QMainWindow::closeEvent(event);
}

}  // namespace brevin
