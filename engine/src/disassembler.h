// The working class behind the Engine facade: all state of one image analysis
// in one object. Only the engine's own sources (and its tests) see this header.
//
// Member functions are grouped in files by role: image.cpp (cells, loading,
// checksum, object walk, padding), pipeline.cpp (load, analyse, listing loop),
// layout.cpp (line fields, FormatLine, data lines, markers), format.cpp (the
// operand-template printer), symbols.cpp (naming), spin_printer.cpp and
// spin_marks.cpp (a Spin instruction listed or traced), asm_decoder.cpp and
// asm_trace.cpp (an assembler long listed or traced), flags_report.cpp.
// Tracing and listing decode the same bytes to the same instruction values:
// the tracing functions mark the image from them, the listing's print them.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "brevin/analysis.h"
#include "brevin/engine.h"
#include "brevin/host.h"
#include "brevin/options.h"
#include "brevin/asm_instruction.h"
#include "brevin/spin_instruction.h"
#include "decode/spin_decoding.h"
#include "image/image_flags.h"
#include "isa/tables.h"
#include "library/library_names.h"
#include "listing/line_queue.h"
#include "support/zeroed_table.h"

namespace brevin {

// Section kinds of the listing; each change of kind puts one blank line in.
namespace section {
inline constexpr int Unknown = 0;
inline constexpr int Header = 1;
inline constexpr int FirstLink = 2;
inline constexpr int ObjectTable = 3;
inline constexpr int SpinCode = 4;
inline constexpr int AsmCode = 5;
inline constexpr int AsmData = 6;
inline constexpr int Data = 7;
inline constexpr int Variables = 8;
inline constexpr int Stack = 9;
inline constexpr int Padding = 10;
}  // namespace section

// What the layout knew about one written line: its addresses and where its
// label and its opcode text sit. Kept per line for the result model.
struct LineMark {
  static constexpr std::uint16_t kNoText = 0xFFFF;
  std::int32_t hub = -1;  // -1: no hub address
  std::int16_t cog = -1;  // -1: no cog register
  std::uint16_t labelStart = 0, labelLength = 0;
  std::uint16_t textStart = kNoText;  // where the opcode, operand and comment begin
  // The opcode and operand fields as written (start column and length; length 0
  // when the line has none) and the number of image bytes the line shows.
  std::uint16_t opcodeStart = 0, opcodeLength = 0;
  std::uint16_t operandStart = 0, operandLength = 0;
  std::uint16_t byteCount = 0;
  std::uint16_t conditionStart = 0, conditionLength = 0;  // an assembly condition
  std::uint16_t commentStart = 0, commentLength = 0;      // a trailing "; ..." comment
  std::uint16_t noteStart = 0, noteLength = 0;            // the person's comment after "' "
  std::uint16_t bytesStart = 0, bytesLength = 0;      // the instruction bytes shown
  bool hubShown = false, cogShown = false;            // the address field shows them
  bool definesLabel = false;  // the label is the name of the symbol at the hub address
  LineKind kind = LineKind::Text;
  std::uint32_t end = 0;  // where the line's text ends in the listing (its CR LF follows)
  // The line's references: entries [refsBegin, refsEnd) of the engine's reference list.
  std::uint32_t refsBegin = 0, refsEnd = 0;
};

// A symbol name written in a line: its column span and the symbol's hub address.
struct LineNameRef {
  std::uint16_t start = 0, end = 0;
  std::int32_t target = 0;
};

class Disassembler;
namespace detail {
// The listing loop's steps and the tracers, in their own files, work on the engine's state.
class AsmTracer;
class SpinTracer;
void ListOneItem(Disassembler& e);
void ListMarkersAt(Disassembler& e);
std::int64_t LastUnclaimed(const Disassembler& e, std::int64_t d);
}  // namespace detail
namespace test {
class EngineProbe;  // the engine tests' view of the working state
}  // namespace test

// Callers give the options (through the Host) and get back the result model in
// LoadResult::analysis; the working state below stays the engine's own.
class Disassembler {
 public:
  explicit Disassembler(Host& host);

