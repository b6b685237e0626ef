#include "cli.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>

#include "batch.h"
#include "brevin/engine.h"
#include "brevin/reports.h"
#include "brevin/spin_source.h"
#include "brevin/text.h"
#include "brevin/version_text.h"
#include "input_file.h"
#include "brevin/library.h"
#include "brevin/notes.h"
#include "json_output.h"
#include "library_files.h"
#include "messages.h"
#include "notes_file.h"
#include "output_file.h"
#include "output_folder.h"

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
    {"trace-all-methods", &Options::TraceAllMethods},
    {"library-names", &Options::LibraryNames},
};

constexpr const char* kUsage =
    "Usage: brevin-cli [options] IMAGE            listing to standard output\n"
    "       brevin-cli [options] -o OUT IMAGE     listing to the file OUT\n"
    "       brevin-cli --spin-opcodes | --spin-effects | --asm-opcodes\n"
    "       brevin-cli --flags-report [options] IMAGE\n"
    "       brevin-cli [options] --out-dir DIR [--jobs N] IMAGE...\n"
    "       brevin-cli --json [options] IMAGE     the analysis as one JSON object\n"
    "       brevin-cli --learn IMAGE...           add the images' objects, named by the\n"
    "                                             Spin sources beside them, to your library\n"
    "\n"
    "Disassembles a Propeller 1 image (.binary or .eeprom) into a listing.\n"
    "IMAGE '-' reads the image from standard input; OUT '-' is standard output.\n"
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
    "  --trace-all-methods [off]  decode every method of every object table,\n"
    "                             called or not\n"
    "  --library-names [on]       name known library objects recognised by their\n"
    "                             bytes in --json (never in the listing text)\n"
    "\n"
    "Other options:\n"
    "  -o OUT                     write the listing to OUT (CR LF line ends)\n"
    "  --out-dir=DIR              list every IMAGE into DIR/<file name>.lst\n"
    "  --jobs=N                   with --out-dir: N threads (default: the\n"
    "                             processors; never more than there are images)\n"
    "  --json                     the analysis as JSON (with --out-dir:\n"
    "                             DIR/<file name>.json)\n"
    "  --ignore-checksum          analyse an image whose checksum stays wrong\n"
    "  --inhibit-warnings         answer the checksum question with Yes, no notices\n"
    "  --debug-spin, --debug-asmb, --debug-vars   write the debug channel\n"
    "  --debug-out=FILE           debug channel to FILE (default: standard error)\n"
    "  --spin-opcodes, --spin-effects, --asm-opcodes   print a reference table\n"
    "  --flags-report             print the image flags after the analysis\n"
    "  --spin-source=DIR          write the program back as Spin source into DIR\n"
    "                             (DIR/<file name>.spin and one file per object);\n"
    "                             exit status 5 when some methods differ\n"
    "  --learn                    add each IMAGE's objects, with the names of the\n"
    "                             Spin sources beside it, to the library of known\n"
    "                             objects in $XDG_DATA_HOME/brevin/library.tsv\n"
    "  --rename OLD=NEW           record NEW as the name of the label OLD (as the\n"
    "                             listing shows it) in the image's notes, and exit\n"
    "  --comment '$ADDR=TEXT'     record TEXT as the comment of the line at hub\n"
    "                             address ADDR (empty TEXT removes it), and exit\n"
    "  --notes FILE               the notes in FILE instead of IMAGE.brevin.json\n"
    "  --no-notes                 no notes: the listing as without a notes file\n"
    "  --force                    let --spin-source replace files of its outputs'\n"
    "                             names, and -o an image or a Spin source file\n"
    "  -h, --help                 this text\n"
    "  --version                  the version\n"
    "\n"
    "A value follows its option as '--out-dir=DIR', '--out-dir DIR', '-oOUT' or\n"
    "'-o OUT'. Long options may be shortened where that is unambiguous. '--' ends\n"
    "the options. OUT is never the image itself, the Spin source beside it nor\n"
    "its notes file (IMAGE.brevin.json);\n"
    "an existing OUT keeps its mode and owner, a link to it stays, and a device\n"
    "or FIFO is written as it is. An OUT that holds a Propeller image or is named\n"
    "*.binary, *.eeprom or *.spin is replaced only with --force.\n"
    "\n"
    "Exit status: 0 done, 2 bad usage, 3 image refused, 4 file error,\n"
    "5 Spin source written with methods that differ.\n";

struct Arguments {
  Options options;
  bool ignoreChecksum = false;
  std::string outPath;   // empty or "-": standard output
  std::string debugOut;  // empty: standard error; "-": standard output
  std::string image;     // "-": standard input
  std::vector<std::string> images;  // every IMAGE given; more than one only with --out-dir
  std::string outDir;
  unsigned jobs = 0;  // 0: the number of processors
  std::string report;  // "spin-opcodes", "spin-effects", "asm-opcodes", "flags-report" or empty
  bool json = false;   // the analysis model as JSON instead of the listing
  std::string spinSourceDir;  // write the recovered Spin source into this folder
  bool force = false;  // replace existing outputs of --spin-source, and image or source files with -o
  bool learn = false;  // add the images' objects to the person's library
  // --rename OLD=NEW and --comment '$ADDR=TEXT' in the order given: true for a rename.
  std::vector<std::pair<bool, std::string>> noteEdits;
  std::string notesPath;  // --notes FILE: the notes to use instead of IMAGE.brevin.json
  bool noNotes = false;   // --no-notes: the listing as without a notes file
};

bool IsStandardStream(const std::string& path) { return path == "-"; }

void ReportNoteProblems(const std::string& notesPath, const LoadResult& result, TextSink& err, std::string_view prefix);

// The refusal when an output would replace a Spin source the run reads.
constexpr std::string_view kOverwritesSource = "the output would overwrite the Spin source beside the image";


