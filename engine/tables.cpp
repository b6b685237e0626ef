#include "tables.h"

namespace brevin {

const Tables& SharedTables() {
  static const Tables tables{BuildSpinTables(), BuildAssemblerTables()};
  return tables;
}

}  // namespace brevin
