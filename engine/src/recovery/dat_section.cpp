// The DAT block of one object. Each place the Spin code starts a cog becomes
// an assembly program: "org 0" there, then one line per long up to the last
// long its code reaches or names as a register, then the rest as data. Code is
// found by following the program's flow from cog register 0 and from the
// entries that flow does not show (see MoreEntries); the longs it reaches are
// written as instructions when they reassemble to the same long, every other
// long as "long". Registers the code names past the program's bytes become
// "res" lines where that adds no bytes: before the next program's "org" or at
// the DAT's end when it is long-aligned. Their labels stand on no DAT byte, so
// they are not among the labels returned. Everything outside the programs is
// written as data directives.
#include "recovery/dat_section.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <set>

#include "brevin/asm_instruction.h"
#include "recovery/asm_line.h"
#include "recovery/dat_data.h"
#include "recovery/spin_names.h"

namespace brevin::recovery {

namespace {

constexpr std::int32_t kCogLongs = 0x1F0;  // registers a program can name by label

std::string Hex(std::int32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, static_cast<unsigned>(value));
  return buffer;
}

// The instruction line of a program: label, condition, mnemonic, operands.
std::string ProgramLine(const std::string& label, const std::string& condition, const std::string& op,
                        const std::string& operands) {
  constexpr std::size_t kConditionColumn = 13;
  std::string prefix = condition;
  prefix.append(prefix.size() < kConditionColumn ? kConditionColumn - prefix.size() : 1, ' ');
  return SourceLine(label, prefix + op, operands);
}

bool IsRegisterKind(AsmOperandKind kind) {
  switch (kind) {
    case AsmOperandKind::Register:
    case AsmOperandKind::ReturnRegister:
    case AsmOperandKind::HiddenReturn:
    case AsmOperandKind::Indirect:
    case AsmOperandKind::JumpTarget:
    case AsmOperandKind::ReturnTarget: return true;
    default: return false;
  }
}

struct Program {
  std::int32_t start = 0;     // object offset of cog register 0
  std::int32_t longs = 0;     // longs from start before the next program, the DAT's end or the cog's end
  bool resAllowed = false;    // "res" lines after the longs add no bytes
  std::vector<std::uint32_t> words;
  std::vector<bool> code;
  std::set<std::int32_t> registers;        // named by the code, below kCogLongs
  std::map<std::int32_t, std::int32_t> calls;  // routine -> its return register
  std::int32_t written = 0;   // longs written one per line
  std::set<std::int32_t> addressOperands;  // longs whose #S is a code address (written as its label)
  std::set<std::int32_t> codeTables;       // data longs that hold code addresses (written as labels)
};

class DatWriter {
 public:
  // Offsets are object offsets of at most a hub's size; bytes that would end
  // past the largest offset are cut there.
  explicit DatWriter(const DatSectionInput& in) : in_(in), object_{in.bytes, in.offset} {
    begin_ = in.offset;
    const std::int64_t end = std::int64_t{in.offset} + static_cast<std::int64_t>(in.bytes.size());
    end_ = static_cast<std::int32_t>(std::min<std::int64_t>(end, INT32_MAX - 8));
    begin_ = std::min(begin_, end_);
  }

  DatSection Write() {
    if (end_ - begin_ < static_cast<std::int64_t>(in_.bytes.size())) Inexact("the bytes run past the largest object offset");
    CollectReferences();
    FindPrograms();
    for (std::size_t p = 0; p < programs_.size(); ++p) Trace(programs_[p]);
    for (std::size_t p = 0; p < programs_.size(); ++p) NamePrograms(p);
    std::int32_t x = begin_;
    for (std::size_t p = 0; p < programs_.size(); ++p) {
      WriteData(x, programs_[p].start);
      WriteProgram(programs_[p], p);
      x = programs_[p].start + 4 * programs_[p].longs;
    }
    WriteData(x, end_);
    if (const auto last = references_.find(end_); last != references_.end()) {
      // A label after the last byte still declares its size; the directive with
      // no values adds nothing at an aligned end.
      const std::string name = DataName(end_);
      const char* directive = last->second == 1 ? "byte" : last->second == 2 ? "word" : "long";
      out_.lines.push_back(ProgramLine(name, "", directive, ""));
      out_.labels[end_] = DatLabel{name, last->second};
    }
    return std::move(out_);
  }

