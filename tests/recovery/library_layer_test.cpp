// The library's names in the name table: what a match gives, what stays
// generated when a name is taken, and the file and OBJ names.
#include <gtest/gtest.h>

#include "recovery/library_layer.h"
#include "recovery/name_table.h"

namespace brevin::recovery {
namespace {

// An object of so many methods with a few bytes of locals each, its VAR and DAT.
ObjectImage Object(std::size_t methods, std::int32_t varSize = 0) {
  ObjectImage o;
  o.methods.resize(methods);
  o.ownVarSize = varSize;
  o.datStart = 8;
  o.datEnd = 24;
  return o;
}

ObjectPlan Plan(std::size_t methods) {
  ObjectPlan plan;
  plan.methodFacts.resize(methods);
  return plan;
}

LibraryMethodNames Named(const std::string& name, bool isPublic = true, std::vector<std::string> parameters = {}) {
  return LibraryMethodNames{name, isPublic, std::move(parameters), "", {}};
}

TEST(LibraryLayer, AWholeMatchNamesEverythingThatFits) {
  NameTable table({0}, {3}, "top");
  LibraryObjectNames lib;
  lib.whole = true;
  lib.methods = {Named("start", true, {"rx", "tx"}), Named("tx", true, {"c"}), Named("helper", false)};
  lib.methods[0]->locals = {"i", "buf"};
  lib.methods[0]->result = "okay";
  // A long, a word array of three and a byte array to the end of the object's 12 VAR bytes.
  lib.variables = {{0, 4, "cog"}, {4, 2, "words"}, {10, 1, "bytes"}};
  lib.labels = {{8, 4, "entry"}, {30, 4, "past_the_dat"}};
  lib.constants = {{"CR", "13"}, {"HALF", "0.5"}, {"BIG", "1e+30"}, {"bad name", "1"}};
  ObjectImage object = Object(3, 12);
  object.methods[0].localSize = 16;  // i and buf[3]
  ObjectPlan plan = Plan(3);
  plan.methodFacts[0].localOffsets = {12, 16};
  TakeLibraryNames(table.Object(0), lib, "Serial", object, plan);
  const ObjectNames& n = table.Object(0);
  EXPECT_EQ(n.methods, (std::vector<std::string>{"start", "tx", "helper"}));
  EXPECT_EQ(n.parameters[0], (std::vector<std::string>{"rx", "tx"}));
  EXPECT_TRUE(n.source.kindsKnown);
  EXPECT_FALSE(n.source.methods[2].isPublic);
  EXPECT_EQ(n.source.methods[0].result, "okay");
  ASSERT_TRUE(n.source.methods[0].localsKnown);
  EXPECT_EQ(n.source.methods[0].locals[1].name, "buf");
  EXPECT_EQ(n.source.methods[0].locals[1].count, 3);
  ASSERT_EQ(n.source.variables.size(), 3u);
  EXPECT_EQ(n.source.variables[1].count, 3);
  EXPECT_EQ(n.source.variables[2].count, 2);
  ASSERT_EQ(n.source.dat.labels.size(), 1u);
  EXPECT_EQ(n.source.dat.labels[0].offset, 0);
  ASSERT_EQ(n.source.constants.size(), 2u);  // no float the compiler cannot read, no name it cannot take
  EXPECT_EQ(n.source.constants[1].text, "0.5");
  EXPECT_TRUE(n.libraryConstants);
  EXPECT_EQ(n.libraryFile, "Serial");
}

TEST(LibraryLayer, APartialMatchNamesItsMethodsOnlyAndAClashKeepsTheTablesName) {
  NameTable table({0}, {3}, "top");
  table.Object(0).methods[2] = "tx";  // the listing's label
  LibraryObjectNames lib;
  lib.methods = {Named("tx"), std::nullopt, Named("PUB")};  // taken, unmatched, a word of the language
  lib.declaredName = "ser";
  TakeLibraryNames(table.Object(0), lib, "Serial", Object(3), Plan(3));
  const ObjectNames& n = table.Object(0);
  EXPECT_EQ(n.methods, (std::vector<std::string>{"method1", "method2", "tx"}));
  EXPECT_FALSE(n.source.kindsKnown);
  EXPECT_TRUE(n.source.variables.empty());
  EXPECT_FALSE(n.libraryConstants);
  EXPECT_EQ(n.libraryFile, "");
  EXPECT_EQ(LibraryEntryName(n), "ser");
}

TEST(LibraryLayer, ChildFilesTakeTheSourcesNamesThenTheLibrarysOnceEach) {
  NameTable table({0, 1, 2, 3}, {1, 1, 1, 1}, "top");
  table.Object(1).libraryFile = "Numbers";
  table.Object(2).libraryFile = "numbers";  // another object of the same name
  table.Object(3).libraryFile = "Parallax Serial Terminal";
  table.TakeChildFileNames({0, 1, 2, 3}, {{1, 2, 3}, {}, {}, {}});
  EXPECT_EQ(table.Object(1).file, "Numbers");
  EXPECT_EQ(table.Object(2).file, "top_obj2");
  EXPECT_EQ(table.Object(3).file, "Parallax Serial Terminal");
  EXPECT_EQ(LibraryEntryName(table.Object(3)), "parallaxSerialTerminal");
  table.Object(3).declaredName = "pst";
  EXPECT_EQ(LibraryEntryName(table.Object(3)), "pst");
}

}  // namespace
}  // namespace brevin::recovery
