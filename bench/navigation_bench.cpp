// The window's side of the largest sample listing: the first screen after the
// engine has finished (model handed over, text set, colours, outline, image map,
// first paint), and a Go To and a Follow with the repaint they cause.
// Runs offscreen unless a platform is named; settings go to a temporary folder.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>

#include "document/document_controller.h"
#include "listing/listing_navigator.h"
#include "listing/listing_view.h"
#include "window/main_window.h"
#include "window/prompt.h"
#include "window/settings_store.h"
#include "window/shell_support.h"

namespace {

using namespace brevin;

const QString kImage = QString(BREVIN_TEST_DATA) + "/serial_terminal.eeprom";

// One shown window with the largest sample open.
struct Fixture {
  SettingsStore store{kSettingsAppName};
  MainWindow window{store};
  AnalysisPtr model;
  QString text;

  Fixture() {
    SetPromptFunction([](const PromptRequest&) { return MessageAnswer::Ok; });
    window.resize(1200, 800);
    window.show();
    window.Document().LoadAndDisassemble(kImage, false);
    model = window.analysis();
    QCoreApplication::processEvents();
  }
  ListingNavigator& nav() { return *window.navigator(); }
  void Paint() { benchmark::DoNotOptimize(window.Listing()->viewport()->grab()); }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

// Argument 1: colours on; 0: off.
void BM_FirstScreenAfterTheEngine(benchmark::State& state) {
  Fixture& f = Shared();
  if (!f.model) {
    state.SkipWithError("the sample did not load");
    return;
  }
  f.nav().ColoursAction()->setChecked(state.range(0) != 0);
  for (auto _ : state) {
    state.PauseTiming();
    f.window.Listing()->ShowText(QString());
    state.ResumeTiming();
    // What the window does once the engine has returned its model: the view
    // takes model and text, and the navigator its outline and map.
    QString shown = QString::fromStdString(f.model->listing);
    shown.replace("\r\n", "\n");
    f.window.Listing()->ShowListing(f.model, shown, false);
    f.Paint();
  }
  state.counters["lines"] = static_cast<double>(f.model->lines.size());
  f.nav().ColoursAction()->setChecked(true);
}
BENCHMARK(BM_FirstScreenAfterTheEngine)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_GoToLabel(benchmark::State& state) {
  Fixture& f = Shared();
  if (!f.model || f.model->symbols.size() < 2) {
    state.SkipWithError("the sample did not load");
    return;
  }
  // Back and forth between the first and the last label, the longest jumps.
  const QString names[] = {QString::fromStdString(f.model->symbols.front().name).toLower(),
                           QString::fromStdString(f.model->symbols.back().name).toLower()};
  int i = 0;
  for (auto _ : state) {
    const auto line = f.nav().Resolve(names[i++ % 2]);
    if (line) f.nav().JumpToLine(*line);
    f.Paint();
  }
}
BENCHMARK(BM_GoToLabel)->Unit(benchmark::kMicrosecond);

void BM_FollowReference(benchmark::State& state) {
  Fixture& f = Shared();
  // The reference whose target lies farthest away.
  int from = -1;
  std::size_t column = 0, farthest = 0;
  for (std::size_t i = 0; f.model && i < f.model->lines.size(); ++i) {
    for (const LineReference& r : f.model->lines[i].refs) {
      const auto target = f.model->LineDefining(r.name);
      const std::size_t distance = target ? (*target > i ? *target - i : i - *target) : 0;
      if (distance > farthest) {
        farthest = distance;
        from = static_cast<int>(i);
        column = r.start;
      }
    }
  }
  if (from < 0) {
    state.SkipWithError("no reference to follow");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    QTextCursor c(f.window.Listing()->document()->findBlockByNumber(from));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, static_cast<int>(column));
    f.window.Listing()->setTextCursor(c);
    state.ResumeTiming();
    f.nav().FollowAtCaret();
    f.Paint();
  }
  state.counters["lines_away"] = static_cast<double>(farthest);
}
BENCHMARK(BM_FollowReference)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir settings;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
