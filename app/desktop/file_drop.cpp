#include "desktop/file_drop.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>

#include <QMainWindow>
#include "window/shell_support.h"

namespace brevin {

QStringList LocalFiles(const QList<QUrl>& urls) {
  QStringList files;
  for (const QUrl& url : urls) {
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) files << url.toLocalFile();
  }
  return files;
}

FileDropOpener::FileDropOpener(QMainWindow& window, QPlainTextEdit& listing, std::function<void(const QString&)> open)
    : QObject(&window), window_(window), open_(std::move(open)) {
  window.setAcceptDrops(true);
  window.installEventFilter(this);
  // The read-only listing area would otherwise refuse the drag itself.
  listing.viewport()->setAcceptDrops(true);
  listing.viewport()->installEventFilter(this);
}

bool FileDropOpener::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (!drag->mimeData()->hasUrls() || LocalFiles(drag->mimeData()->urls()).isEmpty()) return false;
      drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QStringList files = LocalFiles(drop->mimeData()->urls());
      if (files.isEmpty()) return false;
      drop->acceptProposedAction();
      const QString first = files.front();
      if (files.size() > 1) {
        window_.statusBar()->showMessage(
            QString("%1 files dropped: opened the first, %2").arg(files.size()).arg(FileNameOf(first)), 10000);
      }
      QTimer::singleShot(0, &window_, [this, first] { open_(first); });
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace brevin