 private:
  const DatSectionInput& in_;
  ObjectBytes object_;
  std::int32_t begin_ = 0, end_ = 0;
  DatSection out_;
  SpinNameSet taken_;
  std::map<std::int32_t, int> references_;  // offset -> size
  std::vector<Program> programs_;
  std::map<std::int32_t, std::string> names_;  // object offset -> label given by DataName
  std::map<std::size_t, CogNames> cogNames_;   // by program: the labels of its registers

  void Inexact(const std::string& what) {
    out_.exact = false;
    if (!out_.difference.empty()) out_.difference += "; ";
    out_.difference += what;
  }

  std::optional<std::string> ListingName(std::int32_t offset) const {
    if (!in_.labelAt) return std::nullopt;
    const std::int64_t hub = std::int64_t{in_.objectAddress} + offset;
    if (hub < INT32_MIN || hub > INT32_MAX) return std::nullopt;
    return in_.labelAt(static_cast<std::int32_t>(hub));
  }

  void CollectReferences() {
    for (const DatReference& r : in_.references) {
      const std::string where = "$" + Hex(r.offset, 4);
      // A place at the very end is a label with no data after it.
      if (r.offset < begin_ || r.offset > end_ || (r.size != 1 && r.size != 2 && r.size != 4)) {
        Inexact("reference at " + where + " is outside the DAT bytes");
        continue;
      }
      if (r.offset % r.size != 0) {
        Inexact("reference at " + where + " is not aligned to its size " + std::to_string(r.size));
        continue;
      }
      // Read at several sizes: the label takes the largest, and the code names
      // the others with a size of its own.
      const auto [it, added] = references_.emplace(r.offset, r.size);
      if (!added) it->second = std::max(it->second, r.size);
    }
  }

  void FindPrograms() {
    std::set<std::int32_t> starts;
    for (const std::int32_t hub : in_.asmStarts) {
      const std::int64_t offset = std::int64_t{hub} - in_.objectAddress;
      if (offset >= begin_ && offset + 4 <= end_ && offset % 4 == 0) starts.insert(static_cast<std::int32_t>(offset));
    }
    for (auto it = starts.begin(); it != starts.end(); ++it) {
      Program p;
      p.start = *it;
      const std::int32_t limit = std::next(it) != starts.end() ? *std::next(it) : end_;
      p.longs = std::min((limit - p.start) / 4, kCogLongs);
      p.resAllowed = p.start + 4 * p.longs == limit && p.longs < kCogLongs;
      for (std::int32_t k = 0; k < p.longs; ++k) {
        const std::int32_t at = p.start + 4 * k;
        p.words.push_back(static_cast<std::uint32_t>(object_.At(at)) |
                          static_cast<std::uint32_t>(object_.At(at + 1)) << 8 |
                          static_cast<std::uint32_t>(object_.At(at + 2)) << 16 |
                          static_cast<std::uint32_t>(object_.At(at + 3)) << 24);
      }
      p.code.assign(static_cast<std::size_t>(p.longs), false);
      programs_.push_back(std::move(p));
    }
  }

  // Marks the longs reached from register 0, then from the other places code
  // is entered (see MoreEntries), and notes the registers the code names.
  static void Trace(Program& p) {
    std::vector<std::int32_t> work{0};
    while (!work.empty()) {
      Follow(p, work);
      work = MoreEntries(p);
    }
    for (const std::int32_t k : p.codeTables) {
      if (!p.code[static_cast<std::size_t>(k)]) p.registers.insert(static_cast<std::int32_t>(p.words[static_cast<std::size_t>(k)]));
    }
    for (std::int32_t k = 0; k < p.longs; ++k) {
      if (!p.code[static_cast<std::size_t>(k)]) continue;
      const AsmInstruction ins = DecodeAsm(p.words[static_cast<std::size_t>(k)], true);
      for (std::size_t i = 0; i < ins.operandCount; ++i) {
        const AsmOperand& op = ins.operands[i];
        if (IsRegisterKind(op.kind) && op.value < static_cast<std::uint32_t>(kCogLongs)) {
          p.registers.insert(static_cast<std::int32_t>(op.value));
        }
      }
      // An immediate that indexes a jump table is its address.
      const bool indexes = ins.mnemonic == "ADD" || ins.mnemonic == "SUB" || ins.mnemonic == "MOV" || ins.mnemonic == "MOVS";
      if (ins.immediate && indexes && p.codeTables.contains(static_cast<std::int32_t>(ins.s))) p.addressOperands.insert(k);
      if (p.addressOperands.contains(k)) p.registers.insert(static_cast<std::int32_t>(ins.s));
      if (ins.mnemonic == "CALL" && ins.s < static_cast<std::uint32_t>(kCogLongs) &&
          ins.d < static_cast<std::uint32_t>(kCogLongs)) {
        p.calls[static_cast<std::int32_t>(ins.s)] = static_cast<std::int32_t>(ins.d);
      }
    }
  }

