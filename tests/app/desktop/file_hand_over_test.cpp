// Opening a file from the file manager while the program runs: the second copy
// hands the file to the first, which opens it, and ends without asking.
#include <QFile>
#include <QLabel>
#include <QLocalSocket>
#include <QProcess>
#include <QtTest>

#include "desktop/file_hand_over.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

class HandOverTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void aSecondCopyWithAFileHandsItToTheFirst() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);  // holds the instance lock, as a running copy does
    QVERIFY(w != nullptr);
    FileHandOverServer server;
    QVERIFY(server.Listen(HandOverSocketName(store.FileName())));
    connect(&server, &FileHandOverServer::fileHandedOver, w.get(), &MainWindow::OpenHandedOverFile);
    w->showMinimized();

    QTemporaryDir dir;
    const QString image = CopySample(dir, "led_chaser.eeprom", "handed.eeprom");
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(dir.path());
    second.start(BREVIN_EXE, {"handed.eeprom"});  // relative to its own folder
    QVERIFY(second.waitForStarted());
    // The first copy answers from its event loop, which QTRY keeps running.
    QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(w->Document().LastFile(), image);
    QVERIFY(!w->isMinimized());
    QCOMPARE(w->StatusPanel(0)->text(), image);
  }

  void oneServerPerSocketAndStaleSocketsAreReplaced() {
    const QString name = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath("handover-test.socket");
    QFile::remove(name);
    {
      QFile stale(name);  // left behind by a copy that ended abnormally
      QVERIFY(stale.open(QIODevice::WriteOnly));
    }
    FileHandOverServer first, second;
    QVERIFY(first.Listen(name));
    QVERIFY(!second.Listen(name));  // the first still serves it
    QStringList received;
    connect(&first, &FileHandOverServer::fileHandedOver, this, [&received](const QString& p) { received << p; });
    // A client by hand: HandOverFile blocks, and the server answers from this thread's event loop.
    QLocalSocket client;
    client.connectToServer(name);
    QVERIFY(client.waitForConnected(1000));
    client.write("/some/image.binary\n");
    QTRY_COMPARE(received, QStringList({"/some/image.binary"}));
    QTRY_VERIFY(client.bytesAvailable() > 0 || client.waitForReadyRead(10));
    QCOMPARE(client.readAll(), QByteArray("OK\n"));
    // Nobody listens on a removed socket: the hand-over fails and the caller starts normally.
    QVERIFY(!HandOverFile(name + ".none", "/x.binary", 200));
  }
};

int RunHandOverTests(int argc, char** argv) {
  HandOverTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "file_hand_over_test.moc"
