// libFuzzer target: arbitrary bytes straight into the Spin and assembler
// instruction decoders, at every offset (Spin) and every long (assembler),
// checking what every decoded value must satisfy.
#include <cstdio>
#include <cstdlib>
#include <span>

#include "brevin/asm_instruction.h"
#include "brevin/spin_instruction.h"

namespace {

[[noreturn]] void Fail(const char* what, std::size_t at) {
  std::fprintf(stderr, "decoder_fuzzer: %s at offset %zu\n", what, at);
  std::abort();
}

void CheckSpin(std::span<const std::uint8_t> bytes, std::size_t at) {
  const brevin::SpinInstruction ins = brevin::DecodeSpin(bytes, static_cast<std::int64_t>(at));
  const auto size = static_cast<std::int64_t>(bytes.size());
  if (ins.address != static_cast<std::int64_t>(at)) Fail("Spin value at the wrong address", at);
  if (ins.end <= ins.address) Fail("Spin instruction without bytes", at);
  // A read past the end stops decoding; a long read may overshoot by three.
  if (ins.truncated ? ins.end > size + 4 : ins.end > size) Fail("Spin instruction reads past its bytes", at);
  if (ins.operandCount > ins.operands.size()) Fail("Spin operand count out of range", at);
  std::int64_t previous = ins.address + 1;
  for (std::size_t i = 0; i < ins.operandCount; ++i) {
    const brevin::SpinOperand& operand = ins.operands[i];
    if (operand.end < previous || operand.end > ins.end) Fail("Spin operand ends out of order", at);
    previous = operand.end;
  }
  if (!ins.transfers && ins.flow != brevin::SpinFlow::Next) Fail("Spin flow without a transfer", at);
  if (ins.mnemonic.empty()) Fail("Spin instruction without a mnemonic", at);
  // A variable only where the family accesses one, its offset as one or two bytes encode it.
  const brevin::SpinVariable& v = ins.variable;
  const bool accesses = ins.op == brevin::SpinOp::VariableFast || ins.op == brevin::SpinOp::Variable ||
                        ins.op == brevin::SpinOp::SpecialRegister || ins.op == brevin::SpinOp::Register ||
                        ins.op == brevin::SpinOp::RegisterBit || ins.op == brevin::SpinOp::RegisterBits;
  if ((v.base != brevin::SpinBase::None) != accesses) Fail("Spin variable without its family", at);
  if (v.offset < 0 || v.offset > 0x7FFF) Fail("Spin variable offset out of range", at);
  if (v.base == brevin::SpinBase::Register && v.offset > 31) Fail("Spin register out of range", at);
}

void CheckAsm(std::uint32_t word, bool knownPair, std::size_t at) {
  const brevin::AsmInstruction ins = brevin::DecodeAsm(word, knownPair);
  if (ins.word != word || ins.d > 0x1FF || ins.s > 0x1FF || ins.condition > 15) Fail("assembler fields", at);
  if (ins.operandCount > ins.operands.size()) Fail("assembler operand count out of range", at);
  bool target = false;
  for (std::size_t i = 0; i < ins.operandCount; ++i) {
    const brevin::AsmOperandKind kind = ins.operands[i].kind;
    target = target || kind == brevin::AsmOperandKind::JumpTarget || kind == brevin::AsmOperandKind::ReturnTarget ||
             kind == brevin::AsmOperandKind::Indirect;
  }
  if ((ins.flow != brevin::AsmFlow::Next) != target) Fail("assembler flow without a target", at);
  const std::int32_t flowTarget = ins.FlowTarget();
  if (flowTarget < -1 || flowTarget > 0x1FF) Fail("assembler flow target out of range", at);
  if (ins.nop != (word == 0)) Fail("assembler NOP", at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Every offset is decoded, one decode per byte: the first 512 bytes hold
  // every case, and a short input keeps the runs many.
  constexpr std::size_t kLimit = 512;
  if (size > kLimit) size = kLimit;
  const std::span<const std::uint8_t> bytes(data, size);
  for (std::size_t at = 0; at < size; ++at) CheckSpin(bytes, at);
  for (std::size_t at = 0; at + 4 <= size; at += 4) {
    const std::uint32_t word = static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8 |
                               static_cast<std::uint32_t>(data[at + 2]) << 16 |
                               static_cast<std::uint32_t>(data[at + 3]) << 24;
    CheckAsm(word, false, at);
    CheckAsm(word, true, at);
  }
  return 0;
}