// The command line's answers to the engine's questions; its messages are
// lines after prefix ("brevin-cli: " for a single run, nothing in a batch,
// which names each line's image itself).
class CliHost : public Host {
 public:
  CliHost(const Arguments& args, TextSink& err, std::string_view prefix) : args_(args), err_(err), prefix_(prefix) {}

  // The image of the next load: its name in messages, and whether it came from standard input.
  void SetImage(const std::string& name, bool fromStandardInput) {
    image_ = name;
    fromStandardInput_ = fromStandardInput;
  }

  Options LoadOptions() override { return args_.options; }

  MessageAnswer ShowMessage(const std::string& /*title*/, const std::string& text, MessageButtons buttons,
                            MessageIcon icon) override {
    // Only developer mode's problem reports ask while loading: go on reporting.
    err_ << prefix_ << MessageLine(image_, text, buttons, icon) << "\n";
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Yes;
  }

  void DebugWrite(const std::string& text) override { debug_ += text; }

  // A listing needs only the text; the JSON output needs the whole model, and
  // the Spin source its labels.
  bool WantsModel() override { return args_.json || !args_.spinSourceDir.empty() || !args_.noteEdits.empty(); }

  bool DeveloperMode() override {
    const char* mode = std::getenv("BREVIN_DEVELOPER_MODE");
    return mode != nullptr && std::string(mode) == "1";
  }

  // Standard input has no folder to find a source file in.
  std::string SourcePathFor(const std::string& imagePath) override {
    return fromStandardInput_ ? std::string() : Host::SourcePathFor(imagePath);
  }

  // The person's own library first (it may not exist yet), then the shipped one.
  std::vector<LibraryFile> LibraryFiles() override {
    std::vector<LibraryFile> files;
    if (std::string user = platform::UserLibraryPath(); !user.empty()) files.push_back({user, true});
    files.push_back({platform::ShippedLibraryPath(), false});
    return files;
  }

  // The notes file of an image: --notes FILE, else IMAGE.brevin.json beside
  // it; none for standard input without --notes.
  std::string NotesPathOf(const std::string& imagePath) const {
    if (!args_.notesPath.empty()) return args_.notesPath;
    return fromStandardInput_ ? std::string() : NotesPathFor(imagePath);
  }

  // The notes beside the image, read for each load; a file that cannot be
  // read or parsed is named in a warning and the output goes on without it.
  std::shared_ptr<const Notes> NotesFor(const std::string& imagePath) override {
    if (recording_) return recording_;
    if (args_.noNotes) return nullptr;
    const std::string path = NotesPathOf(imagePath);
    if (path.empty()) return nullptr;
    const NotesFile file = ReadNotesFile(path);
    if (!file.exists && !args_.notesPath.empty()) {
      err_ << prefix_ << QuotedName(path) << ": cannot be read: No such file or directory; the output goes on without notes\n";
    } else if (!file.problem.empty()) {
      err_ << prefix_ << QuotedName(path) << ": " << file.problem << "; the output goes on without notes\n";
    }
    return file.notes;
  }

  // The notes a --rename or --comment run is recording, used in place of the file's.
  void UseNotes(std::shared_ptr<const Notes> notes) { recording_ = std::move(notes); }

  const std::string& DebugText() const { return debug_; }

 private:
  std::shared_ptr<const Notes> recording_;
  const Arguments& args_;
  TextSink& err_;
  std::string_view prefix_;
  std::string image_;
  bool fromStandardInput_ = false;
  std::string debug_;
};

// ---- The command line, parsed with getopt_long

enum OptionCode : int {
  kOptHelp = 'h',
  kOptOutput = 'o',
  kOptOutDir = 256,
  kOptJobs,
  kOptDebugOut,
  kOptJson,
  kOptIgnoreChecksum,
  kOptInhibitWarnings,
  kOptDebugSpin,
  kOptDebugAsmb,
  kOptDebugVars,
  kOptSpinOpcodes,
  kOptSpinEffects,
  kOptAsmOpcodes,
  kOptFlagsReport,
  kOptVersion,
  kOptSpinSource,
  kOptForce,
  kOptLearn,
  kOptRename,
  kOptComment,
  kOptNotes,
  kOptNoNotes,
  kOptView = 512,  // view option i: kOptView + 2 * i, its --no- form one more
};

constexpr const char* kShortOptions = ":ho:";

// The long options, terminated by a zero entry, built once (getopt_long keeps
// pointers to the names).
const std::vector<option>& LongOptions() {
  static const std::vector<std::string> viewNames = [] {
    std::vector<std::string> names;
    for (const ViewOption& v : kViewOptions) {
      names.push_back(v.name);
      names.push_back(std::string("no-") + v.name);
    }
    return names;
  }();
  static const std::vector<option> options = [] {
    std::vector<option> list = {
        {"help", no_argument, nullptr, kOptHelp},
        {"version", no_argument, nullptr, kOptVersion},
        {"out-dir", required_argument, nullptr, kOptOutDir},
        {"spin-source", required_argument, nullptr, kOptSpinSource},
        {"jobs", required_argument, nullptr, kOptJobs},
        {"debug-out", required_argument, nullptr, kOptDebugOut},
        {"json", no_argument, nullptr, kOptJson},
        {"ignore-checksum", no_argument, nullptr, kOptIgnoreChecksum},
        {"inhibit-warnings", no_argument, nullptr, kOptInhibitWarnings},
        {"debug-spin", no_argument, nullptr, kOptDebugSpin},
        {"debug-asmb", no_argument, nullptr, kOptDebugAsmb},
        {"debug-vars", no_argument, nullptr, kOptDebugVars},
        {"spin-opcodes", no_argument, nullptr, kOptSpinOpcodes},
        {"spin-effects", no_argument, nullptr, kOptSpinEffects},
        {"asm-opcodes", no_argument, nullptr, kOptAsmOpcodes},
        {"flags-report", no_argument, nullptr, kOptFlagsReport},
        {"force", no_argument, nullptr, kOptForce},
        {"learn", no_argument, nullptr, kOptLearn},
        {"rename", required_argument, nullptr, kOptRename},
        {"comment", required_argument, nullptr, kOptComment},
        {"notes", required_argument, nullptr, kOptNotes},
        {"no-notes", no_argument, nullptr, kOptNoNotes},
    };
    for (std::size_t i = 0; i < viewNames.size(); ++i) {
      list.push_back({viewNames[i].c_str(), no_argument, nullptr, kOptView + static_cast<int>(i)});
    }
    list.push_back({nullptr, 0, nullptr, 0});
    return list;
  }();
  return options;
}

