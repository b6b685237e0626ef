#include "dialogs/about.h"

#include "window/shell_support.h"
#include "window/prompt.h"
#include "brevin/version_text.h"

namespace brevin {

QString AboutTitle() { return "About " + ProductTitleText(); }

void ShowAbout() {
  Prompt(AboutTitle(), QString::fromStdString(WhatsNewText()), MessageButtons::Ok, MessageIcon::Information);
}

QString UpgradeNoticeTitle() { return ProductTitleText() + " - " + QString::fromStdString(VersionText()); }

QString UpgradeNoticeText() { return "Congratulations on upgrading to " + QString::fromStdString(WhatsNewText()); }

}  // namespace brevin
