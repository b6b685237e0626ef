// Recently used files: the list behind the File menu's numbered entries.
//
// The list holds full paths, most recent first, at most 11, no two equal when
// compared without regard to letter case. Entries 0 to 7 are shown in the menu;
// all of them are kept in section "Mru", keys "1" to "11".
#pragma once

#include <QStringList>
#include <array>

class QAction;

namespace brevin {

class SettingsStore;

inline constexpr int kMruMenuItems = 8;
inline constexpr int kMruEntries = 11;

// The menu items the list is shown through.
struct RecentMenu {
  std::array<QAction*, kMruMenuItems> items{};
  QAction* separator = nullptr;  // the separator above the entries
  QAction* flush = nullptr;      // Options > "Flush &Files Used List"
};

// Puts path at the top of the list (the list only; the caller rebuilds the menu).
void AddRecentFile(QStringList& list, const QString& path);

// Captions "&1 name" to "&8 name" for entries 0 to 7; hides the items without an
// entry, shows the separator with item 0 and enables the flush item with it.
void RebuildRecentMenu(const QStringList& list, const RecentMenu& menu);

// The stored entries "1" to "11" that are not empty and name an existing file.
QStringList LoadRecentFiles(const SettingsStore& store);

// Entry i to key i + 1; the keys above the list's length are emptied, so a path
// dropped from the list cannot come back at the next start.
void SaveRecentFiles(SettingsStore& store, const QStringList& list);

// Empties keys "1" to "11" and the list.
void FlushRecentFiles(SettingsStore& store, QStringList& list);

}  // namespace brevin
