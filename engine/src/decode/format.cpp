// The operand-template printer: a template is literal text with letters for
// operands. The decoder reads the operands' bytes into values; this walk
// appends their texts to the line's operand field. Spin instructions, data
// lines, the header and object links are all printed through it; the tracer
// walks the same templates for its marks (trace/spin_marks.cpp).
#include <algorithm>

#include "brevin/text.h"
#include "brevin/version_text.h"
#include "brevin/spin_instruction.h"
#include "disassembler.h"
#include "isa/tables.h"

namespace brevin {

namespace {
constexpr int kObj = static_cast<int>(VarBase::Object);
constexpr int kVar = static_cast<int>(VarBase::Variables);
constexpr int kLoc = static_cast<int>(VarBase::Locals);

// Whether the template interpreter gives the character a meaning of its own.
constexpr bool IsTemplateLetter(char ch) {
  switch (ch) {
    case 'a': case 'b': case 'w': case 'l': case 'c': case 'd': case 'f': case 'k': case 'm':
    case 'p': case 'r': case 'u': case 'v': case 'x': case 'y': case '#': case '*': case ',':
      return true;
    default:
      return false;
  }
}

// Number of hex digits the "$" form of a constant shows, by its form character.
int HexDigitsForForm(char form, char sizeDigit, std::uint32_t value) {
  switch (form) {
    case '1': return 2;
    case '2': return 4;
    case '3': return 6;
    case '4': return 8;
    case '<':
      if (sizeDigit >= '2' && sizeDigit <= '4') return 2 * (sizeDigit - '0');
      break;
    default: break;
  }
  int digits = 0;
  for (std::uint32_t v = value; v != 0; v >>= 4) ++digits;
  if (digits == 0) digits = 1;
  return digits % 2 == 0 ? digits : digits + 1;
}
}  // namespace

std::string Disassembler::ClockModeText(std::uint32_t c) const {
  const std::uint32_t t = c & 7;
  if (t <= 1) {
    std::string text = t == 0 ? "RCFAST" : "RCSLOW";
    if (c != t) text += " - Invalid Bit Settings !";
    return text;
  }
  if ((c & 0xA0) != 0x20) return "Invalid Bit Settings !";
  static constexpr const char* kOscillators[] = {"XINPUT", "XTAL1", "XTAL2", "XTAL3"};
  std::string text = kOscillators[(c & 0x18) >> 3];
  if ((c & 0x40) != 0) {
    static constexpr const char* kPll[] = {"", "", " - Invalid Bit Settings !", "_PLL1x",
                                           "_PLL2x", "_PLL4x", "_PLL8x", "_PLL16x"};
    text += kPll[t];
  }
  return text;
}

void Disassembler::NameVariable(std::string& text, int space, std::int64_t offset) const {
  // The name replaces the "+" and the three base letters before it ("VAR+",
  // "#LOC+"); without a name the offset follows the text.
  char letter = 0;
  std::int64_t number = 0;
  if (space == kLoc) {
    if (const std::string* given = InImage(offset) && VarIds[static_cast<std::size_t>(offset)] != 0 ? GivenLocal(offset) : nullptr) {
      text.resize(text.size() >= 4 ? text.size() - 4 : 0);
      text += *given;
      return;
    }
    if (InImage(offset) && VarIds[static_cast<std::size_t>(offset)] != 0) {
      letter = 'L';
      number = VarIds[static_cast<std::size_t>(offset)];
    }
  } else {
    const std::int64_t address = space == kObj ? ObjBase + offset : space == kVar ? ObjVarBase + offset : offset;
    if (address >= 16 && address <= kLastAddress) {
      const std::uint32_t id = static_cast<std::uint32_t>(SymbolIds[static_cast<std::size_t>(address)]) & 0x7FFFFFFFu;
      const std::string* given = id != 0 && id == static_cast<std::uint32_t>(SymbolIds[static_cast<std::size_t>(address)])
                                     ? GivenName(address)
                                     : nullptr;
      if (given != nullptr) {
        if (recordNames_) namedInLine_.push_back(static_cast<std::int32_t>(address));
        text.resize(text.size() >= 4 ? text.size() - 4 : 0);
        text += *given;
        return;
      }
      if (id != 0) {
        letter = static_cast<char>((id >> 16) & 0xFF);
        number = id & 0xFFFF;
        // The symbol's own name (not a return link's): a reference of the line being built.
        if (recordNames_ && id == static_cast<std::uint32_t>(SymbolIds[static_cast<std::size_t>(address)])) {
          namedInLine_.push_back(static_cast<std::int32_t>(address));
        }
      }
    }
  }
  if (letter == 0 && number == 0) {
    AppendDecimal(text, offset);
    return;
  }
  text.resize(text.size() >= 4 ? text.size() - 4 : 0);
  if (space == kLoc) text.push_back('V');
  text.push_back(letter);
  AppendDecimal(text, number);
}

std::string Disassembler::VarName(std::string text, int space, std::int64_t offset) const {
  NameVariable(text, space, offset);
  return text;
}

void Disassembler::AnnotateSize(std::uint32_t sizeFlag) {
  const char* size = sizeFlag == flag::Byte ? "BYTE" : sizeFlag == flag::Word ? "WORD" : "LONG";
  if (sizeFlag == flag::Long && DefaultLong) return;
  if (!Opt.CastVariables) {
    LineOperand += std::string(".") + size;
  } else if (!LineOperand.empty() && LineOperand[0] == '#') {
    LineOperand = "#" + std::string(size) + "(" + LineOperand.substr(1) + ")";
  } else {
    LineOperand = std::string(size) + "(" + LineOperand + ")";
  }
}

ByteSource Disassembler::CellSource() const {
  return ByteSource{nullptr, Image.data(), ReadLimit};
}

void Disassembler::PrintBytes(std::int64_t from, std::int64_t to) {
  // As a read would: only bytes in the image up to the limit count.
  const std::int64_t last = std::min<std::int64_t>(std::min<std::int64_t>(to - 1, ReadLimit), kLastAddress);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (std::int64_t at = std::max<std::int64_t>(from, 0); at <= last; ++at) {
    const std::uint32_t value = Image[static_cast<std::size_t>(at)] & 0xFFu;
    if (!InstrBytes.empty()) InstrBytes.push_back(' ');
    InstrBytes.push_back(kDigits[value >> 4]);
    InstrBytes.push_back(kDigits[value & 0xF]);
  }
}

void Disassembler::InterpretFormat(std::int64_t address, std::string_view format) {
  SpinInstruction operands;
  operands.address = ReadCursor;
  DecodeTemplate(CellSource(), format, ReadCursor, ByteAt(address), operands);
  PrintBytes(ReadCursor, operands.end);
  std::size_t next = 0;
  std::string_view mnemonic;  // a data line's opcode stands in the template text
  PrintOperands(format, operands, next, mnemonic);
  // The template's first word is the directive, at the start of the operand field.
  LineWords = FieldWords{0, 0, static_cast<std::uint16_t>(std::min(format.find(' '), format.size())), true};
}

const SpinOperand* Disassembler::TakeOperand(const SpinInstruction& ins, std::size_t& next) {
  if (next >= ins.operandCount) {
    ReadCursor = ins.end;
    return nullptr;
  }
  const SpinOperand* operand = &ins.operands[next++];
  ReadCursor = operand->end;
  return operand;
}

void Disassembler::PrintOperands(std::string_view format, const SpinInstruction& ins, std::size_t& next,
                                 std::string_view& mnemonic) {
  // A variable operand (letters d and v) of the base the decoder found; the
  // listing names it or shows the offset.
  auto variable = [&](std::int64_t offset) {
    if (Opt.ShowLabels) {
      NameVariable(LineOperand, static_cast<int>(VarBaseOf(ins.variable.base)), offset);
    } else {
      AppendDecimal(LineOperand, offset);
    }
  };

  // The next operand, or null where the instruction was cut off by the end of
  // the image: the operand then shows only what could be read.
  auto take = [&] { return TakeOperand(ins, next); };

  for (std::size_t i = 0; i < format.size(); ++i) {
    const char ch = format[i];
    switch (ch) {
      case 'a': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        const std::int32_t offset = static_cast<std::int32_t>(o->value);
        LineOperand += RelName(ReadCursor, offset);
        break;
      }
      case 'b': AnnotateSize(flag::Byte); break;
      case 'w': AnnotateSize(flag::Word); break;
      case 'l':
        if (!DefaultLong) AnnotateSize(flag::Long);  // a long is the default size
        break;
      case 'c': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        const std::uint32_t n = static_cast<std::uint32_t>(o->value);
        LineOperand += Opt.ShowLabels ? HubName(ObjBase + WordAt(ObjBase + 4 * n)) : SignedText(n);
        break;
      }
      case 'd': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        variable(o->value);
        break;
      }
      case 'f':
        if (i + 1 < format.size()) ++i;  // whether the call returns a value: the tracer's concern
        break;
      case 'k': {
        const char form = i + 1 < format.size() ? format[++i] : '\0';
        switch (form) {
          case '1': case '2': case '3': case '4': case 'c': case 's': case 'p': break;
          case '<':
            if (i + 1 < format.size()) ++i;
            break;
          default: continue;  // no constant
        }
        const SpinOperand* o = take();
        if (o == nullptr) return;
        const std::uint32_t value = static_cast<std::uint32_t>(o->value);
        if (!LineOperand.empty() && LineOperand.back() == '$') {
          LineOperand += HexText(value, HexDigitsForForm(form, o->sizeDigit, value));
        } else if (form == 'c' && value >= 32 && value <= 126) {
          if (LineCommentAt == std::string::npos) LineCommentAt = LineOperand.size() + 15;
          LineOperand += std::string("\"") + static_cast<char>(value) + "\"" + std::string(12, ' ') + "; " + DecText(value);
        } else {
          LineOperand += ConstText(value);
          // A pushed literal 0..15 (shown in decimal) may name a special register.
          if (value <= 15 && LineOp == FoldOp::PushConstant && !o->wrong) LineOp = LiteralPush(value);
        }
        if (o->wrong) {
          LineOperand += " ***** [WRONG] ***** ";
          if (LineLabel.empty() || LineLabel[0] != ';') ReportProblem("PACKED CONSTANT ERROR");
        }
        break;
      }
      case 'm': break;  // a code-address mark: the tracer's concern
      case 'p': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        const std::uint32_t object = static_cast<std::uint32_t>(o->value);
        LineOperand += Opt.ShowLabels ? HubName(ObjBase + WordAt(ObjBase + 4 * object)) : SignedText(object);
        if (i + 1 < format.size() && format[i + 1] == '[') {
          LineOperand += "[]";
          i += 2;
        }
        LineOperand += ", ";
        const SpinOperand* m = take();
        if (m == nullptr) return;
        LineOperand += SignedText(static_cast<std::uint32_t>(m->value));
        break;
      }
      case 'r': {
        if (take() == nullptr) return;
        // The register byte chose the mnemonic and the access.
        mnemonic = ins.mnemonic;
        LineOpcode = mnemonic;
        LineOp = RegisterFoldOp(ins.variable.access);
        const auto reg = static_cast<std::size_t>(ins.variable.offset);
        const std::string_view name = tables_.Spin.RegisterNames[reg];
        // The named registers $1F0..$1FF are longs; the others show their size.
        if (reg >= 16 || DefaultLong) {
          LineOperand += name;
        } else if (Opt.CastVariables) {
          LineOperand += "LONG(";
          LineOperand += name;
          LineOperand += ")";
        } else {
          LineOperand += name;
          LineOperand += ".LONG";
        }
        break;
      }
      case 'u': break;  // clears the code-address mark: the tracer's concern
      case 'v': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        variable(o->value);
        break;
      }
      case 'x': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        const std::uint32_t value = static_cast<std::uint32_t>(o->value) + static_cast<std::uint32_t>(ObjBase);
        const std::uint32_t low = value & 0xFFFF;
        if (!Opt.ShowLabels) {
          LineOperand += "$" + HexText(low, 4);
        } else if (low == static_cast<std::uint32_t>(VBASE)) {
          LineOperand += "VBASE";
        } else {
          LineOperand += HubName(low);
        }
        if (value >= 0x10000) LineOperand += ", " + DecText(value >> 16);
        break;
      }
      case 'y': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        LineOperand += ClockModeText(static_cast<std::uint32_t>(o->value));
        break;
      }
      case '#':
        if (i + 1 < format.size() && format[i + 1] == '#') {
          ++i;
          LineOperand += "#";
        } else if (Opt.ForceHash) {
          LineOperand += "#";
        }
        break;
      case '*': break;  // the instruction transfers control; nothing is written
      case ',': LineOperand += ", "; break;
      default: {
        // Literal template text: append the whole run up to the next letter at once.
        std::size_t end = i + 1;
        while (end < format.size() && !IsTemplateLetter(format[end])) ++end;
        LineOperand.append(format.data() + i, end - i);
        i = end - 1;
        break;
      }
    }
  }
}

}  // namespace brevin
