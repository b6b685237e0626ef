// The round trip of the Spin source recovery: every image of the shared corpus
// (.binary and .eeprom) and of the shared real-world set is analysed and
// recovered in process (with the analysis' labels, as brevin-cli does),
// compiled with the compiler from the shared tools, and compared byte for byte. Prints the shares and the first failures; fails below the targets.
//
//   spin_round_trip SHARED_DIR WORK_DIR CORPUS_PERCENT REALWORLD_PERCENT
//
// Exits 77 (skipped) when SHARED_DIR is absent.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "brevin/engine.h"
#include "brevin/spin_source.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Case {
  fs::path image;
  bool corpus = false;
  std::string failure;  // empty when the round trip gives the same bytes
};

// The analysis lends the recovery its labels, as for brevin-cli.
class QuietHost : public brevin::Host {
 public:
  brevin::Options LoadOptions() override {
    brevin::Options options;
    options.IncludeSourceCode = false;
    return options;
  }
  bool WantsModel() override { return true; }
  brevin::MessageAnswer ShowMessage(const std::string&, const std::string&, brevin::MessageButtons,
                                    brevin::MessageIcon) override {
    return brevin::MessageAnswer::Yes;
  }
  void DebugWrite(const std::string&) override {}
};

// Recovers, writes, compiles and compares one image in its own folder.
void RoundTrip(Case& c, const fs::path& compiler, const fs::path& folder, brevin::Engine& engine) {
  fs::create_directories(folder);
  const std::vector<std::uint8_t> image = ReadFile(c.image);
  const brevin::LoadResult listed = engine.DisassembleBytes(c.image.string(), image, false, true);
  brevin::SpinSourceRequest request;
  request.image = image;
  request.analysis = listed.analysis.get();
  request.topName = c.image.stem().string();
  const brevin::SpinSourceProject project = brevin::RecoverSpinSource(request);
  if (!project.error.empty() || project.files.empty()) {
    c.failure = "not recovered: " + project.error;
    return;
  }
  for (const brevin::SpinSourceFile& file : project.files) {
    std::ofstream out(folder / file.name, std::ios::binary);
    out << brevin::SpinSourceFileBytes(file);
  }
  const bool eeprom = c.image.extension() == ".eeprom";
  const fs::path output = folder / "round_trip.out";
  const fs::path log = folder / "compiler.log";
  const std::string command = Quote(compiler.string()) + (eeprom ? " -q -e" : " -q -b") + " -L " +
                              Quote(folder.string()) + " -o " + Quote(output.string()) + " " +
                              Quote((folder / project.files.front().name).string()) + " > " + Quote(log.string()) +
                              " 2>&1";
  if (std::system(command.c_str()) != 0) {
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::replace(text.begin(), text.end(), '\n', ' ');
    c.failure = "the compiler rejects the source: " + text.substr(0, 200);
    return;
  }
  const std::vector<std::uint8_t> again = ReadFile(output);
  if (again != image) {
    std::size_t at = 0;
    while (at < again.size() && at < image.size() && again[at] == image[at]) ++at;
    c.failure = "differs from byte " + std::to_string(at) + " (" + std::to_string(image.size()) + " bytes, compiled " +
                std::to_string(again.size()) + "); " + std::to_string(project.InexactMethods()) +
                " method(s) marked inexact";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: spin_round_trip SHARED_DIR WORK_DIR CORPUS_PERCENT REALWORLD_PERCENT\n";
    return 2;
  }
  const fs::path shared = argv[1];
  const fs::path work = argv[2];
  const double corpusTarget = std::atof(argv[3]);
  const double realworldTarget = std::atof(argv[4]);
  if (!fs::is_directory(shared / "tools") || !fs::is_directory(shared / "corpus")) {
    std::cout << "skipped: " << shared.string() << " with the compiler and the corpus is absent\n";
    return 77;
  }
  const auto started = std::chrono::steady_clock::now();
  fs::create_directories(work);
  const fs::path compilerDir = work / "spin-compiler";
  const fs::path compiler = compilerDir / "openspin";
  if (!fs::exists(compiler)) {
    const std::string build = Quote((shared / "tools" / "build-spin-compiler").string()) + " " +
                              Quote(compilerDir.string()) + " > " + Quote((work / "build-compiler.log").string()) +
                              " 2>&1";
    if (std::system(build.c_str()) != 0 || !fs::exists(compiler)) {
      std::cerr << "the compiler could not be built: see " << (work / "build-compiler.log").string() << "\n";
      return 1;
    }
  }

  std::vector<Case> cases;
  for (const char* set : {"corpus", "realworld"}) {
    if (!fs::is_directory(shared / set)) continue;
    std::vector<fs::path> images;
    for (const auto& entry : fs::directory_iterator(shared / set)) {
      const std::string ext = entry.path().extension().string();
      if (ext == ".binary" || ext == ".eeprom") images.push_back(entry.path());
    }
    std::sort(images.begin(), images.end());
    for (const fs::path& image : images) cases.push_back({image, std::string(set) == "corpus", {}});
  }
  const fs::path trips = work / "trips";
  fs::remove_all(trips);
  std::atomic<std::size_t> next{0};
  const unsigned workers = std::max(2u, std::min(8u, std::thread::hardware_concurrency() * 2));
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers; ++w) {
    threads.emplace_back([&] {
      QuietHost host;
      brevin::Engine engine(host);
      for (std::size_t i = next++; i < cases.size(); i = next++) {
        const fs::path folder = trips / std::to_string(i);
        RoundTrip(cases[i], compiler, folder, engine);
        if (cases[i].failure.empty()) fs::remove_all(folder);
      }
    });
  }
  for (std::thread& t : threads) t.join();

  bool pass = true;
  for (const bool corpus : {true, false}) {
    std::size_t total = 0, same = 0, shown = 0;
    for (const Case& c : cases) {
      if (c.corpus != corpus) continue;
      ++total;
      if (c.failure.empty()) {
        ++same;
      } else if (shown++ < 8) {
        std::cout << "  " << c.image.filename().string() << ": " << c.failure << "\n";
      }
    }
    if (total == 0) continue;
    const double share = 100.0 * static_cast<double>(same) / static_cast<double>(total);
    const double target = corpus ? corpusTarget : realworldTarget;
    std::printf("%s: %zu of %zu images round-trip byte for byte (%.1f%%, target %.1f%%)\n",
                corpus ? "corpus" : "realworld", same, total, share, target);
    if (share + 1e-9 < target) pass = false;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%.1f s with %u workers\n", seconds, workers);
  return pass ? 0 : 1;
}
