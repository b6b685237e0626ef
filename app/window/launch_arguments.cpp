#include "window/launch_arguments.h"

#include <QDir>
#include <QFileInfo>

namespace brevin {

const QStringList& KnownSwitches() {
  static const QStringList switches = {"/VIEW", "/VIEWER", "/DOWNLOAD", "/NOLOAD", "/RELAUNCH:WINXP"};
  return switches;
}

namespace {

bool IsSwitch(const QString& argument) {
  if (!argument.startsWith('/') || QFileInfo::exists(argument)) return false;
  const QString upper = argument.toUpper();
  for (const QString& known : KnownSwitches()) {
    if (upper.startsWith(known)) return true;
  }
  return false;
}

}  // namespace

LaunchArguments SplitLaunchArguments(const QStringList& arguments, const QString& currentFolder) {
  LaunchArguments result;
  QStringList rest;
  for (const QString& argument : arguments) {
    if (result.imagePath.isEmpty() && !argument.isEmpty() && !IsSwitch(argument)) {
      result.imagePath = QDir::cleanPath(QDir(currentFolder).absoluteFilePath(argument));
    } else {
      rest << argument;
    }
  }
  result.commandLine = rest.join(' ');
  return result;
}

}  // namespace brevin
