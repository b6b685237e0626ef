// What a desktop user expects of the main window beyond its menus: the
// application icon, opening dropped files and the full path of each recent
// file as its tool-tip.
#pragma once

#include <QString>
#include <functional>

class QMainWindow;
class QMenu;
class QPlainTextEdit;

namespace brevin {

// The reverse-DNS name of the program on the desktop: its .desktop file,
// icon, MIME package and metainfo are installed under this name.
inline constexpr const char* kDesktopId = "org.brevin.brevin";

// open: what a dropped file goes to (as if chosen in the Open dialog).
void ApplyDesktopIntegration(QMainWindow& window, QPlainTextEdit& listing, QMenu* fileMenu,
                             std::function<void(const QString&)> open);

}  // namespace brevin
