// brevin-cli --json against the plain listing of the same image, in process:
// the listing alone (no model), the analysis with its model, and the model
// written as JSON to a sink that only counts. The image is the largest real
// one when ../shared/realworld is there (its JSON is the largest), else the
// largest sample.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "brevin/engine.h"
#include "json_output.h"

namespace {

class BenchHost : public brevin::Host {
 public:
  bool model = true;
  brevin::Options LoadOptions() override { return {}; }
  bool WantsModel() override { return model; }
  brevin::MessageAnswer ShowMessage(const std::string&, const std::string&, brevin::MessageButtons,
                                    brevin::MessageIcon) override {
    return brevin::MessageAnswer::Yes;
  }
  void DebugWrite(const std::string&) override {}
};

class CountingSink : public brevin::cli::TextSink {
 public:
  void Write(std::string_view text) override { bytes += text.size(); }
  std::size_t bytes = 0;
};

std::string ImagePath() {
  const std::string real = std::string(BREVIN_TEST_DATA) + "/../../../shared/realworld/Main_Movies.binary";
  if (std::filesystem::exists(real)) return real;
  return std::string(BREVIN_TEST_DATA) + "/serial_terminal.eeprom";
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Argument 0: the listing only; 1: with the model; 2: with the model, written as JSON.
void BM_ListingOrJson(benchmark::State& state) {
  const std::string path = ImagePath();
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  if (bytes.empty()) {
    state.SkipWithError("image missing");
    return;
  }
  BenchHost host;
  host.model = state.range(0) != 0;
  brevin::Engine engine(host);
  std::size_t written = 0;
  for (auto _ : state) {
    const brevin::LoadResult result = engine.DisassembleBytes(path, bytes, false);
    if (state.range(0) == 2 && result.analysis) {
      CountingSink sink;
      brevin::cli::WriteAnalysisJson(*result.analysis, sink);
      written = sink.bytes;
    } else if (result.analysis) {
      written = result.analysis->listing.size();
    }
    benchmark::DoNotOptimize(result.analysis.get());
  }
  state.counters["bytes_out"] = static_cast<double>(written);
}
BENCHMARK(BM_ListingOrJson)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
