// The Spin source recovery's interface: bytes that are no image, the files'
// encoding, instances and marks of a sample with child objects.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "brevin/spin_source.h"

namespace brevin {
namespace {

std::vector<std::uint8_t> Sample(const std::string& name) {
  std::ifstream in(std::string(BREVIN_TEST_DATA) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SpinSourceProject Recover(const std::vector<std::uint8_t>& image) {
  SpinSourceRequest request;
  request.image = image;
  request.topName = "demo";
  return RecoverSpinSource(request);
}

TEST(SpinSourceRecovery, BytesThatAreNoImageGiveAnErrorAndNoFiles) {
  for (const std::vector<std::uint8_t>& bytes :
       {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>(16, 0xFF), std::vector<std::uint8_t>(64, 0)}) {
    const SpinSourceProject project = Recover(bytes);
    EXPECT_FALSE(project.error.empty());
    EXPECT_TRUE(project.files.empty());
  }
  // An object table whose child points back at its parent.
  std::vector<std::uint8_t> image = Sample("freq_meter.binary");
  ASSERT_GT(image.size(), 0x20u);
  const int entries = image[0x12];
  image[0x10 + 4 * entries] = 0;  // the first child entry's offset: the top object itself
  image[0x10 + 4 * entries + 1] = 0;
  const SpinSourceProject looped = Recover(image);
  EXPECT_FALSE(looped.error.empty());
}

TEST(SpinSourceRecovery, FilesMethodsInstancesAndMarksOfASampleWithChildren) {
  const SpinSourceProject project = Recover(Sample("serial_terminal.eeprom"));
  ASSERT_TRUE(project.error.empty()) << project.error;
  ASSERT_EQ(project.files.size(), 4u);
  EXPECT_EQ(project.files[0].name, "demo.spin");
  EXPECT_EQ(project.files[1].name, "demo_obj1.spin");
  EXPECT_EQ(project.files[0].instances.size(), 1u);
  EXPECT_EQ(project.files[0].instances[0].address, 0x10);
  EXPECT_EQ(project.methods.size(), 36u);
  EXPECT_EQ(project.InexactMethods(), 0);
  for (const SpinSourceFile& file : project.files) {
    int last = -1;
    for (const SpinSourceMark& mark : file.marks) {
      EXPECT_GE(mark.line, last) << file.name;
      last = mark.line;
    }
    EXPECT_FALSE(file.marks.empty()) << file.name;
  }
  // The first method's mark is its PUB line, at the method's first bytecode.
  const SpinSourceFile& top = project.files[0];
  std::size_t line = 0, at = 0;
  while (static_cast<int>(line) < top.marks[0].line) at = top.text.find('\n', at) + 1, ++line;
  EXPECT_EQ(top.text.compare(at, 4, "PUB "), 0) << top.text.substr(at, 40);
  EXPECT_EQ(top.marks[0].offset + 0x10, project.methods[0].address);
}

// Every repeat line but a post-test loop's (closed by its while or until line)
// has a second mark at the loop's closing bytes: after every statement of the
// body, before the statement after the loop.
TEST(SpinSourceRecovery, ARepeatLineAlsoMarksTheBytesThatCloseItsLoop) {
  int loops = 0;
  for (const char* sample : {"serial_terminal.eeprom", "adc_scope.eeprom", "cmd_parser.eeprom", "fifo_demo.eeprom"}) {
    const SpinSourceProject project = Recover(Sample(sample));
    ASSERT_TRUE(project.error.empty()) << sample << ": " << project.error;
    for (const SpinSourceFile& file : project.files) {
      std::vector<std::string> lines;
      for (std::size_t at = 0; at < file.text.size();) {
        const std::size_t end = file.text.find('\n', at);
        lines.push_back(file.text.substr(at, end - at));
        at = end == std::string::npos ? file.text.size() : end + 1;
      }
      std::vector<std::vector<std::int32_t>> marks(lines.size());
      for (const SpinSourceMark& m : file.marks) marks[static_cast<std::size_t>(m.line)].push_back(m.offset);
      const auto indent = [&](std::size_t i) { return lines[i].find_first_not_of(' '); };
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t depth = indent(i);
        if (depth == std::string::npos || lines[i].compare(depth, 6, "repeat") != 0 || marks[i].empty()) continue;
        std::size_t after = i + 1;
        while (after < lines.size() && indent(after) != std::string::npos && indent(after) > depth) ++after;
        const bool postTest = after < lines.size() && indent(after) == depth &&
                              (lines[after].compare(depth, 6, "while ") == 0 || lines[after].compare(depth, 6, "until ") == 0);
        const std::string where = std::string(sample) + " " + file.name + ":" + std::to_string(i + 1);
        if (postTest) {
          EXPECT_EQ(marks[i].size(), 1u) << where;
          continue;
        }
        ASSERT_EQ(marks[i].size(), 2u) << where;
        const std::int32_t closing = marks[i][1];
        EXPECT_GT(closing, marks[i][0]) << where;
        for (std::size_t k = i + 1; k < after; ++k) {
          for (const std::int32_t offset : marks[k]) EXPECT_LT(offset, closing) << where << " body line " << k + 1;
        }
        if (after < lines.size() && indent(after) != std::string::npos && indent(after) > 0 && !marks[after].empty()) {
          EXPECT_GT(marks[after].front(), closing) << where;
        }
        ++loops;
      }
    }
  }
  EXPECT_GE(loops, 5);
}

TEST(SpinSourceRecovery, FileBytesAreAsciiOrUtf16WithAByteOrderMark) {
  SpinSourceFile file;
  file.text = "PUB main\n";
  EXPECT_EQ(SpinSourceFileBytes(file), "PUB main\n");
  file.text = "' \xC3\xA9\n";  // é
  EXPECT_EQ(SpinSourceFileBytes(file), std::string("\xFF\xFE'\x00 \x00\xE9\x00\n\x00", 10));
}

}  // namespace
}  // namespace brevin
