// Spin decoding to values: the template walk that reads each operand's bytes.
#include "decode/spin_decoding.h"

#include "brevin/hub_memory.h"
#include "isa/tables.h"

namespace brevin {

namespace {

// A cursor over a byte source with the listing's rules: a read past the limit
// yields 0 and leaves the cursor past the end.
class Cursor {
 public:
  Cursor(const ByteSource& source, std::int64_t at) : source_(source), at_(at) {}

  std::uint32_t Byte() {
    const std::int64_t at = at_++;
    if (at < 0 || at > kLastAddress || at > source_.limit) return 0;
    const auto index = static_cast<std::size_t>(at);
    return source_.bytes != nullptr ? source_.bytes[index] : source_.cells[index] & 0xFFu;
  }
  std::uint32_t Word() {
    const std::uint32_t low = Byte();
    return low | Byte() << 8;
  }
  std::uint32_t Long() {
    const std::uint32_t low = Word();
    return low | Word() << 16;
  }
  // One or two bytes: a 15-bit offset when the first has its top bit set, else 7 bits.
  std::int32_t JumpOffset() {
    const std::uint32_t b1 = Byte();
    if (b1 & 0x80) {
      std::int32_t offset = static_cast<std::int32_t>(((b1 & 0x7F) << 8) | Byte());
      if (offset & 0x4000) offset -= 0x8000;
      return offset;
    }
    std::int32_t offset = static_cast<std::int32_t>(b1);
    if (offset & 0x40) offset -= 128;
    return offset;
  }
  bool PastEnd() const { return at_ > source_.limit + 1; }
  std::int64_t at() const { return at_; }