  static void Follow(Program& p, std::vector<std::int32_t>& work) {
    while (!work.empty()) {
      const std::int32_t k = work.back();
      work.pop_back();
      if (k < 0 || k >= p.longs || p.code[static_cast<std::size_t>(k)]) continue;
      p.code[static_cast<std::size_t>(k)] = true;
      const AsmInstruction ins = DecodeAsm(p.words[static_cast<std::size_t>(k)], true);
      if (ins.mnemonic.empty()) continue;  // not an instruction: the flow stops here
      const bool never = ins.condition == 0;
      const std::int32_t target = ins.FlowTarget();
      switch (ins.flow) {
        case AsmFlow::Next: work.push_back(k + 1); break;
        case AsmFlow::Jump:
          if (!never && target >= 0) work.push_back(target);
          if (ins.condition != 15) work.push_back(k + 1);
          break;
        case AsmFlow::Call:
        case AsmFlow::Branch:
          if (!never && target >= 0) work.push_back(target);
          work.push_back(k + 1);
          break;
      }
    }
  }

  static constexpr std::int32_t kLongestBlock = 64;

  // Whether the longs from k on are instructions (no IF_NEVER) up to an
  // unconditional jump or the code, within kLongestBlock longs.
  template <typename Plain>
  static bool EndsInJump(const Program& p, std::int32_t k, const Plain& plain) {
    for (std::int32_t j = k; j < p.longs && j < k + kLongestBlock; ++j) {
      if (p.code[static_cast<std::size_t>(j)]) return j > k;
      if (!plain(j)) return false;
      const AsmInstruction ins = DecodeAsm(p.words[static_cast<std::size_t>(j)], true);
      if (ins.condition == 0) return false;
      if (ins.flow == AsmFlow::Jump && ins.condition == 15) return true;
    }
    return false;
  }

