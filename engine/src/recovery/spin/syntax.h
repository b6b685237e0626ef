// The syntax tree of a recovered Spin method: expressions and statements as
// the stack machine rebuilds them from the bytecode. Every node keeps the
// object offset of its first byte. Nothing here is text: the printer decides
// names, brackets and how each constant is spelled.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brevin::recovery::spin {

struct Expr;
// Expressions are immutable once built and shared: a reading tried again
// copies the operand stack, not the trees on it.
using ExprRef = std::shared_ptr<const Expr>;

// Binding levels of the compiler's expression grammar: 0 a term or a unary
// operator, 1..7 and 9..10 the binary levels, 8 NOT, 12 an assignment.
constexpr int kTerm = 0;
constexpr int kNot = 8;
constexpr int kAssign = 12;

// Where a variable lives.
enum class Place : std::uint8_t {
  Local,     // result, parameters and locals: offset in the frame
  Var,       // the object's VAR: offset
  Dat,       // the object's DAT: offset in the object
  Memory,    // byte[base], word[base], long[base]
  Register,  // a cog register ($1F0 + offset): par, cnt, ina ... vscl
  Spr,       // spr[index]
};

// A variable as an access names it.
struct Variable {
  Place place = Place::Local;
  std::int32_t offset = 0;  // Local, Var, Dat: the offset; Register: the register number ($10..$1F)
  int size = 4;             // bytes the access reads or writes
  bool compact = false;     // the one-byte long form of a local or VAR ($40..$7F)
  ExprRef base;             // Memory: the address; Spr: the register index
  ExprRef index;            // [index] after the name, when indexed
  ExprRef bitHigh;          // Register: [bit] or [high..low]
  ExprRef bitLow;

  bool Same(const Variable& other) const;
};

enum class ExprKind : std::uint8_t {
  Constant,     // value; raw when written in the long form the compiler gives addresses
  Special,      // name: clkmode, clkfreq, chipver, cogid
  Read,         // the value of a variable
  AddressOf,    // @variable
  AbsoluteOf,   // @@operand
  Unary,        // op (math operator) operand
  Binary,       // left op right
  Effect,       // an assignment used as a value or a statement: effect byte on a variable
  Call,         // method of this object or of a child, with arguments
  Builtin,      // name(arguments) of the interpreter's own
  String,       // string("..."): its bytes
  Lookup,       // lookup/lookupz/lookdown/lookdownz(primary: values)
  Range,        // low..high, inside a case or a lookup
  CogRun,       // method(arguments), stack: what cognew and coginit start
};

// Which method a call names.
struct Callee {
  bool child = false;   // a method of a child object
  int method = 0;       // entry number in the object's (or the child's) table
  int entry = 0;        // the child's entry number in this object's table
  ExprRef index;        // obj[index].method
  int abortTrap = 0;    // 0 none, 1 "\" (the anchor's trap bit)
};

struct Expr {
  ExprKind kind = ExprKind::Constant;
  std::int32_t offset = 0;  // object offset of the first byte
  int level = kTerm;        // binding level, for brackets
  int weight = 1;           // nodes below and including this one
  int depth = 1;            // longest path to a leaf
  std::int64_t value = 0;   // Constant: the value (32 bits, sign-extended)
  bool raw = false;         // Constant: in a long form no source constant takes
  int op = 0;               // Unary, Binary: math operator; Effect: effect byte (push bit cleared)
  bool push = false;        // Effect: the value stays on the stack
  bool zeroBased = false;   // Lookup: lookupz / lookdownz
  bool down = false;        // Lookup: lookdown
  std::string name;         // Special, Builtin
  std::string bytes;        // String
  Variable variable;        // Read, AddressOf, Effect
  Callee callee;            // Call, CogRun
  std::vector<ExprRef> operands;  // Unary 1, Binary 2, Effect 0-1, arguments, Lookup: primary then values, CogRun: args then stack

  bool Same(const Expr& other) const;
};

struct Stmt;
using StmtList = std::vector<Stmt>;

enum class StmtKind : std::uint8_t {
  Do,          // an expression as a statement: a call, an assignment, a builtin
  If,          // if / ifnot, with else (elseif when the else holds one if)
  Case,        // case subject, branches, other
  Repeat,      // repeat (forever)
  RepeatCount, // repeat count
  RepeatPre,   // repeat while / until cond
  RepeatPost,  // repeat ... while / until cond
  RepeatFrom,  // repeat var from a to b step c
  Next,
  Quit,
  Return,      // return [value]
  Abort,       // abort [value]
};

struct CaseBranch {
  std::int32_t offset = 0;     // the branch's first byte
  std::vector<ExprRef> values; // values and ranges
  StmtList body;
};

struct Stmt {
  StmtKind kind = StmtKind::Do;
  std::int32_t offset = 0;       // object offset of the statement's first byte
  ExprRef expr;                  // Do: the expression; If: condition; Case: subject; RepeatCount: count;
                                 // RepeatPre/Post: condition; Return/Abort: the value, if any
  bool negated = false;          // ifnot, until
  StmtList body;                 // If: then; loops: the body
  // If: the else block; Case: other.
  bool hasElse = false;
  std::int32_t elseOffset = 0;
  StmtList elseBody;
  bool elseIf = false;           // the else holds one if: written as elseif
  std::vector<CaseBranch> branches;  // Case
  std::int32_t tailOffset = 0;   // RepeatPost: the while/until line
  std::int32_t closeOffset = -1; // the other loops: the bytes that close the loop (its jump back)
  Variable var;                  // RepeatFrom: the variable
  ExprRef from, to, step;        // RepeatFrom: bounds; step when given
};

// A node built from its parts, with its weight and depth.
ExprRef MakeExpr(Expr node);

}  // namespace brevin::recovery::spin
