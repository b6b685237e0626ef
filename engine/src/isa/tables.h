// The Spin and assembler tables: built once, read-only, shared by all engines.
#pragma once

#include "isa/asm_tables.h"
#include "isa/spin_tables.h"

namespace brevin {

struct Tables {
  const SpinTables& Spin;
  const AsmTables& Asm;
};

// The built-in vocabulary: compile-time data, shared by every engine and thread.
const Tables& SharedTables();

}  // namespace brevin
