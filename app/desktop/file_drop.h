// Opening an image dropped onto the main window from a file manager.
#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <functional>

class QMainWindow;
class QPlainTextEdit;

namespace brevin {

// The local files among dropped URLs, in their order.
QStringList LocalFiles(const QList<QUrl>& urls);

// Watches the window and its listing area for drags of local files. A drop
// opens the first file as the Open dialog would (after the event, so no
// message box runs inside the drag); more than one file gets a status-bar note.
class FileDropOpener : public QObject {
 public:
  FileDropOpener(QMainWindow& window, QPlainTextEdit& listing, std::function<void(const QString&)> open);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QMainWindow& window_;
  std::function<void(const QString&)> open_;
};

}  // namespace brevin
