// Load + analysis + listing of the largest sample image, from memory.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <string>
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

// The images the benchmarks compare: 0 the largest sample, 1 the largest real
// program beside the project (absent without ../shared).
std::string BenchImagePath(std::int64_t which) {
  return which == 0 ? std::string(BREVIN_TEST_DATA) + "/serial_terminal.eeprom"
                    : std::string(BREVIN_TEST_DATA) + "/../../../shared/realworld/PlayWav_8bit.binary";
}

// The bytes of that image; empty, with the benchmark marked skipped, when it is absent.
std::vector<std::uint8_t> LoadBenchImage(benchmark::State& state, std::int64_t which) {
  std::vector<std::uint8_t> bytes = ReadFile(BenchImagePath(which));
  if (bytes.empty()) state.SkipWithError(which == 0 ? "sample image missing" : "../shared/realworld is absent");
  return bytes;
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

// The library names off (0) and on (1), with the model and no source lines:
// what matching the objects against the shipped library adds to a listing
// (the file is read once, at the first load, before the timing starts).
class LibraryBenchHost : public BenchHost {
 public:
  std::vector<LibraryFile> LibraryFiles() override {
    return {{std::string(BREVIN_TEST_DATA) + "/../../data/library/objects.tsv", false}};
  }
};

void BM_LibraryNames(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = LoadBenchImage(state, state.range(1));
  if (bytes.empty()) return;
  LibraryBenchHost host;
  host.options.IncludeSourceCode = false;
  host.options.LibraryNames = state.range(0) != 0;
  brevin::Engine engine(host);
  const std::string path = BenchImagePath(state.range(1));
  if (!engine.DisassembleBytes(path, bytes, false).warnings.empty()) state.SkipWithError("library file missing");
  for (auto _ : state) {
    const brevin::LoadResult result = engine.DisassembleBytes(path, bytes, false);
    benchmark::DoNotOptimize(result.analysis.get());
  }
}
BENCHMARK(BM_LibraryNames)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})->Unit(benchmark::kMicrosecond);

// "Trace All Methods" off (0) and on (1), listing text only, no source lines:
// what tracing from every table entry costs. Image 0 is the largest sample,
// image 1 the largest real program beside the project (skipped when absent).
void BM_TraceAllMethods(benchmark::State& state) {
  const std::string path = BenchImagePath(state.range(0));
  const std::vector<std::uint8_t> bytes = LoadBenchImage(state, state.range(0));
  if (bytes.empty()) return;
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

// The Spin source recovery in process: the whole project (object tree, every
// method, VAR and DAT) of image 0 or 1, against their listings above.
void BM_RecoverSpinSource(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = LoadBenchImage(state, state.range(0));
  if (bytes.empty()) return;
  brevin::SpinSourceRequest request;
  request.image = bytes;
  request.topName = "bench";
  std::size_t sourceBytes = 0;
  for (auto _ : state) {
    const brevin::SpinSourceProject project = brevin::RecoverSpinSource(request);
    sourceBytes = 0;
    for (const brevin::SpinSourceFile& file : project.files) sourceBytes += file.text.size();
    benchmark::DoNotOptimize(sourceBytes);
  }
  state.counters["source_bytes"] = static_cast<double>(sourceBytes);
}
BENCHMARK(BM_RecoverSpinSource)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
