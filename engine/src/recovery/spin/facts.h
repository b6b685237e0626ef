// What a method's tree uses, gathered by one walk: the sizes its VAR and DAT
// accesses need, the arguments it passes, the objects it calls with and
// without an index, the assembly it starts and the locals it touches.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "recovery/spin/syntax.h"

namespace brevin::recovery {

struct BodyFacts {
  std::map<std::int32_t, int> varSizes;  // offset -> largest size accessed
  std::map<std::int32_t, int> datSizes;
  std::map<int, int> callArguments;                      // method -> arguments pushed
  std::map<std::pair<int, int>, int> childCallArguments; // (entry, method) -> arguments
  std::vector<int> indexedChildEntries;                  // entries called with an index
  std::vector<int> singleChildEntries;                   // entries called without one
  std::vector<std::int32_t> asmStarts;                   // DAT offsets started in a cog
  std::int32_t maxLocal = 0;                             // largest local offset used
  std::set<std::int32_t> localOffsets;                   // every local offset used
  std::set<std::int32_t> indexedLocals;                  // local offsets used with an index: arrays
};

BodyFacts GatherFacts(const spin::StmtList& body);

// Adds one method's facts to its object's.
void MergeFacts(BodyFacts& all, const BodyFacts& method);

}  // namespace brevin::recovery
