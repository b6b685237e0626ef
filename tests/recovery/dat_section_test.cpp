// The DAT part of a recovered object: instruction forms and data layouts from
// one-line cases, then the round trip of every object's DAT bytes of the
// sample and real-world images through the Spin compiler.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "brevin/engine.h"
#include "recovery/asm_line.h"
#include "recovery/dat_section.h"
#include "test_support.h"

namespace brevin::recovery {
namespace {

namespace fs = std::filesystem;

const std::string kCases = BREVIN_RECOVERY_CASES;
const std::string kShared = BREVIN_SHARED_DIR;
const std::string kWork = BREVIN_RECOVERY_WORK;

std::string Trim(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(i);
}

// The fields of a case line, split at "|"; blank lines and "#" comments give none.
std::vector<std::vector<std::string>> CaseLines(const std::string& file) {
  std::vector<std::vector<std::string>> out;
  std::ifstream in(kCases + "/" + file);
  EXPECT_TRUE(in) << file;
  for (std::string line; std::getline(in, line);) {
    if (Trim(line).empty() || Trim(line)[0] == '#') continue;
    std::vector<std::string> fields;
    for (std::size_t at = 0;;) {
      const std::size_t bar = line.find('|', at);
      fields.push_back(Trim(line.substr(at, bar == std::string::npos ? std::string::npos : bar - at)));
      if (bar == std::string::npos) break;
      at = bar + 1;
    }
    out.push_back(fields);
  }
  return out;
}

std::string Collapsed(const std::string& line) {
  std::string out;
  for (const char c : line) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  return Trim(out);
}

TEST(AsmLine, WritesEachCaseAndReadsItBack) {
  for (const auto& f : CaseLines("asm_lines.txt")) {
    ASSERT_GE(f.size(), 2U);
    const std::uint32_t word = static_cast<std::uint32_t>(std::stoul(f[0], nullptr, 16));
    CogNames names;
    bool asReturn = false, addressImmediate = false;
    if (f.size() > 2) {
      std::istringstream options(f[2]);
      for (std::string item; options >> item;) {
        if (item == "ret") {
          asReturn = true;
        } else if (item == "addr") {
          addressImmediate = true;
        } else {
          const std::size_t eq = item.find('=');
          names.Add(static_cast<std::uint32_t>(std::stoul(item.substr(0, eq), nullptr, 16)), item.substr(eq + 1));
        }
      }
    }
    const std::optional<AsmText> text = WriteAsmInstruction(word, names, asReturn, addressImmediate);
    if (f[1] == "long") {
      EXPECT_FALSE(text) << f[0] << " written as " << text->Joined();
      continue;
    }
    ASSERT_TRUE(text) << f[0];
    EXPECT_EQ(text->Joined(), f[1]) << f[0];
    EXPECT_EQ(AssembleAsmInstruction(text->Joined(), names), word) << f[1];
  }
}

// One line of dat_cases.txt: the bytes and what is known of them.
struct DataCase {
  std::vector<std::uint8_t> bytes;
  std::map<std::int32_t, std::string> listed;  // by hub address
  DatSectionInput in;

  explicit DataCase(const std::vector<std::string>& f) {
    std::istringstream hex(f[1]);
    for (std::string b; hex >> b;) bytes.push_back(static_cast<std::uint8_t>(std::stoul(b, nullptr, 16)));
    in.bytes = bytes;
    in.offset = std::stoi(f[0], nullptr, 16);
    in.objectAddress = 0x10;
    std::istringstream options(f[2]);
    for (std::string item; options >> item;) Option(item);
    in.labelAt = [this](std::int32_t hub) -> std::optional<std::string> {
      const auto it = listed.find(hub);
      if (it == listed.end()) return std::nullopt;
      return it->second;
    };
  }
  DataCase(const DataCase&) = delete;
  DataCase& operator=(const DataCase&) = delete;