  // Loads the file, checks it, analyses it and writes the listing.
  LoadResult LoadAndDisassemble(const std::string& path, bool autoReloaded, bool acceptChecksum = false);
  // The same for bytes already in memory; path is only shown in texts.
  LoadResult DisassembleBytes(const std::string& path, std::span<const std::uint8_t> bytes, bool autoReloaded,
                              bool acceptChecksum = false);
  // The same for a file read into memory by the caller (see Engine::DisassembleFile).
  LoadResult DisassembleFile(const std::string& path, std::span<const std::uint8_t> bytes,
                             std::optional<std::uint64_t> fileSize, bool autoReloaded, bool acceptChecksum = false);

  // The flags of every address after the last analysis, as a report.
  std::string ListImageFlags() const;
  // Spin opcodes decoded so far (all of them outside developer mode), for the opcode report.
  const std::array<bool, 256>& SeenOpcodes() const { return OpcodeSeen; }
  const std::array<bool, 256>& SeenEffects() const { return EffectSeen; }
  // Developer mode keeps the seen marks across runs: the shell hands back what it stored.
  void SetSeenFlags(const std::array<bool, 256>& opcodes, const std::array<bool, 256>& effects) {
    OpcodeSeen = opcodes;
    EffectSeen = effects;
  }
  // Whether the next load may show the missing-source notice; the shell arms it when a
  // file is opened or "Include Source Code" is switched, and a load disarms it once shown.
  bool SourceWarningIsArmed() const { return SourceWarningArmed; }
  void ArmSourceWarning(bool armed) { SourceWarningArmed = armed; }

 private:
  friend class detail::AsmTracer;
  friend class detail::SpinTracer;
  friend void detail::ListOneItem(Disassembler& e);
  friend void detail::ListMarkersAt(Disassembler& e);
  friend std::int64_t detail::LastUnclaimed(const Disassembler& e, std::int64_t d);
  friend class test::EngineProbe;

  // The load of both entry points: bytes are the image's first bytes (any
  // further ones up to size are 0), size how many the input held.
  LoadResult Disassemble(const std::string& path, std::span<const std::uint8_t> bytes, std::size_t size,
                         bool autoReloaded, bool acceptChecksum);

  // ---- Pipeline (pipeline.cpp)
  void AnalyseImage();
  void WriteListing(const std::string& imagePath, bool autoReloaded);
  void SetSection(int kind);
  // A marker line: the label, the directive and its operand, and a comment
  // ("; ...") written right after the operand.
  void ListMarker(std::string_view name, std::string_view opcode, std::string_view operand,
                  std::string_view comment = {});

  // ---- Image model (image.cpp)
  void ResetForLoad();
  // Fills Image from bytes (at most 32,768 are used; the rest of the cells stay 0).
  void LoadImageBytes(std::span<const std::uint8_t> bytes);
  std::uint32_t ByteAt(std::int64_t address) const;
  std::uint32_t WordAt(std::int64_t address) const;
  std::uint32_t LongAt(std::int64_t address) const;
  std::uint32_t FlagsAt(std::int64_t address) const {  // inline: every pass asks it of every address
    return InImage(address) ? Image[static_cast<std::size_t>(address)] & ~0xFFu : 0;
  }
  bool HasFlag(std::int64_t address, std::uint32_t bits) const { return (FlagsAt(address) & bits) != 0; }
  void SetFlag(std::int64_t address, std::uint32_t bits);
  // VarIds entries are written through NoteVarId's record, so clearing touches only those.
  void NoteVarId(std::int64_t index);
  void ClearVarIds();
  // Entries of SymbolIds, LocalAccess, ReferencedFrom and PairedWith are written after
  // NoteTableWrite, so that the next load clears only that range.
  void NoteTableWrite(std::int64_t index);
  void ClearFlag(std::int64_t address, std::uint32_t bits);
  std::uint32_t ReadByte();
  std::uint32_t ReadWord();
  std::uint32_t ReadLong();
  int ImageChecksum() const;
  void SetIfZero(std::int64_t address, std::uint32_t value);
  // True when the bytes sum to 0, a .binary's missing stack frame supplied.
  bool ChecksumMatches();
  // The checksum question for the image at path.
  std::string ChecksumQuestion(const std::string& path) const;
  std::int64_t EntryTarget(std::int64_t k) const;
  std::uint32_t EntryWord2(std::int64_t k) const;
  void WalkObjects();
  void MarkPadding(std::int64_t address);
  // Empty when the header addresses lie in the image, else a message naming the field.
  std::string CheckHeaderAddresses() const;
  // Empty when the header looks like a compiled image's and the size bytes of
  // the file hold the whole program; else a warning naming the file and the fault.
  std::string HeaderWarning(const std::string& path, std::size_t size) const;
  // The checksum byte as found and as the image's bytes would need it.
  std::string ChecksumValues() const;
  ChecksumFigures ChecksumFiguresNow() const;

