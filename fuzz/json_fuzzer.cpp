// libFuzzer target: arbitrary bytes as an image through load and analysis into
// the result model and its JSON text, which must parse, keep the rules of the
// shipped schema and agree with the model.
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "fuzz_case.h"
#include "json_output.h"
#include "json_rules.h"

namespace {

// Text read as an image can list a megabyte or more; writing its JSON and
// parsing it back under the sanitizers takes a good part of a second or
// seconds, near the per-input time limit on a busy machine. Smaller listings
// meet every kind of line already. The JSON is written for every input up to
// that size and parsed back for those chosen for the cross-checks.
constexpr std::size_t kLargestListingWritten = 256 * 1024;
constexpr std::size_t kLargestListingParsed = 64 * 1024;

std::string JsonProblems(const brevin::Analysis& analysis, bool parse) {
  if (analysis.listing.size() > kLargestListingWritten) return "";
  const std::string text = brevin::cli::AnalysisJson(analysis);
  if (text.empty() || text.back() != '\n') return "JSON text without its final line feed";
  if (!parse || analysis.listing.size() > kLargestListingParsed) return "";
  const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
  if (doc.is_discarded()) return "JSON that does not parse";
  if (std::string broken = brevin::fuzz::JsonSchemaProblems(doc); !broken.empty()) return "JSON against the schema: " + broken;
  if (doc["lines"].size() != analysis.lines.size()) return "JSON lines that are not the model's";
  if (doc["regions"].size() != analysis.regions.size()) return "JSON regions that are not the model's";
  if (doc["symbols"].size() != analysis.symbols.size()) return "JSON symbols that are not the model's";
  return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  brevin::fuzz::FuzzCase c({data, size}, BREVIN_FUZZ_SOURCES);
  brevin::Engine engine(c.host());
  const brevin::LoadResult result = c.Analyse(engine);
  std::string problems = c.Problems(result);
  if (problems.empty() && result.analysis) problems = JsonProblems(*result.analysis, c.settings().crossChecks);
  if (!problems.empty()) {
    std::fprintf(stderr, "json_fuzzer: %s\n", problems.c_str());
    std::abort();
  }
  return 0;
}
