// The method and parameter names of a Spin source, in the order the compiler
// puts the methods in its table (PUB methods first, then PRI).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "recovery/source_constants.h"

namespace brevin::recovery {

struct SourceLocal {
  std::string name;
  int count = 1;  // longs
};

struct SourceMethodName {
  std::string name;
  std::vector<std::string> parameters;
  bool isPublic = true;
  std::string result;              // the result's name, when the source names it
  std::vector<SourceLocal> locals;
  bool localsKnown = false;        // the locals were read (counts as numbers)
  // The body's lines that hold code, in order: the names each uses
  // (upper-case) and the numbers it writes as numbers.
  struct BodyLine {
    std::set<std::string> names;
    std::set<std::int64_t> numbers;
  };
  std::vector<BodyLine> body;
};

// An OBJ declaration: its name and how many table entries it takes.
struct SourceObjectName {
  std::string name;
  std::string file;  // as the OBJ string names it, without ".spin"
  int count = 1;
};

// A VAR declaration: its element size in bytes, name and count.
struct SourceVariable {
  int size = 4;
  std::string name;
  int count = 1;
};

struct SourceNames {
  std::vector<SourceMethodName> methods;  // table order
  std::vector<SourceObjectName> objects;  // declaration order, as the table
  std::vector<SourceVariable> variables;  // declaration order; empty when a count is no number
  bool variablesKnown = true;             // false: some declaration could not be read
  SourceConstants constants;              // the CON block, evaluated
};

// outside gives the values of the names of other objects ("obj#NAME") that
// constants and counts use.
SourceNames ReadSourceNames(const std::string& text, const SourceExpressionValue& outside = {});

}  // namespace brevin::recovery
