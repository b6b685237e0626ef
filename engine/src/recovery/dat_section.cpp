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
#include "recovery/dat_names.h"
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
  // More of the source's labels of a register, written standing alone before its line.
  std::map<std::int32_t, std::vector<std::string>> aliases;
};

class DatWriter {
 public:
  // Offsets are object offsets of at most a hub's size; bytes that would end
  // past the largest offset are cut there.
  explicit DatWriter(const DatSectionInput& in) : in_(in), object_{in.bytes, in.offset}, names_(in) {
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
    // Labels after the last byte still declare their size: the directive with
    // no items adds nothing at an end aligned to it.
    for (const WantedLabel& label : WantedAt(end_, false)) {
      const int size = label.size == 0 || end_ % label.size != 0 ? 1 : label.size;
      out_.lines.push_back(SourceLine(label.name, SizeDirective(size), ""));
      RecordLabel(out_, end_, label.name, size);
    }
    return std::move(out_);
  }

 private:
  const DatSectionInput& in_;
  ObjectBytes object_;
  DatNames names_;
  std::int32_t begin_ = 0, end_ = 0;
  DatSection out_;
  std::map<std::int32_t, int> references_;  // offset -> size
  std::vector<Program> programs_;
  std::map<std::int32_t, std::string> dataNames_;  // object offset -> label given by DataName
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
    for (const std::int32_t offset : in_.sourcePrograms) {
      if (offset >= begin_ && offset <= end_ - 4 && offset % 4 == 0) starts.insert(offset);
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

    CogNames& cog = cogNames_[index];
    NameFromSource(p, cog);
    // Listing names next, then the routines and their return registers, then the rest.
    // Only registers that get a line may have a name: the program's longs, or
    // "res" lines past them.
    auto name = [&](std::int32_t reg, const std::string& generated) {
      if (cog.NameOf(static_cast<std::uint32_t>(reg)) != nullptr || (reg >= p.longs && !p.resAllowed)) return;
      std::optional<std::string> listed;
      if (reg < p.longs) listed = ListingName(p.start + 4 * reg);
      const std::string taken = names_.Take(listed.value_or(""), generated);
      cog.Add(static_cast<std::uint32_t>(reg), taken);
    };
    auto listed = [&](std::int32_t reg) { return reg < p.longs && ListingName(p.start + 4 * reg).has_value(); };
    name(0, index == 0 ? "entry" : "entry" + std::to_string(index + 1));
    for (const auto& [routine, slot] : p.calls) {
      name(routine, Generated("sub", index, routine));
      const std::string* routineName = cog.NameOf(static_cast<std::uint32_t>(routine));
      if (routineName != nullptr && !routineName->starts_with(':') && cog.NameOf(static_cast<std::uint32_t>(slot)) == nullptr &&
          !listed(slot) && routine != slot && (slot < p.longs || p.resAllowed)) {
        const std::string wanted = *routineName + "_ret";
        if (names_.TakeExactly(wanted)) cog.Add(static_cast<std::uint32_t>(slot), wanted);
      }
    }
    for (const std::int32_t r : p.registers) {
      const bool isCode = r < p.longs && p.code[static_cast<std::size_t>(r)];
      name(r, Generated(isCode ? "lbl" : "reg", index, r));
    }
    for (std::int32_t k = 1; k < p.written; ++k) {
      if (listed(k)) name(k, Generated("lbl", index, k));
    }
    KeepLocalsInScope(p, index);
  }

