// Runs the shell test classes in one application. Without XDG_CONFIG_HOME (a
// run outside CTest) the settings go to a temporary folder, never to the user's.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int RunStartupTests(int argc, char** argv);
int RunWindowTests(int argc, char** argv);
int RunSettingsTests(int argc, char** argv);
int RunFindTests(int argc, char** argv);
int RunDebugWindowTests(int argc, char** argv);
int RunAutoReloadTests(int argc, char** argv);
int RunOutputTests(int argc, char** argv);
int RunDesktopTests(int argc, char** argv);
int RunWrapperTests(int argc, char** argv);
int RunFileSearchTests(int argc, char** argv);
int RunPropellerToolTests(int argc, char** argv);
int RunPortTests(int argc, char** argv);
int RunSystemInfoTests(int argc, char** argv);
int RunAccessibilityTests(int argc, char** argv);
int RunNavigationTests(int argc, char** argv);
int RunHandOverTests(int argc, char** argv);
int RunTraceAllMethodsTests(int argc, char** argv);
int RunLibraryNamesTests(int argc, char** argv);
int RunSpinSourceTests(int argc, char** argv);
int RunMenuKeyTests(int argc, char** argv);
int RunDockLayoutTests(int argc, char** argv);
int RunPlacementProbe(int argc, char** argv);

int main(int argc, char** argv) {
  QTemporaryDir scratch;
  if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath("config")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(scratch.filePath("runtime")));
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME"));
  QDir().mkpath(qEnvironmentVariable("XDG_RUNTIME_DIR"));
  QFile::setPermissions(qEnvironmentVariable("XDG_RUNTIME_DIR"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  // A second process of the placement test, started with its own scale factor.
  if (argc > 1 && QByteArray(argv[1]) == "--placement-probe") return RunPlacementProbe(argc, argv);

  QApplication app(argc, argv);
  int failures = 0;
  failures += RunStartupTests(argc, argv);
  failures += RunWindowTests(argc, argv);
  failures += RunSettingsTests(argc, argv);
  failures += RunFindTests(argc, argv);
  failures += RunDebugWindowTests(argc, argv);
  failures += RunAutoReloadTests(argc, argv);
  failures += RunOutputTests(argc, argv);
  failures += RunDesktopTests(argc, argv);
  failures += RunWrapperTests(argc, argv);
  failures += RunFileSearchTests(argc, argv);
  failures += RunPropellerToolTests(argc, argv);
  failures += RunPortTests(argc, argv);
  failures += RunSystemInfoTests(argc, argv);
  failures += RunAccessibilityTests(argc, argv);
  failures += RunNavigationTests(argc, argv);
  failures += RunHandOverTests(argc, argv);
  failures += RunTraceAllMethodsTests(argc, argv);
  failures += RunLibraryNamesTests(argc, argv);
  failures += RunSpinSourceTests(argc, argv);
  failures += RunMenuKeyTests(argc, argv);
  failures += RunDockLayoutTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
