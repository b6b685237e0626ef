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

// Qt's own command-line options (QGuiApplication's and QApplication's), which
// Qt takes with one dash or two.
bool IsQtOption(const QString& name) {
  static const QStringList options = {"platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
                                      "qwindowgeometry", "qwindowicon", "qwindowtitle", "reverse", "session",
                                      "display", "geometry", "style", "stylesheet", "widgetcount"};
  return options.contains(name.section('=', 0, 0));
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

QString UsageProblem(const QStringList& arguments) {
  for (const QString& argument : arguments) {
    // What comes after --help or --version is not read, as getopt would not.
    if (argument == "--" || argument == "--help" || argument == "--version") break;
    if (!argument.startsWith("--")) continue;
    if (IsQtOption(argument.mid(2))) continue;
    if (argument.startsWith("--help=") || argument.startsWith("--version=")) {
      return "option '" + argument.section('=', 0, 0) + "' doesn't allow an argument";
    }
    return "unrecognized option '" + argument + "'";
  }
  return QString();
}

QString MissingDisplay(const QStringList& arguments) {
  if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
      !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    return QString();
  }
  for (const QString& argument : arguments) {
    if (argument == "--") break;
    if (argument == "-platform" || argument == "--platform" || argument == "-display" || argument == "--display") {
      return QString();
    }
  }
  return "no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
         "brevin-cli lists an image without one";
}

}  // namespace brevin