const char* LongNameOf(int code) {
  for (const option& o : LongOptions()) {
    if (o.name != nullptr && o.val == code) return o.name;
  }
  return nullptr;
}

// getopt_long's own wording, for an option it did not accept.
std::string BadOption(const std::string& argument, int code) {
  if (!argument.starts_with("--")) return std::string("invalid option -- '") + static_cast<char>(code) + "'";
  const std::string name = argument.substr(2, argument.find('=') - 2);
  if (const char* known = LongNameOf(code); known != nullptr && code != 0) {
    return std::string("option '--") + known + "' doesn't allow an argument";
  }
  std::string possibilities;
  int matches = 0;
  for (const option& o : LongOptions()) {
    if (o.name != nullptr && std::string_view(o.name).starts_with(name)) {
      possibilities += std::string(" '--") + o.name + "'";
      ++matches;
    }
  }
  if (matches > 1) return "option '--" + name + "' is ambiguous; possibilities:" + possibilities;
  return "unrecognized option '" + argument + "'";
}

std::string MissingValue(const std::string& argument, int code) {
  if (!argument.starts_with("--")) return std::string("option requires an argument -- '") + static_cast<char>(code) + "'";
  return std::string("option '--") + LongNameOf(code) + "' requires an argument";
}

// Parses the arguments; returns an error text for bad usage.
std::string Parse(const std::vector<std::string>& args, Arguments& a, bool& help, bool& version) {
  std::vector<std::string> words;
  words.reserve(args.size() + 1);
  words.emplace_back("brevin-cli");
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());

  optind = 0;  // 0, not 1: glibc then starts afresh, for each run in one process
  opterr = 0;  // the messages below go through err
  int code;
  while ((code = getopt_long(argc, argv.data(), kShortOptions, LongOptions().data(), nullptr)) != -1) {
    const std::string value = optarg != nullptr ? optarg : "";
    switch (code) {
      case '?': return BadOption(argv[static_cast<std::size_t>(optind - 1)], optopt);
      case ':': return MissingValue(argv[static_cast<std::size_t>(optind - 1)], optopt);
      case kOptHelp: help = true; break;
      case kOptVersion: version = true; break;
      case kOptOutput:
        if (value.empty()) return "-o needs a file name";
        a.outPath = value;
        break;
      case kOptOutDir:
        if (value.empty()) return "--out-dir needs a folder";
        a.outDir = value;
        break;
      case kOptSpinSource:
        if (value.empty()) return "--spin-source needs a folder";
        a.spinSourceDir = value;
        break;
      case kOptJobs: {
        char* end = nullptr;
        errno = 0;
        const unsigned long n = std::strtoul(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || errno != 0 || n < 1 || n > 1024 || value[0] == '-' || value[0] == '+') {
          return "--jobs needs a number from 1 to 1024";
        }
        a.jobs = static_cast<unsigned>(n);
        break;
      }
      case kOptDebugOut:
        if (value.empty()) return "--debug-out needs a file name";
        a.debugOut = value;
        break;
      case kOptJson: a.json = true; break;
      case kOptForce: a.force = true; break;
      case kOptLearn: a.learn = true; break;
      case kOptRename:
      case kOptComment: a.noteEdits.emplace_back(code == kOptRename, value); break;
      case kOptNotes:
        if (value.empty()) return "--notes needs a file name";
        a.notesPath = value;
        break;
      case kOptNoNotes: a.noNotes = true; break;
      case kOptIgnoreChecksum: a.ignoreChecksum = true; break;
      case kOptInhibitWarnings: a.options.InhibitWarnings = true; break;
      case kOptDebugSpin: a.options.DebugSpin = true; break;
      case kOptDebugAsmb: a.options.DebugAsmb = true; break;
      case kOptDebugVars: a.options.DebugVars = true; break;
      case kOptSpinOpcodes:
      case kOptSpinEffects:
      case kOptAsmOpcodes:
      case kOptFlagsReport: {
        const std::string report = LongNameOf(code);
        if (!a.report.empty() && a.report != report) return "choose one of --" + a.report + " and --" + report;
        a.report = report;
        break;
      }
      default: {
        const int view = code - kOptView;
        if (view < 0 || view >= 2 * static_cast<int>(std::size(kViewOptions))) return "unknown option";
        a.options.*kViewOptions[view / 2].flag = view % 2 == 0;
        break;
      }
    }
  }
  // getopt_long has moved the operands behind the options in argv (not in words).
  for (int i = optind; i < argc; ++i) {
    if (a.image.empty()) a.image = argv[static_cast<std::size_t>(i)];
    a.images.emplace_back(argv[static_cast<std::size_t>(i)]);
  }
  if (a.outDir.empty() && !a.learn && a.images.size() > 1) {
    return "more than one image given: " + QuotedName(a.images[0]) + " and " + QuotedName(a.images[1]);
  }
  return {};
}

