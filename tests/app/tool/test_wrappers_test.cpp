// Test wrappers: the call-line rules, the whole file text, Create For All and
// Delete All, and the failures that must leave nothing behind.
#include <QtTest>
#include <unistd.h>

#include "test_support.h"
#include "tool/test_wrappers.h"

using namespace brevin;
using namespace brevin::test;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QStringList WrapperFiles(const QString& folder) {
  return QDir(folder).entryList({"Wrapper_*"}, QDir::Files, QDir::Name);
}

}  // namespace

class WrapperTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void callLines() {
    QCOMPARE(WrapperCallLine("PUB start(pin, baud, mode) : ok"), QString("  o.start(1,2,3)"));
    QCOMPARE(WrapperCallLine("PUB main"), QString("  o.main"));
    QCOMPARE(WrapperCallLine("PUB go|x"), QString("  o.go"));
    QCOMPARE(WrapperCallLine("PUB   value : result"), QString("  o.value"));
    QCOMPARE(WrapperCallLine("PUB tx(c)'send one"), QString("  o.tx(1)"));
    QCOMPARE(WrapperCallLine("PUB both(a,b"), QString("  o.both(1,2)"));  // no ")" before the line ends
    QCOMPARE(WrapperCallLine("PUB note'x"), QString("  o.note"));
    // A name ended by a blank takes no parameters, whatever follows.
    QCOMPARE(WrapperCallLine("PUB spaced (a, b)"), QString("  o.spaced"));
    QCOMPARE(WrapperCallLine("pub lower"), QString());
    QCOMPARE(WrapperCallLine("PRI hidden(a)"), QString());
    QCOMPARE(WrapperCallLine("PUB"), QString());
    QCOMPARE(WrapperCallLine("PUBLIC x"), QString());
  }

  void wrapperTextSkipsDocumentationComments() {
    const QStringList source = {
        "  PUB start(pin, baud, mode) : ok  ",
        "{{ one-line comment PUB hidden }}",
        "PUB main",
        "{{",
        "PUB insideComment",
        "  }} closing line PUB alsoInside",
        "pub lower",
        "PRI helper",
        "{ PUB curly } ",
        "PUB go|x",
    };
    const QString text = WrapperText("/src/Serial Driver.spin", source);
    const QString expected =
        "\r\n{{\r\nTest Wrapper for /src/Serial Driver.spin\r\n}}\r\n\r\nOBJ\r\n\r\n"
        "  o : \"Serial Driver\"\r\n\r\nPUB TestWrapper_For_Serial Driver\r\n\r\n"
        "  o.start(1,2,3)\r\n  o.main\r\n  o.go\r\n"
        "\r\n  { End of Test Wrapper For Varnel }{ /src/Serial Driver.spin }\r\n\r\n";
    QCOMPARE(text, expected);
    QCOMPARE(WrapperPath("/src/Serial Driver.spin"), QString("/src/Wrapper_Serial Driver.spin"));
  }

  void createForAllSkipsWrappersAndDeleteRemovesThem() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("Blinker.spin"), "PUB on(pin)\r\nPUB off(pin)\r\n");
    WriteFile(dir.filePath("LOUD.SPIN"), "PUB shout\n");
    WriteFile(dir.filePath("wrapper_Old.spin"), "PUB old\r\n");
    WriteFile(dir.filePath("notes.txt"), "PUB no\r\n");

    QCOMPARE(CreateWrappersForAll(dir.path()), QStringList());
    QCOMPARE(WrapperFiles(dir.path()), QStringList({"Wrapper_Blinker.spin", "Wrapper_LOUD.spin", "wrapper_Old.spin"}));
    QFile made(dir.filePath("Wrapper_Blinker.spin"));
    QVERIFY(made.open(QIODevice::ReadOnly));
    QVERIFY(made.readAll().contains("  o.on(1)\r\n  o.off(1)\r\n"));

    // A second run replaces the wrappers rather than wrapping them.
    QCOMPARE(CreateWrappersForAll(dir.path()), QStringList());
    QCOMPARE(WrapperFiles(dir.path()).size(), 3);

    WriteFile(dir.filePath("Wrapper_Blinker.eeprom"), QByteArray(32, '\0'));
    WriteFile(dir.filePath("WRAPPER_noext"), "x");
    QCOMPARE(DeleteWrappers(dir.path()), QStringList());
    QCOMPARE(WrapperFiles(dir.path()), QStringList());
    QVERIFY(QFile::exists(dir.filePath("Blinker.spin")) && QFile::exists(dir.filePath("notes.txt")));
  }

  // The Propeller Tool saves a source as UTF-16 once it holds a character outside ASCII.
  void sourcesInEveryEncodingAreWrapped() {
    const QString text = "{{ Blinker \u00B0 }}\r\nPUB on(pin) ' 25\u00B0C\r\n  x\r\nPUB off(pin)\r\n";
    QByteArray le("\xFF\xFE"), be("\xFE\xFF");
    for (const QChar c : text) {
      le.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
      be.append(static_cast<char>(c.unicode() >> 8)).append(static_cast<char>(c.unicode() & 0xFF));
    }
    for (const QByteArray& bytes : {le, be, "\xEF\xBB\xBF" + text.toUtf8(), text.toUtf8(), text.toLatin1()}) {
      QTemporaryDir dir;
      WriteFile(dir.filePath("Blinker.spin"), bytes);
      QString error;
      QVERIFY2(CreateWrapper(dir.filePath("Blinker.spin"), error), qPrintable(error));
      QFile made(dir.filePath("Wrapper_Blinker.spin"));
      QVERIFY(made.open(QIODevice::ReadOnly));
      const QByteArray wrapper = made.readAll();
      QVERIFY2(wrapper.contains("PUB TestWrapper_For_Blinker\r\n\r\n  o.on(1)\r\n  o.off(1)\r\n\r\n"), wrapper);
    }
  }

  void failuresWriteNothing() {
    QTemporaryDir dir;
    QString error;
    const QString missing = dir.filePath("Missing.spin");
    QVERIFY(!CreateWrapper(missing, error));
    QVERIFY(error.contains(missing));
    QVERIFY(!QFile::exists(dir.filePath("Wrapper_Missing.spin")));

    // The wrapper's place is taken by a folder: the write fails and leaves no temporary file.
    WriteFile(dir.filePath("Taken.spin"), "PUB main\r\n");
    QVERIFY(QDir(dir.path()).mkdir("Wrapper_Taken.spin"));
    QVERIFY(!CreateWrapper(dir.filePath("Taken.spin"), error));
    QVERIFY(error.contains(dir.filePath("Wrapper_Taken.spin")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"Taken.spin"}));

    if (geteuid() != 0) {  // permissions do not bind the super-user
      QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
      QVERIFY(!CreateWrapper(dir.filePath("Taken.spin"), error));
      QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
  }

  void helpCommandsReport() {
    ScriptedPrompt prompt;
    QTemporaryDir dir;
    WriteFile(dir.filePath("Demo.spin"), "PUB main\r\n");
    CreateTestWrapperCommand(dir.filePath("Demo.spin"));
    QCOMPARE(prompt.asked.size(), 1);
    const QString w = dir.filePath("Wrapper_Demo");
    QCOMPARE(prompt.asked[0].text,
             "A Test Wrapper file has been created as -\r\n\r\n" + w +
                 ".spin\r\n\r\nYou must compile this program using the Parallax Propeller Tool, save and then load "
                 "the following Image File -\r\n\r\n" + w + ".eeprom");

    // No image opened yet: nothing to wrap, said so; For All and Delete stay silent.
    CreateTestWrapperCommand(QString());
    QCOMPARE(prompt.asked.size(), 2);
    QCOMPARE(prompt.asked[1].icon, MessageIcon::Warning);
    CreateTestWrappersCommand(QString());
    DeleteWrappersCommand(dir.filePath("Demo.spin"));
    QCOMPARE(prompt.asked.size(), 2);
    QCOMPARE(WrapperFiles(dir.path()), QStringList());
  }

  void developerItemsFollowTheMode() {
    ScriptedPrompt prompt;
    Process().DeveloperMode = true;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QVERIFY(w->Action(Command::CreateTestWrapper)->isVisible());
    QTemporaryDir dir;
    WriteFile(dir.filePath("Menu.spin"), "PUB main\r\n");
    w->Document().OpenFile(CopySample(dir, "led_chaser.binary", "Menu.binary"));  // its source: Menu.spin
    QCOMPARE(w->Document().SourcePath(), dir.filePath("Menu.spin"));
    w->Action(Command::CreateTestWrappers)->trigger();
    QCOMPARE(WrapperFiles(dir.path()), QStringList({"Wrapper_Menu.spin"}));
    w->Action(Command::DeleteWrappers)->trigger();
    QCOMPARE(WrapperFiles(dir.path()), QStringList());
  }
};

int RunWrapperTests(int argc, char** argv) {
  WrapperTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "test_wrappers_test.moc"
