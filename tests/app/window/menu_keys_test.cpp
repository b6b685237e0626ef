// Every item of the main window's menus can be reached from the keyboard: it
// has an access key, and no other item of its menu has the same one, except
// where the menu design gives two items one key (menus/access_keys.txt).
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

// The access key of a caption ("Fold &Arguments" -> 'A'); empty when none.
QString AccessKey(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;  // "&&" is an ampersand
      continue;
    }
    return caption[i + 1].toUpper();
  }
  return {};
}

// Each menu's items (captions), by the menu's title without its key; every item, shown or not.
void CollectMenus(const QMenu* menu, const QString& title, QMap<QString, QStringList>& menus) {
  for (const QAction* item : menu->actions()) {
    if (item->isSeparator()) continue;
    menus[title] << item->text();
    if (item->menu() != nullptr) CollectMenus(item->menu(), title + "/" + QString(item->text()).remove('&'), menus);
  }
}

}  // namespace

class MenuKeyTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void everyItemHasAKeyOfItsOwn() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QVERIFY(w != nullptr);
    QMap<QString, QStringList> menus;
    for (const QAction* bar : w->menuBar()->actions()) {
      if (bar->menu() != nullptr) CollectMenus(bar->menu(), QString(bar->text()).remove('&'), menus);
    }
    QVERIFY(menus.contains("View") && menus.contains("Help"));

    QFile cases(SamplePath("menus/access_keys.txt"));
    QVERIFY(cases.open(QIODevice::ReadOnly | QIODevice::Text));
    QMap<QString, QStringList> shared;  // "menu|key" -> the items
    QSet<QString> keyless;              // "menu|item"
    while (!cases.atEnd()) {
      const QString row = QString::fromUtf8(cases.readLine()).trimmed();
      if (row.isEmpty() || row.startsWith('#')) continue;
      QStringList fields = row.split(" | ");
      if (fields[0] == "shared") {
        QVERIFY2(fields.size() >= 5, qPrintable(row));
        shared[fields[1] + "|" + fields[2]] = fields.mid(3);
      } else {
        QVERIFY2(fields[0] == "none" && fields.size() == 3, qPrintable(row));
        keyless.insert(fields[1] + "|" + fields[2]);
      }
    }

    QStringList faults;
    for (auto menu = menus.cbegin(); menu != menus.cend(); ++menu) {
      QMap<QString, QStringList> byKey;
      for (const QString& item : menu.value()) {
        const QString key = AccessKey(item);
        if (key.isEmpty()) {
          if (!keyless.contains(menu.key() + "|" + item)) faults << menu.key() + ": \"" + item + "\" has no access key";
          continue;
        }
        byKey[key] << item;
      }
      for (auto key = byKey.cbegin(); key != byKey.cend(); ++key) {
        if (key.value().size() > 1 && shared.value(menu.key() + "|" + key.key()) != key.value()) {
          faults << menu.key() + ": " + key.key() + " is the key of \"" + key.value().join("\", \"") + "\"";
        }
      }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("\n")));

    // N stays free in the View menu for the notes.
    for (const QString& item : menus["View"]) QVERIFY2(AccessKey(item) != "N", qPrintable(item));
  }
};

int RunMenuKeyTests(int argc, char** argv) {
  MenuKeyTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "menu_keys_test.moc"
