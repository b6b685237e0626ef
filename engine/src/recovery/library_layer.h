// The names a known library object gives one object of the recovered
// project: method names, kinds, parameters, results and locals for the
// methods whose bytes matched, and for an object matched whole its VAR, DAT
// and CON names and the file name and OBJ name it goes by. They take their
// place in the name table after the listing's labels and before the sources
// beside the image.
#pragma once

#include <string>

#include "brevin/analysis.h"
#include "recovery/name_table.h"
#include "recovery/object_plan.h"
#include "recovery/object_tree.h"

namespace brevin::recovery {

// Puts the library's names for the object into its entry of the table. plan
// holds the object's method facts (where its code reads locals and starts
// assembly); file is the library's file name for it, empty when unknown.
void TakeLibraryNames(ObjectNames& names, const LibraryObjectNames& library, const std::string& file,
                      const ObjectImage& object, const ObjectPlan& plan);

// The OBJ name a parent gives a child the library names: the name a known
// parent gives it, else one made from its file name; empty when neither is
// a plain identifier.
std::string LibraryEntryName(const ObjectNames& child);

}  // namespace brevin::recovery
