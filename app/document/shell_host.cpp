#include "document/shell_host.h"

#include <QFile>

#include "window/shell_support.h"
#include "window/prompt.h"
#include "propeller_tool.h"

namespace brevin {

Options ShellHost::LoadOptions() { return options_(); }

MessageAnswer ShellHost::ShowMessage(const std::string& title, const std::string& text, MessageButtons buttons,
                                     MessageIcon icon) {
  return Prompt(QString::fromStdString(title), QString::fromStdString(text), buttons, icon);
}

bool ShellHost::PropellerToolRunning() { return platform::PropellerToolRunning(); }

bool ShellHost::DeveloperMode() { return Process().DeveloperMode; }

std::string ShellHost::SourcePathFor(const std::string& imagePath) {
  const QString path = sourcePath_();
  if (path.isEmpty()) return Host::SourcePathFor(imagePath);
  return QFile::encodeName(path).toStdString();
}

}  // namespace brevin
