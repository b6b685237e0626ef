// The operand-template interpreter: a template is literal text with letters
// that read operand bytes and append their text. Data lines, the header and
// object links run it with their own templates.
#include "engine.h"
#include "text.h"

namespace brevin {

namespace {
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

std::string Engine::ClockModeText(std::uint32_t c) const {
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

void Engine::InterpretFormat(std::int64_t /*address*/, const std::string& format) {
  PushHistory = {-1, PushHistory[0], PushHistory[1], PushHistory[2]};
  const bool listing = ListingPass;
  auto append = [&](const std::string& text) {
    if (listing) LineOperand += text;
  };

  for (std::size_t i = 0; i < format.size(); ++i) {
    const char ch = format[i];
    switch (ch) {
      case 'k': {
        const char form = i + 1 < format.size() ? format[++i] : '\0';
        char sizeDigit = '\0';
        std::uint32_t value = static_cast<std::uint32_t>(OperandValue);
        bool read = true;
        switch (form) {
          case '1':
          case 'c': value = ReadByte(); break;
          case '2': value = ReadWord(); break;
          case '3': value = ReadWord(); value |= ReadByte() << 16; break;
          case '4':
          case 's': value = ReadLong(); break;
          case '<': {
            sizeDigit = i + 1 < format.size() ? format[++i] : '\0';
            const int count = sizeDigit >= '2' && sizeDigit <= '4' ? sizeDigit - '0' : 1;
            value = 0;
            for (int n = 0; n < count; ++n) value = value << 8 | ReadByte();  // most significant first
            break;
          }
          default: read = false; break;
        }
        if (!read) break;
        OperandValue = static_cast<std::int32_t>(value);
        if (value < 0x10000) PushHistory[0] = static_cast<std::int32_t>(value);
        if (!listing) break;
        if (!LineOperand.empty() && LineOperand.back() == '$') {
          append(HexText(value, HexDigitsForForm(form, sizeDigit, value)));
        } else if (form == 'c' && value >= 32 && value <= 126) {
          append(std::string("\"") + static_cast<char>(value) + "\"" + std::string(12, ' ') + "; " + DecText(value));
        } else {
          append(ConstText(value));
        }
        break;
      }
      case 'x': {
        const std::uint32_t value = ReadLong() + static_cast<std::uint32_t>(ObjBase);
        OperandValue = static_cast<std::int32_t>(value);
        const std::uint32_t low = value & 0xFFFF;
        if (!Opt.ShowLabels) {
          append("$" + HexText(low, 4));
        } else if (low == static_cast<std::uint32_t>(VBASE)) {
          append("VBASE");
        } else {
          append(HubName(low));
        }
        if (value >= 0x10000) append(", " + DecText(value >> 16));
        break;
      }
      case 'y': {
        const std::uint32_t mode = ReadByte();
        OperandValue = static_cast<std::int32_t>(mode);
        append(ClockModeText(mode));
        break;
      }
      case '#':
        if (i + 1 < format.size() && format[i + 1] == '#') {
          ++i;
          append("#");
        } else if (Opt.ForceHash) {
          append("#");
        }
        break;
      case '*': FlowFlag = true; break;
      case ',': append(", "); break;
      default: append(std::string(1, ch)); break;
    }
  }
}

}  // namespace brevin
