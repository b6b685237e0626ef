// The analysis model as one JSON object ("format": "brevin-analysis").
#pragma once

#include <string>

#include "brevin/analysis.h"

namespace brevin::cli {

// The JSON text of the model, UTF-8, ending in a line feed. Listing bytes that
// are not valid UTF-8 are replaced, so the text always parses.
std::string AnalysisJson(const Analysis& analysis);

}  // namespace brevin::cli
