// The Spin and assembler tables: built once, read-only, shared by all engines.
#pragma once

#include "asm_tables.h"
#include "spin_tables.h"

namespace brevin {

struct Tables {
  SpinTables Spin;
  AsmTables Asm;
};

// Builds the Spin tables and then the assembler tables on first use; the
// object never changes afterwards, so engines on several threads may share it.
const Tables& SharedTables();

}  // namespace brevin
