// Travelling through the listing: Go To by label and address, Follow, Back and
// Forward, the outline of a sample with sub-objects and assembly, the image
// map, the colours and the label tool-tips.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTreeWidget>
#include <QtTest>

#include "dialogs/go_to_dialog.h"
#include "listing/image_map.h"
#include "listing/listing_highlighter.h"
#include "listing/listing_navigator.h"
#include "listing/object_names.h"
#include "listing/outline_dock.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

// The window with a sample open, shown so that the view has a size.
struct OpenWindow {
  ScriptedPrompt prompt;
  SettingsStore store{kSettingsAppName};
  QTemporaryDir dir;
  std::unique_ptr<MainWindow> w;

  explicit OpenWindow(const QString& sample) {
    w = LoadWindow(store);
    const QString source = QFileInfo(sample).completeBaseName() + ".spin";  // the source beside the image
    if (QFile::exists(SamplePath(source))) CopySample(dir, source, source);
    w->Document().OpenFile(CopySample(dir, sample, sample));
    w->show();
    QCoreApplication::processEvents();
  }
  ListingNavigator& nav() const { return *w->navigator(); }
  const Analysis& model() const { return *w->analysis(); }
  int caretLine() const { return w->Listing()->textCursor().blockNumber(); }
  // The viewport point over a column of a line (the line is scrolled into view first).
  QPoint PointAt(int line, int column) const {
    QTextCursor c(w->Listing()->document()->findBlockByNumber(line));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column);
    w->Listing()->setTextCursor(c);
    w->Listing()->ensureCursorVisible();
    const QRect r = w->Listing()->cursorRect(c);
    return QPoint(r.x() + w->Listing()->fontMetrics().horizontalAdvance('M') / 2, r.center().y());
  }
  // The first line naming a reference to another line, with that reference.
  std::pair<int, LineReference> FirstJump() const {
    for (std::size_t i = 0; i < model().lines.size(); ++i) {
      for (const LineReference& r : model().lines[i].refs) {
        const auto target = model().LineDefining(r.name);
        if (target && *target > i + 40) return {static_cast<int>(i), r};
      }
    }
    return {-1, {}};
  }
};

}  // namespace

class NavigationTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void goToTakesALabelInAnyCaseOrAnAddress() {
    OpenWindow o("adc_scope.eeprom");
    const Method& capture = o.model().objects[0].methods[1];
    o.nav().GoToAction()->trigger();
    GoToDialog* dialog = o.nav().Dialog();
    QVERIFY(dialog != nullptr && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QString("Go To"));
    QCOMPARE(dialog->accessibleName(), QString("Go To"));
    QCOMPARE(o.nav().GoToAction()->shortcut(), QKeySequence("Ctrl+G"));

    QTest::keyClicks(dialog->Input(), QString::fromStdString(capture.label).toLower());
    QTest::keyClick(dialog->Input(), Qt::Key_Return);
    QVERIFY(!dialog->isVisible());
    const int line = o.caretLine();
    QCOMPARE(o.model().lines[static_cast<std::size_t>(line)].defines, capture.label);
    QCOMPARE(o.w->Listing()->textCursor().positionInBlock(), 0);
    // The line sits in the upper third of the view.
    const int top = o.w->Listing()->verticalScrollBar()->value();
    const int visible = o.w->Listing()->viewport()->height() / o.w->Listing()->fontMetrics().lineSpacing();
    QVERIFY2(line >= top && line - top <= visible / 3 + 1, qPrintable(QString("%1 %2 %3").arg(line).arg(top).arg(visible)));

    for (const QString& text : {QString("$0010"), QString("0010"), QString("$10")}) {
      o.nav().ShowGoTo();
      QTest::keyClicks(dialog->Input(), text);
      QTest::keyClick(dialog->Input(), Qt::Key_Enter);
      QCOMPARE(o.model().lines[static_cast<std::size_t>(o.caretLine())].address, 0x10);
    }
    // An address inside an instruction goes to the instruction's line.
    o.nav().ShowGoTo();
    QTest::keyClicks(dialog->Input(), QString("$%1").arg(capture.address + 1, 0, 16));
    QTest::keyClick(dialog->Input(), Qt::Key_Return);
    QVERIFY(*o.model().lines[static_cast<std::size_t>(o.caretLine())].address <= capture.address + 1);

