// The library of known objects: its file, the prints, matching and the
// names an analysis takes from it.
#include <cctype>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "brevin/library.h"
#include "library/fingerprint.h"
#include "library/library_data.h"
#include "library/matcher.h"
#include "test_support.h"

namespace brevin {
namespace {

namespace fs = std::filesystem;
const std::string kData = BREVIN_TEST_DATA;
const std::string kLibraryCases = kData + "/library/";
const std::string kRealWorld = "../shared/realworld";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  const std::string text = ReadFile(path);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

library::LibraryData Cases() {
  library::LibraryData data;
  std::string problem;
  EXPECT_TRUE(data.Parse(ReadFile(kLibraryCases + "cases.tsv"), problem)) << problem;
  return data;
}

// An object's print made up for a case: its own print and its methods' (print, bytes, calls).
library::ObjectPrint Object(library::Print print, std::vector<library::MethodPrint> methods) {
  library::ObjectPrint o;
  o.print = print;
  o.methods = std::move(methods);
  for (const library::MethodPrint& m : o.methods) o.bytes += m.bytes;
  return o;
}

library::MethodPrint Method(library::Print print, int bytes, std::vector<library::CallSite> calls = {}) {
  return library::MethodPrint{print, bytes, std::move(calls)};
}

// A tree of one object with so many methods and enough DAT to be told apart.
recovery::ImageTree Tree(std::size_t objects, std::int32_t dat = 16) {
  recovery::ImageTree tree;
  tree.objects.resize(objects);
  for (recovery::ObjectImage& o : tree.objects) o.datEnd = o.datStart + dat;
  return tree;
}

library::LibraryMatch Match(const library::LibraryData& data, const std::vector<library::ObjectPrint>& prints,
                            const std::string& excluded = {}, std::int32_t dat = 16) {
  const library::LibraryData* libraries[] = {&data};
  return library::MatchTree(Tree(prints.size(), dat), prints, libraries, excluded);
}

std::string NameOf(const library::MethodMatch& m) {
  return m.method != nullptr ? m.method->name : m.abstained ? "(abstained)" : "";
}

TEST(LibraryFile, ReadsWhatItWritesAndCountsCopiesOfTheSameEntry) {
  library::LibraryData data = Cases();
  ASSERT_EQ(data.Size(), 5u);
  // The object line is read with the file, the methods when first asked for.
  EXPECT_EQ(data.Entries()[0].methodCount, 5u);
  EXPECT_TRUE(data.Entries()[0].methods.empty());
  const library::LibraryEntry& a = data.Details(0);
  EXPECT_EQ(a.file, "SerialA");
  EXPECT_EQ(a.copies, 2);
  EXPECT_EQ(a.folders, (std::vector<std::string>{"folder1", "folder2"}));
  EXPECT_EQ(a.methods[0].parameters, (std::vector<std::string>{"rx", "tx"}));
  EXPECT_EQ(a.methods[0].result, "okay");
  EXPECT_EQ(a.methods[2].locals, (std::vector<std::string>{"i"}));
  EXPECT_EQ(a.methods[0].calls, (std::vector<library::CallSite>{{0, 3}}));
  library::LibraryData again;
  std::string problem;
  ASSERT_TRUE(again.Parse(data.Text(true), problem)) << problem;
  EXPECT_EQ(again.Text(true), data.Text(true));
  // The shipped form leaves the folders out.
  EXPECT_EQ(data.Text(false).find("folder1"), std::string::npos);
  library::LibraryEntry copy = data.Details(0);
  copy.folders = {"folder9"};
  EXPECT_FALSE(data.Add(copy));
  EXPECT_EQ(data.Entries()[0].copies, 4);
  copy.file = "Renamed";
  EXPECT_TRUE(data.Add(copy));
}

TEST(LibraryFile, RefusesWhatIsNoLibraryAndSaysWhichLine) {
  const std::map<std::string, std::string> cases = {
      {"bad-version.tsv", "line 1: not a library file"}, {"method-first.tsv", "line 2: a record before"},
      {"short-print.tsv", "line 3: a bad method line"},   {"bad-kind.tsv", "line 3: a bad method line"},
      {"unknown-record.tsv", "line 3: an unknown record"}, {"binary.tsv", "line 1: not a library file"},
      {"empty.tsv", "line 0: the file is empty"},
  };
  for (const auto& [file, expected] : cases) {
    library::LibraryData data;
    std::string problem;
    EXPECT_FALSE(data.Parse(ReadFile(kLibraryCases + file), problem)) << file;
    EXPECT_EQ(problem.substr(0, expected.size()), expected) << file << ": " << problem;
    EXPECT_EQ(data.Size(), 0u) << file;
  }
}

// A record damaged past what the load checks is found when its entry is first
// read: the entry then names nothing, the others still do, and a library to
// be written back (--learn) is refused whole.
TEST(LibraryFile, AnEntryWithADamagedRecordNamesNothing) {
  library::LibraryData data;
  std::string problem;
  ASSERT_TRUE(data.Parse(ReadFile(kLibraryCases + "damaged-method.tsv"), problem)) << problem;
  auto match = Match(data, {Object(0xa1, {Method(0xb01, 40), Method(0xb02, 24)}),
                            Object(0xa2, {Method(0xb03, 40), Method(0xb04, 24)})});
  EXPECT_FALSE(match.objects[0].Named());
  EXPECT_EQ(NameOf(match.objects[0].methods[0]), "");
  EXPECT_EQ(match.objects[1].file, "Whole");
  EXPECT_EQ(NameOf(match.objects[1].methods[1]), "halt");
  ObjectLibrary library;
  EXPECT_FALSE(library.Load(ReadFile(kLibraryCases + "damaged-method.tsv"), problem));
  EXPECT_NE(problem.find("Broken"), std::string::npos) << problem;
  EXPECT_EQ(library.Entries(), 0u);
}

TEST(LibraryMatch, AWholeMatchTakesEveryNameAndAbstainsWhereEntriesDiffer) {
  const library::LibraryData data = Cases();
  // SerialA alone (SerialB has another print): every name, and its VAR, DAT and CON.
  auto match = Match(data, {Object(0xa1, {Method(0xb01, 40, {{0, 3}}), Method(0xb02, 30), Method(0xb03, 4),
                                          Method(0xb04, 4), Method(0xb05, 6, {{0, 2}})})});
  const library::ObjectMatch& m = match.objects[0];
  EXPECT_TRUE(m.whole);
  EXPECT_EQ(m.file, "SerialA");
  ASSERT_NE(m.entry, nullptr);
  EXPECT_EQ(m.entry->labels.front().name, "entry");
  EXPECT_EQ(m.entry->constants.front().value, "13");
  EXPECT_EQ(m.entry->variables.front().name, "cog");
  EXPECT_EQ(NameOf(m.methods[2]), "helper");
  EXPECT_EQ(NameOf(m.methods[3]), "tiny");  // small, but its object matched
  // Leaving SerialA's two folders out leaves nothing of that print.
  match = Match(data, {Object(0xa1, {Method(0xb01, 40, {{0, 3}}), Method(0xb02, 30), Method(0xb03, 4),
                                     Method(0xb04, 4), Method(0xb05, 6)})},
                "folder1");
  EXPECT_TRUE(match.objects[0].whole);
  match = Match(data, {Object(0xa1, {Method(0x1, 40), Method(0x2, 30), Method(0x3, 4), Method(0x4, 4), Method(0x5, 6)})});
  EXPECT_TRUE(match.objects[0].whole);
}

TEST(LibraryMatch, TwoEntriesOfOnePrintAbstainWhereTheirNamesDiffer) {
  library::LibraryData data = Cases();
  library::LibraryEntry twin = data.Details(0);
  twin.file = "SerialTwin";
  twin.methods[1].name = "send";
  twin.folders = {"folder5"};
  data.Add(twin);
  const auto match = Match(data, {Object(0xa1, {Method(0xb01, 40, {{0, 3}}), Method(0xb02, 30), Method(0xb03, 4),
                                                Method(0xb04, 4), Method(0xb05, 6)})});
  const library::ObjectMatch& m = match.objects[0];
  EXPECT_TRUE(m.fileAbstained);
  EXPECT_EQ(m.file, "");
  EXPECT_EQ(NameOf(m.methods[0]), "start");
  EXPECT_EQ(NameOf(m.methods[1]), "(abstained)");
}

// Copies of one object that capitalise its names differently agree: Spin
// ignores letter case. The names are the spelling of the most copies.
TEST(LibraryMatch, EntriesOfOnePrintThatDifferOnlyInCaseAgree) {
  library::LibraryData data = Cases();
  library::LibraryEntry twin = data.Details(0);
  twin.methods[1].name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(twin.methods[1].name[0])));
  for (library::LibraryVariable& v : twin.variables) v.name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(v.name[0])));
  twin.folders = {"folder5"};
  twin.copies = 0;
  data.Add(twin);
  const auto match = Match(data, {Object(0xa1, {Method(0xb01, 40, {{0, 3}}), Method(0xb02, 30), Method(0xb03, 4),
                                                Method(0xb04, 4), Method(0xb05, 6)})});
  const library::ObjectMatch& m = match.objects[0];
  EXPECT_EQ(m.file, "SerialA");
  EXPECT_EQ(NameOf(m.methods[1]), data.Details(0).methods[1].name);
  ASSERT_NE(m.entry, nullptr);
  EXPECT_EQ(m.entry->variables.front().name, "cog");
}

