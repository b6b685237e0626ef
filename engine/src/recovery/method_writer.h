// Writes one method of a recovered object: its head (PUB/PRI, parameters,
// result, locals) and its body printed from the tree with the names of the
// name table, or as comments when it would not compile to the same bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "brevin/spin_source.h"
#include "recovery/name_table.h"
#include "recovery/object_plan.h"
#include "recovery/object_tree.h"
#include "recovery/spin/value_use.h"

namespace brevin::recovery {

struct MethodInput {
  const ImageTree& tree;
  const NameTable& names;
  const std::vector<ObjectPlan>& plans;
  const spin::ValueUse& values;
  std::size_t object = 0;
  std::size_t method = 0;  // table index - 1
  std::string objectDifference;  // why no method of the object is exact, if so
  std::string imageDifference;   // why the image is not, for the top's first method
};

struct WrittenMethod {
  std::vector<std::string> lines;  // a blank line, the head and the body
  std::vector<int> markLines;      // lines (of lines) that start at markOffsets (a repeat line also at its loop's closing bytes)
  std::vector<std::int32_t> markOffsets;
  int headLine = 0;                // the PUB or PRI line, of lines
  SpinSourceMethod method;
};

WrittenMethod WriteMethod(const MethodInput& in, spin::MethodTree& tree);

// The object a child entry of an object names, or -1.
int ChildObject(const ImageTree& tree, int object, int entry);

}  // namespace brevin::recovery
