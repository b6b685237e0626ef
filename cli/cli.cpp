#include "cli.h"

#include <cstdlib>
#include <memory>

#include "batch.h"
#include "brevin/engine.h"
#include "brevin/reports.h"
#include "brevin/text.h"
#include "brevin/version_text.h"
#include "json_output.h"
#include "output_file.h"

namespace brevin::cli {

namespace {

// The on/off view options: --NAME sets the check mark, --no-NAME clears it.
struct ViewOption {
  const char* name;
  bool Options::*flag;
};
constexpr ViewOption kViewOptions[] = {
    {"show-image", &Options::ShowImage},
    {"include-source", &Options::IncludeSourceCode},
    {"process-assembler", &Options::ProcessAssembler},
    {"show-labels", &Options::ShowLabels},
    {"fold-opcodes", &Options::FoldOpcodes},
    {"fold-effects", &Options::FoldEffects},
    {"fold-operators", &Options::FoldOperators},
    {"fold-arguments", &Options::FoldArguments},
    {"fold-spr", &Options::FoldSpr},
    {"fold-indexes", &Options::FoldIndexes},
    {"colons", &Options::ColonsAfterLabels},
    {"force-hash", &Options::ForceHash},
    {"default-long", &Options::DefaultLongVariables},
    {"cast-variables", &Options::CastVariables},
    {"symbol-table", &Options::SymbolTable},
};

constexpr const char* kUsage =
    "Usage: brevin-cli [options] IMAGE            listing to standard output\n"
    "       brevin-cli [options] -o OUT IMAGE     listing to the file OUT\n"
    "       brevin-cli --spin-opcodes | --spin-effects | --asm-opcodes\n"
    "       brevin-cli --flags-report [options] IMAGE\n"
    "       brevin-cli [options] --out-dir DIR [--jobs N] IMAGE...\n"
    "       brevin-cli --json [options] IMAGE     the analysis as one JSON object\n"
    "\n"
    "Disassembles a Propeller 1 image (.binary or .eeprom) into a listing.\n"
    "\n"
    "View options (each has a --no-NAME form; default in brackets):\n"
    "  --show-image [on]          address, bytes and title columns\n"
    "  --include-source [on]      Spin source lines beside each method\n"
    "  --process-assembler [on]   trace assembly launched into cogs\n"
    "  --show-labels [on]         names instead of addresses in operands\n"
    "  --fold-opcodes, --fold-effects, --fold-operators, --fold-arguments,\n"
    "  --fold-spr [on], --fold-indexes [off]   expression folding\n"
    "  --colons [off]             colons after labels\n"
    "  --force-hash [off]         '#' before every literal\n"
    "  --default-long [off]       \"Default Long Variables\" checked\n"
    "  --cast-variables [off]     sizes as casts, LONG(x)\n"
    "  --symbol-table [off]       symbol table and object list at the end\n"
    "\n"
    "Other options:\n"
    "  -o OUT                     write the listing to OUT (CR LF line ends)\n"
    "  --out-dir DIR              list every IMAGE into DIR/<file name>.lst\n"
    "  --jobs N                   with --out-dir: N threads (default: the processors)\n"
    "  --json                     the analysis as JSON (with --out-dir: DIR/<file name>.json)\n"
    "  --ignore-checksum          analyse an image whose checksum stays wrong\n"
    "  --inhibit-warnings         answer the checksum question with Yes, no notices\n"
    "  --debug-spin, --debug-asmb, --debug-vars   write the debug channel\n"
    "  --debug-out FILE           debug channel to FILE (default: standard error)\n"
    "  --spin-opcodes, --spin-effects, --asm-opcodes   print a reference table\n"
    "  --flags-report             print the image flags after the analysis\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 done, 2 bad usage, 3 image refused, 4 file error.\n";

struct Arguments {
  Options options;
  bool ignoreChecksum = false;
  std::string outPath;
  std::string debugOut;
  std::string image;
  std::vector<std::string> images;  // every IMAGE given; more than one only with --out-dir
  std::string outDir;
  unsigned jobs = 0;  // 0: the number of processors
  std::string report;  // "spin-opcodes", "spin-effects", "asm-opcodes", "flags-report" or empty
  bool json = false;   // the analysis model as JSON instead of the listing
};

// The command line's answers to the engine's questions.
class CliHost : public Host {
 public:
  CliHost(const Arguments& args, TextSink& err) : args_(args), err_(err) {}

  Options LoadOptions() override { return args_.options; }

  MessageAnswer ShowMessage(const std::string& /*title*/, const std::string& text, MessageButtons buttons,
                            MessageIcon icon) override {
    if (buttons == MessageButtons::YesNo && icon == MessageIcon::Critical) {
      // The checksum question: Yes only when asked to ignore the checksum.
      if (args_.ignoreChecksum) return MessageAnswer::Yes;
      err_ << OneLine(text) << "\n(use --ignore-checksum to analyse it anyway)\n";
      return MessageAnswer::No;
    }
    if (buttons == MessageButtons::Ok && icon == MessageIcon::Information && args_.options.InhibitWarnings) {
      return MessageAnswer::Ok;
    }
    err_ << OneLine(text) << "\n";
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Yes;
  }

