// The pipeline: load a file, check it, trace the code, then walk the image from
// address 0 writing one listing item at a time.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>

#include "brevin/text.h"
#include "disassembler.h"
#include "support/byte_scan.h"
#include "support/paths.h"
#include "brevin/version_text.h"

namespace brevin {

std::string Host::SourcePathFor(const std::string& imagePath) { return brevin::SourcePathFor(imagePath); }

std::string Host::TimeOfDay() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[16];
  std::strftime(buffer, sizeof buffer, "%H:%M:%S", &local);
  return buffer;
}

Disassembler::Disassembler(Host& host)
    : Image(kImageSize),
      SymbolIds(kImageSize),
      VarIds(kImageSize),
      LocalAccess(kImageSize),
      ReferencedFrom(kImageSize),
      PairedWith(kImageSize),
      host_(host),
      tables_(SharedTables()) {
  OpcodeSeen.fill(true);
  EffectSeen.fill(true);
}

void Disassembler::DebugAppend(const std::string& text) { pendingDebug_ += text; }

void Disassembler::DebugLine(const std::string& text) {
  host_.DebugWrite(pendingDebug_ + text + std::string(kCrLf) + deferredDebug_);
  pendingDebug_.clear();
  deferredDebug_.clear();
}

void Disassembler::DebugDefer(const std::string& text) { deferredDebug_ += text + std::string(kCrLf); }

namespace {
// Reads the regular file's first 32,769 bytes (one more than an image holds
// tells whether the file is longer). bytes gets them up to the last one that
// is not 0, and size how many were read: the empty top of an .eeprom is never
// copied. On failure returns false with a message naming the file. (The
// command line reads pipes and FIFOs itself and hands the bytes over.)
bool ReadImageFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::size_t& size,
                   std::string& error) {
  namespace fs = std::filesystem;
  const std::string shown = path.empty() ? std::string("(no file name)") : path;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (path.empty() || status.type() == fs::file_type::not_found) {
    error = shown + ": no such file";
    return false;
  }
  switch (status.type()) {
    case fs::file_type::regular:
    case fs::file_type::none:  // status unknown (a folder on the way that may not be searched): opening tells
    case fs::file_type::unknown: break;
    case fs::file_type::directory: error = shown + ": is a folder, not an image file"; return false;
    // Opening a FIFO waits for a writer, and opening a device may act on it: neither is an image file.
    case fs::file_type::fifo: error = shown + ": is a FIFO, not an image file"; return false;
    case fs::file_type::character:
    case fs::file_type::block: error = shown + ": is a device, not an image file"; return false;
    case fs::file_type::socket: error = shown + ": is a socket, not an image file"; return false;
    default: error = shown + ": is not a regular file"; return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = shown + ": cannot be read (" + std::strerror(errno) + ")";
    return false;
  }
  std::setvbuf(file, nullptr, _IONBF, 0);  // chunks go straight into our buffer
  constexpr std::size_t kLimit = static_cast<std::size_t>(kImageSize) + 1;
  bytes.clear();
  bytes.reserve(kLimit);
  size = 0;
  std::uint8_t chunk[4096];
  while (size < kLimit) {
    const std::size_t got = std::fread(chunk, 1, std::min(sizeof chunk, kLimit - size), file);
    if (got == 0) break;
    if (!AllZero(chunk, got)) {
      bytes.resize(size);  // the zero bytes since the last chunk that had any other
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
    size += got;
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = shown + ": cannot be read (input error)";
    return false;
  }
  if (size == 0) {
    error = shown + ": the file is empty";
    return false;
  }
  return true;
}
std::string LongInputWarning(const std::string& path, const std::string& size) {
  return path + ": the file holds " + size + " bytes; only the first 32768 were analysed, the rest was ignored";
}
}  // namespace

LoadResult Disassembler::LoadAndDisassemble(const std::string& path, bool autoReloaded, bool acceptChecksum) {
  std::vector<std::uint8_t> bytes;
  std::size_t read = 0;
  LoadResult result;
  if (!ReadImageFile(path, bytes, read, result.message)) {
    result.status = LoadStatus::Unreadable;
    return result;
  }
  if (read <= static_cast<std::size_t>(kImageSize)) return Disassemble(path, bytes, read, autoReloaded, acceptChecksum);

  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  bytes.resize(std::min(bytes.size(), static_cast<std::size_t>(kImageSize)));
  result = Disassemble(path, bytes, static_cast<std::size_t>(kImageSize), autoReloaded, acceptChecksum);
  result.warnings.insert(result.warnings.begin(), LongInputWarning(path, ec ? std::string("more than 32768")
                                                                            : DecText(static_cast<std::int64_t>(size))));
  return result;
}

