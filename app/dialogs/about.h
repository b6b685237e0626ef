// The about box and the upgrade notice, built from the version texts.
#pragma once

#include <QString>

namespace brevin {

// "About " + the product title.
QString AboutTitle();
// The information box of Help "&About ...": the what's-new text.
void ShowAbout();

// The start-up notice after a new version was installed.
QString UpgradeNoticeTitle();
QString UpgradeNoticeText();

}  // namespace brevin
