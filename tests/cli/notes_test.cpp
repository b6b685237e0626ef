// brevin-cli and a person's notes: --rename and --comment record them (or
// refuse, leaving the file as it was), every listing run uses them and never
// writes them, and they stay with their methods when the program is rebuilt.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli.h"
#include "cli_run.h"
#include "test_support.h"

namespace brevin {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::RunCli;
using test::TempDir;

std::string Data(const std::string& name) { return std::string(BREVIN_TEST_DATA) + "/" + name; }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

TEST(Notes, RefusalsLeaveTheNotesFileAsItWas) {
  TempDir dir;
  const std::string image = dir.File("led.eeprom");
  fs::copy_file(Data("led_chaser.eeprom"), image);
  ASSERT_EQ(RunCli({"--rename", "S18=heartbeat_loop", image}).status, cli::kExitOk);
  const std::string notes = ReadText(image + ".brevin.json");
  ASSERT_NE(notes.find("\"name\": \"heartbeat_loop\""), std::string::npos) << notes;
  std::ifstream cases(Data("notes/cli_refusals.txt"));
  int count = 0;
  for (std::string line; std::getline(cases, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t tab = line.find('\t'), tab2 = line.find('\t', tab + 1);
    ASSERT_NE(tab2, std::string::npos) << line;
    std::vector<std::string> args = Words(line.substr(0, tab));
    std::string expected = line.substr(tab2 + 1);
    if (const std::size_t at = expected.find("NOTES"); at != std::string::npos) expected.replace(at, 5, image + ".brevin.json");
    for (std::string& arg : args) {
      if (arg == "IMAGE") arg = image;
      if (arg == "NOTES") arg = image + ".brevin.json";
      if (arg == "out.lst" || arg == "other.json") arg = dir.File(arg);
    }
    const CliRun r = RunCli(args);
    ++count;
    EXPECT_EQ(r.status, std::stoi(line.substr(tab + 1, tab2 - tab - 1))) << line << "\n" << r.err;
    EXPECT_NE(r.err.find(expected), std::string::npos) << line << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), r.err.find("Try '") == std::string::npos ? 1 : 2) << r.err;
    EXPECT_EQ(ReadText(image + ".brevin.json"), notes) << line;
    EXPECT_FALSE(fs::exists(dir.File("out.lst"))) << line;
  }
  EXPECT_GT(count, 15);
}

TEST(Notes, AListingRunUsesTheNotesAndNeverWritesThem) {
  TempDir dir;
  const std::string image = dir.File("led.eeprom");
  fs::copy_file(Data("led_chaser.eeprom"), image);
  const CliRun plain = RunCli({image});
  ASSERT_EQ(RunCli({"--rename", "S18=beat", "--rename", "L38=heart_cog", "--comment", "$0054=main loop", image}).status,
            cli::kExitOk);
  const std::string path = image + ".brevin.json";
  const std::string notes = ReadText(path);
  const fs::file_time_type written = fs::last_write_time(path);
  const CliRun listed = RunCli({image});
  EXPECT_EQ(listed.status, cli::kExitOk);
  EXPECT_EQ(listed.err, plain.err) << "no note problem";
  EXPECT_NE(listed.out.find("0054         38 6D           J11      PUSH     109  ' main loop\r\n"), std::string::npos);
  EXPECT_NE(listed.out.find("POP      heart_cog\r\n"), std::string::npos);
  EXPECT_NE(listed.out.find("LINK     beat, 4"), std::string::npos);
  EXPECT_EQ(listed.out.find(" S18"), std::string::npos);
  EXPECT_EQ(RunCli({"--no-notes", image}).out, plain.out) << "--no-notes is the plain listing, byte for byte";
  // The JSON keeps the generated labels, with the given names and the comment beside.
  const nlohmann::json json = nlohmann::json::parse(RunCli({"--json", image}).out);
  EXPECT_EQ(json["objects"][0]["methods"][1]["label"], "S18");
  EXPECT_EQ(json["objects"][0]["methods"][1]["given_name"], "beat");
  bool commented = false;
  for (const auto& line : json["lines"]) commented = commented || (line.contains("comment") && line["comment"] == "main loop");
  EXPECT_TRUE(commented);
  // --notes takes another file; an empty comment takes the comment away.
  ASSERT_EQ(RunCli({"--notes", dir.File("other.json"), "--comment", "$0054=elsewhere", image}).status, cli::kExitOk);
  EXPECT_NE(RunCli({"--notes", dir.File("other.json"), image}).out.find("' elsewhere\r\n"), std::string::npos);
  ASSERT_EQ(RunCli({"--comment", "$0054=", image}).status, cli::kExitOk);
  EXPECT_EQ(RunCli({image}).out.find("' main loop"), std::string::npos);
  // Nothing but the runs that record wrote the file.
  EXPECT_EQ(RunCli({"--json", image}).status, cli::kExitOk);
  EXPECT_NE(ReadText(path), notes);
  const std::string now = ReadText(path);
  fs::last_write_time(path, written);
  RunCli({image});
  RunCli({"--spin-source", dir.File("src"), image});
  EXPECT_EQ(ReadText(path), now);
  EXPECT_EQ(fs::last_write_time(path), written);
}

