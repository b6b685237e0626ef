// brevin-cli's command lines from tests/data/cli/command_lines.txt: the
// getopt_long forms, standard input and output, and the one-line messages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli.h"
#include "test_support.h"
#include "brevin/version_text.h"

namespace brevin {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Split(const std::string& text, char at) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, at);) parts.push_back(part);
  return parts;
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Substitute(std::string text, const std::string& dir) {
  for (const auto& [name, value] : {std::pair<std::string, std::string>{"$DIR", dir},
                                    {"$VERSION", std::string(PackageVersion)}, {"$NL", "\n"}}) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
      text.replace(at, name.size(), value);
    }
  }
  return text;
}

// The lines of a text, without their CR.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines = Split(text, '\n');
  for (std::string& line : lines) {
    if (line.ends_with('\r')) line.pop_back();
  }
  return lines;
}

TEST(CommandLine, EveryCaseOfTheTable) {
  std::ifstream table(std::string(BREVIN_TEST_DATA) + "/cli/command_lines.txt");
  ASSERT_TRUE(table) << "no command_lines.txt";
  int cases = 0;
  std::string row;
  for (int number = 1; std::getline(table, row); ++number) {
    if (Trim(row).empty() || row.starts_with('#')) continue;
    const std::vector<std::string> fields = Split(row, '|');
    ASSERT_EQ(fields.size(), 4u) << "line " << number;
    ++cases;

    test::TempDir dir;  // fresh for each case: outputs of one never meet the next
    test::ImageSpec spec;
    spec.object = {0, 0, 0, 0, 8, 0, 0, 0, 0x32};
    spec.varBytes = 4;
    std::vector<std::uint8_t> image = test::BuildImage(spec);
    test::WriteBytes(dir.File("good.binary"), image);
    test::WriteBytes(dir.File("new\nline.binary"), image);
    fs::create_symlink(dir.File("good.binary"), dir.File("image-link"));
    fs::create_hard_link(dir.File("good.binary"), dir.File("image-hard"));
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);
    std::vector<std::uint8_t> changed = image;
    changed[0x18] ^= 0xFF;
    test::WriteBytes(dir.File("sum.binary"), changed);
    image.resize(40000, 0);
    test::WriteBytes(dir.File("long.binary"), image);

    const int status = std::stoi(fields[0]);
    std::vector<std::string> args;
    int input = -1;
    for (const std::string& word : Split(Substitute(Trim(fields[1]), dir.path()), ' ')) {
      if (word.empty()) continue;
      if (word.starts_with('<')) {
        input = ::open(word.c_str() + 1, O_RDONLY | O_CLOEXEC);
        ASSERT_GE(input, 0) << word;
      } else {
        args.push_back(word);
      }
    }
    cli::StringSink out, err;
    const int got = cli::Run(args, out, err, input);
    if (input >= 0) ::close(input);

    const std::string where = Substitute(Trim(fields[2]), dir.path());
    // The expected line keeps its own leading blanks: only the one after "|" goes.
    std::string wanted = fields[3].substr(fields[3].starts_with(' ') ? 1 : 0);
    wanted.erase(wanted.find_last_not_of(' ') + 1);
    const std::string expected = Substitute(wanted, dir.path());
    const std::string text = where == "out" ? out.Text() : where == "err" ? err.Text() : test::ReadText(where);
    const std::vector<std::string> lines = Lines(text);
    EXPECT_EQ(got, status) << "line " << number << ": " << row << "\n" << err.Text();
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end())
        << "line " << number << ": " << row << "\n" << where << " holds:\n" << text;
    bool afterMessage = false;
    for (const std::string& line : Lines(err.Text())) {
      const bool message = line.starts_with("brevin-cli: ");
      EXPECT_TRUE(message || line.empty() || (afterMessage && line == "Try 'brevin-cli --help' for more information."))
          << "line " << number << ": a message that is not one line: " << line;
      afterMessage = message;
    }
  }
  EXPECT_GT(cases, 40);
}

}  // namespace
}  // namespace brevin
