// The library's names applied to one analysis: the files are read when first
// needed and kept while they stay the same, so a second analysis pays only
// for its own matching.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "brevin/analysis.h"
#include "brevin/host.h"
#include "library/library_data.h"
#include "library/matcher.h"

namespace brevin::library {

class LibraryCache {
 public:
  // The libraries of the files that could be read; a warning line for each
  // that could not (a missing one only when it must be there), once while
  // the file stays as it is.
  std::vector<const LibraryData*> Load(const std::vector<Host::LibraryFile>& files, std::vector<std::string>& warnings);

 private:
  struct Loaded {
    std::string path;
    std::int64_t size = -1;  // -2: missing
    std::int64_t modified = 0;
    std::shared_ptr<const LibraryData> data;  // null when it could not be read
    std::string problem;
  };
  std::vector<Loaded> loaded_;
};

// The names one object's match gives the views that write names of their own
// (excludedFolder as for MatchTree).
std::shared_ptr<const LibraryObjectNames> NamesOfMatch(const ObjectMatch& match,
                                                       const std::vector<const LibraryData*>& libraries,
                                                       const std::string& excludedFolder = {});

// Gives the objects, methods and symbols of the analysis the names the
// libraries know for them (the image bytes are the analysis' own).
void ApplyLibraryNames(Analysis& analysis, const std::vector<const LibraryData*>& libraries);

}  // namespace brevin::library
