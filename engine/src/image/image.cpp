// The image model: cells with their flags, the read cursor, loading, the
// checksum rule, the object chain and alignment padding.
#include <algorithm>

#include "brevin/text.h"
#include "brevin/version_text.h"
#include "disassembler.h"
#include "support/byte_scan.h"

namespace brevin {

namespace {
constexpr std::uint32_t kByteMask = 0xFF;
// The initial stack frame below SBASE, in address order: $FFF9FFFF twice.
constexpr std::array<std::uint32_t, 8> kInitialStackFrame{255, 255, 249, 255, 255, 255, 249, 255};
}  // namespace

void Disassembler::ResetForLoad() {
  // The image cells are rewritten whole by LoadImageBytes, the only caller.
  // Only the table entries the last load wrote: a fresh engine's are all 0.
  if (tablesLow_ < tablesHigh_) {
    for (ZeroedTable* table : {&SymbolIds, &PairedWith, &ReferencedFrom, &LocalAccess}) {
      std::fill(table->begin() + tablesLow_, table->begin() + tablesHigh_, 0);
    }
  }
  tablesLow_ = kImageSize;
  tablesHigh_ = 0;
  ClearVarIds();  // every VarIds entry is written through NoteVarId: no number of an earlier image stays
  ReadCursor = 0;
  CogOrgBase = 0;
  PendingLaunch = 0;
}

void Disassembler::LoadImageBytes(std::span<const std::uint8_t> bytes) {
  ResetForLoad();
  const std::size_t n = std::min<std::size_t>(bytes.size(), kImageSize);
  // An .eeprom's upper part is mostly empty: only the cells up to its last byte
  // that is not 0 are written.
  const std::size_t end = LengthWithoutTrailingZeros(bytes.data(), n);
  // Each cell below the end gets its byte with no flags; cells an earlier load
  // wrote above it go back to 0.
  const auto last = static_cast<std::int64_t>(end);
  std::copy(bytes.begin(), bytes.begin() + last, Image.begin());
  if (cellsEnd_ > last) std::fill(Image.begin() + last, Image.begin() + cellsEnd_, 0u);
  cellsEnd_ = last;
}

void Disassembler::NoteVarId(std::int64_t index) {
  varIdsLow_ = std::min(varIdsLow_, index);
  varIdsHigh_ = std::max(varIdsHigh_, index + 1);
}

void Disassembler::NoteTableWrite(std::int64_t index) {
  tablesLow_ = std::min(tablesLow_, index);
  tablesHigh_ = std::max(tablesHigh_, index + 1);
}

void Disassembler::ClearVarIds() {
  // Only the entries written since the last clear: a method or block uses few.
  if (varIdsLow_ < varIdsHigh_) std::fill(VarIds.begin() + varIdsLow_, VarIds.begin() + varIdsHigh_, 0);
  varIdsLow_ = kImageSize;
  varIdsHigh_ = 0;
}

std::uint32_t Disassembler::ByteAt(std::int64_t address) const {
  return InImage(address) ? Image[static_cast<std::size_t>(address)] & kByteMask : 0;
}

std::uint32_t Disassembler::WordAt(std::int64_t address) const { return ByteAt(address) | ByteAt(address + 1) << 8; }

std::uint32_t Disassembler::LongAt(std::int64_t address) const { return WordAt(address) | WordAt(address + 2) << 16; }

void Disassembler::SetFlag(std::int64_t address, std::uint32_t bits) {
  if (!InImage(address)) return;
  Image[static_cast<std::size_t>(address)] |= bits;
  NoteCellWritten(address);
}

void Disassembler::ClearFlag(std::int64_t address, std::uint32_t bits) {
  if (InImage(address)) Image[static_cast<std::size_t>(address)] &= ~(bits & ~kByteMask);
}

std::uint32_t Disassembler::ReadByte() {
  const std::int64_t at = ReadCursor++;
  // Reads past the limit (the image end) yield nothing.
  if (!InImage(at) || at > ReadLimit) return 0;
  return Image[static_cast<std::size_t>(at)] & kByteMask;
}

std::uint32_t Disassembler::ReadWord() {
  const std::uint32_t low = ReadByte();
  return low | ReadByte() << 8;
}

std::uint32_t Disassembler::ReadLong() {
  const std::uint32_t low = ReadWord();
  return low | ReadWord() << 16;
}

int Disassembler::ImageChecksum() const {
  std::uint32_t sum = 0;
  const std::uint32_t* cells = Image.data();
  for (std::int64_t i = 0; i < cellsEnd_; ++i) sum += cells[i] & kByteMask;
  return static_cast<int>(sum & kByteMask);
}

void Disassembler::SetIfZero(std::int64_t address, std::uint32_t value) {
  if (!InImage(address) || Image[static_cast<std::size_t>(address)] != 0) return;
  Image[static_cast<std::size_t>(address)] = value;
  NoteCellWritten(address);
}

bool Disassembler::ChecksumMatches() {
  if (ImageChecksum() == 0) return true;
  // A .binary file lacks the initial stack frame; supply it where the bytes are still 0.
  const std::int64_t sbase = WordAt(10);
  for (std::size_t i = 0; i < kInitialStackFrame.size(); ++i) {
    SetIfZero(sbase - 8 + static_cast<std::int64_t>(i), kInitialStackFrame[i]);
  }
  return ImageChecksum() == 0;
}

std::string Disassembler::ChecksumQuestion(const std::string& path) const {
  const std::string crlf(kCrLf);
  return path + crlf + crlf + "The file checksum is not as expected." + crlf + "Checksum byte: " + ChecksumValues() +
         "." + crlf + crlf + "Do you want to try and decompile the image ?";
}

ChecksumFigures Disassembler::ChecksumFiguresNow() const {
  const std::uint32_t found = ByteAt(5);
  return {static_cast<int>(found), static_cast<int>((found - static_cast<std::uint32_t>(ImageChecksum())) & kByteMask)};
}

std::string Disassembler::ChecksumValues() const {
  // The checksum byte that would bring the byte sum to 0, the rest staying as it is.
  const ChecksumFigures figures = ChecksumFiguresNow();
  return "found $" + HexText(static_cast<std::uint32_t>(figures.found), 2) + ", expected $" +
         HexText(static_cast<std::uint32_t>(figures.expected), 2);
}

std::string Disassembler::HeaderWarning(const std::string& path, std::size_t size) const {
  // What every compiled image has: the top object at $0010, the program below
  // the variables below the stack, the first bytecode inside the program and
  // the stack pointer above the stack base.
  const std::int64_t pbase = WordAt(6), vbase = WordAt(8), sbase = WordAt(10), pinit = WordAt(12),
                     sinit = WordAt(14);
  auto at = [](std::int64_t value) { return "$" + Hex4(value); };
  std::string problem;
  if (pbase != 0x0010) {
    problem = "PBASE is " + at(pbase) + ", not $0010";
  } else if (vbase < pbase) {
    problem = "VBASE " + at(vbase) + " lies below PBASE " + at(pbase);
  } else if (sbase < vbase) {
    problem = "SBASE " + at(sbase) + " lies below VBASE " + at(vbase);
  } else if (pinit <= pbase || pinit >= vbase) {
    problem = "PINIT " + at(pinit) + " lies outside the program, " + at(pbase) + " - " + at(vbase);
  } else if (sinit <= sbase) {
    problem = "SINIT " + at(sinit) + " is not above SBASE " + at(sbase);
  }
  if (!problem.empty()) return path + " does not look like a Propeller image (" + problem + ")";
  if (static_cast<std::int64_t>(size) < vbase) {
    return path + " ends at " + at(static_cast<std::int64_t>(size)) +
           ", but its header places the end of the program at " + at(vbase) + ": the image is truncated";
  }
  return {};
}

std::string Disassembler::CheckHeaderAddresses() const {
  struct Field {
    const char* name;
    std::int64_t value;
  };
  // Every header address that the tables, the listing and the model index
  // by: the stack base and the long below it (VENDS) both, since a marker line
  // stands at each.
  const Field fields[] = {
      {"PBASE", WordAt(6)},          {"VBASE", WordAt(8)}, {"SBASE", WordAt(10)},
      {"SBASE - 8", static_cast<std::int64_t>(WordAt(10)) - 8}, {"PINIT", WordAt(12)}, {"SINIT", WordAt(14)},
  };
  for (const Field& f : fields) {
    if (!InImage(f.value)) {
      const std::string shown = f.value < 0 ? "-$" + Hex4(-f.value)
                                            : "$" + Hex4(f.value);
      return "header field " + std::string(f.name) + " = " + shown + " lies outside the image ($0000 - $7FFF)";
    }
  }
  return {};
}

std::int64_t Disassembler::EntryTarget(std::int64_t k) const { return ObjBase + WordAt(ObjBase + 4 * k); }

std::uint32_t Disassembler::EntryWord2(std::int64_t k) const { return WordAt(ObjBase + 4 * k + 2); }

void Disassembler::WalkObjects() {
  // Each object's length word leads to the next; the addresses only grow, so the walk ends.
  std::int64_t a = PBASE;
  while (true) {
    ObjBase = a;
    if (a == VBASE || a > kLastAddress) break;
    MarkPadding(a);
    const std::int64_t next = EntryTarget(0);
    if (next == ObjBase) break;
    a = next;
  }
  ObjBase = VBASE;
  MarkPadding(VBASE);
  MarkPadding(VENDS);
}

void Disassembler::MarkPadding(std::int64_t a) {
  if (a < 4 || a > kLastAddress) return;
  using namespace flag;
  for (int i = 1; i <= 4; ++i) {
    if (HasFlag(a - i, Long)) return;
  }
  if (HasFlag(a - 1, Word | Byte) || HasFlag(a - 2, Word)) return;

  auto used = [&](std::int64_t cell) { return HasFlag(cell, Done | Spin | Asmb); };
  const bool usedA3 = used(a - 3) || HasFlag(a - 3, Byte | Word) || HasFlag(a - 4, Word);
  const bool usedA2 = used(a - 2) || HasFlag(a - 2, Byte) || HasFlag(a - 3, Word);
  const bool usedA1 = used(a - 1);

  if (!usedA3 && !usedA2 && !usedA1) {  // "---": a padding word, then a padding byte
    SetFlag(a - 3, Pads | Word);
    SetFlag(a - 1, Pads | Byte);
  } else if (usedA3 && !usedA2 && !usedA1) {  // "*--"
    SetFlag(a - 2, Pads | Word);
  } else if (usedA2 && !usedA1) {  // "**-" or "-*-"
    SetFlag(a - 1, Pads | Byte);
  }
}

}  // namespace brevin
