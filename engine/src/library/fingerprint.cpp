// Placement-free prints of compiled Spin objects and their methods.
#include "library/fingerprint.h"

#include <algorithm>
#include <charconv>

#include "brevin/spin_instruction.h"

namespace brevin::library {

Print HashBytes(std::span<const std::uint8_t> bytes, Print seed) {
  Print h = seed;
  for (const std::uint8_t b : bytes) {
    h ^= b;
    h *= 0x100000001b3ull;
  }
  return h;
}

namespace {

// A method's bytes with every call's operands cleared, and the calls it makes.
MethodPrint PrintMethod(std::span<const std::uint8_t> object, const recovery::MethodRange& range, int methods) {
  MethodPrint print;
  const std::int32_t size = static_cast<std::int32_t>(object.size());
  const std::int32_t start = std::clamp(range.start, 0, size);
  const std::int32_t end = std::clamp(range.end, start, size);
  std::vector<std::uint8_t> bytes(object.begin() + start, object.begin() + end);
  print.bytes = static_cast<int>(bytes.size());
  // The bytecode runs straight through (its strings follow it): decoded in
  // order, the same bytes give the same instruction bounds in every program.
  const std::span<const std::uint8_t> code(bytes);
  std::int64_t at = 0;
  while (at < static_cast<std::int64_t>(bytes.size())) {
    const SpinInstruction ins = DecodeSpin(code, at);
    if (ins.truncated || ins.end <= at) break;
    if (ins.flow == SpinFlow::Call || ins.flow == SpinFlow::CallObject) {
      CallSite call;
      for (std::size_t k = 0; k < ins.operandCount; ++k) {
        const SpinOperand& op = ins.operands[k];
        if (op.kind == SpinOperandKind::MethodIndex || op.kind == SpinOperandKind::ObjectMethod) {
          call.method = static_cast<int>(op.value);
        } else if (op.kind == SpinOperandKind::ObjectIndex) {
          // The table entry after the methods' and the object's own header long.
          call.object = std::max(1, static_cast<int>(op.value) - methods);
        }
      }
      print.calls.push_back(call);
      for (std::int64_t k = at + 1; k < ins.end; ++k) bytes[static_cast<std::size_t>(k)] = 0;
    }
    at = ins.end;
  }
  print.print = HashBytes(bytes);
  return print;
}

}  // namespace

ObjectPrint FingerprintObject(const recovery::ObjectImage& object) {
  ObjectPrint print;
  std::vector<std::uint8_t> bytes(object.bytes.begin(), object.bytes.end());
  print.bytes = static_cast<int>(bytes.size());
  for (const recovery::ChildEntry& child : object.children) {
    const std::size_t at = 4 * static_cast<std::size_t>(child.tableIndex);
    for (std::size_t k = at; k < at + 4 && k < bytes.size(); ++k) bytes[k] = 0;
  }
  print.print = HashBytes(bytes);
  for (const recovery::MethodRange& method : object.methods) print.methods.push_back(PrintMethod(object.bytes, method, static_cast<int>(object.methods.size())));
  return print;
}

std::vector<ObjectPrint> FingerprintTree(const recovery::ImageTree& tree) {
  std::vector<ObjectPrint> prints;
  prints.reserve(tree.objects.size());
  for (const recovery::ObjectImage& object : tree.objects) prints.push_back(FingerprintObject(object));
  return prints;
}

std::string PrintText(Print print) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, print >>= 4) text[static_cast<std::size_t>(i)] = kDigits[print & 15];
  return text;
}

bool ParsePrint(std::string_view text, Print& print) {
  if (text.size() != 16) return false;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), print, 16);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace brevin::library
