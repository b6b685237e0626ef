// Building and comparing the nodes of the syntax tree.
#include "recovery/spin/syntax.h"

#include <algorithm>

namespace brevin::recovery::spin {
namespace {

bool SameRef(const ExprRef& a, const ExprRef& b) {
  if (!a || !b) return !a && !b;
  return a == b || a->Same(*b);
}

void Measure(const ExprRef& part, int& weight, int& depth) {
  if (!part) return;
  weight += part->weight;
  depth = std::max(depth, part->depth + 1);
}

}  // namespace

bool Variable::Same(const Variable& other) const {
  return place == other.place && offset == other.offset && size == other.size && compact == other.compact &&
         SameRef(base, other.base) && SameRef(index, other.index) && SameRef(bitHigh, other.bitHigh) &&
         SameRef(bitLow, other.bitLow);
}

bool Expr::Same(const Expr& other) const {
  if (kind != other.kind || value != other.value || raw != other.raw || op != other.op || push != other.push ||
      zeroBased != other.zeroBased || down != other.down || name != other.name || bytes != other.bytes ||
      !variable.Same(other.variable) || operands.size() != other.operands.size())
    return false;
  if (callee.child != other.callee.child || callee.method != other.callee.method || callee.entry != other.callee.entry ||
      callee.abortTrap != other.callee.abortTrap || !SameRef(callee.index, other.callee.index))
    return false;
  for (std::size_t i = 0; i < operands.size(); ++i)
    if (!SameRef(operands[i], other.operands[i])) return false;
  return true;
}

ExprRef MakeExpr(Expr node) {
  int weight = 1;
  int depth = 1;
  for (const ExprRef& part : node.operands) Measure(part, weight, depth);
  for (const ExprRef* part : {&node.variable.base, &node.variable.index, &node.variable.bitHigh,
                              &node.variable.bitLow, &node.callee.index})
    Measure(*part, weight, depth);
  node.weight = weight;
  node.depth = depth;
  return std::make_shared<const Expr>(std::move(node));
}

}  // namespace brevin::recovery::spin
