// Start-up values of the process, the command-line switches and small path and
// text helpers of the shell.
#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <functional>

#include "brevin/version_text.h"

namespace brevin {

// The application name under which every setting is stored, and the earlier
// one whose settings are used when an older installation left them.
inline constexpr const char* kSettingsAppName = "Rodoziriz Orad Arodizazezur";
inline constexpr const char* kEarlierSettingsAppName = "Varnel";
// The program's own file name; under any other name it only opens the viewer on request.
inline constexpr const char* kProgramName = "Brevin";
inline constexpr const char* kDownloaderTitle = "Zorvik Downloader for the Propeller Chip";

// ProductTitle as a QString: the main window's design caption and the title of most messages.
inline QString ProductTitleText() {
  return QString::fromUtf8(ProductTitle.data(), static_cast<qsizetype>(ProductTitle.size()));
}

struct ProcessValues {
  QString CommandLine;  // the arguments after the program name, joined by blanks (without ImagePath)
  QString ImagePath;    // the image named on the command line, opened after start-up; may not exist
  QString AppFolder;    // folder of the running program, ending in "/"
  QString ExeName;      // the program's file name as started, without folder and extension
  QString SettingsAppName = kSettingsAppName;
  bool DeveloperMode = false;  // set by BREVIN_DEVELOPER_MODE=1 in the environment
};

// The values of this process, filled in by Main.
ProcessValues& Process();

// True when the upper-cased command line holds the switch followed by a blank,
// by "/", or at its very end.
bool HasSwitch(const QString& commandLine, const QString& upperSwitch);
bool HasSwitch(const QString& upperSwitch);

// English ordinal suffix: "th" for 11, 12 and 13, else "st", "nd", "rd" by the
// last digit, else "th".
QString OrdinalSuffix(long long n);

// Local date and time as "yyyy-mm-dd hh:mm:ss". The date is read before and
// after the time; when it changed in between both are read again.
QString DateTimeStamp();
QString DateTimeStamp(const std::function<QDate()>& today, const std::function<QTime()>& now);

// Path helpers: the part after the last "/", the part before it (empty when
// there is none), the file name without its last extension, and whether a
// file or folder of that name exists (false for an empty path).
QString FileNameOf(const QString& path);
QString FolderOf(const QString& path);
QString BaseNameOf(const QString& path);
bool FileExists(const QString& path);

// "Varnel" when that name's Setup section holds a value, else the current name.
QString ChooseSettingsAppName();

enum class StartWindow { Disassembler, PortDialog, NamesChanged };
// The window to open for the program's file name, switches and mode.
StartWindow ChooseStartWindow(const QString& exeName, const QString& commandLine, bool developerMode);

// The text of the message shown when the program runs under a foreign name.
QString NamesChangedText();

// The program entry: fills Process(), opens one window or none, runs the event loop.
int Main(int argc, char** argv);

}  // namespace brevin