  // ---- Listing layout (layout.cpp)
  void FormatLine();  // formats the current line fields
  void FormatLine(const LineFields& line);
  LineFields CurrentLine() const;
  // The kind of the line queued now (LineFields::kind).
  LineKind QueuedKind() const;
  // Adds to lineRefs_ the places in line, from column from on, where the
  // symbols of those hub addresses are named.
  void RecordNameRefs(std::string_view line, std::size_t from, const std::vector<std::int32_t>& named);
  // True when the line emitted now stands outside Spin code (LineFields::flat).
  bool FlatLine() const;
  void EmitBlankLine();
  void WriteRawLine(std::string_view text);
  void EndLine();  // ends the listing's current line and records its mark
  void MarkLineEnd();  // records the mark of the line whose CR LF the listing ends with
  void WriteTitleBlock(const std::string& imagePath, bool autoReloaded);
  void ListHeaderBlock();
  void ListDataLine(const std::string& format, const std::string& comment);
  void ListDataItem();
  void ListSubPartEquates(int size, std::uint32_t flagBit, char letter, const std::string& partNames);
  void ListEquate(std::int64_t start, int i, char letter, const std::string& part);
  void StartAsmBlock();
  void FlushAsmVars();
  void ListAsmBlockStart();
  std::string LabelText(const std::string& name) const;

  // ---- Operand templates (format.cpp)
  // Decodes a template's operands at ReadCursor and prints them as below (data
  // lines, the header, object links); ReadCursor ends after them.
  void InterpretFormat(std::int64_t address, std::string_view format);
  // Walks the template with the decoded operands from index next on, appending
  // their texts to the operand field; a register byte's choice of mnemonic goes
  // to mnemonic and the opcode field.
  // The instruction's operand at next (which moves on), with ReadCursor after it; null
  // (and the cursor at the instruction's end) where the image cut it off.
  const SpinOperand* TakeOperand(const SpinInstruction& ins, std::size_t& next);
  void PrintOperands(std::string_view format, const SpinInstruction& ins, std::size_t& next,
                     std::string_view& mnemonic);
  // The image cells as a byte source for the decoders, limited to ReadLimit.
  ByteSource CellSource() const;
  // The bytes from..to the decoder read, as the line's byte column.
  void PrintBytes(std::int64_t from, std::int64_t to);
  std::string ClockModeText(std::uint32_t mode) const;
  void AnnotateSize(std::uint32_t sizeFlag);
  // True once a read went past ReadLimit (normally the image end): decoding stops there.
  bool ReadPastEnd() const { return ReadCursor > ReadLimit + 1; }

