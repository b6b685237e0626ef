// What a desktop user expects of the main window beyond its menus: the
// application icon, opening dropped files, keyboard zoom of the listing and
// the full path of each recent file as its tool-tip.
#pragma once

namespace brevin {

class MainWindow;

// The reverse-DNS name of the program on the desktop: its .desktop file,
// icon, MIME package and metainfo are installed under this name.
inline constexpr const char* kDesktopId = "org.brevin.brevin";

void ApplyDesktopIntegration(MainWindow& window);

}  // namespace brevin