 private:
  const ByteSource& source_;
  std::int64_t at_;
};

// A packed constant byte: 2 shifted left, optionally less 1, optionally inverted.
std::uint32_t UnpackConstant(std::uint32_t p) {
  std::uint32_t value = 2u << (p & 31);  // shifting out of 32 bits wraps to 0
  if ((p & 0x80) == 0) {
    if (p & 0x20) value -= 1;
    if (p & 0x40) value = ~value;
  }
  return value;
}

// An operand of that kind and value, its other fields cleared.
SpinOperand Op(SpinOperandKind kind, std::int64_t value) { return SpinOperand{kind, value, 0, 0, 0, false, false}; }

// Appends an operand read up to the cursor; false (and the instruction marked
// truncated) when the read went past the end, which ends the walk.
bool Add(SpinInstruction& ins, const Cursor& cursor, SpinOperand operand) {
  if (cursor.PastEnd()) {
    ins.truncated = true;
    return false;
  }
  operand.end = cursor.at();
  if (ins.operandCount < ins.operands.size()) ins.operands[ins.operandCount++] = operand;
  return true;
}

// One operand read of a template: its letter, and for "k" the constant's form
// and byte count digit. The reads of a template, in order, are its plan.
struct Read {
  char letter = 0;
  char form = 0;
  char sizeDigit = 0;
};

struct Plan {
  std::array<Read, 6> reads{};
  std::size_t count = 0;
  bool transfers = false;  // "a", "c", "p" or "*" in the template
};

// What a template reads, in order: the letters that read bytes (or take the
// opcode's offset); literal text and the letters without operands drop out.
Plan PlanOf(std::string_view format) {
  Plan plan;
  auto add = [&](Read read) {
    if (plan.count < plan.reads.size()) plan.reads[plan.count++] = read;
  };
  for (std::size_t i = 0; i < format.size(); ++i) {
    switch (format[i]) {
      case 'a':
      case 'c':
        plan.transfers = true;
        add({format[i]});
        break;
      case 'p':
        plan.transfers = true;
        add({'p'});
        if (i + 1 < format.size() && format[i + 1] == '[') i += 2;
        break;
      case 'd':
      case 'r':
      case 'v':
      case 'x':
      case 'y': add({format[i]}); break;
      case 'f':
        if (i + 1 < format.size()) ++i;
        break;
      case 'k': {
        Read read{'k', i + 1 < format.size() ? format[++i] : '\0'};
        switch (read.form) {
          case '1': case '2': case '3': case '4': case 'c': case 's': case 'p': break;
          case '<': read.sizeDigit = i + 1 < format.size() ? format[++i] : '\0'; break;
          default: continue;  // no constant follows the letter
        }
        add(read);
        break;
      }
      case '#':
        if (i + 1 < format.size() && format[i + 1] == '#') ++i;
        break;
      case '*': plan.transfers = true; break;
      default: break;
    }
  }
  return plan;
}

// Reads the operands of a plan; stops at the first read past the end.
void Run(Cursor& cursor, const Plan& plan, std::uint32_t opcode, SpinInstruction& ins) {
  ins.transfers = plan.transfers;
  for (std::size_t r = 0; r < plan.count; ++r) {
    const Read& read = plan.reads[r];
    switch (read.letter) {
      case 'a': {
        const std::int32_t offset = cursor.JumpOffset();
        if (!Add(ins, cursor, Op(SpinOperandKind::JumpOffset, offset))) return;
        break;
      }
      case 'c': {
        const std::uint32_t n = cursor.Byte();
        if (!Add(ins, cursor, Op(SpinOperandKind::MethodIndex, n))) return;
        break;
      }
      case 'd': {
        SpinOperand operand = Op(SpinOperandKind::Variable, opcode & 0x1C);
        operand.fromOpcode = true;
        if (!Add(ins, cursor, operand)) return;
        break;
      }
      case 'k': {
        SpinOperand operand = Op(SpinOperandKind::Constant, 0);
        operand.form = read.form;
        operand.sizeDigit = read.sizeDigit;
        std::uint32_t value = 0;
        switch (read.form) {
          case '1':
          case 'c': value = cursor.Byte(); break;
          case '2': value = cursor.Word(); break;
          case '3': value = cursor.Word(); value |= cursor.Byte() << 16; break;
          case '4':
          case 's': value = cursor.Long(); break;
          case '<': {
            const int count = read.sizeDigit >= '2' && read.sizeDigit <= '4' ? read.sizeDigit - '0' : 1;
            for (int n = 0; n < count; ++n) value = value << 8 | cursor.Byte();  // most significant first
            break;
          }
          default: {  // 'p'
            const std::uint32_t packed = cursor.Byte();
            value = UnpackConstant(packed);
            operand.wrong = (packed & 0x80) != 0;
            break;
          }
        }
        operand.value = value;
        if (!Add(ins, cursor, operand)) return;
        break;
      }
      case 'p': {
        const std::uint32_t object = cursor.Byte();
        if (!Add(ins, cursor, Op(SpinOperandKind::ObjectIndex, object))) return;
        const std::uint32_t method = cursor.Byte();
        if (!Add(ins, cursor, Op(SpinOperandKind::ObjectMethod, method))) return;
        break;
      }
      case 'r': {
        const std::uint32_t reg = cursor.Byte();
        if (!Add(ins, cursor, Op(SpinOperandKind::Register, reg))) return;
        ins.mnemonic = RegisterMnemonic(reg);
        ins.variable.access = RegisterAccess(reg);
        ins.variable.offset = static_cast<std::int32_t>(reg & 0x1F);
        break;
      }
      case 'v': {
        const std::uint32_t b1 = cursor.Byte();
        std::int64_t offset = b1;
        if (b1 & 0x80) offset = static_cast<std::int64_t>((b1 & 0x7F) << 8 | cursor.Byte());
        if (!Add(ins, cursor, Op(SpinOperandKind::Variable, offset))) return;
        ins.variable.offset = static_cast<std::int32_t>(offset);
        break;
      }
      case 'x': {
        const std::uint32_t value = cursor.Long();
        if (!Add(ins, cursor, Op(SpinOperandKind::HubLong, value))) return;
        break;
      }
      default: {  // 'y'
        const std::uint32_t mode = cursor.Byte();
        if (!Add(ins, cursor, Op(SpinOperandKind::ClockMode, mode))) return;
        break;
      }
    }
  }
}

// The flow of an instruction whose template transfers control, by its mnemonic.
SpinFlow FlowOf(std::string_view op) {
  if (op == "CALL") return SpinFlow::Call;
  if (op == "CALLOBJ") return SpinFlow::CallObject;
  if (op == "GOTO") return SpinFlow::Jump;
  if (op == "JPT") return SpinFlow::JumpIfTrue;
  if (op == "JPF" || op == "LOOPJPF") return SpinFlow::JumpIfFalse;
  if (op == "LOOPRPT") return SpinFlow::Repeat;
  if (op == "CASE" || op == "CASER") return SpinFlow::Case;
  if (op == "GOTO[]") return SpinFlow::JumpTable;
  if (op == "COGISUB" || op == "COGIFUN") return SpinFlow::CogStart;
  if (op == "RETURN" || op == "RETVAL" || op == "ABORT" || op == "ABOVAL") return SpinFlow::Return;
  return SpinFlow::Other;
}

// What each opcode's template reads and how the opcode passes control on,
// worked out once from the opcode table.
struct OpcodePlans {
  const SpinTables* tables = nullptr;  // the opcode table the plans were made from
  std::array<Plan, 256> plans{};
  std::array<SpinFlow, 256> flows{};
  // The family, operator and variable of each opcode; a variable's offset
  // and a register's access are still to be read.
  struct Value {
    SpinOp op = SpinOp::Undefined;
    SpinMath math = SpinMath::RotateRight;
    SpinVariable variable;
  };
  std::array<Value, 256> values{};
  std::array<bool, 128> effectJumps{};  // the repeat effects (RPTINCJ, RPTADDJ) that carry a jump
};

OpcodePlans MakePlans() {
  OpcodePlans t;
  const SpinTables& tables = SharedTables().Spin;
  t.tables = &tables;
  for (std::size_t op = 0; op < 256; ++op) {
    t.plans[op] = PlanOf(tables.SpinOpcodeTable[op].OperandFormat);
    t.flows[op] = t.plans[op].transfers ? FlowOf(tables.SpinOpcodeTable[op].Mnemonic) : SpinFlow::Next;
    OpcodePlans::Value& value = t.values[op];
    value.op = SpinOpOf(static_cast<std::uint32_t>(op));
    if (value.op == SpinOp::Operator) value.math = static_cast<SpinMath>(op & 0x1F);
    value.variable = SpinVariableOf(static_cast<std::uint32_t>(op));
  }
  for (std::size_t effect = 0; effect < t.effectJumps.size(); ++effect) {
    const std::string_view name = tables.SpinEffectNames[effect];
    t.effectJumps[effect] = name == "RPTINCJ" || name == "RPTADDJ";
  }
  return t;
}

// Made once as the library loads (before any caller can decode), so that
// decoding reads the plans without a first-use check.
const OpcodePlans kPlans = MakePlans();

const OpcodePlans& PlansOfOpcodes() { return kPlans; }

}  // namespace

const SpinOperand* SpinInstruction::Find(SpinOperandKind kind) const {
  for (std::size_t i = 0; i < operandCount; ++i) {
    if (operands[i].kind == kind) return &operands[i];
  }
  return nullptr;
}

void DecodeTemplate(const ByteSource& source, std::string_view format, std::int64_t address, std::uint32_t opcode,
                    SpinInstruction& into) {
  Cursor cursor(source, address);
  Run(cursor, PlanOf(format), opcode, into);
  into.end = cursor.at();
}

SpinInstruction DecodeSpin(const ByteSource& source, std::int64_t address) {
  SpinInstruction ins;
  ins.address = address;
  Cursor cursor(source, address);
  ins.opcode = cursor.Byte();
  const OpcodePlans& plans = PlansOfOpcodes();
  const SpinTables& tables = *plans.tables;
  const SpinOpcodeEntry& entry = tables.SpinOpcodeTable[ins.opcode];
  ins.mnemonic = entry.Mnemonic;
  ins.format = entry.OperandFormat;
  const OpcodePlans::Value& value = plans.values[ins.opcode];
  ins.op = value.op;
  ins.math = value.math;
  ins.variable = value.variable;
  ins.truncated = cursor.PastEnd();
  if (!ins.truncated) Run(cursor, plans.plans[ins.opcode], ins.opcode, ins);
  // The USING opcodes assign, and so does a register byte that chose USING.
  if (ins.variable.access == SpinAccess::Using && !cursor.PastEnd()) {
    const std::uint32_t effect = cursor.Byte();
    if (Add(ins, cursor, Op(SpinOperandKind::Effect, effect))) {
      // The repeat effects carry the jump back to the loop's start.
      if (plans.effectJumps[effect & 0x7F]) {
        const std::int32_t offset = cursor.JumpOffset();
        Add(ins, cursor, Op(SpinOperandKind::EffectJump, offset));
      }
    }
  }
  ins.end = cursor.at();
  if (ins.transfers) ins.flow = plans.flows[ins.opcode];
  return ins;
}

SpinInstruction DecodeSpin(std::span<const std::uint8_t> bytes, std::int64_t address) {
  const ByteSource source{bytes.data(), nullptr, static_cast<std::int64_t>(bytes.size()) - 1};
  return DecodeSpin(source, address);
}

}  // namespace brevin