// What an existing regular file at path is, when it is one the program reads:
// "a Propeller image" (named *.binary or *.eeprom, or beginning with an image
// header: PBASE $0010 at byte 6, VBASE not below it) or "a Spin source"
// (*.spin); empty otherwise. A listing, a report or JSON is none of these.
std::string_view ReadableKindOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".spin") return "a Spin source";
  if (extension == ".binary" || extension == ".eeprom") return "a Propeller image";
  if (st.st_size < 16 || st.st_size > 32768) return {};
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {};
  std::uint8_t header[16];
  const ssize_t got = ::read(fd, header, sizeof header);
  ::close(fd);
  if (got != static_cast<ssize_t>(sizeof header)) return {};
  const unsigned pbase = header[6] | static_cast<unsigned>(header[7]) << 8;
  const unsigned vbase = header[8] | static_cast<unsigned>(header[9]) << 8;
  return pbase == 0x0010 && vbase >= pbase ? "a Propeller image" : std::string_view();
}

int UsageError(TextSink& err, const std::string& problem) {
  err << kProgram << problem << "\nTry 'brevin-cli --help' for more information.\n";
  return kExitUsage;
}

std::string WithFinalLineEnd(std::string text) { return text + std::string(kCrLf); }

// Pushes out what standard output holds; the exit status: a write error is
// reported, a reader that went away ends the run quietly.
int FinishStandardOutput(TextSink& out, TextSink& err) {
  if (out.Flush()) return kExitOk;
  if (out.Error() == EPIPE) return kExitBrokenPipe;
  err << kProgram << "standard output: cannot be written: " << std::strerror(out.Error()) << "\n";
  return kExitFileError;
}

// Writes text to standard output ("-" or no file) or to the file through the
// one writer; returns the exit status.
int Deliver(const std::string& path, const std::string& text, TextSink& out, TextSink& err,
            const std::vector<platform::FileIdentity>& inputs) {
  if (path.empty() || IsStandardStream(path)) {
    out.Write(text);
    return FinishStandardOutput(out, err);
  }
  if (std::string problem = platform::WriteOutputFile(path, text, inputs); !problem.empty()) {
    err << kProgram << QuotedName(path) << ": " << problem << "\n";
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
    bool json;            // the model as JSON instead of the listing
    bool acceptChecksum;  // list images whose checksum is wrong
    Options options;
    explicit State(const Arguments& args)
        : host(args, messages, ""),
          engine(host),
          json(args.json),
          acceptChecksum(args.ignoreChecksum),
          options(args.options) {}
  };
  auto state = std::make_shared<State>(a);
  return [state](const std::string& image) {
    state->messages.Clear();
    state->host.SetImage(image, false);
    // Each image is a fresh start, as in a single run: the missing-source notice may show again.
    state->engine.ArmSourceWarning(true);
    // Read once, without waiting on a FIFO that nothing writes to.
    const platform::InputFile input = platform::ReadInputFile(image);
    if (!input.problem.empty()) return RenderedImage{kExitFileError, {}, image + ": " + input.problem + "\n"};
    const LoadResult result =
        state->engine.DisassembleFile(image, input.bytes, input.fileSize, false, state->acceptChecksum);
    for (const Notice& notice : result.notices) state->messages << NoticeLine(image, notice) << "\n";
    if (result.status == LoadStatus::ChecksumMismatch && result.checksum) {
      state->messages << ChecksumLine(image, *result.checksum) << "\n";
    }
    for (const std::string& warning : result.warnings) state->messages << WarningLine(image, warning) << "\n";
    ReportNoteProblems(state->host.NotesPathOf(image), result, state->messages, "");
    if (const std::string line = UntracedMethodsLine(image, result, state->options); !line.empty()) {
      state->messages << line << "\n";
    }
    RenderedImage rendered;
    switch (result.status) {
      case LoadStatus::Listed:
        rendered.contents = state->json ? AnalysisJson(*result.analysis) : result.analysis->listing;
        break;
      case LoadStatus::Unreadable: rendered.status = kExitFileError; break;
      case LoadStatus::Refused:
      case LoadStatus::ChecksumMismatch: rendered.status = kExitRefused; break;
    }
    if (result.status == LoadStatus::Unreadable || result.status == LoadStatus::Refused) {
      state->messages << WithQuotedName(result.message, image) << "\n";
    }
    rendered.messages = state->messages.Text();
    return rendered;
  };
}

int RunOutDir(const Arguments& a, TextSink& err) {
  if (!a.outPath.empty()) return UsageError(err, "--out-dir and -o exclude each other");
  if (!a.report.empty()) return UsageError(err, "--out-dir does not take --" + a.report);
  if (!a.debugOut.empty() || a.options.DebugSpin || a.options.DebugAsmb || a.options.DebugVars) {
    return UsageError(err, "--out-dir does not take the debug options");
  }
  if (a.images.empty()) return UsageError(err, "no image file given");
  for (const std::string& image : a.images) {
    if (IsStandardStream(image)) return UsageError(err, "--out-dir takes image files, not standard input ('-')");
  }
  // A bad folder is reported before any image is analysed.
  if (std::string problem = CheckOutputFolder(a.outDir); !problem.empty()) {
    err << kProgram << WithQuotedName(problem, a.outDir) << "\n";
    return kExitFileError;
  }
  BatchOptions options;
  options.outDir = a.outDir;
  options.jobs = a.jobs == 0 ? DefaultJobs() : a.jobs;
  options.progress = err.IsTerminal();  // for a person watching, not for a log file or a pipe
  if (a.json) options.extension = ".json";
  return RunBatch(a.images, options, [&a] { return MakeListingRenderer(a); }, err);
}