  // ---- Names (symbols.cpp)
  // The name of the address (kind 0 hub, 1 cog register, 3 relative offset for
  // its plain form); while the listing body is written for a model, a symbol's
  // name is noted as a reference of the line being built.
  std::string SymbolName(int kind, std::int64_t address, std::int64_t reg) const;
  // The same name, noting nothing; numbered tells whether it is a symbol's.
  std::string NameOfSymbol(int kind, std::int64_t address, std::int64_t reg, bool& numbered) const;
  std::string PlainName(int kind, std::int64_t address, std::int64_t reg) const;
  std::string HubName(std::int64_t address) const;
  std::string RelName(std::int64_t base, std::int64_t offset) const;
  // The operand text so far with a variable's name or offset (space: memory, object,
  // variables, locals) in place of its base's "+"; VarName returns it as a copy.
  void NameVariable(std::string& text, int space, std::int64_t offset) const;
  std::string VarName(std::string text, int space, std::int64_t offset) const;
  void NumberSymbols();
  void AssignSymbol(std::int64_t address, char letter, int number);
  void ListSymbolTable();

  // ---- Spin listing and tracing (spin_printer.cpp, spin_marks.cpp, spin_trace.cpp)
  // Decodes the instruction at address to a value and prints it into the line fields.
  SpinInstruction ListSpinInstruction(std::int64_t address);
  // Prints the effect byte of a USING instruction, the operand at index next.
  void PrintEffectByte(const SpinInstruction& ins, std::size_t next, std::string_view mnemonic);
  // Decodes the instruction at address to a value for the tracer: marks its
  // bytes as Spin code and its variables with their sizes, and sets the
  // tracer's state (OperandValue, PushHistory, CodeAddressMark, ...).
  SpinInstruction TraceSpinInstruction(std::int64_t address);
  // The same for the template's operands from index next on.
  void TraceSpinOperands(std::int64_t address, std::string_view format, const SpinInstruction& ins,
                         std::size_t& next);
  // The same for the effect byte of a USING instruction: a repeat's jump target.
  void TraceEffectByte(const SpinInstruction& ins, std::size_t next);
  // A byte from..to read as part of a Spin instruction inherits the Spin mark
  // of the byte before it.
  void SpreadSpinMark(std::int64_t from, std::int64_t to);
  void TraceSpin(std::int64_t address, std::uint32_t extraFlags);
  void LaunchAssembly(std::int64_t address);
  void ReportProblem(const std::string& text);

  // ---- Assembler decoding and tracing (asm_decoder.cpp, asm_trace.cpp)
  static constexpr std::uint32_t kFirstSpecialRegister = 0x1F0;  // $1F0..$1FF are named, never variables
  // Reads the long at address, ReadCursor after it; an ORG 0 mark there makes
  // address the block's base.
  std::uint32_t ReadAsmLong(std::int64_t address);
  // The long word at address as an instruction, or as LONG when it is listed as data.
  AsmInstruction DecodeAsmLong(std::int64_t address, std::uint32_t word) const;
  // Reads and decodes the long at address and prints it into the line fields.
  AsmInstruction ListAsmInstruction(std::int64_t address);
  // Reads and decodes the long at address and marks the image from it.
  AsmInstruction TraceAsmInstruction(std::int64_t address);
  void MarkAsmOperands(const AsmInstruction& ins, std::int64_t address, bool debug);
  void PrintAsmInstruction(const AsmInstruction& ins, std::int64_t address);
  // True when the long at address is listed as assembler data rather than an instruction.
  bool IsAsmData(std::int64_t address) const;
  // Gives register r of the current block the next V number, if it has none.
  void NumberCogVariable(std::int64_t r);
  // The name of register r of the block whose cog address 0 is at hub address base.
  std::string RegName(std::int64_t base, std::int64_t r) const;
  // Follows an assembler program from a hub address, marking what it reaches.
  void TraceAssembly(std::int64_t address, std::uint32_t entryFlags);
  int AsmVarCounter = 0;  // the number last given to a cog variable

