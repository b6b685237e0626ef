// Finds the parameters that take characters and the variables that hold
// truth values, by walking every method's tree until nothing more is learnt.
#include "recovery/spin/value_use.h"

namespace brevin::recovery::spin {
namespace {

bool SlotOf(const Variable& v, Slot& slot) {
  if ((v.place != Place::Local && v.place != Place::Var) || v.size != 4 || v.index) return false;
  slot = {v.place == Place::Local, v.offset};
  return true;
}

bool IsComparison(int op) { return op >= 0x19 && op <= 0x1E; }

void Walk(const Expr& e, const std::function<void(const Expr&)>& f) {
  f(e);
  for (const ExprRef& part : e.operands)
    if (part) Walk(*part, f);
  for (const ExprRef* part : {&e.variable.base, &e.variable.index, &e.variable.bitHigh, &e.variable.bitLow, &e.callee.index})
    if (*part) Walk(**part, f);
}

}  // namespace

void ForEachExpr(const StmtList& body, const std::function<void(const Expr&)>& f) {
  for (const Stmt& s : body) {
    for (const ExprRef* e : {&s.expr, &s.from, &s.to, &s.step})
      if (*e) Walk(**e, f);
    ForEachExpr(s.body, f);
    ForEachExpr(s.elseBody, f);
    for (const CaseBranch& b : s.branches) {
      for (const ExprRef& v : b.values) Walk(*v, f);
      ForEachExpr(b.body, f);
    }
  }
}

bool ValueUse::ReadsText(const Expr& e, const std::set<Slot>& textSlots) {
  if (e.kind != ExprKind::Read) return false;
  const Variable& v = e.variable;
  if (v.place == Place::Register || v.place == Place::Spr) return false;
  if (v.size == 1) return true;
  Slot slot;
  return SlotOf(v, slot) && textSlots.count(slot) != 0;
}

bool ValueUse::GivesTruth(const Expr& e, const std::set<Slot>& truthSlots) {
  if (e.kind == ExprKind::Binary) return IsComparison(e.op) || e.op == 0x10 || e.op == 0x12;
  if (e.kind == ExprKind::Unary) return e.op == 0x1F;
  Slot slot;
  return e.kind == ExprKind::Read && SlotOf(e.variable, slot) && truthSlots.count(slot) != 0;
}

ValueUse::ValueUse(const std::vector<std::vector<const StmtList*>>& trees,
                   std::function<int(int object, int entry)> childObject)
    : trees_(trees), childObject_(std::move(childObject)) {
  // Each pass may learn a parameter that a caller's caller passes on; a
  // chain of forwarding methods is short.
  for (int pass = 0; pass < 8; ++pass) {
    changed_ = false;
    for (std::size_t o = 0; o < trees_.size(); ++o)
      for (std::size_t m = 0; m < trees_[o].size(); ++m)
        if (trees_[o][m]) Pass(static_cast<int>(o), static_cast<int>(m + 1), *trees_[o][m]);
    if (!changed_) break;
  }
}

bool ValueUse::Mark(int object, int method, int param) {
  const bool added = textSlots_.insert({object, method, Slot{true, 4 * (param + 1)}}).second;
  changed_ = changed_ || added;
  return added;
}

void ValueUse::Pass(int object, int method, const StmtList& body) {
  const std::set<Slot> text = TextSlots(object, method);
  const std::set<Slot> truth = TruthSlots(object, method);
  ForEachExpr(body, [&](const Expr& e) {
    if (e.kind == ExprKind::Call || e.kind == ExprKind::CogRun) {
      const int callee = e.kind == ExprKind::Call && e.callee.child ? childObject_(object, e.callee.entry) : object;
      const std::size_t args = e.kind == ExprKind::CogRun ? e.operands.size() - 1 : e.operands.size();
      for (std::size_t j = 0; j < args && callee >= 0; ++j)
        if (ReadsText(*e.operands[j], text)) Mark(callee, e.callee.method, static_cast<int>(j));
      return;
    }
    if (e.kind != ExprKind::Effect || e.op != 0 || e.operands.empty()) return;
    const Expr& value = *e.operands[0];
    Slot target;
    // A byte written from a variable: the variable holds characters.
    Slot source;
    if (e.variable.size == 1 && e.variable.place != Place::Register && value.kind == ExprKind::Read &&
        SlotOf(value.variable, source) && source.local) {
      changed_ = textSlots_.insert({object, method, source}).second || changed_;
    }
    if (!SlotOf(e.variable, target)) return;
    if (target.local && ReadsText(value, text)) changed_ = textSlots_.insert({object, method, target}).second || changed_;
    if (GivesTruth(value, truth)) {
      const bool added = target.local ? truthLocals_.insert({object, method, target.offset}).second
                                      : truthVars_.insert({object, target.offset}).second;
      changed_ = changed_ || added;
    }
  });
}

bool ValueUse::CharacterParameter(int object, int method, int param) const {
  return textSlots_.count({object, method, Slot{true, 4 * (param + 1)}}) != 0;
}

std::set<Slot> ValueUse::TextSlots(int object, int method) const {
  std::set<Slot> slots;
  for (auto it = textSlots_.lower_bound({object, method, Slot{false, INT32_MIN}});
       it != textSlots_.end() && std::get<0>(*it) == object && std::get<1>(*it) == method; ++it)
    slots.insert(std::get<2>(*it));
  return slots;
}

std::set<Slot> ValueUse::TruthSlots(int object, int method) const {
  std::set<Slot> slots;
  for (auto it = truthVars_.lower_bound({object, INT32_MIN}); it != truthVars_.end() && it->first == object; ++it)
    slots.insert(Slot{false, it->second});
  for (auto it = truthLocals_.lower_bound({object, method, INT32_MIN});
       it != truthLocals_.end() && std::get<0>(*it) == object && std::get<1>(*it) == method; ++it)
    slots.insert(Slot{true, std::get<2>(*it)});
  return slots;
}

}  // namespace brevin::recovery::spin
