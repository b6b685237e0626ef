#include "document/shell_host.h"

#include <QFile>

#include "window/shell_support.h"
#include "window/prompt.h"
#include "library_files.h"
#include "propeller_tool.h"

namespace brevin {

Options ShellHost::LoadOptions() { return options_(); }

MessageAnswer ShellHost::ShowMessage(const std::string& title, const std::string& text, MessageButtons buttons,
                                     MessageIcon icon) {
  return Prompt(QString::fromStdString(title), QString::fromStdString(text), buttons, icon);
}

bool ShellHost::PropellerToolRunning() { return platform::PropellerToolRunning(); }

std::vector<Host::LibraryFile> ShellHost::LibraryFiles() {
  std::vector<LibraryFile> files;
  if (std::string user = platform::UserLibraryPath(); !user.empty()) files.push_back({user, true});
  files.push_back({platform::ShippedLibraryPath(), false});
  return files;
}

bool ShellHost::DeveloperMode() { return Process().DeveloperMode; }

std::string ShellHost::SourcePathFor(const std::string& imagePath) {
  const QString path = sourcePath_();
  if (path.isEmpty()) return Host::SourcePathFor(imagePath);
  return QFile::encodeName(path).toStdString();
}

}  // namespace brevin