    const int before = o.caretLine();
    for (const QString& text : {QString("NoSuchLabel"), QString("$9000")}) {
      o.nav().ShowGoTo();
      QTest::keyClicks(dialog->Input(), text);
      QTest::keyClick(dialog->Input(), Qt::Key_Return);
      QVERIFY(dialog->isVisible());
      QCOMPARE(dialog->Problem()->text(), "No label or address " + text);
      dialog->reject();
    }
    QCOMPARE(o.caretLine(), before);
  }

  void followGoesToTheTargetAndBackAndForwardReturn() {
    OpenWindow o("adc_scope.eeprom");
    const auto [from, ref] = o.FirstJump();
    QVERIFY(from >= 0);
    const int target = static_cast<int>(*o.model().LineDefining(ref.name));
    QVERIFY(!o.nav().BackAction()->isEnabled());

    // Enter with the caret on the reference.
    o.PointAt(from, static_cast<int>(ref.start) + 1);
    QTest::keyClick(o.w->Listing(), Qt::Key_Return);
    QCOMPARE(o.caretLine(), target);
    QVERIFY(o.nav().BackAction()->isEnabled());
    QCOMPARE(o.nav().BackAction()->shortcut(), QKeySequence("Alt+Left"));
    o.nav().BackAction()->trigger();
    QCOMPARE(o.caretLine(), from);
    QVERIFY(o.nav().ForwardAction()->isEnabled());
    o.nav().ForwardAction()->trigger();
    QCOMPARE(o.caretLine(), target);
    // Esc goes back too.
    QTest::keyClick(o.w->Listing(), Qt::Key_Escape);
    QCOMPARE(o.caretLine(), from);

    // Enter off a reference does nothing; a plain click does not follow.
    const int plain = from + 1;
    o.PointAt(plain, 0);
    QTest::keyClick(o.w->Listing(), Qt::Key_Return);
    QCOMPARE(o.caretLine(), plain);
    const QPoint onRef = o.PointAt(from, static_cast<int>(ref.start));
    QTest::mouseClick(o.w->Listing()->viewport(), Qt::LeftButton, Qt::NoModifier, onRef);
    QCOMPARE(o.caretLine(), from);
    // Ctrl+click follows; the reference under the mouse is underlined.
    QCOMPARE(o.nav().ReferenceAtPoint(onRef)->name, ref.name);
    QTest::mouseMove(o.w->Listing()->viewport(), onRef);
    QMouseEvent move(QEvent::MouseMove, onRef, o.w->Listing()->viewport()->mapToGlobal(onRef), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(o.w->Listing()->viewport(), &move);
    QCOMPARE(o.w->Listing()->extraSelections().size(), 1);
    QVERIFY(o.w->Listing()->extraSelections()[0].format.fontUnderline());
    QCOMPARE(o.w->Listing()->extraSelections()[0].cursor.selectedText(), QString::fromStdString(ref.name));
    QTest::mouseClick(o.w->Listing()->viewport(), Qt::LeftButton, Qt::ControlModifier, onRef);
    QCOMPARE(o.caretLine(), target);
    // The label's tool-tip shows its definition and how often it is named.
    const QString tip = o.nav().LabelToolTip(o.PointAt(from, static_cast<int>(ref.start)));
    QVERIFY2(tip.startsWith(QString::fromUtf8(o.model().lines[static_cast<std::size_t>(target)].text).trimmed()),
             qPrintable(tip));
    QVERIFY2(tip.contains("Referenced from"), qPrintable(tip));
  }

  void outlineListsObjectsMethodsAndAssemblyAndFollowsTheCaret() {
    OpenWindow o("adc_scope.eeprom");
    OutlineDock* outline = o.nav().Outline();
    QCOMPARE(outline->accessibleName(), QString("Outline"));
    QTreeWidget* tree = outline->Tree();
    QStringList top;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) top << tree->topLevelItem(i)->text(0);
    // The source beside the image names the sub-objects as its OBJ block does.
    QCOMPARE(top.mid(0, 3), QStringList({"Object $0010 (top)", "adc : spi_pasm", "ser : uart_pasm"}));
    QCOMPARE(tree->topLevelItem(1)->toolTip(0), QString("adc : spi_pasm  $0258"));
    QVERIFY(top.contains("Data"));
    QVERIFY(std::any_of(top.begin(), top.end(), [](const QString& t) { return t.startsWith("Variables $05C0"); }));

    QTreeWidgetItem* main = tree->topLevelItem(0);
    QStringList methods;
    for (int i = 0; i < main->childCount(); ++i) methods << main->child(i)->text(0);
    QCOMPARE(methods, QStringList({"PUB main", "PRI capture", "PRI rotate", "PRI send", "PRI number"}));
    QTreeWidgetItem* driver = tree->topLevelItem(1);
    QVERIFY(driver->child(0)->text(0) == "F61");
    QCOMPARE(driver->child(driver->childCount() - 1)->text(0), QString("ORG 0  A55  (56 longs)"));

    // Clicking an entry goes there.
    QTreeWidgetItem* capture = main->child(1);
    const QRect r = tree->visualItemRect(capture);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    QCOMPARE(o.model().lines[static_cast<std::size_t>(o.caretLine())].defines, std::string("F21"));
    QTreeWidgetItem* block = driver->child(driver->childCount() - 1);
    emit tree->itemClicked(block, 0);
    QCOMPARE(o.model().lines[static_cast<std::size_t>(o.caretLine())].address, 0x278);
    QCOMPARE(tree->currentItem(), block);
    // Moving the caret into another method highlights that method.
    o.nav().JumpToAddress(o.model().objects[0].methods[3].address + 2);
    QCOMPARE(tree->currentItem(), main->child(3));
  }

  void subObjectsAreNamedDownThroughTheSourcesBesideThem() {
    OpenWindow o("sensor_hub.eeprom");
    const auto topLevel = [&o] {
      QStringList texts;
      for (int i = 0; i < o.nav().Outline()->Tree()->topLevelItemCount(); ++i) {
        texts << o.nav().Outline()->Tree()->topLevelItem(i)->text(0);
      }
      return texts.filter(QRegularExpression("^(Object|\\w+)"));
    };
    // Only the top source is there: its own sub-objects get names, theirs keep addresses.
    QStringList names = topLevel();
    QVERIFY2(names.contains("node[NODES] : sensor_node") && names.contains("out : txpin"), qPrintable(names.join("|")));
    QVERIFY2(names.filter(QRegularExpression("^Object \\$")).size() >= 2, qPrintable(names.join("|")));
    // With the sub-objects' sources beside it, their sub-objects are named too; two
    // declarations of one file share its code and its entry.
    for (const char* source : {"sensor_node.spin", "avg_filter.spin", "fifo_long.spin", "txpin.spin"}) {
      CopySample(o.dir, source, source);
    }
    o.w->Action(Command::Refresh)->trigger();
    names = topLevel();
    QVERIFY2(names.contains("smooth, slow : avg_filter") && names.contains("win : fifo_long"),
             qPrintable(names.join("|")));
    // Without Include Source Code no source is read, so no names either.
    o.w->Action(Command::IncludeSourceCode)->trigger();
    o.w->Action(Command::Refresh)->trigger();
    QVERIFY(!topLevel().contains("out : txpin"));
  }

  void objDeclarationsAreReadPastCommentsAndArrays() {
    const QString source =
        "CON\n  COUNT = 3\nOBJ\n  a : \"one\"   ' the first\n  { b : \"gone\" }\n"
        "  c[2] : \"two.spin\"\n  d[COUNT]: \"three\"\n  e[SIZE] : \"four\"\nPUB main\n  x : \"not here\"\n";
    const std::vector<ObjDeclaration> d = ObjDeclarations(source);
    QCOMPARE(d.size(), std::size_t(4));
    QCOMPARE(d[0].name + "|" + d[0].file + "|" + QString::number(d[0].count), QString("a|one|1"));
    QCOMPARE(d[1].name + "|" + d[1].file + "|" + QString::number(d[1].count), QString("c[2]|two|2"));
    QCOMPARE(d[2].name + "|" + d[2].file + "|" + QString::number(d[2].count), QString("d[COUNT]|three|3"));
    QCOMPARE(d[3].count, 0);  // a size from elsewhere: the run of equal entries decides
    QString crOnly = source;  // lines ended by a lone CR, as older editors save them
    crOnly.replace('\n', '\r');
    QCOMPARE(ObjDeclarations(crOnly).size(), std::size_t(4));
  }

  void aJumpMarksItsTargetLineUntilTheCaretLeavesIt() {
    OpenWindow o("adc_scope.eeprom");
    ListingView* view = o.w->Listing();
    const auto band = [view]() -> int {
      for (const QTextEdit::ExtraSelection& s : view->extraSelections()) {
        if (s.format.boolProperty(QTextFormat::FullWidthSelection)) return s.cursor.blockNumber();
      }
      return -1;
    };
    QCOMPARE(band(), -1);
    const auto [from, ref] = o.FirstJump();
    const int target = static_cast<int>(*o.model().LineDefining(ref.name));
    o.PointAt(from, 0);
    o.nav().JumpToLine(target);
    QCOMPARE(view->MarkedLine(), target);
    QCOMPARE(band(), target);
    o.nav().Back();
    QCOMPARE(band(), from);
    // The outline's entries and Go To mark their lines alike.
    o.nav().JumpToAddress(o.model().objects[0].methods[1].address);
    QCOMPARE(band(), o.caretLine());
    // Moving the caret off the line ends the mark; so does time.
    view->moveCursor(QTextCursor::Down);
    QCOMPARE(band(), -1);
    o.nav().JumpToLine(target);
    QTRY_COMPARE_WITH_TIMEOUT(band(), -1, ListingView::kTargetMarkMs + 1000);
  }

  void imageMapDrawsTheRegionsAndGoesWhereItIsClicked() {
    OpenWindow o("adc_scope.eeprom");
    ImageMap* map = o.nav().Map();
    QCOMPARE(map->accessibleName(), QString("Image map"));
    QVERIFY(map->isVisible() && map->height() > 100);
    // The marker covers the part of the listing in view.
    QVERIFY(map->ViewFirst() >= 0 && map->ViewFirst() <= map->ViewLast());
    const std::int32_t pinit = o.model().image.pinit;
    const int y = map->YOf(pinit) + 1;
    const int start = o.caretLine();
    QTest::mouseClick(map, Qt::LeftButton, Qt::NoModifier, QPoint(map->width() / 2, y));
    const auto at = o.model().lines[static_cast<std::size_t>(o.caretLine())].address;
    QVERIFY(at.has_value());
    QCOMPARE(o.model().RegionAt(*at), o.model().RegionAt(map->AddressAt(y)));
    QVERIFY(o.nav().BackAction()->isEnabled());
    // Dragging on moves the view; Back then returns to where the click started.
    QTest::mouseMove(map, QPoint(map->width() / 2, map->YOf(o.model().image.vbase)));
    QMouseEvent drag(QEvent::MouseMove, QPointF(map->width() / 2, map->YOf(o.model().image.vbase)),
                     map->mapToGlobal(QPointF(map->width() / 2, map->YOf(o.model().image.vbase))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(map, &drag);
    QCOMPARE(o.caretLine(), static_cast<int>(*o.model().LineAtAddress(map->AddressAt(map->YOf(o.model().image.vbase)))));
    o.nav().Back();
    QCOMPARE(o.caretLine(), start);
    QTest::mouseClick(map, Qt::LeftButton, Qt::NoModifier, QPoint(map->width() / 2, y));
    // The view marker followed the jump.
    QVERIFY2(map->ViewFirst() <= *at && *at <= map->ViewLast(),
             qPrintable(QString("%1 %2 %3").arg(map->ViewFirst()).arg(*at).arg(map->ViewLast())));
    o.nav().JumpToAddress(o.model().image.vbase);  // the marker away from both ends
    const QImage picture = map->grab().toImage();
    const Region* widest = nullptr;  // the widest band of the program, away from the marker at VBASE
    for (const Region& r : o.model().regions) {
      if (r.kind != RegionKind::Free && r.end < o.model().image.pbase + 0x400 && (!widest || r.end - r.start > widest->end - widest->start)) {
        widest = &r;
      }
    }
    QVERIFY(widest != nullptr);
    QCOMPARE(picture.pixelColor(map->width() / 2, (map->YOf(widest->start) + map->YOf(widest->end)) / 2),
             ImageMap::KindColour(widest->kind));
    QCOMPARE(picture.pixelColor(map->width() / 2, map->height() - 2), ImageMap::KindColour(RegionKind::Free));
  }

  void coloursPaintTheColumnsWithoutChangingTheText() {
    OpenWindow o("adc_scope.eeprom");
    QAction* colours = o.nav().ColoursAction();
    QVERIFY(colours->isCheckable() && colours->isChecked());
    const ListingHighlighter* h = o.nav().Highlighter();
    const auto [from, ref] = o.FirstJump();
    const QTextBlock block = o.w->Listing()->document()->findBlockByNumber(from);
    auto formatAt = [&](int column) {
      for (const QTextLayout::FormatRange& f : block.layout()->formats()) {
        if (column >= f.start && column < f.start + f.length) return f.format;
      }
      return QTextCharFormat();
    };
    QCOMPARE(formatAt(0).foreground(), h->Format(ListingHighlighter::Address).foreground());
    QCOMPARE(formatAt(static_cast<int>(ref.start)).foreground(), h->Format(ListingHighlighter::Operand).foreground());
    const std::size_t mnemonic = o.model().lines[static_cast<std::size_t>(from)].textStart;
    QCOMPARE(formatAt(static_cast<int>(mnemonic)).fontWeight(), int(QFont::Bold));
    // Unreached lines are dimmed as a whole.
    for (std::size_t i = 0; i < o.model().lines.size(); ++i) {
      if (o.model().lines[i].text.find("; ----") == std::string::npos) continue;
      const QTextBlock dim = o.w->Listing()->document()->findBlockByNumber(static_cast<int>(i));
      QCOMPARE(dim.layout()->formats().value(0).format.foreground(), h->Format(ListingHighlighter::Unreached).foreground());
      break;
    }
    // The title's underline is not a source line; source lines and conditions are coloured as such.
    QVERIFY(o.w->Listing()->document()->findBlockByNumber(2).text().startsWith("===="));
    QVERIFY(o.w->Listing()->document()->findBlockByNumber(2).layout()->formats().isEmpty());
    bool sawSource = false, sawCondition = false;
    for (std::size_t i = 0; i < o.model().lines.size(); ++i) {
      const ListingLine& l = o.model().lines[i];
      const QTextBlock b = o.w->Listing()->document()->findBlockByNumber(static_cast<int>(i));
      if (!sawSource && l.text.rfind("====", 0) == 0 && l.textStart != std::string::npos) {
        sawSource = true;
        QCOMPARE(b.layout()->formats().value(0).format.foreground(), h->Format(ListingHighlighter::Source).foreground());
      }
      const std::size_t cond = l.text.find("IF_NZ");
      if (!sawCondition && l.cog && cond == l.textStart) {
        sawCondition = true;
        const int instruction = static_cast<int>(l.text.find_first_not_of(' ', l.text.find(' ', cond)));
        QTextCharFormat f;
        for (const QTextLayout::FormatRange& r : b.layout()->formats()) {
          if (instruction >= r.start && instruction < r.start + r.length) f = r.format;
        }
        QCOMPARE(f.foreground(), h->Format(ListingHighlighter::Mnemonic).foreground());
      }
    }
    QVERIFY(sawSource && sawCondition);
    QCOMPARE(o.w->Listing()->toPlainText(), QString::fromStdString(o.model().listing).replace("\r\n", "\n"));

    colours->trigger();
    QVERIFY(block.layout()->formats().isEmpty());
    QCOMPARE(o.store.ReadBool("Settings", "Colours", true), false);
    QCOMPARE(o.w->Listing()->toPlainText(), QString::fromStdString(o.model().listing).replace("\r\n", "\n"));
    // A new window keeps the choice.
    MainWindow again(o.store);
    QVERIFY(!again.navigator()->ColoursAction()->isChecked());
  }

  void referenceTablesHaveNoModel() {
    OpenWindow o("led_chaser.binary");
    o.w->ShowSpinOpcodes();
    QVERIFY(!o.nav().Model());
    o.nav().ShowGoTo();
    QTest::keyClicks(o.nav().Dialog()->Input(), "$0010");
    QTest::keyClick(o.nav().Dialog()->Input(), Qt::Key_Return);
    QVERIFY(o.nav().Dialog()->isVisible());
    o.nav().Dialog()->reject();
  }

  void screenshotOfTheNavigatingWindow() {
    OpenWindow o("adc_scope.eeprom");
    o.w->resize(1200, 760);
    o.nav().JumpToAddress(o.model().objects[0].methods[1].address);
    QCoreApplication::processEvents();
    // A reference under the mouse, underlined like a link.
    const auto [from, ref] = o.FirstJump();
    o.nav().JumpToLine(from);
    const QPoint onRef = o.PointAt(from, static_cast<int>(ref.start));
    QMouseEvent move(QEvent::MouseMove, onRef, o.w->Listing()->viewport()->mapToGlobal(onRef), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(o.w->Listing()->viewport(), &move);
    QCoreApplication::processEvents();
    QVERIFY(o.w->grab().save(QString(BREVIN_ARTIFACT_DIR) + "/brevin-navigation.png"));
    o.nav().ShowGoTo();
    QTest::keyClicks(o.nav().Dialog()->Input(), "nosuch");
    QTest::keyClick(o.nav().Dialog()->Input(), Qt::Key_Return);
    QVERIFY(o.nav().Dialog()->grab().save(QString(BREVIN_ARTIFACT_DIR) + "/brevin-go-to.png"));
    o.nav().Dialog()->reject();
  }
};

int RunNavigationTests(int argc, char** argv) {
  NavigationTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "navigation_test.moc"