  // ---- Method tables of the object tree (method_tables.cpp)
  // An object of the tree: where it starts and where its variables start, as a
  // call through its parent's object entry sets them up.
  struct TreeObject {
    std::int64_t base = 0;
    std::int64_t varBase = 0;
  };
  // One entry of an object's method table as the model lists it.
  struct TableMethod {
    int index = 0;
    std::int64_t target = 0;  // base + the entry's offset word; may lie outside the image
    bool traced = false;       // a traced Spin method starts there
  };
  struct TableObject {
    std::int64_t base = 0;
    bool traced = false;  // the top object, or a sub-object a trace called into
    std::vector<TableMethod> methods;
  };
  // True when the header at base describes an object that fits before VBASE:
  // long-aligned, its table inside its length, at least one method.
  bool PlausibleObject(std::int64_t base) const;
  // The objects reached from PBASE through the object entries (recursively) and
  // along the length chain, each once, in image order; plausible ones only.
  std::vector<TreeObject> ObjectTree() const;
  // Whether the method entry k of the object at base points past its table and
  // inside the object (and so below VBASE).
  bool EntryInsideObject(std::int64_t base, std::int64_t k) const;
  // With "Trace All Methods": traces from every method entry of every object of
  // the tree that lands on bytes no trace claimed, then lists the unreached
  // bytes between each table and its first method as data items.
  void TraceAllTableEntries();
  void ClassifyObjectData(const TreeObject& object);
  // Fills tableObjects_ from the finished trace: every object of the tree (and
  // any other object a trace called into) with every entry of its table.
  void CollectMethodTables();
  std::vector<TableObject> tableObjects_;

  // ---- Variables, stack frames, object list (variables.cpp)
  void ClassifyByteRuns();
  void ClassifyVariables();
  void ListStackFrame(std::int64_t entry);
  void ListObjectList();
  void ListObjectRow(const std::string& name);

  // ---- Expression folding (folding.cpp)
  void EmitLine();
  // The queue's slot for the next line, with everything but its five texts
  // set from the current state (the oldest line is formatted when the queue is full).
  LineFields& QueueSlot(std::int32_t hub, std::int16_t cog);
  void FlushPendingLines();
  // Merges the newest pending line into the one before it, which takes the
  // merged line's id and mnemonic, and the operand unless it is empty.
  void MergeWithPrevious(FoldOp op, const std::string& mnemonic, const std::string& operand);
  void FoldCallArguments(int limit);
  void FoldIndexes();
  void FoldCallsAndReturns();
  void FoldSpecialRegister();
  void FoldOperators();
  // The pending line `back` places before the newest (0 = the newest), or null.
  const LineFields* PendingBefore(std::size_t back) const;

  // ---- Spin source lines (source.cpp)
  void PrepareSource();
  void InsertMethodSource(std::int64_t entry);
  void NextMethodSource(bool list);
  bool EmitMethodSource(const std::string& keyword, int n, bool list = true);
  // A source file read once per analysis: its lines, and where each PUB and PRI
  // header stands, so that finding the n-th method does not walk the file again.
  struct SourceFile {
    std::vector<std::string> lines;
    std::vector<std::size_t> pubHeaders, priHeaders;
  };
  // The source file at path; null when it cannot be read.
  const SourceFile* SourceFileAt(const std::string& path);
  // Its lines; null when it cannot be read.
  const std::vector<std::string>* SourceLines(const std::string& path);