TEST(LibraryMatch, APartialMatchNamesMethodsWhoseCallersAgree) {
  const library::LibraryData data = Cases();
  // An edited SerialA (another object print): the large methods match, the
  // small helper is named because start calls it where the entry's does; the
  // small tiny method nobody calls stays unnamed.
  auto match = Match(data, {Object(0x99, {Method(0xb01, 40, {{0, 3}}), Method(0xb02, 30), Method(0xb03, 4),
                                          Method(0xb04, 4), Method(0x77, 50)})},
                     "folder3");
  const library::ObjectMatch& m = match.objects[0];
  EXPECT_FALSE(m.whole);
  EXPECT_EQ(m.file, "");  // a partial match names no file
  EXPECT_EQ(NameOf(m.methods[0]), "start");
  EXPECT_EQ(NameOf(m.methods[1]), "tx");
  EXPECT_EQ(NameOf(m.methods[2]), "helper");
  EXPECT_EQ(NameOf(m.methods[3]), "");
  EXPECT_EQ(NameOf(m.methods[4]), "");
  // A small method named because the method it calls is named where the entry's calls it.
  match = Match(data, {Object(0x96, {Method(0xb01, 40, {{0, 3}}), Method(0xb02, 30), Method(0xb03, 4),
                                     Method(0xb04, 4), Method(0xb05, 6, {{0, 2}})})},
                "folder3");
  EXPECT_EQ(NameOf(match.objects[0].methods[4]), "wrapper");
  // Calling another method than the entry's does: no name.
  match = Match(data, {Object(0x96, {Method(0xb01, 40, {{0, 3}}), Method(0xb02, 30), Method(0xb03, 4),
                                     Method(0xb04, 4), Method(0xb05, 6, {{0, 1}})})},
                "folder3");
  EXPECT_EQ(NameOf(match.objects[0].methods[4]), "");
  // A caller that calls another method at that point than the entry's: no name for the callee.
  match = Match(data, {Object(0x98, {Method(0xd01, 40, {{0, 3}}), Method(0x5, 30), Method(0xd02, 30)})}, "");
  EXPECT_EQ(NameOf(match.objects[0].methods[0]), "main");
  EXPECT_EQ(NameOf(match.objects[0].methods[2]), "(abstained)");  // second / second_b: two entries fit equally
}

