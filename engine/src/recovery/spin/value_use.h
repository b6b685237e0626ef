// What the values of a program stand for, as far as the trees tell: which
// parameters take characters (a byte read passed in, a byte written from
// them, a character parameter passed on) and which variables hold truth
// values (assigned a comparison). The printer spells constants by it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
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

// DAT slots are told apart from VAR ones by this much added to their offset.
constexpr std::int32_t kDatSlot = 0x100000;

// The slot a variable access names, when it names one without an index.
bool SlotOfVariable(const Variable& v, Slot& slot);

class ValueUse {
 public:
  // trees[object][method - 1]; childObject(object, entry) gives the object
  // a child entry names, or -1.
  ValueUse(const std::vector<std::vector<const StmtList*>>& trees, std::function<int(int object, int entry)> childObject);

  // Whether parameter param (0-based) of a method takes characters.
  bool CharacterParameter(int object, int method, int param) const;
  // Whether parameter param (0-based) of a method takes a truth value.
  bool TruthParameter(int object, int method, int param) const { return IsTruth({object, method, 4 * (param + 1)}); }
  // The object a call's method belongs to (-1 when the entry names none).
  int CalleeObject(const Expr& call, int object) const { return Callee(call, object); }
  // The slots of a method that hold characters or truth values.
  std::set<Slot> TextSlots(int object, int method) const;
  std::set<Slot> TruthSlots(int object, int method) const;
  // The slots of a method used as flags though they also hold numbers:
  // read as a condition, given both TRUE and FALSE, never ordered with < or
  // >. The TRUE and FALSE given to them are spelled so; their reads are not
  // truth values.
  std::set<Slot> FlagSlots(int object, int method) const;
  // Whether an object writes TRUE (-1) to a single bit of the register reg
  // (dira, outa ...): a number nobody writes there, so its author wrote
  // TRUE and FALSE for that register's bits.
  bool TruthBits(int object, int reg) const { return truthBits_.count({object, reg}) != 0; }

  // Whether an expression of a method reads text: a byte, a slot that holds
  // characters, or a call of a method that returns them.
  bool ReadsText(const Expr& e, int object, int method) const;
  // Whether an expression of a method gives a truth value: a comparison,
  // NOT, AND, OR, a truth slot, or a call of a method that returns one.
  bool GivesTruth(const Expr& e, int object, int method) const;

 private:
  void Pass(int object, int method, const StmtList& body);
  bool Mark(int object, int method, int param);
  int Callee(const Expr& call, int object) const;
  // Every value a slot of a method (or a VAR of its object) is given.
  void Assignments(int object, int method, const StmtList& body);
  void Learn(int object, int method, const Slot& slot, const Expr& value, int fromObject, int fromMethod);

  const std::vector<std::vector<const StmtList*>>& trees_;
  std::function<int(int, int)> childObject_;
  std::set<std::tuple<int, int, int>> characterParameters_;  // (object, method, param)
  std::set<std::tuple<int, int, Slot>> textSlots_;           // (object, method, slot)
  // What a slot is given and how it is read, by (object, method, offset);
  // method 0 for a VAR. A truth slot is given only TRUE, FALSE and truth
  // values, is never ordered, and is given a truth value, or both TRUE and
  // FALSE, or is read as a condition. TRUE alone is evidence only for a slot
  // read but never computed with: -1 is also the usual "none" of a pin or a
  // handle, which the code decodes or indexes with. A result starts FALSE.
  struct Evidence {
    bool number = false;      // given a value that is no truth value
    bool trueValue = false;   // given TRUE (-1)
    bool falseValue = false;  // given FALSE (0)
    bool truth = false;       // given a truth value
    bool condition = false;   // read as a condition or an operand of NOT, AND, OR
    bool ordered = false;     // read as an operand of <, >, =< or =>: a number
    bool read = false;        // read at all
    bool computed = false;    // read as an operand of arithmetic or as an index
  };
  using Key = std::tuple<int, int, std::int32_t>;
  bool IsTruth(const Key& key) const;
  bool IsFlag(const Key& key) const;
  static bool GivenFalse(const Key& key, const Evidence& e);
  std::set<Key> TruthKeys() const;
  // While the passes run, what the last pass found; after them, the evidence.
  bool KnownTruth(const Key& key) const { return known_ ? known_->count(key) != 0 : IsTruth(key); }
  const std::set<Key>* known_ = nullptr;
  std::set<Slot> SlotsWhere(int object, int method, bool (ValueUse::*test)(const Key&) const) const;
  void Numbers(int object, int method, const StmtList& body);
  void Note(const Key& key, bool Evidence::*what);
  void Conditions(int object, int method, const StmtList& body);
  Key KeyOf(int object, int method, const Slot& slot) const { return {object, slot.local ? method : 0, slot.offset}; }
  std::map<Key, Evidence> evidence_;
  std::set<std::pair<int, int>> truthBits_;  // (object, register)
  bool changed_ = false;  // a pass found a new slot of characters
};

// Calls f on every expression of a list of statements, outermost first.
void ForEachExpr(const StmtList& body, const std::function<void(const Expr&)>& f);

}  // namespace brevin::recovery::spin
