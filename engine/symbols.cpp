// Generated names: one letter for what an address is, and a number unique in
// the listing, assigned in address order.
#include "engine.h"
#include "text.h"

namespace brevin {

namespace {
constexpr std::uint32_t kRetUnknown = 0x80000000u;

void AssignSymbol(Engine& e, std::int64_t address, char letter, int number) {
  e.SymbolIds[static_cast<std::size_t>(address)] = number + static_cast<std::int32_t>(letter) * 65536;
  if (e.UsedLetters.find(letter) == std::string::npos) e.UsedLetters.push_back(letter);
}

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

void Engine::NumberSymbols() {
  UsedLetters.clear();
  int n = 0;
  for (std::int64_t a = 0; a <= ImageEnd && a <= kLastAddress; ++a) {
    std::int32_t& id = SymbolIds[static_cast<std::size_t>(a)];
    if (id == 0) {
      const char letter = LetterFor(FlagsAt(a));
      if (letter != 0) AssignSymbol(*this, a, letter, ++n);
    } else if (static_cast<std::uint32_t>(id) == kRetUnknown) {
      AssignSymbol(*this, a, 'R', ++n);
    }
  }
}

std::string Engine::PlainName(int kind, std::int64_t address, std::int64_t reg) const {
  if (kind == 1) return "$" + HexText(static_cast<std::uint32_t>(reg), 3);
  if (kind == 3) return SignedText(reg);
  return "$" + HexText(static_cast<std::uint32_t>(address), 4);
}

std::string Engine::SymbolName(int kind, std::int64_t address, std::int64_t reg) const {
  if (address < 0) return "******";
  // A return location is named after its routine plus "_ret"; follow such links
  // a bounded number of times so a broken image cannot loop.
  std::string suffix;
  for (int hops = 0;; ++hops) {
    if (address > kLastAddress || SymbolIds[static_cast<std::size_t>(address)] == 0 || hops > 8) {
      return PlainName(kind, address, reg) + suffix;
    }
    const std::uint32_t id = static_cast<std::uint32_t>(SymbolIds[static_cast<std::size_t>(address)]);
    if ((id & 0x80000000u) == 0) {
      std::string name(1, static_cast<char>((id >> 16) & 0xFF));
      name += DecText(id & 0xFFFF);
      if (HasFlag(address, flag::Aret)) name += "_ret";
      return name + suffix;
    }
    suffix += "_ret";
    address = id & 0xFFFF;
    reg = 0;
  }
}

std::string Engine::HubName(std::int64_t address) const {
  return Opt.ShowLabels ? SymbolName(0, address, 0) : "$" + HexText(static_cast<std::uint32_t>(address), 4);
}

std::string Engine::RelName(std::int64_t base, std::int64_t offset) const {
  return Opt.ShowLabels ? SymbolName(3, base + offset, offset) : SignedText(offset);
}

}  // namespace brevin
