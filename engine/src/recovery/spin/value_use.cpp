// Finds the parameters that take characters and the variables that hold
// truth values, by walking every method's tree until nothing more is learnt.
#include "recovery/spin/value_use.h"

#include <map>

namespace brevin::recovery::spin {
namespace {

bool SlotOf(const Variable& v, Slot& slot) { return SlotOfVariable(v, slot); }

bool IsComparison(int op) { return op >= 0x19 && op <= 0x1E; }

void Walk(const Expr& e, const std::function<void(const Expr&)>& f) {
  f(e);
  for (const ExprRef& part : e.operands)
    if (part) Walk(*part, f);
  for (const ExprRef* part : {&e.variable.base, &e.variable.index, &e.variable.bitHigh, &e.variable.bitLow, &e.callee.index})
    if (*part) Walk(**part, f);
}

// Calls f on every return value of a list of statements.
void ForEachReturn(const StmtList& body, const std::function<void(const Expr&)>& f) {
  for (const Stmt& s : body) {
    if (s.kind == StmtKind::Return && s.expr) f(*s.expr);
    ForEachReturn(s.body, f);
    ForEachReturn(s.elseBody, f);
    for (const CaseBranch& b : s.branches) ForEachReturn(b.body, f);
  }
}

// A letter as a constant: compared with one, a variable holds characters.
bool IsLetter(const Expr& e) {
  return e.kind == ExprKind::Constant && ((e.value >= 'A' && e.value <= 'Z') || (e.value >= 'a' && e.value <= 'z'));
}

// Calls f on the subject and values of every case.
void ForEachCase(const StmtList& body, const std::function<void(const Stmt&)>& f) {
  for (const Stmt& s : body) {
    if (s.kind == StmtKind::Case) f(s);
    ForEachCase(s.body, f);
    ForEachCase(s.elseBody, f);
    for (const CaseBranch& b : s.branches) ForEachCase(b.body, f);
  }
}

bool IsTruthConstant(const Expr& e) { return e.kind == ExprKind::Constant && (e.value == -1 || e.value == 0); }

}  // namespace

// A local is a long of the frame; a VAR or DAT variable of any size, DAT
// offsets kept apart from VAR ones. An array is one slot for all its elements.
bool SlotOfVariable(const Variable& v, Slot& slot) {
  if (v.place == Place::Local && v.size == 4) {
    slot = {true, v.offset};
    return true;
  }
  if (v.place != Place::Var && v.place != Place::Dat) return false;
  slot = {false, v.offset + (v.place == Place::Dat ? kDatSlot : 0)};
  return true;
}

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

int ValueUse::Callee(const Expr& call, int object) const {
  return call.kind == ExprKind::Call && call.callee.child ? childObject_(object, call.callee.entry) : object;
}

bool ValueUse::ReadsText(const Expr& e, int object, int method) const {
  if (e.kind == ExprKind::Call) {
    const int callee = Callee(e, object);
    return callee >= 0 && textSlots_.count({callee, e.callee.method, Slot{true, 0}}) != 0;
  }
  // A character plus or minus a number is a character.
  if (e.kind == ExprKind::Binary && (e.op == 0x0C || e.op == 0x0D))
    return ReadsText(*e.operands[0], object, method) || (e.op == 0x0C && ReadsText(*e.operands[1], object, method));
  if (e.kind != ExprKind::Read) return false;
  const Variable& v = e.variable;
  if (v.place == Place::Register || v.place == Place::Spr) return false;
  if (v.size == 1) return true;
  Slot slot;
  return SlotOf(v, slot) && slot.local && textSlots_.count({object, method, slot}) != 0;
}

bool ValueUse::GivesTruth(const Expr& e, int object, int method) const {
  if (e.kind == ExprKind::Binary) return IsComparison(e.op) || e.op == 0x10 || e.op == 0x12;
  if (e.kind == ExprKind::Unary) return e.op == 0x1F;
  // strcomp gives whether two strings match; lockset and lockclr the lock's
  // state before.
  if (e.kind == ExprKind::Builtin) return e.name == "strcomp" || e.name == "lockset" || e.name == "lockclr";
  if (e.kind == ExprKind::Call) {
    const int callee = Callee(e, object);
    return callee >= 0 && KnownTruth({callee, e.callee.method, 0});
  }
  Slot slot;
  if (e.kind != ExprKind::Read || !SlotOf(e.variable, slot)) return false;
  return KnownTruth(KeyOf(object, method, slot));
}

// A method's result (offset 0 of its frame) starts FALSE.
bool ValueUse::GivenFalse(const Key& key, const Evidence& e) {
  return e.falseValue || (std::get<1>(key) != 0 && std::get<2>(key) == 0);
}

bool ValueUse::IsTruth(const Key& key) const {
  auto it = evidence_.find(key);
  if (it == evidence_.end()) return false;
  const Evidence& e = it->second;
  const bool isFalse = GivenFalse(key, e);
  return !e.number && !e.ordered &&
         (e.truth || e.condition || (e.trueValue && (isFalse || (e.read && !e.computed))));
}

bool ValueUse::IsFlag(const Key& key) const {
  auto it = evidence_.find(key);
  if (it == evidence_.end()) return false;
  const Evidence& e = it->second;
  return !e.ordered && e.condition && e.trueValue && GivenFalse(key, e);
}

void ValueUse::Note(const Key& key, bool Evidence::*what) { evidence_[key].*what = true; }

// Slots and calls read as conditions: if, while, until, NOT, AND, OR.
void ValueUse::Conditions(int object, int method, const StmtList& body) {
  const auto read = [&](const Expr& e) {
    Slot slot;
    if (e.kind == ExprKind::Read && SlotOf(e.variable, slot)) Note(KeyOf(object, method, slot), &Evidence::condition);
    if (e.kind == ExprKind::Call) {
      const int callee = Callee(e, object);
      if (callee >= 0) Note({callee, e.callee.method, 0}, &Evidence::condition);
    }
  };
  for (const Stmt& s : body) {
    if (s.expr && (s.kind == StmtKind::If || s.kind == StmtKind::RepeatPre || s.kind == StmtKind::RepeatPost)) read(*s.expr);
    Conditions(object, method, s.body);
    Conditions(object, method, s.elseBody);
    for (const CaseBranch& b : s.branches) Conditions(object, method, b.body);
  }
  ForEachExpr(body, [&](const Expr& e) {
    if ((e.kind == ExprKind::Unary && e.op == 0x1F) || (e.kind == ExprKind::Binary && (e.op == 0x10 || e.op == 0x12)))
      for (const ExprRef& part : e.operands) read(*part);
  });
}

// Slots and calls ordered with <, >, =< or =>: numbers (a sign test of a
// result is no truth test); slots computed with or indexing; and the
// register bits given TRUE.
void ValueUse::Numbers(int object, int method, const StmtList& body) {
  const auto note = [&](const Expr& e, bool Evidence::*what) {
    Slot slot;
    if (e.kind == ExprKind::Read && SlotOf(e.variable, slot)) Note(KeyOf(object, method, slot), what);
    if (e.kind == ExprKind::Call && what == &Evidence::ordered) {
      const int callee = Callee(e, object);
      if (callee >= 0) Note({callee, e.callee.method, 0}, what);
    }
  };
  ForEachExpr(body, [&](const Expr& e) {
    if (e.kind == ExprKind::Effect && e.op == 0 && e.variable.place == Place::Register && e.variable.bitHigh &&
        !e.variable.bitLow && !e.operands.empty() && e.operands[0]->kind == ExprKind::Constant && e.operands[0]->value == -1)
      truthBits_.insert({object, e.variable.offset});
    note(e, &Evidence::read);
    for (const ExprRef* part : {&e.variable.index, &e.variable.bitHigh, &e.variable.bitLow, &e.variable.base})
      if (*part) note(**part, &Evidence::computed);
    const bool ordering = e.kind == ExprKind::Binary && IsComparison(e.op) && e.op != 0x1B && e.op != 0x1C;
    // AND, OR, NOT, == and <> take truth values; ! is a C reader's NOT.
    const bool arithmetic = (e.kind == ExprKind::Binary && !IsComparison(e.op) && e.op != 0x10 && e.op != 0x12) ||
                            (e.kind == ExprKind::Unary && e.op != 0x1F && e.op != 0x07);
    for (const ExprRef& part : e.operands) {
      if (ordering) note(*part, &Evidence::ordered);
      if (arithmetic) note(*part, &Evidence::computed);
    }
  });
}

ValueUse::ValueUse(const std::vector<std::vector<const StmtList*>>& trees,
                   std::function<int(int object, int entry)> childObject)
    : trees_(trees), childObject_(std::move(childObject)) {
  // Each pass may learn what a caller's caller passes on or a callee
  // returns; such chains are short. What slots are given is learnt again in
  // each pass from what the last one found, so that a value read before
  // its callee was known to give a truth value is no number for good.
  for (int pass = 0; pass < 8; ++pass) {
    changed_ = false;
    const std::set<Key> before = TruthKeys();
    known_ = &before;
    for (auto& [key, e] : evidence_) e.number = e.trueValue = e.falseValue = e.truth = false;
    for (std::size_t o = 0; o < trees_.size(); ++o)
      for (std::size_t m = 0; m < trees_[o].size(); ++m)
        if (trees_[o][m]) {
          Pass(static_cast<int>(o), static_cast<int>(m + 1), *trees_[o][m]);
          Assignments(static_cast<int>(o), static_cast<int>(m + 1), *trees_[o][m]);
          if (pass == 0) {
            Conditions(static_cast<int>(o), static_cast<int>(m + 1), *trees_[o][m]);
            Numbers(static_cast<int>(o), static_cast<int>(m + 1), *trees_[o][m]);
          }
        }
    known_ = nullptr;
    if (!changed_ && TruthKeys() == before) break;
  }
}

std::set<ValueUse::Key> ValueUse::TruthKeys() const {
  std::set<Key> keys;
  for (const auto& [key, e] : evidence_)
    if (IsTruth(key)) keys.insert(key);
  return keys;
}

bool ValueUse::Mark(int object, int method, int param) {
  const bool added = textSlots_.insert({object, method, Slot{true, 4 * (param + 1)}}).second;
  changed_ = changed_ || added;
  return added;
}

// Characters: bytes passed to a parameter, written from a variable, compared
// with a variable, or given to the result.
void ValueUse::Pass(int object, int method, const StmtList& body) {
  const auto text = [&](const Slot& slot) { changed_ = textSlots_.insert({object, method, slot}).second || changed_; };
  ForEachExpr(body, [&](const Expr& e) {
    if (e.kind == ExprKind::Call || e.kind == ExprKind::CogRun) {
      const int callee = Callee(e, object);
      const std::size_t args = e.kind == ExprKind::CogRun ? e.operands.size() - 1 : e.operands.size();
      for (std::size_t j = 0; j < args && callee >= 0; ++j)
        if (ReadsText(*e.operands[j], object, method)) Mark(callee, e.callee.method, static_cast<int>(j));
      return;
    }
    Slot slot;
    if (e.kind == ExprKind::Binary && (e.op == 0x1B || e.op == 0x1C)) {
      for (int side = 0; side < 2; ++side) {
        const Expr& mine = *e.operands[static_cast<std::size_t>(side)];
        const Expr& other = *e.operands[static_cast<std::size_t>(1 - side)];
        if (mine.kind == ExprKind::Read && SlotOf(mine.variable, slot) && slot.local &&
            (ReadsText(other, object, method) || IsLetter(other)))
          text(slot);
      }
      return;
    }
    if (e.kind != ExprKind::Effect || e.op != 0 || e.operands.empty()) return;
    const Expr& value = *e.operands[0];
    // A byte written from a variable: the variable holds characters.
    if (e.variable.size == 1 && e.variable.place != Place::Register && value.kind == ExprKind::Read &&
        SlotOf(value.variable, slot) && slot.local)
      text(slot);
    if (SlotOf(e.variable, slot) && slot.local && ReadsText(value, object, method)) text(slot);
  });
  ForEachReturn(body, [&](const Expr& value) {
    if (ReadsText(value, object, method)) text(Slot{true, 0});
  });
  // A variable a case compares with letters holds characters.
  ForEachCase(body, [&](const Stmt& s) {
    Slot slot;
    if (s.expr->kind != ExprKind::Read || !SlotOf(s.expr->variable, slot) || !slot.local) return;
    for (const CaseBranch& b : s.branches)
      for (const ExprRef& v : b.values)
        if (IsLetter(*v) || (v->kind == ExprKind::Range && IsLetter(*v->operands[0]) && IsLetter(*v->operands[1]))) {
          text(slot);
          return;
        }
  });
}

// Truth values: a slot every value given to which is TRUE, FALSE or a truth
// value, at least one of them not FALSE.
void ValueUse::Assignments(int object, int method, const StmtList& body) {
  ForEachExpr(body, [&](const Expr& e) {
    Slot slot;
    if (e.kind == ExprKind::Call) {
      // An argument is given to the callee's parameter.
      const int callee = Callee(e, object);
      for (std::size_t j = 0; j < e.operands.size() && callee >= 0; ++j)
        Learn(callee, e.callee.method, Slot{true, static_cast<std::int32_t>(4 * (j + 1))}, *e.operands[j], object, method);
      return;
    }
    if (e.kind == ExprKind::Effect && SlotOf(e.variable, slot)) {
      Expr flag;  // x~ and ~x clear a flag, x~~ and ~~x set it
      flag.value = e.op == 0x10 || e.op == 0x18 ? 0 : -1;
      if (e.op == 0 && !e.operands.empty()) {
        Learn(object, method, slot, *e.operands[0], object, method);
      } else if (e.op == 0x10 || e.op == 0x14 || e.op == 0x18 || e.op == 0x1C) {
        Learn(object, method, slot, flag, object, method);
      } else {
        Expr number;
        number.value = 2;
        Learn(object, method, slot, number, object, method);  // counted, stepped or shifted: a number
      }
    }
  });
  ForEachReturn(body, [&](const Expr& value) { Learn(object, method, Slot{true, 0}, value, object, method); });
}

// A value given to a slot: a number, TRUE or FALSE, or a truth value (read
// in the method that gives it).
void ValueUse::Learn(int object, int method, const Slot& slot, const Expr& value, int fromObject, int fromMethod) {
  const Key key = KeyOf(object, method, slot);
  if (IsTruthConstant(value)) {
    Note(key, value.value == -1 ? &Evidence::trueValue : &Evidence::falseValue);
  } else if (GivesTruth(value, fromObject, fromMethod)) {
    Note(key, &Evidence::truth);
  } else {
    Note(key, &Evidence::number);
  }
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

std::set<Slot> ValueUse::TruthSlots(int object, int method) const { return SlotsWhere(object, method, &ValueUse::IsTruth); }

std::set<Slot> ValueUse::FlagSlots(int object, int method) const { return SlotsWhere(object, method, &ValueUse::IsFlag); }

std::set<Slot> ValueUse::SlotsWhere(int object, int method, bool (ValueUse::*test)(const Key&) const) const {
  std::set<Slot> slots;
  for (auto it = evidence_.lower_bound({object, 0, INT32_MIN}); it != evidence_.end() && std::get<0>(it->first) == object; ++it) {
    const int owner = std::get<1>(it->first);
    if ((owner == 0 || owner == method) && (this->*test)(it->first)) slots.insert(Slot{owner != 0, std::get<2>(it->first)});
  }
  return slots;
}

}  // namespace brevin::recovery::spin