TEST(Notes, ABrokenNotesFileIsNamedAndLeftAlone) {
  TempDir dir;
  const std::string image = dir.File("led.eeprom");
  fs::copy_file(Data("led_chaser.eeprom"), image);
  const CliRun plain = RunCli({image});
  WriteText(image + ".brevin.json", "{\"format\": \"brevin-notes\", \"version\": 1, \"names\": [");
  const CliRun listed = RunCli({image});
  EXPECT_EQ(listed.status, cli::kExitOk);
  EXPECT_EQ(listed.out, plain.out);
  EXPECT_NE(listed.err.find("brevin-cli: " + image +
                            ".brevin.json: is no notes file (the text ends early at line 1 column 52); the output goes on "
                            "without notes\n"),
            std::string::npos)
      << listed.err;
  const CliRun record = RunCli({"--rename", "S18=beat", image});
  EXPECT_EQ(record.status, cli::kExitFileError);
  EXPECT_NE(record.err.find("nothing recorded, the file is left as it is"), std::string::npos) << record.err;
  EXPECT_EQ(ReadText(image + ".brevin.json"), "{\"format\": \"brevin-notes\", \"version\": 1, \"names\": [");
  fs::remove(image + ".brevin.json");
  fs::create_directory(image + ".brevin.json");
  EXPECT_EQ(RunCli({image}).out, plain.out);
}

// The shared Spin compiler, built into the build tree the first time; empty
// when ../shared is absent or the build failed.
std::string SpinCompiler() {
  if (!fs::is_directory(std::string(BREVIN_SHARED_DIR) + "/tools")) return {};
  const std::string dest = std::string(BREVIN_CLI_WORK) + "/spin-compiler";
  const std::string command = "'" + std::string(BREVIN_SHARED_DIR) + "/tools/build-spin-compiler' '" + dest + "' > /dev/null";
  if (!fs::exists(dest + "/openspin") && std::system(command.c_str()) != 0) return {};
  return dest + "/openspin";
}

