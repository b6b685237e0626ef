#include "dialogs/system_info.h"

#include <QStringList>

#include "window/prompt.h"
#include "window/shell_support.h"
#include "brevin/version_text.h"
#include "system_version.h"

namespace brevin {

QString SystemInformationText(const QString& systemVersion) {
  QString folder = Process().AppFolder;
  if (folder.endsWith('/') && folder.size() > 1) folder.chop(1);
  const QStringList lines = {
      ProductTitleText() + " - " + QString::fromStdString(VersionText()),
      QString(),
      "System Version :\t" + systemVersion,
      QString("Themes Enabled :\t") + (platform::ThemesActive() ? "Yes" : "No"),
      QString(),
      "App Path :\t" + folder,
      "App ExeName :\t" + Process().ExeName,
  };
  return lines.join("\r\n");
}

QString SystemInformationText() {
  return SystemInformationText(QString::fromStdString(platform::SystemVersionName()));
}

void ShowSystemInformation() {
  Prompt("System Information", SystemInformationText(), MessageButtons::Ok, MessageIcon::Information);
}

}  // namespace brevin