// Recovers the Spin source of the image (its bytes as read for the listing:
// the image is read once, so a pipe serves too) and writes its files into the
// folder through the one writer; the summary and the inexact methods go to err.
int WriteSpinSource(const Arguments& a, std::span<const std::uint8_t> bytes, CliHost& host, const Analysis* analysis,
                    TextSink& err, const std::vector<platform::FileIdentity>& inputs) {
  namespace fs = std::filesystem;
  const bool fromStandardInput = IsStandardStream(a.image);
  SpinSourceRequest request;
  request.image = bytes;
  request.analysis = analysis;
  request.topName = fromStandardInput ? "stdin" : fs::path(a.image).stem().string();
  if (request.topName.empty()) request.topName = "program";
  // The sources beside the image lend their names; they and the image are
  // inputs that the files written never replace, --force or not (as when DIR
  // is the image's own folder).
  std::vector<platform::KeptFile> kept;
  for (const platform::FileIdentity& input : inputs) kept.push_back({input, std::string(platform::kOverwritesInput)});
  const auto keepSource = [&kept](const std::string& path) {
    if (auto id = platform::IdentityOf(path)) kept.push_back({*id, std::string(kOverwritesSource)});
  };
  if (!fromStandardInput) {
    const std::string sourcePath = host.SourcePathFor(a.image);
    std::error_code ec;
    // Only regular files: opening a FIFO of a source's name would wait for a writer.
    if (!sourcePath.empty() && fs::is_regular_file(sourcePath, ec)) {
      std::ifstream source(sourcePath, std::ios::binary);
      if (source) {
        request.sourceText.assign(std::istreambuf_iterator<char>(source), std::istreambuf_iterator<char>());
        keepSource(sourcePath);
        // Child objects' sources beside it, as its OBJ block names them.
        const fs::path folder = fs::path(sourcePath).parent_path();
        request.objectSource = [folder, keepSource](const std::string& file) {
          if (file.empty() || file.find('/') != std::string::npos || file.find('\\') != std::string::npos) return std::string();
          const fs::path path = folder / (file + ".spin");
          std::error_code childError;
          // Only regular files: opening a FIFO of a source's name would wait for a writer.
          if (!fs::is_regular_file(path, childError)) return std::string();
          std::ifstream child(path, std::ios::binary);
          if (!child) return std::string();
          keepSource(path.string());
          return std::string(std::istreambuf_iterator<char>(child), std::istreambuf_iterator<char>());
        };
      }
    }
  }
  const SpinSourceProject project = RecoverSpinSource(request);
  const std::string shown = fromStandardInput ? std::string(kStandardInput) : QuotedName(a.image);
  if (!project.error.empty()) {
    err << kProgram << shown << ": " << project.error << "\n";
    return kExitRefused;
  }
  // Every target is checked before the first is written: a link, a FIFO or an
  // input of an output's name is refused, an existing file needs --force.
  const auto pathOf = [&a](const std::string& name) { return (fs::path(a.spinSourceDir) / name).string(); };
  std::vector<platform::FolderFile> files;
  std::vector<std::string> names;
  for (const SpinSourceFile& file : project.files) {
    files.push_back({file.name, SpinSourceFileBytes(file)});
    names.push_back(file.name);
  }
  const platform::FolderPlan plan = platform::PlanFolderFiles(a.spinSourceDir, names, kept);
  if (plan.refusal.Failed()) {
    const std::string where = plan.refusal.name.empty() ? a.spinSourceDir : pathOf(plan.refusal.name);
    err << kProgram << QuotedName(where) << ": " << plan.refusal.problem << "\n";
    return kExitFileError;
  }
  if (!plan.existing.empty() && !a.force) {
    std::string list;
    for (const std::string& name : plan.existing) list += (list.empty() ? "" : ", ") + pathOf(name);
    err << kProgram << list
        << (plan.existing.size() == 1 ? ": already exists; --force replaces it\n"
                                      : ": already exist; --force replaces them\n");
    return kExitFileError;
  }
  // All files or none: a failure leaves the folder as it was.
  if (const platform::FolderProblem failed = platform::WriteFolderFiles(a.spinSourceDir, files, a.force, kept);
      failed.Failed()) {
    const std::string where = failed.name.empty() ? a.spinSourceDir : pathOf(failed.name);
    err << kProgram << QuotedName(where) << ": " << failed.problem << (files.size() > 1 ? "; no file was written\n" : "\n");
    return kExitFileError;
  }
  const std::string topPath = project.files.empty() ? a.spinSourceDir : pathOf(project.files.front().name);
  const int inexact = project.InexactMethods();
  for (const SpinSourceMethod& method : project.methods) {
    if (!method.exact) err << kProgram << method.file << ": " << method.name << ": " << method.difference << "\n";
  }
  const std::size_t total = project.methods.size();
  err << kProgram << project.files.size() << (project.files.size() == 1 ? " object, " : " objects, ") << total
      << (total == 1 ? " method, " : " methods, ") << (total - static_cast<std::size_t>(inexact))
      << " reconstructed exactly; wrote " << QuotedName(topPath) << "\n";
  return inexact > 0 ? kExitInexact : kExitOk;
}