  // The source's labels of the program's registers: its assembly labels, or
  // the long label standing on the register's long; "res" registers past the
  // bytes by their assembly labels (global ones: the lines after the data
  // are not in any local label's reach). A register's first label names it,
  // the others become its aliases.
  void NameFromSource(Program& p, CogNames& cog) {
    auto place = [&](std::int32_t reg) {
      return reg < p.longs ? std::int64_t{p.start} + 4 * reg : DatNames::ReservedPlace(p.start, reg);
    };
    for (auto it = in_.sourceCogLabels.lower_bound({p.start, 0});
         it != in_.sourceCogLabels.end() && it->first.first == p.start && it->first.second < kCogLongs; ++it) {
      const std::int32_t reg = it->first.second;
      if (reg >= p.written && (reg < p.longs || !p.resAllowed)) continue;
      const bool first = cog.NameOf(static_cast<std::uint32_t>(reg)) == nullptr;
      if (IsLocalLabel(it->second)) {
        if (first && reg < p.written) cog.Add(static_cast<std::uint32_t>(reg), it->second);
      } else if (const std::optional<std::string> given = names_.Source(it->second, place(reg))) {
        if (first) {
          cog.Add(static_cast<std::uint32_t>(reg), *given);
        } else {
          p.aliases[reg].push_back(*given);
        }
      }
    }
    for (std::int32_t k = 0; k < p.written; ++k) {
      const std::int32_t at = p.start + 4 * k;
      const auto [first, end] = in_.sourceLabels.equal_range(at);
      if (cog.NameOf(static_cast<std::uint32_t>(k)) != nullptr || first == end || std::prev(end)->second.size != 4) continue;
      if (const std::optional<std::string> given = names_.Source(std::prev(end)->second.name, at)) {
        cog.Add(static_cast<std::uint32_t>(k), *given);
      }
    }
  }

  // A local label is known only between the global labels around it: one
  // that an instruction outside that stretch names, that the Spin code or a
  // jump table names, that CALL needs, that stands first in the program, on
  // a long written as data or twice in one stretch becomes a global label.
  void KeepLocalsInScope(const Program& p, std::size_t index) {
    CogNames& cog = cogNames_[index];
    std::set<std::uint32_t> global{0};
    for (const auto& [routine, slot] : p.calls) global.insert({static_cast<std::uint32_t>(routine), static_cast<std::uint32_t>(slot)});
    for (std::int32_t k = 0; k < p.written; ++k) {
      const LongPlan plan = PlanLong(p, k, cog.NameOf(static_cast<std::uint32_t>(k)));
      if (!plan.extras.empty() || plan.split || p.aliases.contains(k)) cog.StartScope(static_cast<std::uint32_t>(k));
      if (plan.split || references_.contains(p.start + 4 * k)) global.insert(static_cast<std::uint32_t>(k));
    }
    auto local = [&](std::uint32_t reg) {
      const std::string* name = cog.NameOf(reg);
      return name != nullptr && name->starts_with(':');
    };
    auto outside = [&](std::uint32_t reg, std::int32_t line) {
      return local(reg) && cog.ScopeOf(reg) != cog.ScopeOf(static_cast<std::uint32_t>(line));
    };
    for (bool changed = true; changed;) {
      std::set<std::uint32_t> promote;
      for (const std::uint32_t reg : global) {
        if (local(reg)) promote.insert(reg);
      }
      std::set<std::pair<std::optional<std::uint32_t>, std::string>> seen;
      for (const auto& [reg, name] : cog.All()) {
        if (name.starts_with(':') && !seen.insert({cog.ScopeOf(reg), UpperName(name)}).second) promote.insert(reg);
      }
      for (std::int32_t k = 0; k < p.written; ++k) {
        const std::uint32_t word = p.words[static_cast<std::size_t>(k)];
        if (p.codeTables.contains(k) && word < static_cast<std::uint32_t>(p.longs) && local(word)) promote.insert(word);
        if (!p.code[static_cast<std::size_t>(k)]) continue;
        const AsmInstruction ins = DecodeAsm(word, true);
        for (std::size_t i = 0; i < ins.operandCount; ++i) {
          if (IsRegisterKind(ins.operands[i].kind) && outside(ins.operands[i].value, k)) promote.insert(ins.operands[i].value);
        }
        if (p.addressOperands.contains(k) && outside(ins.s, k)) promote.insert(ins.s);
      }
      for (const std::uint32_t reg : promote) {
        cog.Add(reg, names_.Take(cog.NameOf(reg)->substr(1), Generated("lbl", index, static_cast<std::int32_t>(reg))));
      }
      changed = !promote.empty();
    }
  }