  // Code the flow from register 0 does not show: the address a register is
  // given before the code jumps through it (MOV or MOVS R, #x then JMP R or
  // JMPRET ..., R), the target a MOVS writes into a jump, the longs of a
  // jump table, and routines entered through instructions the program loads
  // from hub or through tables it reads as data (see below).
  static std::vector<std::int32_t> MoreEntries(Program& p) {
    std::set<std::uint32_t> jumpRegisters, dataRegisters;
    std::vector<AsmInstruction> code(static_cast<std::size_t>(p.longs));
    for (std::int32_t k = 0; k < p.longs; ++k) {
      if (!p.code[static_cast<std::size_t>(k)]) continue;
      const AsmInstruction& ins = code[static_cast<std::size_t>(k)] = DecodeAsm(p.words[static_cast<std::size_t>(k)], true);
      const bool patches = ins.mnemonic == "MOVS" || ins.mnemonic == "MOVD" || ins.mnemonic == "MOVI";
      for (std::size_t i = 0; i < ins.operandCount; ++i) {
        const AsmOperand& op = ins.operands[i];
        if (op.kind == AsmOperandKind::Indirect) jumpRegisters.insert(op.value);
        if (op.kind == AsmOperandKind::Register && !(patches && i == 0)) dataRegisters.insert(op.value);
      }
    }
    std::vector<std::int32_t> entries;
    auto entry = [&](std::uint32_t target) {
      if (target < static_cast<std::uint32_t>(p.longs) && !p.code[target]) entries.push_back(static_cast<std::int32_t>(target));
    };
    for (std::int32_t k = 0; k < p.longs; ++k) {
      const AsmInstruction& ins = code[static_cast<std::size_t>(k)];
      if (!ins.immediate || (ins.mnemonic != "MOV" && ins.mnemonic != "MOVS")) continue;
      bool address = jumpRegisters.contains(ins.d);
      if (ins.mnemonic == "MOVS" && ins.d < static_cast<std::uint32_t>(p.longs) && p.code[ins.d]) {
        const AsmFlow flow = code[ins.d].flow;
        address = address || (flow != AsmFlow::Next && code[ins.d].FlowTarget() >= 0);
      }
      if (address && ins.s < static_cast<std::uint32_t>(p.longs)) {
        entry(ins.s);
        p.addressOperands.insert(k);
      }
    }
    // Jump tables: two or more longs in a row, outside the code, each holding
    // the address of a long that is code or an instruction that always runs.
    auto codeAddress = [&](std::int32_t k) {
      const std::uint32_t v = p.words[static_cast<std::size_t>(k)];
      if (p.code[static_cast<std::size_t>(k)] || v == 0 || v >= static_cast<std::uint32_t>(p.longs)) return false;
      const AsmInstruction target = DecodeAsm(p.words[v], true);
      return p.code[v] || (!target.mnemonic.empty() && target.condition == 15);
    };
    for (std::int32_t k = 0; k < p.longs;) {
      std::int32_t n = 0;
      while (k + n < p.longs && codeAddress(k + n)) ++n;
      if (n >= 2) {
        for (std::int32_t t = k; t < k + n; ++t) {
          p.codeTables.insert(t);
          entry(p.words[static_cast<std::size_t>(t)]);
        }
      }
      k += std::max(n, 1);
    }
    // Longs no instruction names as a register that read as instructions
    // which always run: right after the code, or starting a run of real
    // instructions that ends in an unconditional jump or meets the code.
    auto plain = [&](std::int32_t k) {
      return !dataRegisters.contains(static_cast<std::uint32_t>(k)) &&
             !DecodeAsm(p.words[static_cast<std::size_t>(k)], true).mnemonic.empty();
    };
    auto always = [&](std::int32_t k) { return ((p.words[static_cast<std::size_t>(k)] >> 18) & 0xFU) == 15; };
    for (std::int32_t k = 1; k < p.longs; ++k) {
      const auto at = static_cast<std::size_t>(k);
      if (p.code[at] || p.codeTables.contains(k) || !always(k) || !plain(k)) continue;
      if (p.code[at - 1] || EndsInJump(p, k, plain)) entries.push_back(k);
    }
    return entries;
  }

  std::string Generated(const std::string& kind, std::size_t program, std::int32_t reg) const {
    return kind + (program == 0 ? "" : std::to_string(program + 1) + "_") + Hex(reg, 3);
  }

  void NamePrograms(std::size_t index) {
    Program& p = programs_[index];
    std::int32_t last = 0;
    for (std::int32_t k = 0; k < p.longs; ++k) {
      if (p.code[static_cast<std::size_t>(k)]) last = k;
    }
    for (const std::int32_t r : p.registers) {
      if (r < p.longs) last = std::max(last, r);
    }
    p.written = last + 1;

    // Listing names first, then the routines and their return registers, then the rest.
    CogNames& cog = cogNames_[index];
    // Only registers that get a line may have a name: the program's longs, or
    // "res" lines past them.
    auto name = [&](std::int32_t reg, const std::string& generated) {
      if (cog.NameOf(static_cast<std::uint32_t>(reg)) != nullptr || (reg >= p.longs && !p.resAllowed)) return;
      std::optional<std::string> listed;
      if (reg < p.longs) listed = ListingName(p.start + 4 * reg);
      const std::string taken = taken_.Take(listed.value_or(""), generated);
      cog.Add(static_cast<std::uint32_t>(reg), taken);
    };
    auto listed = [&](std::int32_t reg) { return reg < p.longs && ListingName(p.start + 4 * reg).has_value(); };
    name(0, index == 0 ? "entry" : "entry" + std::to_string(index + 1));
    for (const auto& [routine, slot] : p.calls) {
      name(routine, Generated("sub", index, routine));
      const std::string* routineName = cog.NameOf(static_cast<std::uint32_t>(routine));
      if (routineName != nullptr && cog.NameOf(static_cast<std::uint32_t>(slot)) == nullptr && !listed(slot) &&
          routine != slot && (slot < p.longs || p.resAllowed)) {
        const std::string wanted = *routineName + "_ret";
        if (taken_.TakeExactly(wanted)) cog.Add(static_cast<std::uint32_t>(slot), wanted);
      }
    }
    for (const std::int32_t r : p.registers) {
      const bool isCode = r < p.longs && p.code[static_cast<std::size_t>(r)];
      name(r, Generated(isCode ? "lbl" : "reg", index, r));
    }
    for (std::int32_t k = 1; k < p.written; ++k) {
      if (listed(k)) name(k, Generated("lbl", index, k));
    }
  }

