// The DAT layout, constants and expressions read from Spin sources, one case
// a line in a data file.
#include <gtest/gtest.h>

#include <fstream>

#include "recovery/source_dat.h"

namespace brevin::recovery {
namespace {

std::string Trim(const std::string& s) {
  const std::size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

std::string Unescaped(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
  }
  return out;
}

std::optional<std::int64_t> Outside(std::string_view name) {
  if (name == "N") return 4;
  if (name == "child#K") return 3;
  return std::nullopt;
}

std::string Hex(std::int64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%llX", static_cast<unsigned long long>(value));
  return buffer;
}

std::string DatResult(const std::string& text, std::string& size) {
  const std::map<std::string, std::int64_t> constants = ReadSourceConstants(text, Outside);
  const SourceDat dat = ReadSourceDat(
      text,
      [&](std::string_view name) -> std::optional<std::int64_t> {
        const auto it = constants.find(std::string(name));
        if (it != constants.end()) return it->second;
        return Outside(name);
      },
      [](std::string_view file) -> std::optional<std::int64_t> {
        if (file == "font.dat") return 10;
        return std::nullopt;
      });
  std::string labels;
  for (const SourceDatLabel& l : dat.labels) {
    labels += (labels.empty() ? "" : " ") + l.name + "@" + Hex(l.offset) + ":" + std::to_string(l.size);
    if (l.reserved) labels += "r";
    if (l.cogAddress) labels += "/" + std::to_string(*l.cogAddress);
    if (l.cogAddress && l.cogBase != 0) labels += "+" + std::to_string(l.cogBase);
    EXPECT_EQ(l.local, l.name.starts_with(':')) << l.name;
  }
  size = dat.size ? std::to_string(*dat.size) : "? " + dat.stop;
  return labels;
}

TEST(SourceDat, LayoutConstantsAndExpressionsAsTheCompilerHasThem) {
  std::ifstream cases(std::string(BREVIN_TEST_DATA) + "/recovery/source_dat.txt");
  ASSERT_TRUE(cases.good());
  int count = 0;
  for (std::string line; std::getline(cases, line);) {
    if (Trim(line).empty() || line[0] == '#') continue;
    ++count;
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t sep; (sep = line.find(" ## ", at)) != std::string::npos; at = sep + 4) parts.push_back(line.substr(at, sep - at));
    parts.push_back(line.substr(at));
    ASSERT_GE(parts.size(), 3U) << line;
    const std::string text = Unescaped(parts[1]);
    if (parts[0] == "dat") {
      ASSERT_EQ(parts.size(), 4U) << line;
      std::string size;
      EXPECT_EQ(DatResult(text, size), Trim(parts[2]) == "-" ? "" : Trim(parts[2])) << line;
      if (Trim(parts[3]).starts_with("?")) {
        EXPECT_TRUE(size.starts_with(Trim(parts[3]))) << line << "\n  stopped: " << size;
      } else {
        EXPECT_EQ(size, Trim(parts[3])) << line;
      }
    } else if (parts[0] == "expr") {
      const std::optional<std::int64_t> value = EvaluateSourceExpression(text, Outside);
      EXPECT_EQ(value ? std::to_string(*value) : "?", Trim(parts[2])) << line;
    } else if (parts[0] == "con") {
      std::string values;
      for (const auto& [name, value] : ReadSourceConstants(text, Outside)) {
        values += (values.empty() ? "" : " ") + name + "=" + std::to_string(value);
      }
      EXPECT_EQ(values, Trim(parts[2])) << line;
    } else {
      ADD_FAILURE() << "unknown case kind: " << line;
    }
  }
  EXPECT_GT(count, 30);
}

// Any text gives an answer: cut anywhere, every byte value, unclosed
// strings and comments.
TEST(SourceDat, TakesAnyText) {
  const std::string text =
      "CON\n N = 3, #1, A[2\nDAT\n org 0\nentry mov t, #1 ' x\n:l djnz t, #:l\n{ open\n} s byte \"abc\n t res N\n"
      " x long 0[N], ], 1[, [2], 3]\n y byte word ] [ ( , \"\n z file \"f\" {{";
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    std::string part = text.substr(0, cut);
    for (const SourceDatLabel& l : ReadSourceDat(part).labels) EXPECT_GE(l.offset, 0);
    part[cut / 2 < part.size() ? cut / 2 : 0] = static_cast<char>(cut * 37);
    ReadSourceDat(part, [](std::string_view) { return std::optional<std::int64_t>(-1); });
    ReadSourceConstants(part);
  }
}

}  // namespace
}  // namespace brevin::recovery
