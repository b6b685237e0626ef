// The result of one analysis: the listing text and a model of its lines,
// regions, objects, methods, assembly blocks and symbols. Built once after the
// listing is written and never changed afterwards, so callers may keep it and
// share it between threads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace brevin {

// A label name written in a line's operand or comment.
struct LineReference {
  std::size_t start = 0;  // character span in the line text, end exclusive
  std::size_t end = 0;
  std::string name;
  std::int32_t target = 0;  // hub address of the label
};

// What a line of the listing is, as its writer knew it.
enum class LineKind : std::uint8_t {
  Text,          // titles, column headings, blank lines and the tables after the listing
  Source,        // a line of the Spin source ("====")
  Unreached,     // a guess over bytes no trace reached ("; ----")
  Code,          // a Spin or assembly instruction
  Data,          // a data item, header field, equate, variable or stack long
  Directive,     // a marker or an assembly block's ALIGN/ORG line
  Continuation,  // more bytes of the instruction above
};

struct ListingLine {
  std::string_view text;               // without the line end; a view into the analysis' listing
  std::optional<std::int32_t> address;  // hub address
  std::optional<std::int32_t> cog;      // cog register of an assembler line
  std::optional<std::string> defines;   // the label this line defines
  std::vector<LineReference> refs;
  // Columns of the layout: the label field and where the opcode text begins
  // (npos on lines without one: titles, blanks, the symbol table).
  std::size_t labelStart = 0, labelEnd = 0;
  std::size_t textStart = std::string::npos;
  LineKind kind = LineKind::Text;
  // On a line of Spin or assembly code: the number of image bytes it stands for
  // from its address on (all of a folded line's instructions); 0 on every other line.
  std::uint16_t size = 0;
  // Spans of the text as the layout wrote it, empty where the line has no such
  // field: the hub address, the cog register and the instruction bytes (image
  // listings only); on code, data and directive lines the condition of an
  // assembly line ("IF_Z", empty when always), the mnemonic or directive, the
  // operands (an assembly line's with its effects) and a trailing comment.
  // Spans rather than views keep lines small.
  struct Span {
    std::uint16_t start = 0, length = 0;
  };
  Span hubSpan, cogSpan, bytesSpan;
  Span conditionSpan, mnemonicSpan, operandsSpan, commentSpan;
  // The person's comment on the line (from their notes), after its "' ".
  Span noteSpan;

  std::string_view condition() const { return Cut(conditionSpan); }
  std::string_view mnemonic() const { return Cut(mnemonicSpan); }
  std::string_view operands() const { return Cut(operandsSpan); }
  std::string_view note() const { return Cut(noteSpan); }

 private:
  std::string_view Cut(Span s) const { return s.start < text.size() ? text.substr(s.start, s.length) : std::string_view(); }
};

enum class RegionKind { Header, ObjectTable, Spin, Asm, Data, Variables, Stack, Free };

// The lower-case name of a kind as the JSON output writes it ("object_table", ...).
std::string_view RegionKindName(RegionKind kind);

struct Region {
  std::int32_t start = 0;
  std::int32_t end = 0;  // exclusive
  RegionKind kind = RegionKind::Free;
  std::string name;
};

struct Method {
  int index = 0;  // entry number in the object's table
  std::int32_t address = 0;
  std::string label;
  std::optional<std::string> sourceName;  // "PUB main" when the source was read
  bool traced = false;                    // a traced method starts at the address
  // The name a known library object gives the method ("tx"), when its bytes
  // matched one; libraryAbstained when entries that fit equally name it differently.
  std::optional<std::string> libraryName;
  bool libraryAbstained = false;
  // The name the person gave it in their notes; the listing shows it instead of label.
  std::optional<std::string> givenName;
};

// What the library of known objects gives one object of the image, for the
// views that write names of their own (the recovered source): each method's
// names, and, when the object matched whole, its VAR, DAT and CON names.
struct LibraryMethodNames {
  std::string name;
  bool isPublic = true;
  std::vector<std::string> parameters;
  std::string result;  // empty when the source leaves it unnamed
  std::vector<std::string> locals;
};
// A VAR variable or DAT label of a known object: its offset (in the
// object's VAR, or in the object), its element size in bytes and its name.
struct LibraryPlaceName {
  std::int32_t offset = 0;
  int size = 4;
  std::string name;
};
struct LibraryObjectNames {
  bool whole = false;        // every byte of the object matched
  std::string declaredName;  // the OBJ name a matched parent gives it ("ser"), when known
  std::string usualName;     // the OBJ name the library's parents most often give its file, when one does
  std::vector<std::optional<LibraryMethodNames>> methods;  // table order
  std::vector<LibraryPlaceName> variables;  // by offset in the object's VAR
  std::vector<LibraryPlaceName> labels;     // by offset in the object
  std::vector<std::pair<std::string, std::string>> constants;   // CON name, value ("115200", "1.5")
};