  static std::string UpperName(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
  }

  std::string DataName(std::int32_t offset) {
    if (const auto it = dataNames_.find(offset); it != dataNames_.end()) return it->second;
    return dataNames_[offset] = names_.Take(ListingName(offset).value_or(""), "dat_" + Hex(offset, 4));
  }

  // The labels at offset x of data: the source's, with the size the code
  // reads there when none of them is that wide; else one for the code's
  // reference or the listing's name.
  std::vector<WantedLabel> WantedAt(std::int32_t x, bool listing) {
    std::vector<WantedLabel> group = names_.SourceLabelsAt(x);
    const auto ref = references_.find(x);
    const int needed = ref != references_.end() ? ref->second : 0;
    if (group.empty()) {
      if (needed > 0 || (listing && ListingName(x))) group.push_back(WantedLabel{DataName(x), needed});
      return group;
    }
    int widest = 0;
    for (const WantedLabel& label : group) widest = std::max(widest, label.size);
    if (widest < needed) group.back().size = needed;
    return group;
  }

  void WriteData(std::int32_t from, std::int32_t to) {
    if (from >= to) return;
    std::set<std::int32_t> places;
    for (auto it = references_.lower_bound(from); it != references_.end() && it->first < to; ++it) places.insert(it->first);
    for (auto it = in_.sourceLabels.lower_bound(from); it != in_.sourceLabels.end() && it->first < to; ++it) {
      places.insert(it->first);
    }
    if (in_.labelAt) {
      for (std::int32_t x = from; x < to; ++x) {
        if (ListingName(x)) places.insert(x);
      }
    }
    WantedLabels wanted;
    for (const std::int32_t x : places) {
      std::vector<WantedLabel> group = WantedAt(x, true);
      if (!group.empty()) wanted[x] = std::move(group);
    }
    if (!WriteDataLines(object_, from, to, wanted, out_)) {
      Inexact("a label in the data at $" + Hex(from, 4) + "..$" + Hex(to, 4) + " could not take its size");
    }
  }

  // How one long of a program is written: as an instruction or long line,
  // after the source's other labels on it standing alone (extras); or split
  // into data lines where labels stand inside it, where the Spin code reads
  // it at another size, or where the source types a data long otherwise.
  struct LongPlan {
    bool split = false;
    std::vector<WantedLabel> extras;
    WantedLabels wanted;  // when split
  };

  LongPlan PlanLong(const Program& p, std::int32_t k, const std::string* label) {
    LongPlan plan;
    const std::int32_t at = p.start + 4 * k;
    std::set<std::string> aliased;
    if (const auto aliases = p.aliases.find(k); aliases != p.aliases.end()) {
      for (const std::string& alias : aliases->second) {
        plan.extras.push_back(WantedLabel{alias, 4});
        aliased.insert(UpperName(alias));
      }
    }
    for (const WantedLabel& own : names_.SourceLabelsAt(at, label)) {
      if (!aliased.contains(UpperName(own.name))) plan.extras.push_back(own);
    }
    for (std::int32_t b = 1; b < 4; ++b) {
      std::vector<WantedLabel> group = WantedAt(at + b, false);
      if (!group.empty()) plan.wanted[at + b] = std::move(group);
    }
    const auto ref = references_.find(at);
    const int needed = ref != references_.end() ? ref->second : 0;
    const int typed = label != nullptr ? names_.SourceSize(at, *label).value_or(0) : 0;
    const bool data = !p.code[static_cast<std::size_t>(k)];
    plan.split = !plan.wanted.empty() || (needed != 0 && needed != 4) || (data && typed != 0 && typed != 4) ||
                 (data && label == nullptr && !plan.extras.empty() && plan.extras.back().size != 4);
    if (!plan.split) return plan;
    std::vector<WantedLabel> group = std::move(plan.extras);
    plan.extras.clear();
    if (label != nullptr) {
      group.push_back(WantedLabel{*label, std::max(needed, typed)});
    } else if (needed != 0) {
      int widest = 0;
      for (const WantedLabel& l : group) widest = std::max(widest, l.size);
      if (group.empty()) group.push_back(WantedLabel{DataName(at), needed});
      if (widest < needed) group.back().size = needed;
    }
    if (!group.empty()) plan.wanted[at] = std::move(group);
    return plan;
  }