  std::string DataName(std::int32_t offset) {
    if (const auto it = names_.find(offset); it != names_.end()) return it->second;
    return names_[offset] = taken_.Take(ListingName(offset).value_or(""), "dat_" + Hex(offset, 4));
  }

  void WriteData(std::int32_t from, std::int32_t to) {
    if (from >= to) return;
    std::map<std::int32_t, WantedLabel> wanted;
    for (auto it = references_.lower_bound(from); it != references_.end() && it->first < to; ++it) {
      wanted[it->first] = WantedLabel{DataName(it->first), it->second};
    }
    if (in_.labelAt) {
      for (std::int32_t x = from; x < to; ++x) {
        if (!wanted.contains(x) && ListingName(x)) wanted[x] = WantedLabel{DataName(x), 0};
      }
    }
    if (!WriteDataLines(object_, from, to, wanted, out_.lines, out_.labels)) {
      Inexact("a label in the data at $" + Hex(from, 4) + "..$" + Hex(to, 4) + " could not take its size");
    }
  }

  void WriteProgram(Program& p, std::size_t index) {
    const CogNames& cog = cogNames_[index];
    std::set<std::int32_t> returnSlots;
    for (const auto& [routine, slot] : p.calls) returnSlots.insert(slot);
    out_.lines.push_back(ProgramLine("", "", "org", "0"));
    for (std::int32_t k = 0; k < p.written; ++k) {
      const std::int32_t at = p.start + 4 * k;
      const std::string* label = cog.NameOf(static_cast<std::uint32_t>(k));
      // A Spin reference that is not a long at the start of this long makes it data.
      bool split = false;
      for (std::int32_t b = 0; b < 4; ++b) {
        const auto ref = references_.find(at + b);
        if (ref != references_.end() && (b != 0 || ref->second != 4)) split = true;
      }
      if (split) {
        std::map<std::int32_t, WantedLabel> wanted;
        for (std::int32_t b = 0; b < 4; ++b) {
          if (const auto ref = references_.find(at + b); ref != references_.end()) {
            const std::string name = b == 0 && label != nullptr ? *label : DataName(at + b);
            wanted[at + b] = WantedLabel{name, ref->second};
          }
        }
        if (label != nullptr && !wanted.contains(at)) wanted[at] = WantedLabel{*label, 0};
        if (!WriteDataLines(object_, at, at + 4, wanted, out_.lines, out_.labels)) {
          Inexact("a label in the long at $" + Hex(at, 4) + " could not take its size");
        }
        continue;
      }
      std::string name;
      if (label != nullptr) {
        name = *label;
      } else if (references_.contains(at)) {
        name = DataName(at);
      }
      if (!name.empty()) out_.labels[at] = DatLabel{name, 4};
      const std::uint32_t word = p.words[static_cast<std::size_t>(k)];
      std::optional<AsmText> text;
      if (p.code[static_cast<std::size_t>(k)]) text = WriteAsmInstruction(word, cog, returnSlots.contains(k), p.addressOperands.contains(k));
      if (text) {
        out_.lines.push_back(ProgramLine(name, text->condition, text->mnemonic, text->operands));
      } else if (const std::string* target = cog.NameOf(word); target != nullptr && p.codeTables.contains(k)) {
        out_.lines.push_back(ProgramLine(name, "", "long", *target));
      } else {
        out_.lines.push_back(ProgramLine(name, "", "long", DataItemText(word, 8)));
      }
    }
    WriteData(p.start + 4 * p.written, p.start + 4 * p.longs);
    if (!p.resAllowed) return;
    // Registers named past the program's bytes: reserved, as the source had them.
    std::int32_t next = p.longs;
    for (const std::int32_t r : p.registers) {
      if (r < p.longs) continue;
      if (r > next) out_.lines.push_back(ProgramLine("", "", "res", std::to_string(r - next)));
      out_.lines.push_back(ProgramLine(*cog.NameOf(static_cast<std::uint32_t>(r)), "", "res", "1"));
      next = r + 1;
    }
  }
};

}  // namespace

DatSection RecoverDatSection(const DatSectionInput& input) {
  DatWriter writer(input);
  return writer.Write();
}

}  // namespace brevin::recovery
