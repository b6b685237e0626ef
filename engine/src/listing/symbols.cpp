// Generated names: one letter for what an address is, and a number unique in
// the listing, assigned in address order.
#include "brevin/text.h"
#include "disassembler.h"

namespace brevin {

namespace {
constexpr std::uint32_t kRetUnknown = 0x80000000u;

// The letter of an address by its flags, or 0 when it gets no symbol.
char LetterFor(std::uint32_t flags) {
  using namespace flag;
  if (flags & AnyDest) {
    if (flags & Asmb) return 'A';
    if (flags & Call) return (flags & Xfun) ? 'F' : 'S';
    if ((flags & Goto) == Goto) return 'J';
    return (flags & JmpT) ? 'T' : 'N';
  }
  if (!(flags & Pads) && (flags & AnyItem) && (!(flags & Aray) || (flags & Done))) {
    if (flags & Link) return (flags & Xobj) ? 'O' : 'X';
    if (flags & Long) return 'L';
    if (flags & Word) return 'W';
    return 'B';
  }
  return 0;
}
}  // namespace

void Disassembler::AssignSymbol(std::int64_t address, char letter, int number) {
  NoteTableWrite(address);
  SymbolIds[static_cast<std::size_t>(address)] = number + static_cast<std::int32_t>(letter) * 65536;
  if (UsedLetters.find(letter) == std::string::npos) UsedLetters.push_back(letter);
}

void Disassembler::NumberSymbols() {
  UsedLetters.clear();
  LocalCounter = 0;
  AsmVarCounter = 0;
  int n = 0;
  for (std::int64_t a = 0; a <= ImageEnd && a <= kLastAddress; ++a) {
    std::int32_t& id = SymbolIds[static_cast<std::size_t>(a)];
    if (id == 0) {
      const char letter = LetterFor(FlagsAt(a));
      if (letter != 0) AssignSymbol(a, letter, ++n);
    } else if (static_cast<std::uint32_t>(id) == kRetUnknown) {
      AssignSymbol(a, 'R', ++n);
    }
  }
}

std::string Disassembler::PlainName(int kind, std::int64_t address, std::int64_t reg) const {
  if (kind == 3) return SignedText(reg);
  std::string name(1, '$');
  if (kind == 1) {
    AppendHex(name, static_cast<std::uint32_t>(reg), 3);
  } else {
    AppendHex(name, static_cast<std::uint32_t>(address), 4);
  }
  return name;
}

std::string Disassembler::SymbolName(int kind, std::int64_t address, std::int64_t reg) const {
  bool numbered = false;
  std::string name = NameOfSymbol(kind, address, reg, numbered);
  // The symbol of the address asked for is a reference of the line being built.
  if (recordNames_ && numbered) namedInLine_.push_back(static_cast<std::int32_t>(address));
  return name;
}

std::string Disassembler::NameOfSymbol(int kind, std::int64_t address, std::int64_t reg, bool& numbered) const {
  if (address < 0) return "******";
  // A return location is named after its routine plus "_ret"; follow such links
  // a bounded number of times so a broken image cannot loop.
  std::string suffix;
  const std::int64_t asked = address, askedReg = reg;
  for (int hops = 0;; ++hops) {
    // Links that go round (a broken image can make them) name nothing: the address stands plain.
    if (hops > 8) return PlainName(kind, asked, askedReg);
    if (address > kLastAddress || SymbolIds[static_cast<std::size_t>(address)] == 0) {
      std::string name = PlainName(kind, address, reg);
      if (!suffix.empty()) name += suffix;
      return name;
    }
    const std::uint32_t id = static_cast<std::uint32_t>(SymbolIds[static_cast<std::size_t>(address)]);
    if ((id & 0x80000000u) == 0) {
      // A name the person gave stands for the whole label (a return link to it adds "_ret").
      if (const std::string* given = GivenName(address)) {
        numbered = true;
        return *given + suffix;
      }
      std::string name(1, static_cast<char>((id >> 16) & 0xFF));
      AppendDecimal(name, id & 0xFFFF);
      if (HasFlag(address, flag::Aret)) name += "_ret";
      numbered = true;
      if (!suffix.empty()) name += suffix;
      return name;
    }
    suffix += "_ret";
    address = id & 0xFFFF;
    reg = 0;
  }
}

std::string Disassembler::HubName(std::int64_t address) const {
  return Opt.ShowLabels ? SymbolName(0, address, 0) : PlainName(0, address, 0);
}

std::string Disassembler::RelName(std::int64_t base, std::int64_t offset) const {
  return Opt.ShowLabels ? SymbolName(3, base + offset, offset) : SignedText(offset);
}

namespace {
struct Legend {
  char letter;
  const char* text;
};
constexpr Legend kLegend[] = {
    {'A', "A = Assembler Jump Destination"},
    {'B', "B = Byte Variable"},
    {'F', "F = Function Entry Point"},
    {'J', "J = Jump Destination"},
    {'L', "L = Long Variable"},
    {'N', "N = Jump if False ( Not True ) Destination"},
    {'O', "O = Object"},
    {'R', "R = Assembler RET Location"},
    {'S', "S = Subroutine Entry Point"},
    {'T', "T = Jump if True Destination"},
    {'V', "V = Assembler Variable"},
    {'W', "W = Word Variable"},
    {'X', "X = Link Vector"},
};

}  // namespace

void Disassembler::ListSymbolTable() {
  using namespace flag;
  ObjBase = PBASE;
  ObjVarBase = VBASE;
  WriteRawLine("");
  WriteRawLine("Symbol Table");
  WriteRawLine("============");
  WriteRawLine("");

  // Every entry written since the load lies in [tablesLow_, tablesHigh_): the
  // rest is 0 and is not read, so its pages are never mapped in.
  std::int64_t count = 5;  // the five header addresses
  const std::int32_t* ids = SymbolIds.data();
  for (std::int64_t i = tablesLow_; i < tablesHigh_; ++i) count += ids[i] != 0;
  WriteRawLine(Plural(count, "symbol") + " used");
  WriteRawLine("");
  if (!UsedLetters.empty()) {
    for (const Legend& l : kLegend) {
      if (UsedLetters.find(l.letter) != std::string::npos) WriteRawLine(l.text);
    }
    WriteRawLine("");
  }
  const std::pair<std::int64_t, const char*> header[] = {{PBASE, "   PBASE    Base of Program"},
                                                        {VBASE, "   VBASE    Base of Variables"},
                                                        {SBASE, "   SBASE    Base of Stack"},
                                                        {PINIT, "   PINIT    Initial Program Counter"},
                                                        {SINIT, "   SINIT    Initial Stack Pointer"}};
  for (const auto& [value, text] : header) WriteRawLine(Hex4(value) + text);
  WriteRawLine("");

  const std::int64_t end = std::min<std::int64_t>(ImageEnd, kLastAddress);
  std::string line;  // one buffer for every row
  for (std::int64_t k = 0; k <= end; ++k) {
    if (SymbolIds[static_cast<std::size_t>(k)] == 0) continue;
    const std::uint32_t flags = FlagsAt(k);
    AssignHex(line, static_cast<std::uint32_t>(k), 4);
    line += "   ";
    line += SymbolName(0, k, 0);
    if (flags & Xobj) ObjBase = k;  // links resolve against their own object
    if (flags != 0) {
      PadInPlace(line, 15);
      if (flags & Link) {
        line += " Link   ";
        line += SymbolName(0, EntryTarget((k - ObjBase) / 4), 0);
      }
      if (flags & Spin) line += " Spin ";
      if (flags & Asmb) line += " Asmb ";
      if (flags & Org0) line += "  Org0";
      if (flags & Pads) line += "  Pads";
      if (flags & Call) line += "  Call";
      if ((flags & Goto) == Goto) {
        line += "  Goto";
      } else {
        if (flags & JmpT) line += "  JmpT";
        if (flags & JmpF) line += "  JmpF";
      }
      if (flags & (Byte | Word | Long)) {
        if (flags & (Spin | Asmb | Link)) line += " ";
        if (flags & Long) line += " Long";
        if (flags & Word) line += " Word";
        if (flags & Byte) line += " Byte";
      }
    }
    if (Opt.DebugAsmb && (flags & Aret)) line += "  ARet";
    const std::int32_t from = ReferencedFrom[static_cast<std::size_t>(k)];
    const std::int32_t paired = PairedWith[static_cast<std::size_t>(k)];
    if (from != 0 || paired != 0) {
      PadInPlace(line, 40);
      if (from != 0) {
        line += (flags & Call) ? "  Called from " : "  Jumped from ";
        line += Hex4(from);
      }
      if (paired != 0) {
        // A paired address without a symbol shows as its hub address.
        line += "  Paired with ";
        line += Hex4(paired);
        line += " = ";
        line += InImage(paired) && SymbolIds[static_cast<std::size_t>(paired)] != 0 ? SymbolName(1, paired, 0)
                                                                                   : "$" + Hex4(paired);
      }
    }
    line.erase(line.find_last_not_of(' ') + 1);
    WriteRawLine(line);
  }
  ObjBase = PBASE;
  ObjVarBase = VBASE;
}

}  // namespace brevin