TEST(LibraryMatch, EntriesThatFitEquallyWellAbstain) {
  const library::LibraryData data = Cases();
  // SerialA and SerialB share start and tx's print, naming tx differently.
  const auto match = Match(data, {Object(0x97, {Method(0xb01, 40, {{0, 3}}), Method(0xb02, 30)})});
  EXPECT_EQ(NameOf(match.objects[0].methods[0]), "start");
  EXPECT_EQ(NameOf(match.objects[0].methods[1]), "(abstained)");
}

TEST(LibraryMatch, AnObjectOfConstantsAloneIsNotNamed) {
  const library::LibraryData data = Cases();
  const auto match = Match(data, {Object(0xc1, {Method(0xc02, 4)})}, "", 0);
  EXPECT_FALSE(match.objects[0].whole);
  EXPECT_EQ(match.objects[0].file, "");
  EXPECT_EQ(NameOf(match.objects[0].methods[0]), "");
}

// The same library object compiled into different programs gives the same
// prints: the serial driver compiled alone and inside the programs using it.
TEST(LibraryPrints, TheSameObjectInDifferentProgramsHasOnePrint) {
  const std::string alone = kRealWorld + "/4D-Systems-uOLED-160-G1S__FullDuplexSerial.binary";
  if (!fs::exists(alone)) GTEST_SKIP() << "../shared/realworld is absent";
  const std::vector<std::uint8_t> bytes = ReadBytes(alone);
  const recovery::ImageTree tree = recovery::ReadImageTree(bytes);
  ASSERT_TRUE(tree.error.empty());
  const library::ObjectPrint serial = library::FingerprintObject(tree.objects.front());
  int programs = 0, asChild = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(kRealWorld)) {
    if (entry.path().extension() != ".binary") continue;
    const std::vector<std::uint8_t> image = ReadBytes(entry.path().string());
    const recovery::ImageTree t = recovery::ReadImageTree(image);
    if (!t.error.empty()) continue;
    const std::vector<library::ObjectPrint> prints = library::FingerprintTree(t);
    for (std::size_t o = 0; o < prints.size(); ++o) {
      if (prints[o].print != serial.print) continue;
      ++programs;
      if (o > 0) ++asChild;
      ASSERT_EQ(prints[o].methods.size(), serial.methods.size()) << entry.path();
      for (std::size_t m = 0; m < serial.methods.size(); ++m) {
        EXPECT_EQ(prints[o].methods[m].print, serial.methods[m].print) << entry.path() << " method " << m + 1;
      }
    }
  }
  EXPECT_GE(programs, 20);
  EXPECT_GE(asChild, 15);  // at other addresses, with other neighbours and VAR offsets
}

