// View "Library Names": on by design, with an access key of its own; the
// Outline and Go To show and accept the names of known library objects, and
// the mark is kept.
#include <QMenu>
#include <QTreeWidget>
#include <QtTest>

#include "listing/listing_navigator.h"
#include "listing/outline_dock.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

// The Outline's method entries that carry a library name ("dec  S83").
QStringList NamedEntries(QTreeWidget* tree) {
  QStringList named;
  for (QTreeWidgetItem* item : tree->findItems("*  S*", Qt::MatchWildcard | Qt::MatchRecursive)) named << item->text(0);
  return named;
}

}  // namespace

class LibraryNamesTests : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    FreshProcess();
    // No person's library of this machine takes part.
    qputenv("XDG_DATA_HOME", QFile::encodeName(data_.path()));
  }

  void namesShowInTheOutlineAndGoToAndTheMarkIsKept() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    QTemporaryDir dir;
    const QString image = CopySample(dir, "crc_calc.binary", "crc_calc.binary");
    {
      auto w = LoadWindow(store);
      QAction* item = w->Action(Command::LibraryNames);
      QCOMPARE(item->text(), QString("Li&brary Names"));
      QVERIFY(item->isCheckable() && item->isChecked());
      // No other item of the View menu uses its access key.
      const QMenu* view = qobject_cast<QMenu*>(item->parent());
      QVERIFY(view != nullptr);
      for (const QAction* other : view->actions()) {
        if (other != item) QVERIFY2(!other->text().contains("&N") && !other->text().contains("&n"), qPrintable(other->text()));
      }
      w->Document().OpenFile(image);
      // The serial object of the sample shares its dec with a library object.
      QTreeWidget* tree = w->navigator()->Outline()->Tree();
      const QStringList named = NamedEntries(tree);
      QVERIFY2(!named.isEmpty() && named.front().startsWith("dec  "), qPrintable(named.join(", ")));
      const auto line = w->navigator()->Resolve("dec");
      QVERIFY(line.has_value());
      const Method* dec = nullptr;
      for (const ObjectInfo& o : w->analysis()->objects)
        for (const Method& m : o.methods)
          if (m.libraryName == "dec") dec = &m;
      QVERIFY(dec != nullptr);
      QCOMPARE(w->analysis()->lines[static_cast<std::size_t>(*line)].address, std::optional<std::int32_t>(dec->address));
      QVERIFY(w->navigator()->Resolve("bin").has_value());

      // Off, with Auto-Refresh off: listed again at once without the names.
      QVERIFY(!w->Action(Command::AutoRefresh)->isChecked());
      item->trigger();
      QVERIFY(!item->isChecked());
      QVERIFY(NamedEntries(tree).isEmpty());
      QVERIFY(!w->navigator()->Resolve("bin").has_value());  // "dec" would be read as $0DEC
      w->close();
    }
    QCOMPARE(store.ReadText("Settings", "LibraryNames"), QString("False"));
    auto w = LoadWindow(store);
    QVERIFY(!w->Action(Command::LibraryNames)->isChecked());
  }

 private:
  QTemporaryDir data_;
};

int RunLibraryNamesTests(int argc, char** argv) {
  LibraryNamesTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "library_names_test.moc"
