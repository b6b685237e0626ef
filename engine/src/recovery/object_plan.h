// What the recovery works out for one distinct object besides its names:
// every method's tree and facts, the signatures, the VAR and DAT layout and
// the OBJ declarations.
#pragma once

#include <string>
#include <vector>

#include "recovery/dat_section.h"
#include "recovery/source_constants.h"
#include "recovery/spin/facts.h"
#include "recovery/spin/method_tree.h"
#include "recovery/var_layout.h"

namespace brevin::recovery {

struct ObjectPlan {
  std::vector<int> parameters;      // by table index - 1
  std::vector<bool> isPublic;
  std::vector<std::string> limits;  // by method: a compiler limit the table exceeds
  std::vector<spin::MethodTree> trees;
  BodyFacts facts;                  // of all methods
  std::vector<BodyFacts> methodFacts;
  VarLayout vars;
  DatSection dat;
  std::vector<std::string> objLines;
  // The source's constants the file defines: none of the compiler's own
  // settings, none of a name the object gives anything else.
  std::vector<SourceConstant> constants;
  std::string objDifference;
};

}  // namespace brevin::recovery
