// "Trace All Methods": with it every method table entry of every object starts
// a decoded method and the listing still shows every byte once; with or
// without it the model lists exactly the entries of the object tables; broken
// tables neither crash nor turn bytes into code.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "brevin/engine.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::ScriptedHost;

const std::string kData = BREVIN_TEST_DATA;

// The image's bytes, 32 KB.
std::vector<std::uint8_t> ImageOf(const std::string& path) {
  std::vector<std::uint8_t> bytes = test::ReadBytes(path);
  bytes.resize(32768, 0);
  return bytes;
}

std::int64_t Word(const std::vector<std::uint8_t>& b, std::int64_t a) {
  return b[static_cast<std::size_t>(a)] | b[static_cast<std::size_t>(a) + 1] << 8;
}

// What a compiled image's tables say, read here on their own: each object of
// the tree (by object entries from PBASE) with the targets of its method entries.
std::map<std::int64_t, std::vector<std::int64_t>> TablesOf(const std::vector<std::uint8_t>& b) {
  std::map<std::int64_t, std::vector<std::int64_t>> tables;
  std::vector<std::int64_t> pending{Word(b, 6)};
  while (!pending.empty()) {
    const std::int64_t base = pending.back();
    pending.pop_back();
    if (tables.count(base)) continue;
    const std::int64_t methods = b[static_cast<std::size_t>(base) + 2] - 1, objects = b[static_cast<std::size_t>(base) + 3];
    auto& targets = tables[base];
    for (std::int64_t k = 1; k <= methods; ++k) targets.push_back(base + Word(b, base + 4 * k));
    for (std::int64_t j = 1; j <= objects; ++j) pending.push_back(base + Word(b, base + 4 * (methods + j)));
  }
  return tables;
}

