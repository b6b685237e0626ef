// The program's own icons: the application icon and the toolbar set, drawn
// from SVGs in the Qt resource so the toolbar looks the same with or without
// an icon theme. Disabled buttons get a clearly dimmed, grey version.
#pragma once

#include <QIcon>
#include <QString>

namespace brevin {

// The application icon (also installed for the desktop menu).
QIcon ApplicationIcon();

// The toolbar button's icon, by its tool-tip text ("Open", "Print", ...); a
// null icon for an unknown button.
QIcon ToolbarIcon(const QString& toolTip);

// The resource path of an icon, e.g. ":/brevin/toolbar/open.svg".
QString ToolbarIconPath(const QString& toolTip);

}  // namespace brevin