// An analysis takes names from the library files the host gives; the listing
// text stays byte for byte the same.
class LibraryHost : public test::ScriptedHost {
 public:
  std::vector<LibraryFile> files;
  std::vector<LibraryFile> LibraryFiles() override { return files; }
};

TEST(LibraryNames, TheModelTakesNamesAndTheListingStaysTheSame) {
  const std::string image = kRealWorld + "/1-wire_Routines_in_Spin__TV_Text.binary";
  if (!fs::exists(image)) GTEST_SKIP() << "../shared/realworld is absent";
  LibraryHost host;
  host.options.IncludeSourceCode = false;
  Engine plain(host);
  const LoadResult without = plain.LoadAndDisassemble(image, false);
  host.files = {{"data/library/objects.tsv", false}};
  Engine named(host);
  const LoadResult with = named.LoadAndDisassemble(image, false);
  ASSERT_EQ(with.status, LoadStatus::Listed);
  EXPECT_TRUE(with.warnings.empty());
  EXPECT_EQ(with.analysis->listing, without.analysis->listing);
  const ObjectInfo& tv = with.analysis->objects.at(1);
  EXPECT_EQ(tv.libraryName.value_or(""), "tv");
  EXPECT_EQ(tv.methods.at(0).libraryName.value_or(""), "start");
  EXPECT_EQ(with.analysis->LibraryNameAddress("TV.Stop"), tv.methods.at(1).address);
  EXPECT_EQ(with.analysis->LibraryNameAddress("stop"), with.analysis->objects.at(0).methods.at(1).address);
  EXPECT_EQ(with.analysis->LibraryNameAddress("entry"), std::optional<std::int32_t>(0x260));  // a DAT label
  EXPECT_FALSE(with.analysis->LibraryNameAddress("tv.entry"));
  // Off: no names.
  host.options.LibraryNames = false;
  const LoadResult off = named.LoadAndDisassemble(image, false);
  EXPECT_FALSE(off.analysis->objects.at(1).libraryName);
}