// The source of a child object beside its parent's: the OBJ file name as
// written, else the one name in the folder that differs from it only in case.
std::string ChildSource(const std::filesystem::path& folder, const std::string& file) {
  namespace fs = std::filesystem;
  if (file.empty() || file.find('/') != std::string::npos || file.find('\\') != std::string::npos) return {};
  const std::string wanted = file + ".spin";
  fs::path path = folder / wanted;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    path.clear();
    const auto lower = [](std::string t) {
      for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return t;
    };
    for (const fs::directory_entry& entry : fs::directory_iterator(folder.empty() ? fs::path(".") : folder, ec)) {
      if (lower(entry.path().filename().string()) == lower(wanted) && entry.is_regular_file(ec)) {
        path = entry.path();
        break;
      }
    }
    if (path.empty()) return {};
  }
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// --learn: each image's objects, named by the Spin sources beside it, go into
// the person's library, which keeps every entry it had. An image whose
// sources do not fit it teaches nothing (its names would be wrong).
int Learn(const Arguments& a, TextSink& err) {
  namespace fs = std::filesystem;
  if (a.images.empty()) return UsageError(err, "--learn needs image files");
  if (!a.outPath.empty() || !a.outDir.empty() || a.json || !a.report.empty() || !a.spinSourceDir.empty()) {
    return UsageError(err, "--learn takes no output option");
  }
  const std::string libraryPath = platform::UserLibraryPath();
  if (libraryPath.empty()) {
    err << kProgram << "no place for your library: neither XDG_DATA_HOME nor HOME is set\n";
    return kExitFileError;
  }
  ObjectLibrary library;
  std::error_code ec;
  if (fs::exists(libraryPath, ec)) {
    std::ifstream in(libraryPath, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    std::string problem;
    if (!in.good() && !in.eof()) {
      err << kProgram << QuotedName(libraryPath) << ": cannot be read; nothing was learned\n";
      return kExitFileError;
    }
    if (!library.Load(text, problem)) {
      err << kProgram << QuotedName(libraryPath) << ": is no library of known objects (" << problem
          << "); nothing was learned, the file is left as it is\n";
      return kExitFileError;
    }
  }
  int status = kExitOk, objects = 0, added = 0;
  CliHost host(a, err, kProgram);
  for (const std::string& image : a.images) {
    const std::string shown = QuotedName(image);
    if (IsStandardStream(image)) {
      err << kProgram << "--learn takes image files, not standard input ('-')\n";
      status = kExitUsage;
      continue;
    }
    std::ifstream in(image, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (!in.good() && !in.eof()) {
      err << kProgram << shown << ": cannot be read\n";
      status = kExitFileError;
      continue;
    }
    const std::string sourcePath = host.SourcePathFor(image);
    std::ifstream sourceIn(sourcePath, std::ios::binary);
    if (!sourceIn) {
      err << kProgram << shown << ": no Spin source beside it (" << QuotedName(sourcePath) << "); nothing learned\n";
      status = kExitRefused;
      continue;
    }
    const std::string source(std::istreambuf_iterator<char>(sourceIn), {});
    const fs::path folder = fs::path(sourcePath).parent_path();
    const ObjectLibrary::Learned learned =
        library.Learn(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                      fs::path(sourcePath).filename().string(), source,
                      [&folder](const std::string& file) { return ChildSource(folder, file); });
    if (!learned.problem.empty()) {
      err << kProgram << shown << ": " << learned.problem << "; nothing learned\n";
      status = kExitRefused;
      continue;
    }
    objects += learned.objects;
    added += learned.added;
    for (const std::string& file : learned.unnamed) {
      err << kProgram << shown << ": no source " << QuotedName(file + ".spin") << " beside it; that object is not learned\n";
    }
  }
  if (added > 0) {
    std::error_code made;
    fs::create_directories(fs::path(libraryPath).parent_path(), made);
    if (const std::string problem = platform::WriteOutputFile(libraryPath, library.Text()); !problem.empty()) {
      err << kProgram << QuotedName(libraryPath) << ": " << problem << "; nothing was learned\n";
      return kExitFileError;
    }
  }
  err << kProgram << objects << (objects == 1 ? " object" : " objects") << " named, " << added << " new; "
      << QuotedName(libraryPath) << " holds " << library.Entries() << "\n";
  return status;
}

// A hub address as a person types it: "$01A4", "0x1A4" or "01A4".
std::optional<std::int32_t> ParseHubAddress(std::string_view text) {
  if (text.starts_with("$")) text.remove_prefix(1);
  else if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  if (text.empty() || text.size() > 4) return std::nullopt;
  std::int32_t value = 0;
  for (const char c : text) {
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return std::nullopt;
    value = value * 16 + d;
  }
  return value;
}

// --rename and --comment: each edit is checked against the analysis of the
// image with the edits before it applied, and the notes file is written once,
// through the one writer, when every edit was accepted. A refused edit leaves
// the file as it was.
int RecordNotes(const Arguments& a, TextSink& err, int standardInput) {
  if (a.noNotes) return UsageError(err, "--rename and --comment record into the notes: not with --no-notes");
  if (!a.outPath.empty() || a.json || !a.report.empty() || !a.spinSourceDir.empty() || !a.outDir.empty() ||
      !a.debugOut.empty()) {
    return UsageError(err, "--rename and --comment record and exit: they take no output option");
  }
  if (a.image.empty()) return UsageError(err, "no image file given");
  const bool fromStandardInput = IsStandardStream(a.image);
  if (fromStandardInput && a.notesPath.empty()) {
    return UsageError(err, "an image from standard input needs --notes FILE to record into");
  }
  const std::string path = a.notesPath.empty() ? NotesPathFor(a.image) : a.notesPath;
  const NotesFile file = ReadNotesFile(path);
  if (!file.problem.empty()) {
    err << kProgram << QuotedName(path) << ": " << file.problem << "; nothing recorded, the file is left as it is\n";
    return kExitFileError;
  }
  Notes notes = file.notes ? *file.notes : Notes{};
  const std::string before = NotesText(notes);

  platform::InputFile input =
      fromStandardInput ? platform::ReadInputDescriptor(standardInput) : platform::ReadInputFile(a.image);
  const std::string shown = fromStandardInput ? std::string(kStandardInput) : a.image;
  if (!input.problem.empty()) {
    err << kProgram << QuotedName(shown) << ": " << input.problem << "\n";
    return kExitFileError;
  }
  std::vector<platform::FileIdentity> inputs;
  if (auto id = fromStandardInput ? platform::IdentityOfDescriptor(standardInput) : platform::IdentityOf(a.image)) {
    inputs.push_back(*id);
  }
  StringSink quiet;  // the listing's own notices are not this run's business
  CliHost host(a, quiet, kProgram);
  host.SetImage(shown, fromStandardInput);
  Engine engine(host);
  for (const auto& [isRename, edit] : a.noteEdits) {
    const std::string option = isRename ? "--rename " : "--comment ";
    const std::size_t equals = edit.find('=');
    if (equals == std::string::npos || equals == 0) {
      return UsageError(err, isRename ? "--rename needs OLD=NEW" : "--comment needs $ADDR=TEXT");
    }
    host.UseNotes(std::make_shared<const Notes>(notes));
    engine.ArmSourceWarning(false);
    const LoadResult result = engine.DisassembleFile(shown, input.bytes, input.fileSize, false, a.ignoreChecksum);
    if (result.status == LoadStatus::ChecksumMismatch && result.checksum) {
      err << kProgram << ChecksumLine(shown, *result.checksum) << "\n";
      return kExitRefused;
    }
    if (result.status != LoadStatus::Listed) {
      err << kProgram << WithQuotedName(result.message, shown) << "\n";
      return result.status == LoadStatus::Unreadable ? kExitFileError : kExitRefused;
    }
    const std::string key = edit.substr(0, equals), value = edit.substr(equals + 1);
    const std::string& editText = edit;  // clang before 16 cannot capture a structured binding
    const auto refuse = [&](const std::string& why) {
      err << kProgram << option << QuotedName(editText) << ": " << why << "; nothing recorded\n";
      return kExitUsage;
    };
    if (isRename) {
      const NoteTarget target = NameTarget(*result.analysis, key);
      if (!target.problem.empty()) return refuse(target.problem);
      // The generated label itself takes the given name away.
      if (value == target.label) {
        RecordNote(notes, target, "");
        continue;
      }
      if (std::string why = NameRefusal(*result.analysis, notes, target, value); !why.empty()) return refuse(why);
      RecordNote(notes, target, value);
    } else {
      const std::optional<std::int32_t> address = ParseHubAddress(key);
      if (!address) return refuse(QuotedName(key) + " is no hub address ($0000 to $FFFF)");
      for (const char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return refuse("a comment is one line without control characters");
      const NoteTarget target = CommentTarget(*result.analysis, *address);
      if (!target.problem.empty()) return refuse(target.problem);
      RecordNote(notes, target, value);
    }
  }
  const std::string after = NotesText(notes);
  // Nothing to keep and no file yet: none is made.
  if (after == before || (!file.exists && notes.Empty())) return kExitOk;
  if (std::string problem = platform::WriteOutputFile(path, after, inputs); !problem.empty()) {
    err << kProgram << QuotedName(path) << ": " << problem << "; nothing recorded\n";
    return kExitFileError;
  }
  return kExitOk;
}

// The notes that no longer match the image, one line each, naming the file.
void ReportNoteProblems(const std::string& notesPath, const LoadResult& result, TextSink& err, std::string_view prefix) {
  for (const std::string& line : result.noteProblems) err << prefix << QuotedName(notesPath) << ": " << line << "\n";
}

}  // namespace

int Run(const std::vector<std::string>& args, TextSink& out, TextSink& err, int standardInput) {
  Arguments a;
  bool help = false, version = false;
  if (std::string problem = Parse(args, a, help, version); !problem.empty()) return UsageError(err, problem);
  if (a.json && !a.report.empty()) return UsageError(err, "choose one of --json and --" + a.report);
  if (help) {
    out << kUsage;
    return FinishStandardOutput(out, err);
  }
  if (version) {
    out << "brevin-cli " << PackageVersion << "\n"
        << "brevin-cli (" << ProductTitle << ") " << VersionText() << "\n"
        << LicenceLine << "\n";
    return FinishStandardOutput(out, err);
  }

  if (a.learn) return Learn(a, err);
  if (a.noNotes && !a.notesPath.empty()) return UsageError(err, "choose one of --notes and --no-notes");
  if (!a.noteEdits.empty()) return RecordNotes(a, err, standardInput);
  if (!a.outDir.empty() && !a.notesPath.empty()) {
    return UsageError(err, "--notes names one image's notes: not with --out-dir (each image's own are used)");
  }
  if (!a.outDir.empty() && !a.spinSourceDir.empty()) return UsageError(err, "--out-dir and --spin-source exclude each other");
  if (!a.outDir.empty()) return RunOutDir(a, err);
  if (a.jobs != 0) return UsageError(err, "--jobs needs --out-dir");
  if (!a.spinSourceDir.empty()) {
    if (!a.outPath.empty() || a.json || !a.report.empty()) {
      return UsageError(err, "--spin-source takes no -o, --json or report option");
    }
    if (a.image.empty()) return UsageError(err, "no image file given");
    if (std::string problem = CheckOutputFolder(a.spinSourceDir); !problem.empty()) {
      err << kProgram << WithQuotedName(problem, a.spinSourceDir) << "\n";
      return kExitFileError;
    }
  }

  const bool tableReport = a.report == "spin-opcodes" || a.report == "spin-effects" || a.report == "asm-opcodes";
  if (tableReport && !a.image.empty()) return UsageError(err, "--" + a.report + " takes no image");
  if (!tableReport && a.image.empty()) return UsageError(err, "no image file given");

  // The image is never an output, however the output is spelled, nor the
  // Spin source the listing reads beside it; a bad output is refused before
  // any work, as cp refuses before it copies.
  const bool fromStandardInput = IsStandardStream(a.image);
  std::vector<platform::FileIdentity> inputs;
  if (auto id = fromStandardInput ? platform::IdentityOfDescriptor(standardInput) : platform::IdentityOf(a.image)) {
    inputs.push_back(*id);
  }
  CliHost host(a, err, kProgram);
  std::optional<platform::FileIdentity> source;
  if (!tableReport && !fromStandardInput) source = platform::IdentityOf(host.SourcePathFor(a.image));
  // The notes the run reads are kept as they are too.
  std::optional<platform::FileIdentity> notes;
  if (!tableReport && !a.noNotes && !a.image.empty()) {
    const std::string notesPath = !a.notesPath.empty() ? a.notesPath : fromStandardInput ? std::string() : NotesPathFor(a.image);
    if (!notesPath.empty()) notes = platform::IdentityOf(notesPath);
  }
  for (const std::string& target : {a.outPath, a.debugOut}) {
    if (target.empty() || IsStandardStream(target)) continue;
    if (source && platform::IdentityOf(target) == source) {
      err << kProgram << QuotedName(target) << ": " << kOverwritesSource << "\n";
      return kExitFileError;
    }
    if (notes && platform::IdentityOf(target) == notes) {
      err << kProgram << QuotedName(target) << ": the output would overwrite the notes of the image\n";
      return kExitFileError;
    }
    if (std::string problem = platform::CheckOutputTarget(target, inputs); !problem.empty()) {
      err << kProgram << QuotedName(target) << ": " << problem << "\n";
      return kExitFileError;
    }
    // An image read from a pipe has no identity to compare: a file the program
    // reads (an image, a Spin source) is replaced by text only when asked.
    if (const std::string_view kind = ReadableKindOf(target); !kind.empty() && !a.force) {
      err << kProgram << target << ": is " << kind << "; --force replaces it\n";
      return kExitFileError;
    }
  }

  if (tableReport) {
    std::array<bool, 256> seen;
    seen.fill(true);  // outside developer mode every opcode counts as seen
    std::string text = a.report == "spin-opcodes"   ? SpinOpcodesReport(seen)
                       : a.report == "spin-effects" ? SpinEffectsReport()
                                                    : AsmOpcodesReport();
    return Deliver(a.outPath, WithFinalLineEnd(std::move(text)), out, err, inputs);
  }

  auto engine = std::make_unique<Engine>(host);
  LoadResult result;
  // The image is read once, at most one byte past 32 KB; a FIFO that nothing
  // writes to reads as empty instead of waiting.
  platform::InputFile input =
      fromStandardInput ? platform::ReadInputDescriptor(standardInput) : platform::ReadInputFile(a.image);
  if (!input.problem.empty()) {
    err << kProgram << (fromStandardInput ? std::string(kStandardInput) : QuotedName(a.image)) << ": " << input.problem << "\n";
    return kExitFileError;
  }
  if (fromStandardInput) {
    const std::string name(kStandardInput);
    host.SetImage(name, true);
    engine->ArmSourceWarning(false);  // no folder, so no source to miss
    const bool longer = input.Longer();
    input.bytes.resize(std::min(input.bytes.size(), platform::kImageBytes));
    result = engine->DisassembleBytes(name, input.bytes, false, a.ignoreChecksum);
    if (longer) {
      result.warnings.insert(result.warnings.begin(),
                             "the input holds more than 32768 bytes; only the first 32768 were analysed, the rest "
                             "was ignored");
    }
  } else {
    host.SetImage(a.image, false);
    // A recovered source needs no source beside the image: no notice for its absence.
    if (!a.spinSourceDir.empty()) engine->ArmSourceWarning(false);
    result = engine->DisassembleFile(a.image, input.bytes, input.fileSize, false, a.ignoreChecksum);
    input.bytes.resize(std::min(input.bytes.size(), platform::kImageBytes));  // the image's bytes, for the recovery
  }
  // The name as the engine was given it; the message lines quote it where needed.
  const std::string& shown = fromStandardInput ? std::string(kStandardInput) : a.image;
  for (const Notice& notice : result.notices) err << kProgram << NoticeLine(shown, notice) << "\n";
  if (result.status == LoadStatus::ChecksumMismatch && result.checksum) {
    err << kProgram << ChecksumLine(shown, *result.checksum) << "\n";
  }
  for (const std::string& warning : result.warnings) err << kProgram << WarningLine(shown, warning) << "\n";
  ReportNoteProblems(host.NotesPathOf(a.image), result, err, kProgram);
  // The recovery decodes every method whatever the trace reached: no notice then.
  if (const std::string line = UntracedMethodsLine(shown, result, a.options); !line.empty() && a.spinSourceDir.empty()) {
    err << kProgram << line << "\n";
  }

  if (!a.debugOut.empty() || !host.DebugText().empty()) {
    if (a.debugOut.empty()) {
      err << host.DebugText();
    } else if (const int status = Deliver(a.debugOut, host.DebugText(), out, err, inputs); status != kExitOk) {
      return status;
    }
  }

  switch (result.status) {
    case LoadStatus::Listed: break;
    case LoadStatus::Unreadable:
      err << kProgram << WithQuotedName(result.message, shown) << "\n";
      return kExitFileError;
    case LoadStatus::Refused:
      err << kProgram << WithQuotedName(result.message, shown) << "\n";
      return kExitRefused;
    case LoadStatus::ChecksumMismatch: return kExitRefused;
  }

  if (!a.spinSourceDir.empty()) {
    return WriteSpinSource(a, input.bytes, host, result.analysis.get(), err, inputs);
  }
  if (a.report == "flags-report") return Deliver(a.outPath, WithFinalLineEnd(engine->ListImageFlags()), out, err, inputs);
  // The result holds all that is left to write: the engine's working memory
  // goes back before the output is made.
  engine.reset();
  if (a.json && (a.outPath.empty() || IsStandardStream(a.outPath))) {
    // Straight to standard output as it is written: no whole document in memory.
    WriteAnalysisJson(*result.analysis, out);
    return FinishStandardOutput(out, err);
  }
  if (a.json) return Deliver(a.outPath, AnalysisJson(*result.analysis), out, err, inputs);
  return Deliver(a.outPath, result.analysis->listing, out, err, inputs);
}

}  // namespace brevin::cli