LoadResult Disassembler::DisassembleFile(const std::string& path, std::span<const std::uint8_t> bytes,
                                         std::optional<std::uint64_t> fileSize, bool autoReloaded, bool acceptChecksum) {
  const auto limit = static_cast<std::size_t>(kImageSize);
  if (bytes.size() <= limit) return Disassemble(path, bytes, bytes.size(), autoReloaded, acceptChecksum);
  LoadResult result = Disassemble(path, bytes.first(limit), limit, autoReloaded, acceptChecksum);
  result.warnings.insert(result.warnings.begin(),
                         LongInputWarning(path, fileSize ? DecText(static_cast<std::int64_t>(*fileSize))
                                                         : std::string("more than 32768")));
  return result;
}

LoadResult Disassembler::DisassembleBytes(const std::string& path, std::span<const std::uint8_t> bytes, bool autoReloaded,
                                          bool acceptChecksum) {
  return Disassemble(path, bytes, bytes.size(), autoReloaded, acceptChecksum);
}

LoadResult Disassembler::Disassemble(const std::string& path, std::span<const std::uint8_t> bytes, std::size_t size,
                                     bool autoReloaded, bool acceptChecksum) {
  LoadResult result;
  Opt = host_.LoadOptions();
  DefaultLong = !Opt.DefaultLongVariables;
  DebugAny = Opt.DebugSpin || Opt.DebugAsmb;
  DebugVars = Opt.DebugVars && DebugAny;
  Listing.clear();
  SizeText.clear();
  Warnings.clear();
  Notices.clear();
  SourceReadWarned = false;
  // Decoder, line and debug state left by an earlier image must not steer this
  // one: the tracers read the label field, the push history and the flags.
  OperandValue = 0;
  ReturnValueFlag = false;
  FrameCount = 0;
  CodeAddressMark = 0;
  PushHistory = {-1, -1, -1, -1};
  LineAddr.clear();
  LineHub = -1;
  LineCog = -1;
  InstrBytes.clear();
  LineLabel.clear();
  LineOpcode.clear();
  LineOp = FoldOp::None;
  LineOperand.clear();
  PendingLines.clear();
  SectionState = section::Unknown;
  AsmVarsPending = false;
  pendingDebug_.clear();
  deferredDebug_.clear();
  SourcePath = host_.SourcePathFor(path);
  IncludeSource = Opt.IncludeSourceCode;
  PrepareSource();

  if (size > static_cast<std::size_t>(kImageSize)) {
    result.warnings.push_back(LongInputWarning(path, DecText(static_cast<std::int64_t>(size))));
  }
  LoadImageBytes(bytes.first(std::min(bytes.size(), static_cast<std::size_t>(kImageSize))));

  if (std::string problem = CheckHeaderAddresses(); !problem.empty()) {
    result.status = LoadStatus::Refused;
    result.message = path + ": " + problem;
    result.notices = std::move(Notices);
    return result;
  }
  if (!Opt.InhibitWarnings) {
    // Said before the checksum question, which a broken or foreign file always raises.
    const std::string warning = HeaderWarning(path, std::min(size, static_cast<std::size_t>(kImageSize)));
    if (!warning.empty()) Notices.push_back({MessageIcon::Warning, warning});
  }
  const bool checksumOk = ChecksumMatches();
  if (!checksumOk) {
    result.checksum = ChecksumFiguresNow();
    // Inhibited warnings answer the question with Yes.
    if (!acceptChecksum && !Opt.InhibitWarnings) {
      result.status = LoadStatus::ChecksumMismatch;
      result.message = ChecksumQuestion(path);
      result.notices = std::move(Notices);
      return result;
    }
  }
  ImageEnd = kLastAddress;
  AnalyseImage();
  loadBytes_ = bytes.first(std::min(bytes.size(), static_cast<std::size_t>(kImageSize)));
  WriteListing(path, autoReloaded);
  loadBytes_ = {};
  for (const auto& [address, text] : givenComments_) {
    noteProblems_.push_back("note '" + (text.size() <= 32 ? text : text.substr(0, 29) + "...") +
                            "' is not shown: no code or data line of this listing starts at $" + Hex4(address));
  }
  givenComments_.clear();
  CollectMethodTables();
  for (const TableObject& object : tableObjects_) {
    for (const TableMethod& method : object.methods) {
      ++result.methodEntries;
      if (!method.traced) ++result.untracedMethods;
    }
  }
  result.warnings.insert(result.warnings.end(), Warnings.begin(), Warnings.end());
  result.notices = std::move(Notices);
  result.analysis = BuildAnalysis(path, static_cast<std::int64_t>(std::min(size, std::size_t(kImageSize))),
                                  checksumOk);
  result.warnings.insert(result.warnings.end(), libraryWarnings_.begin(), libraryWarnings_.end());
  result.noteProblems = noteProblems_;
  return result;
}