bool Compile(const std::string& compiler, const TempDir& dir, const std::string& source, const std::string& binary) {
  const std::string command = "cd '" + dir.path() + "' && '" + compiler + "' -q -b -o '" + binary + "' '" + source +
                              "' > compiler.log 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// A person names a method and a local, comments a line, names a method they
// then change; the program is rebuilt with main and that method changed: the
// notes of the method that only moved are where they were, the other is
// reported and kept, and the recovered source with the notes compiles back.
TEST(Notes, NotesStayWithTheirMethodsAcrossARebuild) {
  const std::string compiler = SpinCompiler();
  if (compiler.empty()) GTEST_SKIP() << "no Spin compiler: ../shared is absent";
  TempDir dir;
  const std::string source = ReadText(Data("led_chaser.spin"));
  WriteText(dir.File("prog.spin"), source);
  ASSERT_TRUE(Compile(compiler, dir, "prog.spin", "prog.binary")) << ReadText(dir.File("compiler.log"));
  const std::string image = dir.File("prog.binary");
  const nlohmann::json before = nlohmann::json::parse(RunCli({"--json", "--trace-all-methods", image}).out);
  std::int32_t heartbeat = -1;
  for (const auto& method : before["objects"][0]["methods"])
    if (method["source_name"] == "PUB heartbeat") heartbeat = method["address"];
  ASSERT_GT(heartbeat, 0);
  char comment[32];
  std::snprintf(comment, sizeof comment, "$%04X=two flashes", static_cast<unsigned>(heartbeat));
  const CliRun named = RunCli({"--trace-all-methods", "--rename", "heartbeat=beat_led", "--comment", comment, "--rename",
                               "count_up=count_binary", image});
  ASSERT_EQ(named.status, cli::kExitOk) << named.err;

  // main grows by a few bytes (every method after it moves), count_up changes.
  std::string edited = Replaced(source, "    frame_count++\n", "    frame_count += 3\n");
  edited = Replaced(edited, "    v++\n", "    v += 2\n");
  ASSERT_NE(edited, source);
  WriteText(dir.File("prog.spin"), edited);
  ASSERT_TRUE(Compile(compiler, dir, "prog.spin", "prog.binary")) << ReadText(dir.File("compiler.log"));
  const std::string notes = ReadText(image + ".brevin.json");

  const CliRun listed = RunCli({"--trace-all-methods", image});
  ASSERT_EQ(listed.status, cli::kExitOk) << listed.err;
  EXPECT_EQ(listed.err, "brevin-cli: " + image +
                            ".brevin.json: note 'count_binary' no longer matches: method 7 of the top object changed\n");
  const nlohmann::json after = nlohmann::json::parse(RunCli({"--json", "--trace-all-methods", image}).out);
  std::int32_t moved = -1;
  for (const auto& method : after["objects"][0]["methods"]) {
    if (method["source_name"] == "PUB heartbeat") {
      moved = method["address"];
      EXPECT_EQ(method["given_name"], "beat_led");
    }
    if (method["source_name"] == "PRI count_up") {
      EXPECT_TRUE(method["given_name"].is_null()) << "never given to the changed method";
    }
  }
  ASSERT_GT(moved, heartbeat) << "the method moved";
  bool found = false;
  for (const auto& line : after["lines"])
    if (line.contains("comment") && line["comment"] == "two flashes") found = line["address"] == moved;
  EXPECT_TRUE(found) << "the comment went with its method";
  EXPECT_EQ(ReadText(image + ".brevin.json"), notes) << "the orphan is kept; nothing rewrote the file";
  // Renaming the moved method again replaces its note; the orphan stays.
  ASSERT_EQ(RunCli({"--trace-all-methods", "--rename", "beat_led=beat_slow", image}).status, cli::kExitOk);
  const std::string renamed = ReadText(image + ".brevin.json");
  EXPECT_EQ(renamed.find("beat_led"), std::string::npos) << renamed;
  EXPECT_NE(renamed.find("beat_slow"), std::string::npos) << renamed;
  EXPECT_NE(renamed.find("count_binary"), std::string::npos) << renamed;

  // The recovered source carries the name and the comment and compiles to the same bytes.
  fs::create_directory(dir.File("src"));
  const CliRun recovered = RunCli({"--spin-source", dir.File("src"), image});
  ASSERT_EQ(recovered.status, cli::kExitOk) << recovered.err;
  const std::string text = ReadText(dir.File("src/prog.spin"));
  EXPECT_NE(text.find("PUB beat_slow("), std::string::npos) << text;
  EXPECT_NE(text.find("' two flashes\n"), std::string::npos) << text;
  const std::string command = "cd '" + dir.File("src") + "' && '" + compiler + "' -q -b -o again.binary prog.spin > log 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(dir.File("src/log"));
  EXPECT_EQ(ReadText(dir.File("src/again.binary")), ReadText(image));
}

}  // namespace
}  // namespace brevin