TEST(LibraryNames, AMissingOrCorruptFileGivesOneWarningAndTheListingGoesOn) {
  LibraryHost host;
  host.options.IncludeSourceCode = false;
  const std::string image = kData + "/crc_calc.binary";
  Engine plain(host);
  const std::string listing = plain.LoadAndDisassemble(image, false).analysis->listing;
  const std::vector<std::pair<LibraryHost::LibraryFile, std::string>> cases = {
      {{kLibraryCases + "absent.tsv", false}, "absent.tsv: the library of known objects is missing"},
      {{kLibraryCases + "short-print.tsv", false}, "short-print.tsv: is no library of known objects (line 3"},
      {{kLibraryCases + "short-print.tsv", true}, "short-print.tsv: is no library of known objects (line 3"},
      {{kLibraryCases, false}, "library/: is not a file"},
  };
  for (const auto& [file, expected] : cases) {
    host.files = {file, {kLibraryCases + "cases.tsv", false}};
    Engine engine(host);
    for (int load = 0; load < 2; ++load) {  // told once while the file stays as it is
      const LoadResult result = engine.LoadAndDisassemble(image, false);
      ASSERT_EQ(result.status, LoadStatus::Listed);
      ASSERT_EQ(result.warnings.size(), load == 0 ? 1u : 0u) << expected;
      if (load == 0) {
        EXPECT_NE(result.warnings[0].find(expected), std::string::npos) << result.warnings[0];
      }
      EXPECT_EQ(result.analysis->listing, listing);
    }
  }
  // A person's library not made yet is no problem.
  host.files = {{kLibraryCases + "absent.tsv", true}};
  Engine engine(host);
  EXPECT_TRUE(engine.LoadAndDisassemble(image, false).warnings.empty());
}

TEST(ObjectLibraryLearn, LearnsAnImageWithItsSourceAndRefusesAnotherSource) {
  ObjectLibrary library;
  const std::vector<std::uint8_t> image = ReadBytes(kData + "/crc_calc.binary");
  const auto none = [](const std::string&) { return std::string(); };
  ObjectLibrary::Learned learned = library.Learn(image, "crc_calc.spin", ReadFile(kData + "/crc_calc.spin"), none);
  EXPECT_EQ(learned.problem, "");
  EXPECT_EQ(learned.added, 1);
  EXPECT_EQ(library.Entries(), 1u);
  EXPECT_NE(library.Text().find("\tcrc_calc\t"), std::string::npos);
  // Once more: the same entry, counted twice.
  learned = library.Learn(image, "crc_calc.spin", ReadFile(kData + "/crc_calc.spin"), none);
  EXPECT_EQ(learned.added, 0);
  EXPECT_EQ(library.Entries(), 1u);
  // Another program's source does not fit.
  learned = library.Learn(image, "dual_pwm.spin", ReadFile(kData + "/dual_pwm.spin"), none);
  EXPECT_NE(learned.problem.find("dual_pwm.spin does not match the image: "), std::string::npos) << learned.problem;
  EXPECT_EQ(library.Entries(), 1u);
}

}  // namespace
}  // namespace brevin