  // ---- A person's notes (notes/notes_apply.cpp)
  // Finds the places of the notes the host gives for the image in the bytes
  // of this load; notes that no longer match go to noteProblems_.
  void ResolveNotes(const std::string& imagePath);
  // The name given to the hub address, or null (always null while the model
  // takes the generated labels).
  const std::string* GivenName(std::int64_t address) const {
    if (givenNames_.empty() || !givenNamesOn_) return nullptr;
    const auto it = givenNames_.find(static_cast<std::int32_t>(address));
    return it == givenNames_.end() ? nullptr : &it->second;
  }
  // Keeps a cog variable's label for the model's slots.
  void RecordCogVariable(const std::string& label, std::int64_t hub) {
    const std::string* given = GivenName(hub);
    slots_.push_back({label, given ? std::optional<std::string>(*given) : std::nullopt, false,
                      static_cast<std::int32_t>(hub), 0});
  }
  // The name given to the slot at offset of the frame listed last, or null.
  const std::string* GivenLocal(std::int64_t offset) const;
  std::map<std::int32_t, std::string> givenNames_;     // hub address -> name
  std::map<std::pair<std::int32_t, std::int32_t>, std::string> givenLocals_;  // (method entry, slot) -> name
  std::map<std::int32_t, std::string> givenComments_;  // hub address -> comment
  std::vector<std::string> noteProblems_;
  bool givenNamesOn_ = true;
  std::int64_t frameEntry_ = -1;  // the method whose stack frame was listed last
  std::span<const std::uint8_t> loadBytes_;  // the bytes of the load in progress
  std::vector<NamedSlot> slots_;  // the stack slots and cog variables the listing names

  // ---- Result model (analysis_builder.cpp)
  // Reads the marks and tables of the finished listing into an immutable model.
  // Without the model, the listing text moves into the result instead of being copied.
  AnalysisPtr BuildAnalysis(const std::string& path, std::int64_t size, bool checksumOk);

  // ---- Debug channel
  void DebugAppend(const std::string& text);
  void DebugLine(const std::string& text);
  void DebugDefer(const std::string& text);

  // ---- Image and header
  ZeroedCells Image;  // byte in bits 0-7, flags in bits 8-27
  std::uint32_t ClockFreq = 0;
  std::uint32_t ClockMode = 0;
  std::uint32_t Checksum = 0;
  std::int64_t PBASE = 0, VBASE = 0, SBASE = 0, PINIT = 0, SINIT = 0, VENDS = 0;
  std::int64_t ObjBase = 0;
  std::int64_t ObjVarBase = 0;
  std::int64_t ReadCursor = 0;
  std::int64_t ReadLimit = kLastAddress;  // the last address ReadByte may read
  std::int64_t ImageEnd = 0;

  // ---- Per-address tables, cleared at every load
  ZeroedTable SymbolIds;
  ZeroedTable VarIds;
  ZeroedTable LocalAccess;
  ZeroedTable ReferencedFrom;
  ZeroedTable PairedWith;
  std::string UsedLetters;
  std::int32_t LocalCounter = 0;  // the number last given to a Spin local

  // ---- Line fields and layout state
  std::string LineAddr, InstrBytes, LineLabel, LineOpcode, LineOperand;
  // The hub address and cog register LineAddr shows, as numbers (-1: none);
  // every assignment of LineAddr sets them too.
  std::int32_t LineHub = -1;
  std::int16_t LineCog = -1;
  // What the folding takes the line being built for: the Spin printer sets it
  // beside LineOpcode; the line queued next takes it, and every later line is
  // None until the printer sets it again.
  FoldOp LineOp = FoldOp::None;
  // Where a comment begins in LineOperand (npos: none), and where the mnemonic
  // sits in a field that holds more; the line queued next takes them.
  std::size_t LineCommentAt = std::string::npos;
  FieldWords LineWords;
  // The kind of the lines queued now when their producer says (Text: let the
  // section decide); source lines, markers and "; ----" guesses set it.
  LineKind lineKind_ = LineKind::Text;
  static constexpr std::size_t kFoldingQueueBound = 10;
  LineQueue<kFoldingQueueBound> PendingLines;  // the folding queue, oldest first
  int SectionState = section::Unknown;
  bool LastLineBlank = true;
  int IndentLevel = 0;
  bool flatLines_ = false;       // the lines emitted now are markers or assembler lines
  bool unreachedLines_ = false;  // the lines emitted now are guesses over unreached bytes
  bool inUnreachedRun_ = false;  // the line formatted last was such a guess
  int indentBeforeRun_ = 0;      // the indentation when that run of guesses began
  std::int64_t CogOrgBase = 0;
  bool AsmVarsPending = false;

