// System Information, the running system's name, and the manifest writer.
#include <QtTest>

#include "dialogs/system_info.h"
#include "system_version.h"
#include "test_support.h"
#include "window/prompt.h"

using namespace brevin;
using namespace brevin::test;

class SystemInfoTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void systemNameFromOsRelease() {
    QCOMPARE(platform::OsPrettyName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
             std::string("Debian GNU/Linux 12 (bookworm)"));
    QCOMPARE(platform::OsPrettyName("PRETTY_NAME='It''s \"quoted\"'\r\n"), std::string("Its \"quoted\""));
    QCOMPARE(platform::OsPrettyName("NAME=Plain\nID=plain\n"), std::string("Plain"));
    QCOMPARE(platform::OsPrettyName("ID=x\n"), std::string());

    QTemporaryDir dir;
    QFile release(dir.filePath("os-release"));
    QVERIFY(release.open(QIODevice::WriteOnly));
    release.write("ID=fake\nPRETTY_NAME=\"Fake OS 7 (test)\"\n");
    release.close();
    const std::string kernel = platform::KernelRelease();
    QVERIFY(kernel.rfind("Linux ", 0) == 0);
    QCOMPARE(platform::SystemVersionName(QFile::encodeName(release.fileName()).toStdString()),
             "Fake OS 7 (test), " + kernel);
    QCOMPARE(platform::SystemVersionName(QFile::encodeName(dir.filePath("none")).toStdString()), kernel);
  }

  void boxText() {
    ScriptedPrompt prompt;
    Process().AppFolder = "/opt/brevin/bin/";
    Process().ExeName = "Brevin";
    QCOMPARE(SystemInformationText("Fake OS 7 (test), Linux 6.1.0"),
             ProductTitleText() + " - " + QString::fromStdString(VersionText()) +
                 "\r\n\r\nSystem Version :\tFake OS 7 (test), Linux 6.1.0\r\nThemes Enabled :\tNo\r\n\r\n"
                 "App Path :\t/opt/brevin/bin\r\nApp ExeName :\tBrevin");

    // In the box each label and its value share a table row, so all values start in one column.
    const QString shown = MessageBoxText(SystemInformationText("Fake OS 7 (test), Linux 6.1.0"));
    QVERIFY(shown.startsWith("<table"));
    for (const char* row : {"<tr><td style=\"padding-right: 12px\">System Version :</td><td>Fake OS 7 (test), Linux",
                            "<tr><td style=\"padding-right: 12px\">Themes Enabled :</td><td>No</td></tr>",
                            "<tr><td style=\"padding-right: 12px\">App Path :</td><td>/opt/brevin/bin</td></tr>",
                            "<tr><td style=\"padding-right: 12px\">App ExeName :</td><td>Brevin</td></tr>"}) {
      QVERIFY2(shown.contains(row), row);
    }
    QCOMPARE(MessageBoxText("Cannot find file\r\n\r\n/a<b>.binary"), QString("Cannot find file\n\n/a<b>.binary"));

    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    w->Action(Command::System)->trigger();
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(prompt.asked[0].title, QString("System Information"));
    QVERIFY(prompt.asked[0].text.contains("System Version :\t" +
                                          QString::fromStdString(platform::SystemVersionName())));
  }

  void manifestIsWrittenWhole() {
    QTemporaryDir dir;
    std::string error;
    QVERIFY(platform::WriteManifest(QFile::encodeName(dir.path()).toStdString(), "Brevin", error));
    QFile file(dir.filePath("Brevin.exe.manifest"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.endsWith("</assembly>\r\n"));
    const QList<QByteArray> lines = text.split('\n');
    QCOMPARE(lines.size(), 23);  // 22 lines and the empty rest after the last line end
    for (int i = 0; i < 22; ++i) QVERIFY(lines[i].endsWith('\r'));
    QCOMPARE(lines[0], QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r"));
    QCOMPARE(lines[3], QByteArray("version=\"1.0.0.0\"\r"));
    QCOMPARE(lines[8], "<description>Zorvik Manifest for " + ProductTitleText().toUtf8() + "</description>\r");
    QCOMPARE(lines[16], QByteArray("publicKeyToken=\"6595b64144ccf1df\"\r"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"Brevin.exe.manifest"}));

    // A folder that cannot take the file: an error naming it, and no file at all.
    QVERIFY(!platform::WriteManifest(QFile::encodeName(dir.filePath("missing")).toStdString(), "Brevin", error));
    QVERIFY(QString::fromStdString(error).contains("missing/Brevin.exe.manifest"));
    QVERIFY(!QFileInfo::exists(dir.filePath("missing")));
  }
};

int RunSystemInfoTests(int argc, char** argv) {
  SystemInfoTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "system_info_test.moc"
