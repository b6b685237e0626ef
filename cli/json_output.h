// The analysis model as one JSON object ("format": "brevin-analysis"), written
// straight out as it is produced: no document tree is built, so the JSON costs
// little more time and memory than the listing it describes.
#pragma once

#include <string>

#include "brevin/analysis.h"
#include "text_sink.h"

namespace brevin::cli {

// Writes the JSON text of the model to the sink in pieces of about 64 KB,
// UTF-8, ending in a line feed. Bytes that are not valid UTF-8 (a path may
// hold them) become U+FFFD, so the text always parses.
void WriteAnalysisJson(const Analysis& analysis, TextSink& out);

// The same text as one string (for -o, which writes the file at once).
std::string AnalysisJson(const Analysis& analysis);

}  // namespace brevin::cli