// Every object of the object tree, with every entry of its method table in table order.
struct ObjectInfo {
  std::int32_t address = 0;
  std::vector<Method> methods;
  bool traced = false;  // a trace called into the object (the top object always)
  // The file name of the known library object it is ("FullDuplexSerial"), when known;
  // libraryAbstained when entries that fit equally give different file names.
  std::optional<std::string> libraryName;
  bool libraryAbstained = false;
  std::shared_ptr<const LibraryObjectNames> library;  // null when nothing matched
};

struct AsmBlock {
  std::int32_t hubAddress = 0;  // hub address of cog register 0
  std::string label;            // empty when the block start has no label
  int longs = 0;
};

struct Symbol {
  std::string name;  // the generated label ("S87")
  std::int32_t address = 0;
  std::vector<std::int32_t> referencedFrom;  // ascending, no repeats
  // The name a known library object gives this place: a method's, a DAT
  // label's, or an object's file name.
  std::optional<std::string> libraryName;
  // The name the person gave it in their notes; the listing shows it instead of name.
  std::optional<std::string> givenName;
};

// A place the listing names that is no hub symbol: a method's stack slot
// ("VL3", a parameter or local) or an assembly block's cog variable ("V12").
struct NamedSlot {
  std::string label;
  std::optional<std::string> givenName;
  bool local = true;         // a stack slot; else a cog variable
  std::int32_t address = 0;  // the method's entry, or the cog variable's hub address
  std::int32_t offset = 0;   // the slot's offset in the frame (0 for a cog variable)
};

struct ImageInfo {
  std::string path;
  std::int64_t size = 0;  // bytes analysed
  bool checksumOk = false;
  std::uint32_t clockFreq = 0, clockMode = 0;
  std::int32_t pbase = 0, vbase = 0, sbase = 0, pinit = 0, sinit = 0;
  std::vector<std::uint8_t> bytes;  // the image as analysed (size bytes)
};

// Lines view the listing they belong to, so an analysis is never copied or moved.
// A caller that wants only the text (Host::WantsModel false) gets the listing,
// size text and image values, with no lines, regions, objects or symbols.
class Analysis {
 public:
  Analysis() = default;
  Analysis(const Analysis&) = delete;
  Analysis& operator=(const Analysis&) = delete;

  std::string listing;  // CR LF line ends, as saved
  std::string sizeText;  // the status-bar size text
  bool bytecodeListing = false;  // written without the image columns
  ImageInfo image;
  std::vector<ListingLine> lines;
  std::vector<Region> regions;
  std::vector<ObjectInfo> objects;
  std::vector<AsmBlock> asmBlocks;
  std::vector<Symbol> symbols;  // in address order
  std::vector<NamedSlot> namedSlots;  // in listing order

  // The symbol of that name or given name, case-insensitive; null when there is none.
  const Symbol* FindSymbol(std::string_view name) const;
  // The place the library names so, case-insensitive: the first method of
  // that name (in object and table order), else the first symbol (in address
  // order); "File.name" asks for the method inside the object of that file.
  std::optional<std::int32_t> LibraryNameAddress(std::string_view name) const;
  // The line that defines the label, or the first line at the hub address.
  std::optional<std::size_t> LineDefining(std::string_view name) const;
  std::optional<std::size_t> LineAtAddress(std::int32_t address) const;
  // The region holding the address, or null outside $0000-$7FFF.
  const Region* RegionAt(std::int32_t address) const;
  // The reference whose span holds the column of the line, or null.
  const LineReference* ReferenceAt(std::size_t line, std::size_t column) const;

  // Fills the look-up indexes; the builder calls it once.
  void Index();

 private:
  // Sorted vectors rather than hash maps: built with one allocation each and
  // searched without upper-cased temporaries.
  std::vector<std::uint32_t> symbolsByName_;  // symbol indexes, by name ignoring case
  std::vector<std::uint32_t> labelLines_;     // lines that define a label, by label ignoring case
  // (hub address, first line at it), ascending by address.
  std::vector<std::pair<std::int32_t, std::uint32_t>> lineStarts_;
};

using AnalysisPtr = std::shared_ptr<const Analysis>;

}  // namespace brevin
