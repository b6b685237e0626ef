#include "window/shell_support.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "desktop/desktop_icons.h"
#include "desktop/desktop_integration.h"
#include "window/launch_arguments.h"
#include "dialogs/port_dialog.h"
#include "desktop/file_hand_over.h"
#include "window/main_window.h"
#include "instance_guard.h"
#include "window/prompt.h"
#include "window/settings_store.h"
#include "brevin/version_text.h"
#include "system_version.h"

namespace brevin {

ProcessValues& Process() {
  static ProcessValues values;
  return values;
}

bool HasSwitch(const QString& commandLine, const QString& upperSwitch) {
  const QString text = commandLine.toUpper();
  return text.contains(upperSwitch + ' ') || text.contains(upperSwitch + '/') || text.endsWith(upperSwitch);
}

bool HasSwitch(const QString& upperSwitch) { return HasSwitch(Process().CommandLine, upperSwitch); }

QString OrdinalSuffix(long long n) {
  if (n == 11 || n == 12 || n == 13) return "th";
  switch (((n % 10) + 10) % 10) {
    case 1: return "st";
    case 2: return "nd";
    case 3: return "rd";
    default: return "th";
  }
}

QString DateTimeStamp(const std::function<QDate()>& today, const std::function<QTime()>& now) {
  QDate date = today();
  QTime time = now();
  for (QDate again = today(); again != date; again = today()) {
    date = again;
    time = now();
  }
  return date.toString("yyyy-MM-dd") + ' ' + time.toString("HH:mm:ss");
}

QString DateTimeStamp() {
  return DateTimeStamp([] { return QDate::currentDate(); }, [] { return QTime::currentTime(); });
}

QString FileNameOf(const QString& path) { return path.mid(path.lastIndexOf('/') + 1); }

QString FolderOf(const QString& path) {
  const qsizetype slash = path.lastIndexOf('/');
  return slash < 0 ? QString() : path.left(slash);
}

QString BaseNameOf(const QString& path) {
  const QString name = FileNameOf(path);
  const qsizetype dot = name.lastIndexOf('.');
  return dot < 0 ? name : name.left(dot);
}

bool FileExists(const QString& path) { return !path.isEmpty() && QFileInfo(path).isFile(); }

QString ChooseSettingsAppName() {
  const SettingsStore earlier(kEarlierSettingsAppName);
  return earlier.SectionHasValue("Setup") ? QString(kEarlierSettingsAppName) : QString(kSettingsAppName);
}

StartWindow ChooseStartWindow(const QString& exeName, const QString& commandLine, bool developerMode) {
  if (exeName.toUpper() == QString(kProgramName).toUpper()) {
    return HasSwitch(commandLine, "/DOWNLOAD") ? StartWindow::PortDialog : StartWindow::Disassembler;
  }
  if (HasSwitch(commandLine, "/VIEW") || HasSwitch(commandLine, "/VIEWER")) return StartWindow::Disassembler;
  return developerMode ? StartWindow::PortDialog : StartWindow::NamesChanged;
}

QString NamesChangedText() {
  return QStringLiteral("Sorry - The Application names have changed.\r\n\r\n"
                        "You should now be running the Brevin Application to disassemble Propeller Chip bytecode.");
}

namespace {

void FillProcessValues(int argc, char** argv) {
  ProcessValues& p = Process();
  QStringList arguments = QCoreApplication::arguments();
  const QString started = argc > 0 && argv[0] != nullptr ? QFile::decodeName(argv[0]) : QString();
  if (!arguments.isEmpty()) arguments.removeFirst();
  const LaunchArguments launch = SplitLaunchArguments(arguments, QDir::currentPath());
  p.CommandLine = launch.commandLine;
  p.ImagePath = launch.imagePath;
  p.AppFolder = QCoreApplication::applicationDirPath() + '/';
  p.ExeName = BaseNameOf(started.isEmpty() ? QCoreApplication::applicationFilePath() : started);
  p.DeveloperMode = qEnvironmentVariable("BREVIN_DEVELOPER_MODE") == "1";
}

}  // namespace

namespace {

// Ends the process as soon as the window has closed and the settings are on disk.
// Tearing down the application would wait for idle helper threads for a second
// or two. The instance lock stays held to the very end: it goes with the process
// itself, so a relaunch meanwhile still counts this instance.
int EndProcess(MainWindow* window, SettingsStore& store, int status) {
  store.Sync();
  if (window != nullptr) static_cast<void>(window->TakeInstanceGuard().release());
  // Text this program put on the clipboard is handed to the desktop's clipboard
  // manager while the application is torn down; that wait is worth it.
  if (QGuiApplication::clipboard()->ownsClipboard()) return status;
  std::fflush(nullptr);
  std::_Exit(status);
}

}  // namespace

int Main(int argc, char** argv) {
  // A usage error, --help and --version print and end, without a display or a window.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QFile::decodeName(argv[i]);
  if (const QString problem = UsageProblem(arguments); !problem.isEmpty()) {
    std::fprintf(stderr, "Brevin: %s\nTry 'Brevin --help' for more information.\n", problem.toLocal8Bit().constData());
    return 2;
  }
  if (const QString text = InformationText(arguments); !text.isEmpty()) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    if (std::fflush(stdout) == 0 && std::fclose(stdout) == 0) return 0;
    // A reader that went away ends the program quietly, as it ends a GNU tool.
    if (errno == EPIPE) return 141;
    std::fprintf(stderr, "Brevin: standard output: cannot be written: %s\n", std::strerror(errno));
    return 4;
  }
  if (const QString problem = MissingDisplay(arguments); !problem.isEmpty()) {
    std::fprintf(stderr, "Brevin: %s\n", problem.toLocal8Bit().constData());
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(kProgramName);
  QApplication::setApplicationVersion(QString::fromStdString(VersionText()));
  QApplication::setWindowIcon(ApplicationIcon());
  QGuiApplication::setDesktopFileName(kDesktopId);  // ties the windows to the installed menu entry
  FillProcessValues(argc, argv);
  platform::EnsureVisualStyles();
  Process().SettingsAppName = ChooseSettingsAppName();

  // Every copy of the program holds the instance lock for its whole life,
  // whichever window it shows, so a later disassembler window sees it.
  SettingsStore store(Process().SettingsAppName);
  auto guard = std::make_unique<platform::InstanceGuard>(platform::InstanceLockPath(store.FileName().toStdString()));
  switch (ChooseStartWindow(Process().ExeName, Process().CommandLine, Process().DeveloperMode)) {
    case StartWindow::NamesChanged:
      Prompt(kDownloaderTitle, NamesChangedText(), MessageButtons::Ok, MessageIcon::Information);
      return 0;
    case StartWindow::PortDialog: {
      PortDialog dialog(store);
      dialog.show();
      return QApplication::exec();
    }
    case StartWindow::Disassembler:
      break;
  }
  // A FILE for a copy that already runs (opened from the file manager) goes to
  // that copy's window; only when it cannot take it does this copy start.
  const QString handOverSocket = HandOverSocketName(store.FileName());
  if (!Process().ImagePath.isEmpty() && guard->OthersRunning() && HandOverFile(handOverSocket, Process().ImagePath)) {
    return 0;
  }
  MainWindow window(store);
  window.AdoptInstanceGuard(std::move(guard));
  // Messages shown before the window would otherwise end the program when they close.
  QApplication::setQuitOnLastWindowClosed(false);
  if (!window.Start() || window.Closing()) return EndProcess(&window, store, 0);
  QApplication::setQuitOnLastWindowClosed(true);
  FileHandOverServer handOver;
  QObject::connect(&handOver, &FileHandOverServer::fileHandedOver, &window, &MainWindow::OpenHandedOverFile);
  handOver.Listen(handOverSocket);
  return EndProcess(&window, store, QApplication::exec());
}

}  // namespace brevin
