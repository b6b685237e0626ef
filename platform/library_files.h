// Where the libraries of known Spin objects are: the one shipped with the
// program and the person's own, which `brevin-cli --learn` adds to.
#pragma once

#include <string>

namespace brevin::platform {

// The shipped library: share/brevin/library/objects.tsv beside the installed
// program (bin/../share/...), else the data file of the source tree the
// program was built from (a program run from its build folder).
std::string ShippedLibraryPath();

// The person's own library: $XDG_DATA_HOME/brevin/library.tsv, or
// ~/.local/share/brevin/library.tsv without it; empty when neither is known.
std::string UserLibraryPath();

}  // namespace brevin::platform