// The first fault of the listing's byte columns: an address below end shown on
// no line, on two, or out of order. Empty when every byte is shown once.
std::string ByteCoverageFault(const std::string& listing, std::int64_t end) {
  std::vector<int> shown(static_cast<std::size_t>(end), 0);
  std::int64_t next = 0;
  for (const std::string& line : test::Lines(listing)) {
    if (line.size() < 15 || line[4] != ' ') continue;
    if (!std::all_of(line.begin(), line.begin() + 4, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
      continue;
    std::size_t at = line[14] == '+' ? 16 : 13;  // a continuation line shows more bytes of its item
    std::int64_t address = std::stoll(line.substr(0, 4), nullptr, 16);
    if (address >= end) continue;
    if (std::isxdigit(static_cast<unsigned char>(line[at])) && address != next) {
      return "line at $" + line.substr(0, 4) + " after bytes up to " + std::to_string(next);
    }
    for (; at + 1 < line.size() && std::isxdigit(static_cast<unsigned char>(line[at])) &&
           std::isxdigit(static_cast<unsigned char>(line[at + 1]));
         at += 3) {
      if (address < end) ++shown[static_cast<std::size_t>(address)];
      next = ++address;
    }
  }
  for (std::int64_t a = 0; a < end; ++a) {
    if (shown[static_cast<std::size_t>(a)] != 1) {
      return "byte " + std::to_string(a) + " shown " + std::to_string(shown[static_cast<std::size_t>(a)]) + " times";
    }
  }
  return {};
}

struct Figures {
  int entries = 0, decoded = 0, images = 0;
  std::vector<std::string> faults;
  // With the option: the images that list an assembly block (ORG 0), and those
  // with a cog start that launches assembly (one not right after MARK, which
  // starts a Spin method instead).
  std::set<std::string> withOrg0, launchingAssembly;
};

// Whether a code line of the listing starts a cog with assembly.
bool LaunchesAssembly(const Analysis& a) {
  std::string_view previous;
  for (const ListingLine& line : a.lines) {
    if (line.mnemonic().empty() || line.cog) continue;
    if ((line.mnemonic() == "COGIFUN" || line.mnemonic() == "COGISUB") && previous != "MARK") return true;
    previous = line.mnemonic();
  }
  return false;
}

// Lists the image with and without the option and checks the model against
// the tables and, with the option, the decoding and the byte columns.
void CheckImage(const std::string& path, Figures& figures) {
  const std::string name = std::filesystem::path(path).filename().string();
  const std::vector<std::uint8_t> bytes = ImageOf(path);
  const auto tables = TablesOf(bytes);
  for (const bool all : {false, true}) {
    ScriptedHost host;
    host.options.IncludeSourceCode = false;
    host.options.InhibitWarnings = true;
    host.options.TraceAllMethods = all;
    Engine e(host);
    const LoadResult r = e.LoadAndDisassemble(path, false);
    if (r.status != LoadStatus::Listed) {
      figures.faults.push_back(name + ": not listed: " + r.message);
      return;
    }
    const Analysis& a = *r.analysis;
    // The model's objects and entries are the tables', in image and table order.
    std::map<std::int64_t, std::vector<std::int64_t>> listed;
    int untraced = 0, entries = 0;
    for (const ObjectInfo& o : a.objects) {
      auto& targets = listed[o.address];
      for (const Method& m : o.methods) {
        if (m.index != static_cast<int>(targets.size()) + 1) figures.faults.push_back(name + ": entry out of order");
        targets.push_back(m.address);
        ++entries;
        untraced += m.traced ? 0 : 1;
      }
    }
    if (listed != tables) figures.faults.push_back(name + ": the model's methods are not the tables' entries");
    if (r.methodEntries != entries || r.untracedMethods != untraced) {
      figures.faults.push_back(name + ": the load's method counts differ from the model's");
    }
    // Every symbol carries its listing name, once.
    std::set<std::string> names;
    for (const Symbol& s : a.symbols) {
      if (s.name.empty() || !names.insert(s.name).second) {
        figures.faults.push_back(name + ": symbol at " + std::to_string(s.address) + " named \"" + s.name + "\"");
        break;
      }
    }
    if (!all) continue;

    ++figures.images;
    if (!a.asmBlocks.empty()) figures.withOrg0.insert(name);
    if (LaunchesAssembly(a)) figures.launchingAssembly.insert(name);
    std::set<std::int32_t> blocks;
    for (const AsmBlock& b : a.asmBlocks) blocks.insert(b.hubAddress);
    for (const ObjectInfo& o : a.objects) {
      const std::int64_t end = std::min<std::int64_t>(o.address + Word(bytes, o.address), a.image.vbase);
      const std::int64_t tableEnd = o.address + 4 * (bytes[static_cast<std::size_t>(o.address) + 2] +
                                                     bytes[static_cast<std::size_t>(o.address) + 3]);
      for (const Method& m : o.methods) {
        // A well-formed entry lies past its table and inside its object. A program
        // may start its own first method's bytes as assembly: that entry stays assembly.
        if (m.address < tableEnd || m.address >= end || blocks.count(m.address)) continue;
        ++figures.entries;
        if (m.traced) {
          ++figures.decoded;
        } else {
          figures.faults.push_back(name + ": entry " + std::to_string(m.index) + " of the object at " +
                                   std::to_string(o.address) + " not decoded");
        }
      }
    }
    if (std::string fault = ByteCoverageFault(a.listing, a.image.vbase); !fault.empty()) {
      figures.faults.push_back(name + ": " + fault);
    }
  }
}

TEST(TraceAllMethods, EverySampleDecodesEveryEntryAndListsEveryByteOnce) {
  Figures figures;
  for (const auto& entry : std::filesystem::directory_iterator(kData)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".binary" || ext == ".eeprom") CheckImage(entry.path().string(), figures);
  }
  EXPECT_GE(figures.images, 40);
  EXPECT_EQ(figures.decoded, figures.entries);
  EXPECT_TRUE(figures.faults.empty()) << figures.faults.size() << " faults, the first: " << figures.faults.front();
}

TEST(TraceAllMethods, EveryRealProgramDecodesEveryEntryAndListsEveryByteOnce) {
  const std::filesystem::path folder = kData + "/../../../shared/realworld";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no real programs at " << folder;
  Figures figures;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".binary") CheckImage(entry.path().string(), figures);
  }
  EXPECT_GE(figures.images, 1000);
  EXPECT_EQ(figures.decoded, figures.entries);
  EXPECT_TRUE(figures.faults.empty()) << figures.faults.size() << " faults, the first: " << figures.faults.front();

  // The programs whose first method starts a cog, by the manifest: those that
  // start assembly list it with ORG 0; the others start only Spin methods in new
  // cogs (cognew(method(...), @stack)) and hold no assembly program. Every
  // program that starts assembly from any method lists it too.
  std::ifstream manifest(folder / "MANIFEST.tsv");
  std::set<std::string> starting, startingAssembly;
  for (std::string row; std::getline(manifest, row);) {
    if (row.ends_with("\tyes")) starting.insert(row.substr(0, row.find('\t')));
  }
  std::ranges::set_intersection(starting, figures.launchingAssembly,
                                std::inserter(startingAssembly, startingAssembly.begin()));
  auto listed = [&](const std::set<std::string>& files) {
    return 100 * static_cast<std::size_t>(std::ranges::count_if(files, [&](const std::string& f) { return figures.withOrg0.count(f) > 0; }));
  };
  EXPECT_GE(starting.size(), 290u);
  EXPECT_GE(listed(starting), 89 * starting.size());
  EXPECT_GE(listed(startingAssembly), 98 * startingAssembly.size());
  EXPECT_GE(listed(figures.launchingAssembly), 98 * figures.launchingAssembly.size());
}

