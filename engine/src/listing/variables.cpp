// Shapes for partly known data: byte runs after Spin code, the variable area,
// each method's stack frame, and the Object List report.
#include "brevin/text.h"
#include "disassembler.h"

namespace brevin {

namespace {
// Marks an offset used by a local that gets no number (not a multiple of 4).
constexpr std::int32_t kUnnumberedLocal = -1;
}  // namespace

void Disassembler::ClassifyByteRuns() {
  using namespace flag;
  const std::int64_t end = std::min<std::int64_t>(VBASE, kImageSize);
  for (std::int64_t i = std::max<std::int64_t>(PINIT, 1); i < end; ++i) {
    if (!HasFlag(i, Byte) || !HasFlag(i - 1, Spin)) continue;
    SetFlag(i, Done | Aray | Byte);
    for (std::int64_t j = i + 1; j < end; ++j) {
      if (HasFlag(j, Done | AnyItem)) break;
      SetFlag(j, Aray | Byte);
    }
  }
}

void Disassembler::ClassifyVariables() {
  using namespace flag;
  std::int64_t a = VBASE;
  const std::int64_t end = std::min<std::int64_t>(VENDS, kImageSize);
  auto free = [&](std::int64_t cell) { return !HasFlag(cell, AnyItem); };
  while (a < end) {
    if (HasFlag(a, Long)) {
      a += 4;
    } else if (a % 4 == 0 && free(a) && free(a + 1) && free(a + 2) && free(a + 3)) {
      SetFlag(a, Aray | Long);
      a += 4;
    } else if (HasFlag(a, Word)) {
      a += 2;
    } else if (a % 2 == 0 && free(a) && free(a + 1)) {
      SetFlag(a, Aray | Word);
      a += 2;
    } else {
      if (free(a)) SetFlag(a, Aray | Byte);
      a += 1;
    }
  }
}

void Disassembler::ListStackFrame(std::int64_t entry) {
  // The method's own bytecode runs from its entry up to the next method entry.
  bool any = false;
  std::int64_t max = -1;
  for (std::int64_t a = entry; InImage(a); ++a) {
    if (a > entry && (!HasFlag(a, flag::Spin) || HasFlag(a, flag::Call))) break;
    const std::uint32_t access = static_cast<std::uint32_t>(LocalAccess[static_cast<std::size_t>(a)]);
    if (access == 0) continue;
    if (!any) ClearVarIds();
    any = true;
    const std::int64_t offset = access & 0xFFFF;
    VarIds[static_cast<std::size_t>(offset)] = kUnnumberedLocal;
    NoteVarId(offset);
    max = std::max(max, offset);
  }
  if (!any) return;

  std::string savedLabel = std::move(LineLabel);
  frameEntry_ = entry;
  ListMarker("", "ALIGN", "STACK          ", "; For " + HubName(entry));
  const bool forResult = HasFlag(entry, flag::Xfun);
  if (VarIds[0] != 0 || forResult) {
    VarIds[0] = ++LocalCounter;
    NoteVarId(0);
  }
  for (std::int64_t k = 4; k <= max; k += 4) {
    if (VarIds[static_cast<std::size_t>(k)] != 0) VarIds[static_cast<std::size_t>(k)] = ++LocalCounter;
  }
  for (std::int64_t k = 0; k <= max; k += 4) {
    const std::int32_t number = VarIds[static_cast<std::size_t>(k)];
    SetText(LineAddr, "      +");
    AppendHex(LineAddr, static_cast<std::uint32_t>(k), 4);
    LineHub = -1;
    LineCog = -1;
    InstrBytes.clear();
    if (number > 0) {
      SetText(LineLabel, "VL");
      AppendDecimal(LineLabel, number);
      if (keepLineMarks_) {
        const std::string* given = GivenLocal(k);
        slots_.push_back({LineLabel, given ? std::optional<std::string>(*given) : std::nullopt, true,
                          static_cast<std::int32_t>(entry), static_cast<std::int32_t>(k)});
      }
      if (const std::string* given = GivenLocal(k)) LineLabel = *given;
      if (Opt.ColonsAfterLabels) LineLabel.push_back(':');  // as LabelText
    } else {
      LineLabel.clear();
    }
    SetText(LineOpcode, "LONG");
    SetText(LineOperand, "0");
    if (k == 0) {
      LineCommentAt = LineOperand.size() + 14;
      LineOperand.append(14, ' ');
      LineOperand += "; ";
      LineOperand += forResult ? "Result Variable" : number > 0 ? "Unexpected Result Variable Used" : "Unused Result Variable";
    }
    EmitLine();
  }
  ListMarker("", "ALIGN", "SPIN");
  LineLabel = std::move(savedLabel);
}

void Disassembler::ListObjectList() {
  WriteRawLine("");
  WriteRawLine("Object List");
  WriteRawLine("===========");
  WriteRawLine("");

  int walked = 0;
  for (std::int64_t a = PBASE; a != VBASE && a <= kLastAddress;) {
    ++walked;
    const std::int64_t length = WordAt(a);
    if (length == 0) break;
    a += length;
  }
  WriteRawLine(Plural(std::max(walked - 1, 0), "object") + " used");
  WriteRawLine("");

  ObjBase = PBASE;
  ObjVarBase = VBASE;
  ListObjectRow("PBASE");
  while (ObjBase <= kLastAddress && ObjBase != VBASE) ListObjectRow(SymbolName(0, ObjBase, 0));
  ObjBase = PBASE;
  ObjVarBase = VBASE;
}

void Disassembler::ListObjectRow(const std::string& name) {
  const std::int64_t next = EntryTarget(0);
  if (next > kLastAddress) {
    ObjBase = VBASE;
    return;
  }
  std::string row = Hex4(ObjBase) + "   " + PadTo(name, 9) +
                    Hex4(next);
  row += next == VBASE ? "   VBASE" : "   " + SymbolName(0, next, 0);
  WriteRawLine(row);
  for (std::int64_t j = 1; InImage(ObjBase + 4 * j) && HasFlag(ObjBase + 4 * j, flag::Link); ++j) {
    const std::int64_t target = EntryTarget(j);
    WriteRawLine(Hex4(ObjBase + 4 * j) + "   " + PadTo(SignedText(j), 9) +
                 Hex4(target) + "   " + SymbolName(0, target, 0));
  }
  WriteRawLine("");
  ObjBase = next == ObjBase ? VBASE : next;
}

}  // namespace brevin
