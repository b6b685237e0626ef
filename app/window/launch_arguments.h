// The program's arguments: the "/" switches and at most one image to open.
#pragma once

#include <QString>
#include <QStringList>

namespace brevin {

struct LaunchArguments {
  // The arguments without the image, joined by blanks: what the switch test reads.
  QString commandLine;
  // The image to open after start-up, as an absolute path; empty when none was given.
  QString imagePath;
};

// The switches the program knows, in upper case.
const QStringList& KnownSwitches();

// The image is the first argument that is not a switch (one that starts with a
// known switch in any letter case and names no existing file). It is taken out
// of the command line, so a folder such as ".../Download/..." in its path is
// never mistaken for a switch. A relative path is taken from currentFolder.
LaunchArguments SplitLaunchArguments(const QStringList& arguments, const QString& currentFolder);

// What "--help" or "--version" asks for (the first of them given), for
// standard output before any window is made; empty when neither is given.
QString InformationText(const QStringList& arguments);

// The usage error of the arguments, in getopt's words ("unrecognized option
// '--bogus'"), or empty. Before "--", an argument that starts with "--" is an
// option: --help, --version or one of Qt's own (--platform, --style, ...);
// "/" switches and file names are not options.
QString UsageProblem(const QStringList& arguments);

// Why no window can open here, or empty: the desktop's display is unknown
// (neither DISPLAY nor WAYLAND_DISPLAY set) and no Qt platform was chosen with
// QT_QPA_PLATFORM or -platform (nor a display with -display). Qt would abort;
// the program says so instead.
QString MissingDisplay(const QStringList& arguments);

}  // namespace brevin