  void WriteProgram(Program& p, std::size_t index) {
    const CogNames& cog = cogNames_[index];
    std::set<std::int32_t> returnSlots;
    for (const auto& [routine, slot] : p.calls) returnSlots.insert(slot);
    out_.lines.push_back(ProgramLine("", "", "org", "0"));
    for (std::int32_t k = 0; k < p.written; ++k) {
      const std::int32_t at = p.start + 4 * k;
      const std::string* label = cog.NameOf(static_cast<std::uint32_t>(k));
      const LongPlan plan = PlanLong(p, k, label);
      if (plan.split) {
        if (!WriteDataLines(object_, at, at + 4, plan.wanted, out_)) {
          Inexact("a label in the long at $" + Hex(at, 4) + " could not take its size");
        }
        continue;
      }
      for (const WantedLabel& extra : plan.extras) {
        out_.lines.push_back(SourceLine(extra.name, SizeDirective(extra.size), ""));
        RecordLabel(out_, at, extra.name, extra.size);
      }
      std::string name;
      if (label != nullptr) {
        name = *label;
      } else if (references_.contains(at)) {
        name = DataName(at);
      }
      if (!name.empty() && !name.starts_with(':')) RecordLabel(out_, at, name, 4);
      out_.lines.push_back(ProgramLongLine(p, k, name, cog, returnSlots.contains(k)));
    }
    WriteData(p.start + 4 * p.written, p.start + 4 * p.longs);
    if (!p.resAllowed) return;
    // Registers named past the program's bytes: reserved, as the source had them.
    std::int32_t next = p.longs;
    for (const auto& [reg, name] : cog.All()) {
      const auto r = static_cast<std::int32_t>(reg);
      if (r < p.longs || r >= kCogLongs) continue;
      if (r > next) out_.lines.push_back(ProgramLine("", "", "res", std::to_string(r - next)));
      if (const auto aliases = p.aliases.find(r); aliases != p.aliases.end()) {
        for (const std::string& alias : aliases->second) out_.lines.push_back(ProgramLine(alias, "", "res", "0"));
      }
      out_.lines.push_back(ProgramLine(name, "", "res", "1"));
      next = r + 1;
    }
  }

  // One long of a program: its instruction when it is code and reassembles,
  // else a long holding a code address by its label, else its value.
  std::string ProgramLongLine(const Program& p, std::int32_t k, const std::string& name, const CogNames& cog,
                              bool returnSlot) const {
    const std::uint32_t word = p.words[static_cast<std::size_t>(k)];
    std::optional<AsmText> text;
    if (p.code[static_cast<std::size_t>(k)]) {
      text = WriteAsmInstruction(word, cog, returnSlot, p.addressOperands.contains(k), static_cast<std::uint32_t>(k));
    }
    if (text) return ProgramLine(name, text->condition, text->mnemonic, text->operands);
    if (const std::string* target = cog.NameOf(word); target != nullptr && p.codeTables.contains(k)) {
      return ProgramLine(name, "", "long", *target);
    }
    return ProgramLine(name, "", "long", DataItemText(word, 8));
  }
};

}  // namespace

DatSection RecoverDatSection(const DatSectionInput& input) {
  DatWriter writer(input);
  return writer.Write();
}

}  // namespace brevin::recovery
