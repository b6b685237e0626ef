// Shared helpers of the shell tests: a scripted prompt, fresh settings, a window
// started as the program starts it, and copies of sample images.
#pragma once

#include <QDir>
#include <QFile>
#include <QList>
#include <QQueue>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <memory>

#include "output/printing.h"
#include "window/shell_support.h"
#include "document/document_controller.h"
#include "listing/find_controller.h"
#include "listing/listing_view.h"
#include "tool/port_controller.h"
#include "tool/propeller_tool_install.h"
#include "window/main_window.h"
#include "window/prompt.h"
#include "window/settings_store.h"

namespace brevin::test {

// Answers the questions from a queue (Yes when it is empty), plain messages with
// Ok, and keeps what was asked.
class ScriptedPrompt {
 public:
  ScriptedPrompt() {
    SetPromptFunction([this](const PromptRequest& r) {
      asked.append(r);
      if (r.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
      return answers.isEmpty() ? MessageAnswer::Yes : answers.dequeue();
    });
  }
  ~ScriptedPrompt() { SetPromptFunction({}); }
  ScriptedPrompt(const ScriptedPrompt&) = delete;
  ScriptedPrompt& operator=(const ScriptedPrompt&) = delete;

  // Messages whose text starts with the given text.
  int Count(const QString& textStart) const {
    int n = 0;
    for (const PromptRequest& r : asked) n += r.text.startsWith(textStart) ? 1 : 0;
    return n;
  }

  QList<PromptRequest> asked;
  QQueue<MessageAnswer> answers;
};

inline QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A folder's entries, dot files too: a temporary file left behind would be one.
inline QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Resets the process values and empties the settings store of the program.
inline void FreshProcess() {
  Process() = ProcessValues{};
  Process().AppFolder = "/opt/brevin/";
  Process().ExeName = "Brevin";
  SettingsStore(kSettingsAppName).Clear();
  SettingsStore(kEarlierSettingsAppName).Clear();
}

// A window made and loaded as Main does; null when the load ended the instance.
inline std::unique_ptr<MainWindow> LoadWindow(SettingsStore& store) {
  auto window = std::make_unique<MainWindow>(store);
  if (!window->Start()) return nullptr;
  return window;
}

// The toolbar button whose tool-tip is tip in upper case ("SAVE"); null when none.
inline QAction* ToolbarButton(const MainWindow& w, const QString& tip) {
  for (QAction* button : w.ToolBar()->actions()) {
    if (!button->isSeparator() && button->toolTip().toUpper() == tip) return button;
  }
  return nullptr;
}

// A print service that keeps what it was given, so tests need no printer.
class RecordingPrintService : public PrintService {
 public:
  int Print(const PrintDocument& document) override {
    printed.append(document);
    return error;
  }
  bool Setup(QWidget*) override { return true; }
  QPageLayout::Orientation Orientation() const override { return QPageLayout::Portrait; }
  QList<PrintDocument> printed;
  int error = kPrintOk;
};

// Makes an empty file, and its folders.
inline void Touch(const QString& path) {
  QDir().mkpath(FolderOf(path));
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
}

inline QString SamplePath(const QString& name) { return QString(BREVIN_TEST_DATA) + '/' + name; }

// Copies a sample image into the folder under a new name, returning the new path.
inline QString CopySample(const QTemporaryDir& dir, const QString& sample, const QString& name) {
  const QString target = dir.filePath(name);
  QFile::remove(target);
  QFile::copy(SamplePath(sample), target);
  QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
  return target;
}

}  // namespace brevin::test