// The code address of a cog start given as a DAT label with a constant index
// (@entry[n]) is launched with the option when it is a free long of the
// program, and never without it. The object: its table, the DAT longs
// MOV DIRA, #1 and JMP #0 at +8, then the one method at +16.
TEST(TraceAllMethods, IndexedCodeAddressesLaunchAssemblyOnlyWherePlausible) {
  struct Case {
    const char* form;
    std::vector<std::uint8_t> method;
    int launchedWith, launchedWithout;  // the hub address of the assembly block, or 0
  };
  const Case cases[] = {
      {"cognew(@entry[0], 0)", {0x34, 0x35, 0xD7, 0x08, 0x35, 0x2C, 0x32}, 0x18, 0},
      {"cognew(@table[1], 0): long 1 past +4", {0x34, 0x36, 0xD7, 0x04, 0x35, 0x2C, 0x32}, 0x18, 0},
      {"cognew(@entry[1]) of bytes: not a long", {0x34, 0x36, 0x97, 0x08, 0x35, 0x2C, 0x32}, 0, 0},
      {"cognew(@method[0]): traced Spin code", {0x34, 0x35, 0xD7, 0x10, 0x35, 0x2C, 0x32}, 0, 0},
      {"cognew(@entry[16]): past VBASE", {0x34, 0x38, 0x10, 0xD7, 0x08, 0x35, 0x2C, 0x32}, 0, 0},
      {"cognew(@entry[0 + 1]): a computed index", {0x34, 0x35, 0x36, 0xEC, 0xD7, 0x08, 0x35, 0x2C, 0x32}, 0, 0},
      {"cognew(@entry, @buffer[0])", {0x34, 0xC7, 0x08, 0x35, 0xD7, 0x0C, 0x2C, 0x32}, 0x18, 0x18},
  };
  for (const Case& c : cases) {
    test::ImageSpec spec;
    spec.object = {0, 0, 2, 0, 16, 0, 0, 0, 0x01, 0xEC, 0xFF, 0xA0, 0x00, 0x00, 0x7C, 0x5C};
    for (const std::uint8_t b : c.method) spec.object.push_back(b);
    spec.varBytes = 4;
    const std::vector<std::uint8_t> image = test::BuildImage(spec);
    for (const bool all : {false, true}) {
      ScriptedHost host;
      host.options.TraceAllMethods = all;
      Engine e(host);
      const LoadResult r = e.DisassembleBytes("launch.binary", image, false);
      ASSERT_EQ(r.status, LoadStatus::Listed) << c.form;
      const int expected = all ? c.launchedWith : c.launchedWithout;
      const auto& blocks = r.analysis->asmBlocks;
      EXPECT_EQ(blocks.empty() ? 0 : blocks.front().hubAddress, expected) << c.form << (all ? " with" : " without");
      EXPECT_EQ(ByteCoverageFault(r.analysis->listing, r.analysis->image.vbase), "") << c.form;
    }
  }
}

// A table whose entries point outside the object, outside the image and into
// the middle of a method: those entries stay undecoded and the method they point
// into keeps its instructions. The DAT long between the table and the method is
// listed as data once the methods are known.
TEST(TraceAllMethods, BrokenEntriesAreNotTracedAndDataStaysData) {
  test::ImageSpec spec;
  spec.object = {0, 0, 5, 0,           // four methods, no sub-objects
                 24, 0, 0, 0,          // 1: the method at +24
                 0x00, 0x10, 0, 0,     // 2: past the object
                 26, 0, 0, 0,          // 3: inside method 1
                 0xF0, 0xFF, 0, 0,     // 4: past the image
                 1, 2, 3, 4,           // DAT
                 0x35, 0x36, 0xEC, 0x61, 0x32};  // PUSH 0, PUSH 1, ADD, POP, RETURN
  spec.varBytes = 4;
  const std::vector<std::uint8_t> image = test::BuildImage(spec);
  for (const bool all : {false, true}) {
    SCOPED_TRACE(all ? "traced from every entry" : "traced from PINIT");
    ScriptedHost host;
    host.options.TraceAllMethods = all;
    Engine e(host);
    const LoadResult r = e.DisassembleBytes("broken.binary", image, false);
    ASSERT_EQ(r.status, LoadStatus::Listed) << r.message;
    const std::vector<Method>& methods = r.analysis->objects.front().methods;
    ASSERT_EQ(methods.size(), 4u);
    EXPECT_TRUE(methods[0].traced);
    for (std::size_t k : {1u, 2u, 3u}) EXPECT_FALSE(methods[k].traced) << k;
    EXPECT_EQ(methods[3].address, 0x10 + 0xFFF0);
    EXPECT_EQ(r.untracedMethods, 3);
    // The ADD inside method 1 is listed as its instruction, with no label of a method start.
    const ListingLine* inside = nullptr;
    const ListingLine* dat = nullptr;
    for (const ListingLine& line : r.analysis->lines) {
      if (line.address == 0x10 + 26 && line.size != 0) inside = &line;
      if (line.address == 0x10 + 20 && line.text.size() > 38) dat = &line;
    }
    ASSERT_NE(inside, nullptr);
    EXPECT_EQ(inside->mnemonic(), "ADD");
    EXPECT_EQ(inside->labelStart, inside->labelEnd) << inside->text;
    ASSERT_NE(dat, nullptr);
    EXPECT_EQ(dat->text.substr(38, 9) == "LONG     ", all) << dat->text;
    EXPECT_EQ(r.analysis->listing.find("; ----") == std::string::npos, all);
    EXPECT_EQ(ByteCoverageFault(r.analysis->listing, r.analysis->image.vbase), "");
  }
}

}  // namespace
}  // namespace brevin
