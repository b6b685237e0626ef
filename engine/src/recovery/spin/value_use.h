// What the values of a program stand for, as far as the trees tell: which
// parameters take characters (a byte read passed in, a byte written from
// them, a character parameter passed on) and which variables hold truth
// values (assigned a comparison). The printer spells constants by it.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <tuple>
#include <vector>

#include "recovery/spin/syntax.h"

namespace brevin::recovery::spin {

// A variable as a place that keeps a kind of value: a local of one method
// (by frame offset) or a VAR of the object (by offset).
struct Slot {
  bool local = true;
  std::int32_t offset = 0;
  auto operator<=>(const Slot&) const = default;
};

class ValueUse {
 public:
  // trees[object][method - 1]; childObject(object, entry) gives the object
  // a child entry names, or -1.
  ValueUse(const std::vector<std::vector<const StmtList*>>& trees, std::function<int(int object, int entry)> childObject);

  // Whether parameter param (0-based) of a method takes characters.
  bool CharacterParameter(int object, int method, int param) const;
  // The slots of a method that hold characters or truth values.
  std::set<Slot> TextSlots(int object, int method) const;
  std::set<Slot> TruthSlots(int object, int method) const;

  // Whether an expression reads text: a byte, or a slot that holds characters.
  static bool ReadsText(const Expr& e, const std::set<Slot>& textSlots);
  // Whether an expression gives a truth value: a comparison, NOT, AND, OR, or a truth slot.
  static bool GivesTruth(const Expr& e, const std::set<Slot>& truthSlots);

 private:
  void Pass(int object, int method, const StmtList& body);
  bool Mark(int object, int method, int param);

  const std::vector<std::vector<const StmtList*>>& trees_;
  std::function<int(int, int)> childObject_;
  std::set<std::tuple<int, int, int>> characterParameters_;  // (object, method, param)
  std::set<std::tuple<int, int, Slot>> textSlots_;           // (object, method, slot)
  std::set<std::pair<int, std::int32_t>> truthVars_;         // (object, VAR offset)
  std::set<std::tuple<int, int, std::int32_t>> truthLocals_; // (object, method, frame offset)
  bool changed_ = false;
};

// Calls f on every expression of a list of statements, outermost first.
void ForEachExpr(const StmtList& body, const std::function<void(const Expr&)>& f);

}  // namespace brevin::recovery::spin