  void DebugWrite(const std::string& text) override { debug_ += text; }

  // A listing needs only the text; the JSON output needs the whole model.
  bool WantsModel() override { return args_.json; }

  bool DeveloperMode() override {
    const char* mode = std::getenv("BREVIN_DEVELOPER_MODE");
    return mode != nullptr && std::string(mode) == "1";
  }

  const std::string& DebugText() const { return debug_; }

 private:
  // Message texts use CR LF; the terminal wants plain line feeds.
  static std::string OneLine(std::string text) {
    std::string out;
    for (char c : text) {
      if (c != '\r') out.push_back(c);
    }
    return out;
  }

  const Arguments& args_;
  TextSink& err_;
  std::string debug_;
};

// Parses the arguments; returns an error text for bad usage.
std::string Parse(const std::vector<std::string>& args, Arguments& a, bool& help, bool& version) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto takeValue = [&](std::string& into) -> bool {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (arg == "-o") {
      if (!takeValue(a.outPath)) return "-o needs a file name";
    } else if (arg == "--out-dir") {
      if (!takeValue(a.outDir) || a.outDir.empty()) return "--out-dir needs a folder";
    } else if (arg == "--jobs") {
      std::string count;
      if (!takeValue(count)) return "--jobs needs a number";
      char* end = nullptr;
      const unsigned long n = std::strtoul(count.c_str(), &end, 10);
      if (count.empty() || *end != '\0' || n < 1 || n > 1024 || count[0] == '-') {
        return "--jobs needs a number from 1 to 1024";
      }
      a.jobs = static_cast<unsigned>(n);
    } else if (arg == "--debug-out") {
      if (!takeValue(a.debugOut)) return "--debug-out needs a file name";
    } else if (arg == "--json") {
      a.json = true;
    } else if (arg == "--ignore-checksum") {
      a.ignoreChecksum = true;
    } else if (arg == "--inhibit-warnings") {
      a.options.InhibitWarnings = true;
    } else if (arg == "--debug-spin") {
      a.options.DebugSpin = true;
    } else if (arg == "--debug-asmb") {
      a.options.DebugAsmb = true;
    } else if (arg == "--debug-vars") {
      a.options.DebugVars = true;
    } else if (arg == "--spin-opcodes" || arg == "--spin-effects" || arg == "--asm-opcodes" ||
               arg == "--flags-report") {
      if (!a.report.empty() && a.report != arg.substr(2)) return "choose one of " + ("--" + a.report) + " and " + arg;
      a.report = arg.substr(2);
    } else if (arg.rfind("--", 0) == 0) {
      const bool negated = arg.rfind("--no-", 0) == 0;
      const std::string name = arg.substr(negated ? 5 : 2);
      bool known = false;
      for (const ViewOption& v : kViewOptions) {
        if (name == v.name) {
          a.options.*v.flag = !negated;
          known = true;
        }
      }
      if (!known) return "unknown option " + arg;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option " + arg;
    } else {
      if (a.image.empty()) a.image = arg;
      a.images.push_back(arg);
    }
  }
  if (a.outDir.empty() && a.images.size() > 1) {
    return "more than one image given: " + a.images[0] + " and " + a.images[1];
  }
  return {};
}

std::string WithFinalLineEnd(std::string text) { return text + std::string(kCrLf); }

// Writes text to -o's file or to out; returns the exit status.
int Deliver(const Arguments& a, const std::string& text, TextSink& out, TextSink& err) {
  if (a.outPath.empty()) {
    out.Write(text);
    if (out.Flush()) return kExitOk;
    err << "brevin-cli: standard output: write error\n";
    return kExitFileError;
  }
  if (std::string problem = WriteFileAtomically(a.outPath, text); !problem.empty()) {
    err << "brevin-cli: " << problem << "\n";
    return kExitFileError;
  }
  return kExitOk;
}

// One renderer per batch thread: its own host and engine; the listing bytes are
// those a single run with -o writes, the messages those it prints.
ImageRenderer MakeListingRenderer(const Arguments& a) {
  struct State {
    StringSink messages;
    CliHost host;
    Engine engine;
    bool json;  // the model as JSON instead of the listing
    explicit State(const Arguments& args) : host(args, messages), engine(host), json(args.json) {}
  };
  auto state = std::make_shared<State>(a);
  return [state](const std::string& image) {
    state->messages.Clear();
    const LoadResult result = state->engine.LoadAndDisassemble(image, false);
    for (const std::string& warning : result.warnings) state->messages << "warning: " << warning << "\n";
    RenderedImage rendered;
    switch (result.status) {
      case LoadStatus::Listed:
        rendered.contents = state->json ? AnalysisJson(*result.analysis) : result.analysis->listing;
        break;
      case LoadStatus::Unreadable: rendered.status = kExitFileError; break;
      case LoadStatus::Refused:
      case LoadStatus::Declined: rendered.status = kExitRefused; break;
    }
    if (result.status == LoadStatus::Unreadable || result.status == LoadStatus::Refused) {
      state->messages << result.message << "\n";
    }
    rendered.messages = state->messages.Text();
    return rendered;
  };
}

int RunOutDir(const Arguments& a, TextSink& err) {
  const auto usage = [&err](const std::string& problem) {
    err << "brevin-cli: " << problem << "\nTry 'brevin-cli --help'.\n";
    return kExitUsage;
  };
  if (!a.outPath.empty()) return usage("--out-dir and -o exclude each other");
  if (!a.report.empty()) return usage("--out-dir does not take --" + a.report);
  if (!a.debugOut.empty() || a.options.DebugSpin || a.options.DebugAsmb || a.options.DebugVars) {
    return usage("--out-dir does not take the debug options");
  }
  if (a.images.empty()) return usage("no image file given");
  // A bad folder is reported before any image is analysed.
  if (std::string problem = CheckOutputFolder(a.outDir); !problem.empty()) {
    err << "brevin-cli: " << problem << "\n";
    return kExitFileError;
  }
  BatchOptions options;
  options.outDir = a.outDir;
  options.jobs = a.jobs == 0 ? DefaultJobs() : a.jobs;
  options.progress = err.IsTerminal();  // for a person watching, not for a log file or a pipe
  if (a.json) options.extension = ".json";
  return RunBatch(a.images, options, [&a] { return MakeListingRenderer(a); }, err);
}

}  // namespace

