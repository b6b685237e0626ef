// The round trip of the Spin source recovery: every image of the shared corpus
// (.binary and .eeprom) and of the shared real-world set is analysed and
// recovered in process (with the analysis' labels and the shipped library's names, as brevin-cli does),
// compiled with the compiler from the shared tools, and compared byte for byte. Prints the shares and the first failures; fails below the targets.
//
//   spin_round_trip SHARED_DIR WORK_DIR CORPUS_PERCENT REALWORLD_PERCENT
//
// Then 200 corpus images with one byte of code changed: whenever the recovery
// calls every method exact, the recompiled bytes must be the changed image.
// Exits 77 (skipped) when SHARED_DIR is absent.
#include "spin_compiler.h"

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
using brevin::test::SharedSpinCompiler;
const auto& Quote = brevin::test::ShellQuote;

namespace {

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Case {
  fs::path image;
  bool corpus = false;
  std::string failure;  // empty when the round trip gives the same bytes
  // A copy of a corpus image with one byte changed (and its checksum mended):
  // when the recovery calls every method exact, the bytes must come back.
  std::vector<std::uint8_t> mutated;
  bool claimedExact = false;
};

// The analysis lends the recovery its labels and the shipped library's names, as for brevin-cli.
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
  std::vector<LibraryFile> LibraryFiles() override { return {{BREVIN_LIBRARY_FILE, false}}; }
};

// Recovers, writes, compiles and compares one image in its own folder.
void RoundTrip(Case& c, const fs::path& compiler, const fs::path& folder, brevin::Engine& engine) {
  fs::create_directories(folder);
  const std::vector<std::uint8_t> image = c.mutated.empty() ? ReadFile(c.image) : c.mutated;
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
  // Each method's lines lie in its file, around its PUB or PRI head.
  for (const brevin::SpinSourceMethod& m : project.methods) {
    const auto file = std::find_if(project.files.begin(), project.files.end(),
                                   [&](const brevin::SpinSourceFile& f) { return f.name == m.file; });
    std::vector<std::string> lines;
    for (std::size_t at = 0; file != project.files.end() && at < file->text.size();) {
      const std::size_t end = file->text.find('\n', at);
      lines.push_back(file->text.substr(at, end - at));
      at = end == std::string::npos ? file->text.size() : end + 1;
    }
    const auto head = static_cast<std::size_t>(m.headLine);
    if (!(0 <= m.firstLine && m.firstLine <= m.headLine && m.headLine <= m.lastLine &&
          static_cast<std::size_t>(m.lastLine) < lines.size() &&
          (lines[head].rfind("PUB " + m.name, 0) == 0 || lines[head].rfind("PRI " + m.name, 0) == 0))) {
      c.failure = "method " + m.name + " of " + m.file + " is not at its lines";
      return;
    }
  }
  if (!c.mutated.empty() && project.InexactMethods() > 0) return;  // said so: nothing to check
  c.claimedExact = true;
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
  const fs::path compiler = SharedSpinCompiler(shared, work);
  if (compiler.empty()) return 1;

  std::vector<Case> cases;
  for (const char* set : {"corpus", "realworld"}) {
    if (!fs::is_directory(shared / set)) continue;
    std::vector<fs::path> images;
    for (const auto& entry : fs::directory_iterator(shared / set)) {
      const std::string ext = entry.path().extension().string();
      if (ext == ".binary" || ext == ".eeprom") images.push_back(entry.path());
    }
    std::sort(images.begin(), images.end());
    for (const fs::path& image : images) {
      Case c;
      c.image = image;
      c.corpus = std::string(set) == "corpus";
      cases.push_back(std::move(c));
    }
  }
  // Mutations: one byte of a corpus .binary's code changed, chosen by a fixed sequence.
  std::vector<Case> mutations;
  std::uint32_t seed = 12345;
  auto random = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) & 0xFFFFFF;
  };
  std::vector<fs::path> corpusBinaries;
  for (const Case& c : cases)
    if (c.corpus && c.image.extension() == ".binary") corpusBinaries.push_back(c.image);
  for (int n = 0; n < 200 && !corpusBinaries.empty(); ++n) {
    Case m;
    m.image = corpusBinaries[random() % corpusBinaries.size()];
    m.mutated = ReadFile(m.image);
    const std::size_t vbase = m.mutated[8] | (m.mutated[9] << 8);
    if (vbase <= 0x40 || vbase > m.mutated.size()) continue;
    m.mutated[0x20 + random() % (vbase - 0x20)] = static_cast<std::uint8_t>(random());
    unsigned sum = 0;
    m.mutated[5] = 0;
    for (std::size_t i = 0; i < vbase; ++i) sum += m.mutated[i];
    m.mutated[5] = static_cast<std::uint8_t>(-(sum + 2028));
    mutations.push_back(std::move(m));
  }
  const std::size_t mutationStart = cases.size();
  for (Case& m : mutations) cases.push_back(std::move(m));
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
  std::size_t claimed = 0, falseClaims = 0;
  for (std::size_t i = mutationStart; i < cases.size(); ++i) {
    if (!cases[i].claimedExact) continue;
    ++claimed;
    if (!cases[i].failure.empty()) {
      if (falseClaims++ < 8)
        std::cout << "  mutated " << cases[i].image.filename().string() << " (trip " << i << "): called exact, "
                  << cases[i].failure << "\n";
    }
  }
  std::printf("mutations: %zu of %zu changed images called exact, %zu of those not the same bytes (must be 0)\n",
              claimed, cases.size() - mutationStart, falseClaims);
  if (falseClaims > 0) pass = false;
  cases.resize(mutationStart);
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
