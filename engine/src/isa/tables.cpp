#include "isa/tables.h"

namespace brevin {

const Tables& SharedTables() {
  static const Tables tables{BuiltInSpinTables(), BuiltInAssemblerTables()};
  return tables;
}

}  // namespace brevin
