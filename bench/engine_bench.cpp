// Load + analysis + listing of the largest sample image, from memory.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "brevin/engine.h"
#include "brevin/spin_source.h"

namespace {

class BenchHost : public brevin::Host {
 public:
  brevin::Options options;
  bool model = true;
  brevin::Options LoadOptions() override { return options; }
  bool WantsModel() override { return model; }
  brevin::MessageAnswer ShowMessage(const std::string&, const std::string&, brevin::MessageButtons,
                                    brevin::MessageIcon) override {
    return brevin::MessageAnswer::Yes;
  }
  void DebugWrite(const std::string&) override {}
};

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Default options: source lines, assembly, folding and labels all on.
void BM_DisassembleLargestImage(benchmark::State& state) {
  const std::string path = std::string(BREVIN_TEST_DATA) + "/serial_terminal.eeprom";
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  if (bytes.empty()) {
    state.SkipWithError("sample image missing");
    return;
  }
  BenchHost host;
  host.options.IncludeSourceCode = state.range(0) != 0;
  host.model = state.range(1) != 0;
  brevin::Engine engine(host);
  std::size_t listingBytes = 0;
  for (auto _ : state) {
    const brevin::LoadResult result = engine.DisassembleBytes(path, bytes, false);
    benchmark::DoNotOptimize(result.analysis.get());
    listingBytes = result.analysis ? result.analysis->listing.size() : 0;
  }
  state.counters["listing_bytes"] = static_cast<double>(listingBytes);
}
// First argument 1: with the Spin source lines read from disk; 0: without.
// Second argument 1: with the result model (the window, --json); 0: the
// listing text only (brevin-cli's listings).
BENCHMARK(BM_DisassembleLargestImage)
    ->Args({1, 1})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Unit(benchmark::kMicrosecond);

// "Trace All Methods" off (0) and on (1), listing text only, no source lines:
// what tracing from every table entry costs. Image 0 is the largest sample,
// image 1 the largest real program beside the project (skipped when absent).
void BM_TraceAllMethods(benchmark::State& state) {
  const std::string path = state.range(0) == 0
                               ? std::string(BREVIN_TEST_DATA) + "/serial_terminal.eeprom"
                               : std::string(BREVIN_TEST_DATA) + "/../../../shared/realworld/PlayWav_8bit.binary";
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  if (bytes.empty()) {
    state.SkipWithError("image missing");
    return;
  }
  BenchHost host;
  host.options.IncludeSourceCode = false;
  host.options.TraceAllMethods = state.range(1) != 0;
  host.model = false;
  brevin::Engine engine(host);
  int untraced = 0;
  for (auto _ : state) {
    const brevin::LoadResult result = engine.DisassembleBytes(path, bytes, false);
    benchmark::DoNotOptimize(result.analysis.get());
    untraced = result.untracedMethods;
  }
  state.counters["untraced_methods"] = untraced;
}
BENCHMARK(BM_TraceAllMethods)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMicrosecond);

// The Spin source recovery of the same image, in process: the whole project
// (object tree, every method, VAR and DAT), against the listing above.
void BM_RecoverSpinSourceLargestImage(benchmark::State& state) {
  const std::string path = std::string(BREVIN_TEST_DATA) + "/serial_terminal.eeprom";
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  if (bytes.empty()) {
    state.SkipWithError("sample image missing");
    return;
  }
  brevin::SpinSourceRequest request;
  request.image = bytes;
  request.topName = "serial_terminal";
  std::size_t sourceBytes = 0;
  for (auto _ : state) {
    const brevin::SpinSourceProject project = brevin::RecoverSpinSource(request);
    sourceBytes = 0;
    for (const brevin::SpinSourceFile& file : project.files) sourceBytes += file.text.size();
    benchmark::DoNotOptimize(sourceBytes);
  }
  state.counters["source_bytes"] = static_cast<double>(sourceBytes);
}
BENCHMARK(BM_RecoverSpinSourceLargestImage)->Unit(benchmark::kMicrosecond);

// The largest real-world image, when ../shared is beside the repository.
void BM_RecoverSpinSourceLargestRealImage(benchmark::State& state) {
  const std::string path =
      std::string(BREVIN_TEST_DATA) + "/../../../shared/realworld/NAVCOM_AI_Base_files__NavAI_Main.binary";
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  if (bytes.empty()) {
    state.SkipWithError("../shared/realworld is absent");
    return;
  }
  brevin::SpinSourceRequest request;
  request.image = bytes;
  request.topName = "NavAI_Main";
  for (auto _ : state) {
    const brevin::SpinSourceProject project = brevin::RecoverSpinSource(request);
    benchmark::DoNotOptimize(project.files.size());
  }
}
BENCHMARK(BM_RecoverSpinSourceLargestRealImage)->Unit(benchmark::kMicrosecond);

void BM_DisassembleLargestRealImage(benchmark::State& state) {
  const std::string path =
      std::string(BREVIN_TEST_DATA) + "/../../../shared/realworld/NAVCOM_AI_Base_files__NavAI_Main.binary";
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  if (bytes.empty()) {
    state.SkipWithError("../shared/realworld is absent");
    return;
  }
  BenchHost host;
  host.options.IncludeSourceCode = false;
  host.model = false;
  brevin::Engine engine(host);
  for (auto _ : state) {
    const brevin::LoadResult result = engine.DisassembleBytes(path, bytes, false, true);
    benchmark::DoNotOptimize(result.analysis.get());
  }
}
BENCHMARK(BM_DisassembleLargestRealImage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