void Disassembler::AnalyseImage() {
  ProblemReports = host_.DeveloperMode();
  TraceAbort = false;

  ClockFreq = LongAt(0);
  ClockMode = ByteAt(4);
  Checksum = ByteAt(5);
  ReadCursor = 6;
  PBASE = ReadWord();
  VBASE = ReadWord();
  SBASE = ReadWord();
  PINIT = ReadWord();
  SINIT = ReadWord();
  VENDS = SBASE - 8;
  ObjBase = PBASE;
  ObjVarBase = VBASE;

  SetFlag(PBASE, flag::Done | flag::Link);
  SetFlag(PBASE + 4, flag::Done | flag::Link);
  SetFlag(VENDS, flag::Done);
  SetFlag(PINIT, flag::Call);

  if (DebugAny) DebugLine("Init " + Hex4(PINIT));
  TraceSpin(PINIT, 0);
  if (Opt.TraceAllMethods) TraceAllTableEntries();
}

void Disassembler::SetSection(int kind) {
  if (kind == SectionState) return;
  SectionState = kind;
  EmitBlankLine();
}


void Disassembler::WriteListing(const std::string& imagePath, bool autoReloaded) {
  BytecodeListing = !Opt.ShowImage;
  Listing.clear();
  lineMarks_.clear();
  lineRefs_.clear();
  namedInLine_.clear();
  LineCommentAt = std::string::npos;
  lineKind_ = LineKind::Text;
  keepLineMarks_ = host_.WantsModel();
  nextMark_ = LineMark{};
  methodSourceNames_.clear();
  PendingLines.clear();
  Listing.reserve(1 << 20);
  WriteRawLine("");
  if (Opt.ShowImage) WriteTitleBlock(imagePath, autoReloaded);
  LastLineBlank = true;
  IndentLevel = 0;
  inUnreachedRun_ = false;

  // The last Done cell above address 0; none lies at or above cellsEnd_.
  ImageEnd = 0;
  for (std::int64_t a = std::min<std::int64_t>(cellsEnd_ - 1, kLastAddress); a > 0; --a) {
    if (Image[static_cast<std::size_t>(a)] & flag::Done) {
      ImageEnd = a;
      break;
    }
  }

  SizeText = " $0000 - $" + Hex4(VENDS - 1) + " = " + DecText(VENDS) + " / " +
             Percent(VENDS, 32768) + "% ";

  for (std::int64_t bound : {PBASE, VBASE, SBASE, PINIT, SINIT - 1}) ImageEnd = std::max(ImageEnd, bound);
  ImageEnd = std::min<std::int64_t>(ImageEnd, kLastAddress);
  if (VENDS < VBASE) VENDS = VBASE;

  ClassifyByteRuns();
  ClassifyVariables();
  WalkObjects();
  NumberSymbols();
  ResolveNotes(imagePath);

  ReadCursor = 0;
  CogOrgBase = 0;
  PendingLaunch = 0;
  CallUsesResult = false;
  ConsecutiveFrames = 0;
  PubCounter = 0;
  PriCounter = 0;
  MethodsMatched = 0;
  SourceObjectBase = PBASE;
  AsmVarsPending = false;
  SetSection(section::Header);

  recordNames_ = keepLineMarks_;
  while (ReadCursor <= ImageEnd) {
    const std::int64_t start = ReadCursor;
    detail::ListOneItem(*this);
    if (ReadCursor <= start) ReadCursor = start + 1;  // every item advances the listing
    const std::int64_t at = ReadCursor;
    if (at == VBASE || at == VENDS || at == SBASE || at == SINIT || at == PBASE || at == PINIT) {
      detail::ListMarkersAt(*this);
    }
  }

  FlushAsmVars();
  FlushPendingLines();
  recordNames_ = false;
  namedInLine_.clear();
  if (!Opt.ShowImage) {
    WriteRawLine("");
    WriteRawLine("      END");
  } else if (Opt.SymbolTable) {
    ListSymbolTable();
    ListObjectList();
  }
}

