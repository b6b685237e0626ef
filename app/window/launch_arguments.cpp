#include "window/launch_arguments.h"

#include <QDir>
#include <QFileInfo>

#include "brevin/version_text.h"

namespace brevin {

const QStringList& KnownSwitches() {
  static const QStringList switches = {"/VIEW", "/VIEWER", "/DOWNLOAD", "/NOLOAD", "/RELAUNCH:WINXP"};
  return switches;
}

namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

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

QString InformationText(const QStringList& arguments) {
  for (const QString& argument : arguments) {
    if (argument == "--") break;
    if (argument == "--help") {
      return "Usage: Brevin [IMAGE] [/NOLOAD] [/DOWNLOAD]\n"
             "Opens the window of the " + Text(ProductTitle) +
             ";\n"
             "IMAGE, when given, is disassembled once the window is up.\n"
             "\n"
             "Switches (in any letter case):\n"
             "  /NOLOAD          do not reopen the last image\n"
             "  /DOWNLOAD        open the port dialog instead of the disassembler\n"
             "  /VIEW, /VIEWER   open the disassembler under another program name\n"
             "  /RELAUNCH:WINXP  start as a first instance\n"
             "  --help           this text\n"
             "  --version        the version\n"
             "\n"
             "The listing without a window: brevin-cli --help.\n";
    }
    if (argument == "--version") {
      return "Brevin " + Text(PackageVersion) + "\n" + Text(ProductTitle) + " - " +
             QString::fromStdString(VersionText()) + "\n" + Text(LicenceLine) + "\n";
    }
  }
  return QString();
}

}  // namespace brevin