  // ---- Decoder state shared with the tracers
  std::string_view DecodedMnemonic;  // of the Spin instruction traced last (static text)
  std::int32_t OperandValue = 0;
  bool ReturnValueFlag = false;
  std::uint32_t FrameCount = 0;
  std::int32_t CodeAddressMark = 0;
  std::array<std::int32_t, 4> PushHistory{-1, -1, -1, -1};
  std::int64_t PendingLaunch = 0;  // pending assembler launch address
  bool CallUsesResult = false;
  int ConsecutiveFrames = 0;
  int PubCounter = 0, PriCounter = 0;
  bool ProblemReports = false;
  bool TraceAbort = false;
  // Opcodes and effect bytes decoded; all set outside developer mode.
  std::array<bool, 256> OpcodeSeen;
  std::array<bool, 256> EffectSeen;

  // ---- Options of this load (DefaultLong is the inverse of its menu check mark)
  Options Opt;
  bool DefaultLong = true;
  bool DebugAny = false;
  bool DebugVars = false;

  // ---- Spin source inclusion
  std::string SourcePath;          // the source beside the image: folder, base name, ".spin"
  std::string SourceReadPath;      // the file read; a test-wrapper trailer switches it
  bool SourceWarningArmed = true;  // the missing-source notice may show (set on open or toggle)
  bool IncludeSource = false;      // source lines in this analysis
  bool SourceReadWarned = false;   // a source that vanished while listing was reported
  std::int64_t SourceObjectBase = 0;  // the object whose methods the source describes (-1: the next one)
  int MethodsMatched = 0;             // its methods matched so far, listed or skipped

  // ---- Results of a listing
  std::string Listing;          // the listing text, CR LF line ends
  std::vector<std::string> Warnings;  // problems of this analysis that did not stop it
  std::vector<Notice> Notices;        // notices for the user, in order
  std::string SizeText;         // the status-bar size text, e.g. " $0000 - $1233 = 4660 / 14% "
  bool BytecodeListing = false;  // the listing was written without the image

  Host& host_;
  const Tables& tables_;
  std::int64_t varIdsLow_ = kImageSize, varIdsHigh_ = 0;  // the VarIds entries written since the last clear
  std::map<std::string, std::optional<SourceFile>> sourceCache_;  // the source files read in this analysis
  std::vector<LineMark> lineMarks_;  // one per line of Listing, when the model is wanted
  std::vector<LineNameRef> lineRefs_;  // the references of those lines, in line order
  // While the listing body is written for a model: the hub addresses of the
  // symbols named since the last line was queued (SymbolName adds them).
  bool recordNames_ = false;
  mutable std::vector<std::int32_t> namedInLine_;
  bool keepLineMarks_ = true;
  std::string lineScratch_;  // FormatLine's buffer, kept across lines
  LineMark nextMark_;                // the mark of the next line written
  std::map<std::int64_t, std::string> methodSourceNames_;  // method entry -> "PUB main"
  // The library files, read at the first analysis that names from them.
  library::LibraryCache libraryCache_;
  std::vector<std::string> libraryWarnings_;  // this analysis' problems with them
  std::string lastSourceHeader_;     // the source header listed last
  std::string pendingDebug_;
  std::string deferredDebug_;
  std::int64_t tablesLow_ = kImageSize, tablesHigh_ = 0;  // the table entries written since the last load
  // One past the highest cell that may hold anything but 0 (a new engine's cells
  // are calloc's zero pages). A load rewrites only the cells below it, and the
  // checksum and the search for the listing's end read only those, so the empty
  // top of an .eeprom is never touched (nor its pages mapped in).
  std::int64_t cellsEnd_ = 0;
  void NoteCellWritten(std::int64_t address) {
    if (address >= cellsEnd_) cellsEnd_ = address + 1;
  }
};

}  // namespace brevin
