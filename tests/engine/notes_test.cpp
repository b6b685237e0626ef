// A person's notes: the file's reader and writer (cases one a line in
// tests/data/notes), and names and comments applied to a listing.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "brevin/notes.h"
#include "test_support.h"

namespace brevin {
namespace {

const std::string kData = BREVIN_TEST_DATA;

TEST(NotesFile, ReadsOrRefusesEachCase) {
  std::ifstream in(kData + "/notes/parse_cases.txt", std::ios::binary);
  ASSERT_TRUE(in) << "the cases file";
  std::string line;
  int cases = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    const std::string expected = line.substr(0, tab), text = line.substr(tab + 1);
    std::string problem;
    const std::optional<Notes> notes = ParseNotes(text, problem);
    ++cases;
    if (expected == "ok") {
      ASSERT_TRUE(notes) << text << ": " << problem;
      // What is written reads back to the same text.
      std::string again;
      const std::optional<Notes> reread = ParseNotes(NotesText(*notes), again);
      ASSERT_TRUE(reread) << NotesText(*notes) << ": " << again;
      EXPECT_EQ(NotesText(*reread), NotesText(*notes));
    } else {
      EXPECT_FALSE(notes) << text;
      EXPECT_EQ(problem.substr(0, expected.size()), expected) << text;
    }
  }
  EXPECT_GT(cases, 20);
}

TEST(NotesFile, WritesInOneOrderWhateverTheOrderGiven) {
  Note a{NoteKind::Dat, "table", "W17", {}};
  a.at.address = 0x100;
  Note b{NoteKind::Method, "send_byte", "S87", {}};
  b.at.address = 0x200;
  b.at.method = "0123456789abcdef";
  b.at.methodIndex = 3;
  Note c{NoteKind::Comment, "the motor stops \"here\"", "", {}};
  c.at.address = 0x1A4;
  Notes first{{a, b}, {c}}, second{{b, a}, {c}};
  EXPECT_EQ(NotesText(first), NotesText(second));
  EXPECT_LT(NotesText(first).find("send_byte"), NotesText(first).find("table")) << "methods before DAT labels";
  EXPECT_NE(NotesText(first).find("\n      \"text\": \"the motor stops \\\"here\\\"\",\n"), std::string::npos)
      << NotesText(first);
}

TEST(NotesFile, TakesOnlySpinNames) {
  for (const char* good : {"a", "_x", "send_byte", "Motor2", "abcdefghijabcdefghijabcdefghij"})
    EXPECT_TRUE(IsSpinIdentifier(good)) << good;
  for (const char* bad : {"", "2x", "a-b", "caf\xc3\xa9", "REPEAT", "outa", "if_z", "_clkmode", "result",
                          "abcdefghijabcdefghijabcdefghijk"})
    EXPECT_FALSE(IsSpinIdentifier(bad)) << bad;
}

// A host that hands the engine the notes of the test.
class NotesHost : public test::ScriptedHost {
 public:
  std::shared_ptr<const Notes> notes;
  std::shared_ptr<const Notes> NotesFor(const std::string&) override { return notes; }
};

TEST(NotesApplied, NameEveryUseAndCommentOneLine) {
  NotesHost host;
  const std::vector<std::uint8_t> image = test::ReadBytes(kData + "/led_chaser.eeprom");
  host.options.IncludeSourceCode = false;
  const AnalysisPtr plain = test::ListImage(host, image);
  ASSERT_TRUE(plain);
  auto notes = std::make_shared<Notes>();
  const NoteTarget method = NameTarget(*plain, "S18");
  ASSERT_EQ(method.problem, "");
  EXPECT_EQ(method.kind, NoteKind::Method);
  RecordNote(*notes, method, "heartbeat_loop");
  const NoteTarget local = NameTarget(*plain, "VL3");
  ASSERT_EQ(local.problem, "");
  EXPECT_EQ(local.kind, NoteKind::Local);
  RecordNote(*notes, local, "started");
  const NoteTarget line = CommentTarget(*plain, 0x54);
  ASSERT_EQ(line.problem, "");
  RecordNote(*notes, line, "the main loop");
  host.notes = notes;
  const AnalysisPtr noted = test::ListImage(host, image);
  ASSERT_TRUE(noted);
  // The listing names them at the definition and at every use; nothing else changes.
  EXPECT_EQ(noted->listing.find("S18"), std::string::npos);
  EXPECT_EQ(noted->listing.find("VL3"), std::string::npos);
  EXPECT_NE(noted->listing.find("heartbeat_loop"), std::string::npos);
  EXPECT_NE(noted->listing.find("LET      started, CNT"), std::string::npos);
  const ListingLine* commented = test::CodeLineAt(*noted, 0x54);
  ASSERT_NE(commented, nullptr);
  EXPECT_TRUE(commented->text.ends_with("  ' the main loop")) << commented->text;
  EXPECT_EQ(commented->note(), "the main loop");
  // The model keeps the generated label with the given name beside it.
  const Symbol* symbol = noted->FindSymbol("heartbeat_loop");
  ASSERT_NE(symbol, nullptr);
  EXPECT_EQ(symbol->name, "S18");
  EXPECT_EQ(symbol->givenName, "heartbeat_loop");
  EXPECT_EQ(noted->objects[0].methods[1].givenName, "heartbeat_loop");
  EXPECT_EQ(noted->objects[0].methods[1].label, "S18");
  // The name is taken now; the label it replaced may name it again.
  EXPECT_NE(NameRefusal(*noted, *notes, NameTarget(*noted, "S10"), "HEARTBEAT_LOOP"), "");
  EXPECT_EQ(NameRefusal(*noted, *notes, NameTarget(*noted, "heartbeat_loop"), "beat"), "");
  EXPECT_NE(NameRefusal(*noted, *notes, NameTarget(*noted, "S10"), "J11"), "") << "a generated label stays taken";
  // Renaming the given name again replaces the note instead of adding one.
  RecordNote(*notes, NameTarget(*noted, "heartbeat_loop"), "beat");
  EXPECT_EQ(notes->names.size(), 2u);
  host.notes = nullptr;
  const AnalysisPtr again = test::ListImage(host, image);
  EXPECT_EQ(again->listing, plain->listing) << "no notes: the plain listing";
}

TEST(NotesApplied, OneNameForLocalsOfTwoMethodsAndRenamingOneKeepsTheOther) {
  NotesHost host;
  host.options.IncludeSourceCode = false;
  const std::vector<std::uint8_t> image = test::ReadBytes(kData + "/led_chaser.eeprom");
  const AnalysisPtr plain = test::ListImage(host, image);
  ASSERT_TRUE(plain);
  const NamedSlot* first = nullptr;
  const NamedSlot* second = nullptr;
  for (const NamedSlot& slot : plain->namedSlots) {
    if (!slot.local) continue;
    if (first == nullptr) first = &slot;
    else if (second == nullptr && slot.address != first->address) second = &slot;
  }
  ASSERT_NE(second, nullptr);
  auto notes = std::make_shared<Notes>();
  RecordNote(*notes, NameTarget(*plain, first->label), "count");
  host.notes = notes;
  const AnalysisPtr once = test::ListImage(host, image);
  const NoteTarget other = NameTarget(*once, second->label);
  EXPECT_EQ(NameRefusal(*once, *notes, other, "count"), "") << "another method's local may have the name";
  RecordNote(*notes, other, "count");
  host.notes = notes;
  const AnalysisPtr twice = test::ListImage(host, image);
  RecordNote(*notes, NameTarget(*twice, second->label), "total");
  ASSERT_EQ(notes->names.size(), 2u);
  EXPECT_EQ(notes->names[0].text, "count");
  EXPECT_EQ(notes->names[1].text, "total");
}

TEST(NotesApplied, ReportsANoteWhoseMethodChangedAndAppliesItNowhere) {
  NotesHost host;
  host.options.IncludeSourceCode = false;
  const std::vector<std::uint8_t> image = test::ReadBytes(kData + "/led_chaser.eeprom");
  const AnalysisPtr plain = test::ListImage(host, image);
  ASSERT_TRUE(plain);
  auto notes = std::make_shared<Notes>();
  NoteTarget target = NameTarget(*plain, "S18");
  target.at.method = "00000000000000ff";  // bytes this image does not hold
  target.at.object = "00000000000000ff";
  RecordNote(*notes, target, "next_line");
  host.notes = notes;
  Engine engine(host);
  const LoadResult result = engine.DisassembleBytes("test.binary", image, false, true);
  ASSERT_EQ(result.status, LoadStatus::Listed);
  ASSERT_EQ(result.noteProblems.size(), 1u);
  EXPECT_EQ(result.noteProblems[0], "note 'next_line' no longer matches: method 2 of the top object changed");
  EXPECT_EQ(result.analysis->listing.find("next_line"), std::string::npos);
}

}  // namespace
}  // namespace brevin