  void Option(const std::string& item) {
    const std::size_t colon = item.find(':');
    const std::size_t eq = item.find('=');
    const std::size_t slash = item.find('/');
    if (item.starts_with("taken=")) {
      in.takenNames.push_back(item.substr(eq + 1));
    } else if (item.starts_with("src:")) {  // src:OFFSET=NAME/SIZE
      const std::size_t size = item.rfind('/');
      in.sourceLabels.emplace(std::stoi(item.substr(4, eq - 4), nullptr, 16),
                              DatLabel{item.substr(eq + 1, size - eq - 1), std::stoi(item.substr(size + 1))});
    } else if (item.starts_with("cog:")) {  // cog:START/REGISTER=NAME
      in.sourceCogLabels.emplace(std::pair{std::stoi(item.substr(4, slash - 4), nullptr, 16),
                                           std::stoi(item.substr(slash + 1, eq - slash - 1), nullptr, 16)},
                                 item.substr(eq + 1));
    } else if (item.starts_with("org:")) {
      in.sourcePrograms.push_back(std::stoi(item.substr(4), nullptr, 16));
    } else if (item.starts_with("name")) {
      listed[0x10 + std::stoi(item.substr(colon + 1, eq - colon - 1), nullptr, 16)] = item.substr(eq + 1);
    } else {
      const std::int32_t offset = std::stoi(item.substr(colon + 1), nullptr, 16);
      if (item.starts_with("asm")) in.asmStarts.push_back(0x10 + offset);
      if (item.starts_with("ref")) in.references.push_back({offset, std::stoi(item.substr(3, colon - 3))});
    }
  }
};

TEST(DatSection, WritesEachDataCase) {
  for (const auto& f : CaseLines("dat_cases.txt")) {
    ASSERT_EQ(f.size(), 4U);
    const DataCase c(f);
    const DatSection out = RecoverDatSection(c.in);
    std::string joined;
    for (const std::string& line : out.lines) joined += (joined.empty() ? "" : " / ") + Collapsed(line);
    EXPECT_EQ(joined, f[3]) << "case at " << f[0] << ": " << f[1];
    for (const DatReference& r : c.in.references) {
      if (r.offset % r.size != 0) {
        EXPECT_FALSE(out.exact) << f[1];
        continue;
      }
      const auto label = out.labels.find(r.offset);
      ASSERT_NE(label, out.labels.end()) << f[1];
      // The widest size read there; the code names narrower reads itself.
      EXPECT_GE(label->second.size, r.size) << label->second.name;
    }
  }
}

// Any input gives lines and never reads outside the bytes: starts and
// references anywhere, offsets at the ends of the number range.
TEST(DatSection, TakesAnyInput) {
  std::mt19937 random(7);
  const std::int32_t offsets[] = {0, 8, 3, -4, INT32_MAX - 2, INT32_MIN};
  for (int round = 0; round < 400; ++round) {
    std::vector<std::uint8_t> bytes(random() % 64);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    DatSectionInput in;
    in.bytes = bytes;
    in.offset = offsets[round % 6];
    in.objectAddress = round % 2 == 0 ? 0x10 : INT32_MAX;
    // Sums wrap around as unsigned numbers, as an address from a broken image might.
    auto near = [&](std::uint32_t base) { return static_cast<std::int32_t>(base + random() % 70); };
    for (int k = 0; k < 3; ++k) {
      in.asmStarts.push_back(static_cast<std::int32_t>(random()));
      in.asmStarts.push_back(near(static_cast<std::uint32_t>(in.objectAddress) + static_cast<std::uint32_t>(in.offset)));
      in.references.push_back({near(static_cast<std::uint32_t>(in.offset)), static_cast<int>(random() % 5)});
    }
    in.labelAt = [](std::int32_t hub) -> std::optional<std::string> {
      if (hub % 3 != 0) return std::nullopt;
      return hub % 2 == 0 ? "mov" : "x" + std::to_string(hub % 5);
    };
    const DatSection out = RecoverDatSection(in);
    const bool cut = in.offset == INT32_MAX - 2 && !bytes.empty();
    EXPECT_EQ(out.lines.empty(), bytes.empty() || cut) << round;
    if (cut) {
      EXPECT_FALSE(out.exact) << round;
    }
  }
}

// --- the round trip through the compiler ---------------------------------------------

struct ObjectPlace {
  std::int32_t address = 0;
  std::int32_t datBegin = 0, datEnd = 0;  // object offsets
};

std::uint32_t Word(const std::vector<std::uint8_t>& b, std::size_t at) {
  return at + 1 < b.size() ? static_cast<std::uint32_t>(b[at] | b[at + 1] << 8) : 0U;
}

// Every distinct object of the image: its DAT lies between the end of its
// method and object tables and the code of its first method.
void CollectObjects(const std::vector<std::uint8_t>& image, std::int32_t address, std::set<std::int32_t>& seen,
                    std::vector<ObjectPlace>& out) {
  const auto a = static_cast<std::size_t>(address);
  if (address < 0x10 || a + 8 > image.size() || !seen.insert(address).second) return;
  const std::int32_t methods = image[a + 2], objects = image[a + 3];
  const std::int32_t tableEnd = 4 * (methods + objects);
  if (methods < 2 || a + static_cast<std::size_t>(tableEnd) > image.size()) return;
  const auto firstMethod = static_cast<std::int32_t>(Word(image, a + 4));
  if (firstMethod >= tableEnd && a + static_cast<std::size_t>(firstMethod) <= image.size()) {
    out.push_back({address, tableEnd, firstMethod});
  }
  for (std::int32_t k = 0; k < objects; ++k) {
    const std::size_t entry = a + static_cast<std::size_t>(4 * (methods + k));
    CollectObjects(image, address + static_cast<std::int32_t>(Word(image, entry)), seen, out);
  }
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Tally {
  std::mutex lock;
  int sections = 0, exact = 0, compiled = 0, labelsInexact = 0;
  long instructions = 0, longs = 0;
  std::vector<std::string> failures;
};

// Instruction lines and "long" lines of the programs (after an "org").
void CountLines(const std::vector<std::string>& lines, long& instructions, long& longs) {
  bool inProgram = false;
  for (const std::string& line : lines) {
    std::istringstream in(line);
    std::vector<std::string> t;
    for (std::string w; in >> w;) t.push_back(w);
    std::size_t at = !line.empty() && line[0] != ' ' ? 1 : 0;
    if (at < t.size() && t[at].starts_with("if_")) ++at;
    if (at >= t.size()) continue;
    const std::string& op = t[at];
    if (op == "org") inProgram = true;
    if (!inProgram || op == "org" || op == "res" || op == "byte" || op == "word") continue;
    (op == "long" ? longs : instructions) += 1;
  }
}

// Compiles "PUB main" with the DAT lines and compares the DAT bytes the
// compiler gives with want; the text of the first difference, or empty.
std::string CompareCompiled(const DatSection& dat, std::span<const std::uint8_t> want, std::int32_t offset,
                            const std::string& compiler, const std::string& folder, const std::string& where) {
  {
    std::ofstream spin(folder + "/dat.spin");
    spin << "PUB main\n\nDAT\n";
    for (const std::string& line : dat.lines) spin << line << "\n";
  }
  // BREVIN_DAT_KEEP=DIR keeps each written block there for reading.
  if (const char* keep = std::getenv("BREVIN_DAT_KEEP"); keep != nullptr) {
    std::string name = where;
    for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' ? ch : '_';
    fs::copy_file(folder + "/dat.spin", std::string(keep) + "/" + name + ".spin", fs::copy_options::overwrite_existing);
  }
  fs::remove(folder + "/dat.binary");
  const std::string command = "'" + compiler + "' -q -b -o '" + folder + "/dat.binary' '" + folder +
                              "/dat.spin' > '" + folder + "/errors.txt' 2>&1";
  const int status = std::system(command.c_str());
  const std::vector<std::uint8_t> built = ReadFile(folder + "/dat.binary");
  if (status != 0 || built.size() < 0x18) {
    std::ifstream errors(folder + "/errors.txt");
    std::string first;
    std::getline(errors, first);
    return where + ": the compiler refused it: " + first;
  }
  // One method and no objects: the DAT starts at object offset 8.
  const std::size_t begin = 0x18, end = std::min<std::size_t>(0x10 + Word(built, 0x14), built.size());
  const std::vector<std::uint8_t> got(built.begin() + static_cast<std::ptrdiff_t>(begin),
                                      built.begin() + static_cast<std::ptrdiff_t>(std::max(begin, end)));
  if (std::equal(got.begin(), got.end(), want.begin(), want.end())) return "";
  std::size_t k = 0;
  while (k < got.size() && k < want.size() && got[k] == want[k]) ++k;
  return where + ": the bytes differ from DAT offset " + std::to_string(offset + static_cast<std::int32_t>(k)) + " (" +
         std::to_string(got.size()) + " bytes for " + std::to_string(want.size()) + ")";
}

void RoundTrip(const std::string& imagePath, const std::string& compiler, const std::string& folder, Tally& tally) {
  const std::vector<std::uint8_t> image = ReadFile(imagePath);
  test::ScriptedHost host;
  Engine engine(host);
  const LoadResult result = engine.DisassembleBytes(imagePath, image, false, true);
  if (!result.analysis) return;
  std::map<std::int32_t, std::string> names;
  for (const Symbol& s : result.analysis->symbols) names.emplace(s.address, s.name);
  std::vector<std::int32_t> starts;
  for (const AsmBlock& b : result.analysis->asmBlocks) starts.push_back(b.hubAddress);

  std::set<std::int32_t> seen;
  std::vector<ObjectPlace> objects;
  CollectObjects(image, 0x10, seen, objects);
  for (const ObjectPlace& o : objects) {
    if (o.datEnd <= o.datBegin) continue;
    DatSectionInput in;
    in.bytes = std::span(image).subspan(static_cast<std::size_t>(o.address + o.datBegin),
                                        static_cast<std::size_t>(o.datEnd - o.datBegin));
    in.offset = o.datBegin;
    in.objectAddress = o.address;
    in.asmStarts = starts;
    // The listing's names in the DAT stand for the places the Spin code uses:
    // each becomes a reference of the largest size its alignment and the
    // distance to the next name allow.
    for (auto it = names.lower_bound(o.address + o.datBegin); it != names.end() && it->first < o.address + o.datEnd;
         ++it) {
      const std::int32_t offset = it->first - o.address;
      const std::int32_t room = (std::next(it) != names.end() ? std::min(std::next(it)->first - o.address, o.datEnd)
                                                              : o.datEnd) - offset;
      int size = 4;
      while (size > 1 && (offset % size != 0 || room < size)) size /= 2;
      in.references.push_back({offset, size});
    }
    in.labelAt = [&names](std::int32_t hub) -> std::optional<std::string> {
      const auto it = names.find(hub);
      if (it == names.end()) return std::nullopt;
      return it->second;
    };
    const DatSection dat = RecoverDatSection(in);
    const std::string where = fs::path(imagePath).filename().string() + " object at " + std::to_string(o.address);
    std::string failure = CompareCompiled(dat, in.bytes, o.datBegin, compiler, folder, where);
    if (!dat.exact && failure.empty()) failure = where + ": " + dat.difference;
    for (const DatReference& r : in.references) {
      const auto label = dat.labels.find(r.offset);
      if (failure.empty() && (label == dat.labels.end() || label->second.size != r.size)) {
        failure = where + ": no label of size " + std::to_string(r.size) + " at offset " + std::to_string(r.offset);
      }
    }
    long instructions = 0, longs = 0;
    CountLines(dat.lines, instructions, longs);
    std::lock_guard guard(tally.lock);
    ++tally.sections;
    tally.instructions += instructions;
    tally.longs += longs;
    if (!dat.exact) ++tally.labelsInexact;
    if (failure.empty()) {
      ++tally.exact;
    } else {
      tally.failures.push_back(failure);
    }
  }
}

// The compiler named by BREVIN_SPIN_COMPILER, or the build tree's own, built
// from ../shared/tools the first time.
std::string SpinCompiler() {
  if (const char* given = std::getenv("BREVIN_SPIN_COMPILER"); given != nullptr && fs::exists(given)) return given;
  const std::string dest = kWork + "/spin-compiler";
  const std::string command = "'" + kShared + "/tools/build-spin-compiler' '" + dest + "' > /dev/null";
  if (std::system(command.c_str()) != 0) return "";
  return dest + "/openspin";
}

void RoundTripFolder(const std::string& folder, double floor) {
  if (!fs::exists(folder)) GTEST_SKIP() << folder << " is absent: the round trip needs the shared images";
  const std::string compiler = SpinCompiler();
  ASSERT_FALSE(compiler.empty()) << "the Spin compiler could not be built";
  std::vector<std::string> images;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".binary") images.push_back(entry.path().string());
  }
  std::sort(images.begin(), images.end());
  Tally tally;
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> workers;
  const unsigned count = std::max(2U, std::thread::hardware_concurrency() / 2);
  for (unsigned w = 0; w < count; ++w) {
    workers.emplace_back([&, w] {
      const std::string scratch = kWork + "/dat-round-trip-" + std::to_string(w);
      fs::create_directories(scratch);
      for (std::size_t i; (i = next++) < images.size();) RoundTrip(images[i], compiler, scratch, tally);
    });
  }
  for (std::thread& t : workers) t.join();
  std::sort(tally.failures.begin(), tally.failures.end());
  const double share = tally.sections == 0 ? 1.0 : static_cast<double>(tally.exact) / tally.sections;
  std::printf("%s: %d of %d DAT sections give the same bytes (%.1f%%); %ld instruction lines, %ld long lines; "
              "%d with a label that could not take its size\n",
              folder.c_str(), tally.exact, tally.sections, 100.0 * share, tally.instructions, tally.longs,
              tally.labelsInexact);
  for (std::size_t k = 0; k < tally.failures.size() && k < 8; ++k) std::printf("  %s\n", tally.failures[k].c_str());
  EXPECT_GE(share, floor);
}

// Every data case whose bytes start on a long (as the DAT of a compiled
// object does) compiles to its bytes again.
TEST(DatSectionRoundTrip, EachDataCase) {
  if (!fs::exists(kShared)) GTEST_SKIP() << kShared << " is absent: the round trip needs the Spin compiler";
  const std::string compiler = SpinCompiler();
  ASSERT_FALSE(compiler.empty()) << "the Spin compiler could not be built";
  const std::string folder = kWork + "/dat-cases";
  fs::create_directories(folder);
  for (const auto& f : CaseLines("dat_cases.txt")) {
    const DataCase c(f);
    if (c.in.offset % 4 != 0) continue;
    const DatSection dat = RecoverDatSection(c.in);
    if (!dat.exact) continue;
    EXPECT_EQ(CompareCompiled(dat, c.bytes, c.in.offset, compiler, folder, "case at " + f[0] + ": " + f[1]), "");
  }
}

// Random longs as two programs, then text and odd bytes, with Spin references
// of every size: every form the writer chooses must give the same bytes.
TEST(DatSectionRoundTrip, RandomProgramsAndData) {
  if (!fs::exists(kShared)) GTEST_SKIP() << kShared << " is absent: the round trip needs the Spin compiler";
  const std::string compiler = SpinCompiler();
  ASSERT_FALSE(compiler.empty()) << "the Spin compiler could not be built";
  const std::string folder = kWork + "/dat-random";
  fs::create_directories(folder);
  std::mt19937 random(21);
  for (int round = 0; round < 64; ++round) {
    std::vector<std::uint8_t> bytes;
    const int longs = 20 + static_cast<int>(random() % 500);
    for (int k = 0; k < longs; ++k) {
      std::uint32_t word = random();
      if (random() % 4 != 0) word |= 0xFU << 18;  // mostly instructions that always run
      if (random() % 16 == 0) word = random() % 600;  // small data values
      for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * b)));
    }
    for (const char ch : std::string("Text, then odd bytes")) bytes.push_back(static_cast<std::uint8_t>(ch));
    for (int k = 0; k < 7; ++k) bytes.push_back(static_cast<std::uint8_t>(random()));
    DatSectionInput in;
    in.bytes = bytes;
    in.offset = 8;
    in.objectAddress = 0x10;
    in.asmStarts = {0x18, 0x18 + 4 * static_cast<std::int32_t>(random() % static_cast<unsigned>(longs))};
    for (int k = 0; k < 12; ++k) {
      const int size = 1 << (random() % 3);
      in.references.push_back({8 + static_cast<std::int32_t>(random() % (bytes.size() - 4)) / size * size, size});
    }
    const DatSection dat = RecoverDatSection(in);
    const std::string failure =
        CompareCompiled(dat, bytes, in.offset, compiler, folder, "random block " + std::to_string(round));
    EXPECT_EQ(failure, "");
    for (const DatReference& r : in.references) {
      const auto label = dat.labels.find(r.offset);
      // The label takes the largest size read there; the code names smaller ones itself.
      if (label != dat.labels.end() && label->second.size >= r.size) continue;
      EXPECT_FALSE(dat.exact) << "round " << round << ": no label of size " << r.size << " at " << r.offset;
    }
  }
}

TEST(DatSectionRoundTrip, SampleImages) { RoundTripFolder(kShared + "/corpus", 1.0); }

TEST(DatSectionRoundTrip, RealWorldImages) { RoundTripFolder(kShared + "/realworld", 0.99); }

}  // namespace
}  // namespace brevin::recovery
