#include "window/recent_files.h"

#include <QAction>

#include "window/shell_support.h"
#include "window/settings_store.h"

namespace brevin {

namespace {

bool SamePath(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// A caption shows "&" as an access-key marker; a literal one in a file name is doubled.
QString CaptionText(const QString& text) { return QString(text).replace('&', "&&"); }

}  // namespace

void AddRecentFile(QStringList& list, const QString& path) {
  if (list.isEmpty()) {
    list.append(path);
    return;
  }
  if (!SamePath(list.front(), path)) list.prepend(path);
  for (qsizetype i = list.size() - 1; i >= 1; --i) {
    if (SamePath(list[i], path)) list.removeAt(i);
  }
  while (list.size() > kMruEntries) list.removeLast();
}

void RebuildRecentMenu(const QStringList& list, const RecentMenu& menu) {
  for (int i = 0; i < kMruMenuItems; ++i) {
    QAction* item = menu.items[static_cast<std::size_t>(i)];
    if (item == nullptr) continue;
    if (i < list.size() && !list[i].isEmpty()) {
      item->setText('&' + QString::number(i + 1) + ' ' + CaptionText(FileNameOf(list[i])));
      item->setToolTip(list[i]);  // two files of one name from different folders differ here
      item->setData(list[i]);     // marks the item as a recent file (its tool-tip shows in the menu)
      item->setVisible(true);
    } else {
      item->setVisible(false);
    }
  }
  const bool first = menu.items[0] != nullptr && menu.items[0]->isVisible();
  if (menu.separator != nullptr) menu.separator->setVisible(first);
  if (menu.flush != nullptr) menu.flush->setEnabled(first);
}

QStringList LoadRecentFiles(const SettingsStore& store) {
  QStringList list;
  for (int key = 1; key <= kMruEntries; ++key) {
    const QString path = store.ReadText("Mru", QString::number(key));
    if (!path.isEmpty() && FileExists(path)) list.append(path);
  }
  return list;
}

void SaveRecentFiles(SettingsStore& store, const QStringList& list) {
  for (int i = 0; i < kMruEntries; ++i) {
    store.WriteText("Mru", QString::number(i + 1), i < list.size() ? list[i] : QString());
  }
}

void FlushRecentFiles(SettingsStore& store, QStringList& list) {
  for (int key = 1; key <= kMruEntries; ++key) store.WriteText("Mru", QString::number(key), QString());
  list.clear();
}

}  // namespace brevin
