// Library entries from an image and the Spin sources it was compiled from:
// the image gives the bytes (and so the prints), the sources the names. A
// source that does not fit its object (another count of methods, locals,
// child objects or variables) is refused, since its names would be wrong.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "library/library_data.h"
#include "recovery/object_tree.h"

namespace brevin::library {

// The symbols the compiler lists for its top object (its verbose listing:
// "TYPE: 43   VALUE: 00000028 (00000000)   NAME: COLS"): the exact values
// of the CON block and the offsets of VAR variables and DAT labels.
struct CompilerSymbols {
  struct Symbol {
    int type = 0;
    std::uint32_t value = 0;
    std::string name;  // upper case, as the compiler keeps it
  };
  std::vector<Symbol> symbols;
};
CompilerSymbols ReadCompilerSymbols(std::string_view listing);

// Text with every line ended by LF alone (some sources end their lines with CR alone).
std::string WithLineFeeds(std::string_view source);

// The entry of one object from its source text (UTF-8); the reason it does
// not fit in problem otherwise. symbols, when given, are the compiler's for
// this source compiled as the top object.
std::optional<LibraryEntry> EntryFromSource(const recovery::ObjectImage& object, const ObjectPrint& print,
                                            const std::string& file, const std::string& sourceText,
                                            const CompilerSymbols* symbols, std::string& problem);

}  // namespace brevin::library