namespace detail {

// The last address before the next item start or marker after d (looking as far
// as the longest Spin instruction reaches).
std::int64_t LastUnclaimed(const Disassembler& e, std::int64_t d) {
  constexpr int kLongestSpinInstruction = 8;
  const std::uint32_t claimed = flag::Done | flag::Spin | flag::Asmb | flag::AnyItem;
  std::int64_t nextMarker = std::numeric_limits<std::int64_t>::max();  // the first marker after d
  for (std::int64_t marker : {e.VBASE, e.VENDS, e.SBASE, e.SINIT, e.PBASE, e.PINIT}) {
    if (marker > d) nextMarker = std::min(nextMarker, marker);
  }
  // The first claimed cell or marker among the next few cells ends the run.
  const std::int64_t stop = std::min<std::int64_t>(d + kLongestSpinInstruction, kLastAddress);
  const std::int64_t scanTo = std::min(stop, nextMarker - 1);
  const std::uint32_t* cells = e.Image.data();
  for (std::int64_t a = std::max<std::int64_t>(d + 1, 0); a <= scanTo; ++a) {
    if (cells[a] & claimed) return a - 1;
  }
  return nextMarker <= stop ? nextMarker - 1 : kLastAddress;
}

void ListOneItem(Disassembler& e) {
  using namespace flag;
  const std::int64_t d = e.ReadCursor;
  if (e.SymbolIds[static_cast<std::size_t>(d)] != 0) {
    e.LineLabel = e.SymbolName(0, d, 0);
    if (e.Opt.ColonsAfterLabels) e.LineLabel.push_back(':');  // as LabelText, without its copy
  } else {
    e.LineLabel.clear();
  }

  switch (e.SectionState) {
    case section::Header:
      e.ListHeaderBlock();
      e.SetSection(section::FirstLink);
      return;
    case section::FirstLink:
      e.ObjBase = e.PBASE;
      e.ObjVarBase = e.VBASE;
      e.ListDataLine("LINK     x", "+0 - First Object_");
      e.SetSection(section::Unknown);
      return;
    case section::Stack:
      e.ListDataLine("LONG     ks", "");
      return;
    default: break;
  }

  const std::uint32_t flags = e.FlagsAt(d);
  if (flags & Spin) {
    e.FlushAsmVars();
    if (flags & Call) {
      e.IndentLevel = 0;
      if (e.IncludeSource) e.InsertMethodSource(d);
      e.ListStackFrame(d);
    }
    e.SetSection(section::SpinCode);
    e.ListSpinInstruction(d);
    e.EmitLine();
  } else if ((flags & Asmb) && !(flags & Link)) {
    if (e.LineLabel.empty() && e.VarIds[static_cast<std::size_t>(d)] != 0) {
      const std::string* given = e.GivenName(d);
      const std::string label = "V" + DecText(e.VarIds[static_cast<std::size_t>(d)] & 0xFFFF);
      if (e.keepLineMarks_) e.RecordCogVariable(label, d);
      e.LineLabel = e.LabelText(given ? *given : label);
    }
    if (flags & Org0) e.ListAsmBlockStart();
    e.ListAsmInstruction(d);
    e.EmitLine();
  } else if (flags & AnyItem) {
    if (flags & Xobj) {
      e.ObjBase = d;
      e.ListMarker("", "ALIGN", "OBJECT");
    }
    e.ListDataItem();
  } else {
    e.SetSection(section::Unknown);
    e.unreachedLines_ = true;
    if (e.Opt.ShowImage) {
      if (!e.LineLabel.empty()) {
        e.LineAddr = Hex4(d);
        e.LineHub = static_cast<std::int32_t>(d & 0xFFFF);
        e.LineCog = -1;
        e.InstrBytes.clear();
        e.LineOpcode.clear();
        e.LineOperand.clear();
        e.EmitLine();
      }
      SetText(e.LineLabel, "; ----");
      e.lineKind_ = LineKind::Unreached;
    }
    // Unreached bytes decoded as Spin must not swallow the next listed item or marker.
    e.ReadLimit = LastUnclaimed(e, d);
    e.ListSpinInstruction(d);
    e.ReadCursor = std::min(e.ReadCursor, e.ReadLimit + 1);
    e.ReadLimit = kLastAddress;
    e.EmitLine();
    e.unreachedLines_ = false;
    e.lineKind_ = LineKind::Text;
  }
}

void ListMarkersAt(Disassembler& e) {
  struct Marker {
    std::int64_t Disassembler::*address;
    const char* name;
    const char* opcode;
    const char* operand;
    int section;
  };
  static constexpr Marker kMarkers[] = {
      {&Disassembler::VBASE, "VBASE", "ALIGN", "LONG", section::Variables},
      {&Disassembler::VENDS, "VENDS", "ALIGN", "LONG", section::Stack},
      {&Disassembler::SBASE, "SBASE", "", "", section::Stack},
      {&Disassembler::SINIT, "SINIT", "", "", section::Stack},
      {&Disassembler::PBASE, "PBASE", "ALIGN", "OBJECT", section::FirstLink},
      {&Disassembler::PINIT, "PINIT", "ALIGN", "SPIN", section::SpinCode},
  };
  // Most items stand at no marker: one look at the six addresses first.
  const std::int64_t at = e.ReadCursor;
  if (at != e.VBASE && at != e.VENDS && at != e.SBASE && at != e.SINIT && at != e.PBASE && at != e.PINIT) return;
  for (const Marker& m : kMarkers) {
    if (at != e.*m.address) continue;
    e.ListMarker(m.name, m.opcode, m.operand);
    e.SetSection(m.section);
  }
}

}  // namespace detail

}  // namespace brevin
