// The image flags report: every listed address with its cell and flag names.
#include "brevin/text.h"
#include "disassembler.h"

namespace brevin {

std::string Disassembler::ListImageFlags() const {
  using namespace flag;
  struct Name {
    std::uint32_t bit;
    const char* text;
  };
  static constexpr Name kBeforeJumps[] = {{Spin, " Spin"}, {Asmb, " Asmb"}, {Org0, " Org0"}, {Adat, " Adat"},
                                          {Aray, " Aray"}, {Aret, " Aret"}, {Xfun, " Xfun"}, {Xobj, " Xobj"},
                                          {Pads, " Pads"}, {Call, " Call"}};
  static constexpr Name kAfterJumps[] = {{Link, " Link"}, {Long, " Long"}, {Word, " Word"}, {Byte, " Byte"}};

  std::string out = "Image Flags" + std::string(kCrLf) + "============" + std::string(kCrLf);
  const std::int64_t end = std::min<std::int64_t>(ImageEnd, kLastAddress);
  for (std::int64_t i = 0; i <= end; ++i) {
    const std::uint32_t cell = Image[static_cast<std::size_t>(i)];
    out += kCrLf;
    out += Hex4(i) + "  " + HexText(cell, 8) + " ";
    out += (cell & Done) ? " Done" : "     ";
    for (const Name& n : kBeforeJumps) {
      if (cell & n.bit) out += n.text;
    }
    if ((cell & Goto) == Goto) {
      out += " Goto";
    } else {
      if (cell & JmpT) out += " JmpT";
      if (cell & JmpF) out += " JmpF";
    }
    for (const Name& n : kAfterJumps) {
      if (cell & n.bit) out += n.text;
    }
  }
  return out;
}

}  // namespace brevin