int Run(const std::vector<std::string>& args, TextSink& out, TextSink& err) {
  Arguments a;
  bool help = false, version = false;
  if (std::string problem = Parse(args, a, help, version); !problem.empty()) {
    err << "brevin-cli: " << problem << "\nTry 'brevin-cli --help'.\n";
    return kExitUsage;
  }
  if (a.json && !a.report.empty()) {
    err << "brevin-cli: choose one of --json and --" << a.report << "\nTry 'brevin-cli --help'.\n";
    return kExitUsage;
  }
  if (help) {
    out << kUsage;
    return kExitOk;
  }
  if (version) {
    out << "brevin-cli (" << ProductTitle << ") " << VersionText() << "\n";
    return kExitOk;
  }

  if (!a.outDir.empty()) return RunOutDir(a, err);
  if (a.jobs != 0) {
    err << "brevin-cli: --jobs needs --out-dir\nTry 'brevin-cli --help'.\n";
    return kExitUsage;
  }

  const bool tableReport = a.report == "spin-opcodes" || a.report == "spin-effects" || a.report == "asm-opcodes";
  if (tableReport) {
    if (!a.image.empty()) {
      err << "brevin-cli: --" << a.report << " takes no image\nTry 'brevin-cli --help'.\n";
      return kExitUsage;
    }
    std::array<bool, 256> seen;
    seen.fill(true);  // outside developer mode every opcode counts as seen
    std::string text = a.report == "spin-opcodes"   ? SpinOpcodesReport(seen)
                       : a.report == "spin-effects" ? SpinEffectsReport()
                                                    : AsmOpcodesReport();
    return Deliver(a, WithFinalLineEnd(std::move(text)), out, err);
  }

  if (a.image.empty()) {
    err << "brevin-cli: no image file given\nTry 'brevin-cli --help'.\n";
    return kExitUsage;
  }

  CliHost host(a, err);
  auto engine = std::make_unique<Engine>(host);
  const LoadResult result = engine->LoadAndDisassemble(a.image, false);
  for (const std::string& warning : result.warnings) err << "brevin-cli: warning: " << warning << "\n";

  if (!a.debugOut.empty() || !host.DebugText().empty()) {
    if (a.debugOut.empty()) {
      err << host.DebugText();
    } else if (std::string problem = WriteFileAtomically(a.debugOut, host.DebugText()); !problem.empty()) {
      err << "brevin-cli: " << problem << "\n";
      return kExitFileError;
    }
  }

  switch (result.status) {
    case LoadStatus::Listed: break;
    case LoadStatus::Unreadable:
      err << "brevin-cli: " << result.message << "\n";
      return kExitFileError;
    case LoadStatus::Refused:
      err << "brevin-cli: " << result.message << "\n";
      return kExitRefused;
    case LoadStatus::Declined: return kExitRefused;
  }

  if (a.report == "flags-report") return Deliver(a, WithFinalLineEnd(engine->ListImageFlags()), out, err);
  if (a.json) return Deliver(a, AnalysisJson(*result.analysis), out, err);
  return Deliver(a, result.analysis->listing, out, err);
}

}  // namespace brevin::cli
