// Assembler decoding to values: the opcode table's choice text picks the form,
// whose letters become the operands.
#include "brevin/asm_instruction.h"

#include "isa/tables.h"

namespace brevin {

std::int32_t AsmInstruction::FlowTarget() const {
  for (std::size_t i = 0; i < operandCount; ++i) {
    if (operands[i].kind == AsmOperandKind::Indirect) return -1;
  }
  return static_cast<std::int32_t>(s);
}

std::string_view SelectAsmChoice(std::string_view text, std::uint32_t word, bool knownPair, bool& defaultWrite) {
  std::string_view working = text;
  while (working.size() >= 2 && working[0] == '?') {
    const std::string_view marker = working.substr(0, 2);
    const std::size_t second = working.find(marker, 1);
    std::string_view between, after;
    if (second == std::string_view::npos) {
      between = working.substr(2);  // an unpaired marker: everything after it is the clear-bit form
    } else {
      between = working.substr(2, second - 2);
      after = working.substr(second + 2);
    }
    bool test = false;
    const char selector = marker[1];
    if (selector == 'w') {
      test = AsmRBit(word);
      defaultWrite = AsmRBit(word) != defaultWrite;
    } else if (selector == 'i') {
      test = AsmIBit(word);
    } else if (selector == 'p') {
      test = !knownPair;
    } else if (selector >= '0' && selector <= '7') {
      test = static_cast<std::uint32_t>(selector - '0') != (AsmSField(word) & 7);
    }
    working = test ? after : between;
  }
  return working;
}

AsmInstruction DecodeAsm(std::uint32_t word, bool knownPair) {
  AsmInstruction ins;
  ins.word = word;
  ins.opcode = AsmInstructionField(word);
  ins.condition = AsmConditionField(word);
  ins.d = AsmDField(word);
  ins.s = AsmSField(word);
  ins.immediate = AsmIBit(word);
  ins.writesResult = AsmRBit(word);
  ins.setsC = AsmCBit(word);
  ins.setsZ = AsmZBit(word);
  if (word == 0) {
    ins.nop = true;
    ins.mnemonic = "NOP";
    return ins;
  }
  const AsmTables& tables = SharedTables().Asm;
  bool defaultWrite = tables.AsmWritesResult[ins.opcode];
  const std::string_view form = SelectAsmChoice(tables.AsmOpcodeTable[ins.opcode], word, knownPair, defaultWrite);
  ins.writesByDefault = defaultWrite;
  const std::size_t blank = form.find(' ');
  ins.mnemonic = form.substr(0, blank);
  if (ins.mnemonic.size() >= 6 && (ins.mnemonic.starts_with("RD") || ins.mnemonic.starts_with("WR"))) {
    const std::string_view size = ins.mnemonic.substr(2, 4);
    ins.memorySize = size == "BYTE" ? 1 : size == "WORD" ? 2 : size == "LONG" ? 4 : 0;
  }
  if (blank == std::string_view::npos) return ins;

  bool transfers = false;
  for (const char letter : form.substr(blank + 1)) {
    AsmOperand operand;
    switch (letter) {
      case 'd': operand = {AsmOperandKind::Register, ins.d}; break;
      case 's': operand = {ins.immediate ? AsmOperandKind::Immediate : AsmOperandKind::Register, ins.s}; break;
      case 'c': operand = {AsmOperandKind::ReturnRegister, ins.d}; break;
      case 'e': operand = {AsmOperandKind::HiddenReturn, ins.d}; break;
      case 'j': operand = {AsmOperandKind::JumpTarget, ins.s}; transfers = true; break;
      case 'r': operand = {AsmOperandKind::ReturnTarget, ins.s}; transfers = true; break;
      case 'm': operand = {AsmOperandKind::HubAddress, ins.s}; break;
      case '*': operand = {AsmOperandKind::Indirect, ins.s}; transfers = true; break;
      default: operand = {AsmOperandKind::Text, static_cast<unsigned char>(letter)}; break;
    }
    if (ins.operandCount < ins.operands.size()) ins.operands[ins.operandCount++] = operand;
  }
  if (transfers) {
    ins.flow = ins.mnemonic == "JMP"                              ? AsmFlow::Jump
               : ins.mnemonic == "JMPRET" || ins.mnemonic == "CALL" ? AsmFlow::Call
                                                                    : AsmFlow::Branch;
  }
  return ins;
}

}  // namespace brevin
