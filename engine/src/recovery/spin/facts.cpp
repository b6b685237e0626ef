// The facts walk over a method's tree.
#include "recovery/spin/facts.h"

#include <algorithm>

namespace brevin::recovery {
namespace {

using spin::Expr;
using spin::ExprKind;
using spin::ExprRef;
using spin::Place;
using spin::Stmt;
using spin::StmtList;
using spin::Variable;

class FactsWalk {
 public:
  explicit FactsWalk(BodyFacts& facts) : facts_(facts) {}

  void Statements(const StmtList& list) {
    for (const Stmt& s : list) Statement(s);
  }

 private:
  BodyFacts& facts_;

  static void Record(std::map<std::int32_t, int>& sizes, std::int32_t offset, int size) {
    int& s = sizes[offset];
    s = std::max(s, size);
  }

  void Statement(const Stmt& s) {
    Visit(s.expr);
    Statements(s.body);
    Statements(s.elseBody);
    for (const spin::CaseBranch& b : s.branches) {
      for (const ExprRef& v : b.values) Visit(v);
      Statements(b.body);
    }
    if (s.kind == spin::StmtKind::RepeatFrom) {
      VariableUse(s.var);
      for (const ExprRef* e : {&s.from, &s.to, &s.step}) Visit(*e);
    }
  }

  void VariableUse(const Variable& v) {
    Visit(v.base);
    Visit(v.index);
    Visit(v.bitHigh);
    Visit(v.bitLow);
    switch (v.place) {
      case Place::Local:
        facts_.maxLocal = std::max(facts_.maxLocal, v.offset);
        facts_.localOffsets.insert(v.offset);
        if (v.index) facts_.indexedLocals.insert(v.offset);
        break;
      case Place::Var: Record(facts_.varSizes, v.offset, v.size); break;
      case Place::Dat: Record(facts_.datSizes, v.offset, v.size); break;
      default: break;
    }
  }

  void Visit(const ExprRef& e) {
    if (!e) return;
    for (const ExprRef& part : e->operands) Visit(part);
    switch (e->kind) {
      case ExprKind::Read:
      case ExprKind::AddressOf:
      case ExprKind::Effect:
        VariableUse(e->variable);
        break;
      case ExprKind::Call:
        Visit(e->callee.index);
        if (!e->callee.child) {
          facts_.callArguments[e->callee.method] = static_cast<int>(e->operands.size());
        } else {
          facts_.childCallArguments[{e->callee.entry, e->callee.method}] = static_cast<int>(e->operands.size());
          (e->callee.index ? facts_.indexedChildEntries : facts_.singleChildEntries).push_back(e->callee.entry);
        }
        break;
      case ExprKind::CogRun:
        facts_.callArguments[e->callee.method] = static_cast<int>(e->operands.size()) - 1;
        break;
      case ExprKind::Builtin:
        AssemblyStart(*e);
        break;
      default:
        break;
    }
  }

  // cognew(@label, par) and coginit(id, @label, par) start assembly at a DAT label.
  void AssemblyStart(const Expr& e) {
    if ((e.name != "cognew" && e.name != "coginit") || e.operands.size() < 2) return;
    if (e.operands.back()->kind == ExprKind::CogRun) return;
    const Expr& code = *e.operands[e.operands.size() - 2];
    if (code.kind == ExprKind::AddressOf && code.variable.place == Place::Dat && !code.variable.index)
      facts_.asmStarts.push_back(code.variable.offset);
  }
};

}  // namespace

BodyFacts GatherFacts(const spin::StmtList& body) {
  BodyFacts facts;
  FactsWalk(facts).Statements(body);
  return facts;
}

void MergeFacts(BodyFacts& all, const BodyFacts& f) {
  for (auto [k, v] : f.varSizes) all.varSizes[k] = std::max(all.varSizes[k], v);
  for (auto [k, v] : f.datSizes) all.datSizes[k] = std::max(all.datSizes[k], v);
  for (auto [k, v] : f.callArguments) all.callArguments[k] = v;
  for (auto [k, v] : f.childCallArguments) all.childCallArguments[k] = v;
  all.indexedChildEntries.insert(all.indexedChildEntries.end(), f.indexedChildEntries.begin(), f.indexedChildEntries.end());
  all.singleChildEntries.insert(all.singleChildEntries.end(), f.singleChildEntries.begin(), f.singleChildEntries.end());
  all.asmStarts.insert(all.asmStarts.end(), f.asmStarts.begin(), f.asmStarts.end());
  all.maxLocal = std::max(all.maxLocal, f.maxLocal);
  all.localOffsets.insert(f.localOffsets.begin(), f.localOffsets.end());
  all.indexedLocals.insert(f.indexedLocals.begin(), f.indexedLocals.end());
}

}  // namespace brevin::recovery
