// Timings of the desktop shell on the largest sample image (offscreen):
//  - filling the Debug Info window with a full Spin + assembler + variables trace,
//    also with the trace repeated, to show the fill grows linearly;
//  - searching the listing: a text that is nowhere (the whole text is read) and
//    Find Next through every match of a frequent word.
// Prints the median and the slowest of several runs, in milliseconds.
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "dialogs/debug_window.h"
#include "brevin/engine.h"
#include "window/settings_store.h"
#include "listing/text_search.h"

namespace {

class TraceHost : public brevin::Host {
 public:
  brevin::Options options;
  std::string trace;
  brevin::Options LoadOptions() override { return options; }
  brevin::MessageAnswer ShowMessage(const std::string&, const std::string&, brevin::MessageButtons,
                                    brevin::MessageIcon) override {
    return brevin::MessageAnswer::Yes;
  }
  void DebugWrite(const std::string& text) override { trace += text; }
};

struct Timing {
  double median = 0;
  double slowest = 0;
};

template <typename Work>
Timing Measure(int runs, Work work) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer timer;
    timer.start();
    work();
    ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

void Report(const char* what, const Timing& t) {
  std::printf("%-58s median %8.2f ms   slowest %8.2f ms\n", what, t.median, t.slowest);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The window's placement goes to a settings folder of the run's own.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
  });
  QApplication app(argc, argv);
  const std::string image = std::string(BREVIN_TEST_DATA) + "/serial_terminal.eeprom";

  TraceHost host;
  host.options.DebugSpin = true;
  host.options.DebugAsmb = true;
  host.options.DebugVars = true;
  host.options.InhibitWarnings = true;
  host.options.SymbolTable = true;
  brevin::Engine engine(host);
  const brevin::LoadResult result = engine.LoadAndDisassemble(image, false);
  if (result.status != brevin::LoadStatus::Listed) {
    std::fprintf(stderr, "%s: not listed\n", image.c_str());
    return 1;
  }
  const std::string trace = host.trace;
  const auto lines = std::count(trace.begin(), trace.end(), '\n');
  std::printf("trace of serial_terminal.eeprom: %lld lines, %zu bytes\n", static_cast<long long>(lines), trace.size());

  brevin::SettingsStore store("Brevin shell bench");
  const QString saveFile;
  for (int copies : {1, 10, 30}) {
    std::string text;
    for (int i = 0; i < copies; ++i) text += trace;
    const Timing fill = Measure(7, [&] {
      brevin::DebugWindow window(store, saveFile);
      window.show();
      window.AppendTrace(text);
      window.EndOutput();
      QCoreApplication::processEvents();  // the first paint of the filled window
    });
    char what[96];
    std::snprintf(what, sizeof what, "debug window fill, %d x trace (%lld lines)", copies,
                  static_cast<long long>(lines) * copies);
    Report(what, fill);
  }
  {
    std::string earlier;
    for (int i = 0; i < 30; ++i) earlier += trace;
    brevin::DebugWindow window(store, saveFile);
    window.show();
    window.AppendTrace(earlier);
    window.EndOutput();
    const Timing append = Measure(7, [&] {
      window.AppendTrace(trace);
      window.EndOutput();
      QCoreApplication::processEvents();
    });
    Report("one more trace appended below 30 x trace", append);
  }

  // The listing as the window shows it: LF line ends.
  QString listing = QString::fromStdString(result.analysis->listing);
  listing.replace("\r\n", "\n");
  QPlainTextEdit area;
  area.setLineWrapMode(QPlainTextEdit::NoWrap);
  area.setPlainText(listing);
  area.resize(900, 600);
  area.show();
  QCoreApplication::processEvents();
  std::printf("listing of serial_terminal.eeprom with symbol table: %lld characters, %d lines\n",
              static_cast<long long>(listing.size()), area.document()->blockCount());

  for (int mode : {0, brevin::kFindWholeWord, brevin::kFindMatchCase | brevin::kFindWholeWord}) {
    const Timing absent = Measure(21, [&] {
      if (!brevin::FindInDocument(*area.document(), "NOWHERE_IN_THE_LISTING", 0, mode).isNull()) std::abort();
    });
    char what[96];
    std::snprintf(what, sizeof what, "find a text that is nowhere, mode %d (whole text)", mode);
    Report(what, absent);
  }

  QString findText;
  int findMode = 0;
  brevin::TextSearch search(findText, findMode);
  int matches = 0;
  const QString word = "PUSH";
  for (QTextCursor c = brevin::FindInDocument(*area.document(), word, 0, 0); !c.isNull();
       c = brevin::FindInDocument(*area.document(), word, c.selectionStart() + 1, 0)) {
    ++matches;
  }
  search.FindFirst(&area, word, 0, nullptr);
  const Timing next = Measure(matches, [&] { search.FindNext(&area, word, 0, nullptr); });
  char what[96];
  std::snprintf(what, sizeof what, "Find Next on \"PUSH\" (%d matches), one step", matches);
  Report(what, next);
  return 0;
}
