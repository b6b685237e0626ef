// The names read from a Spin source, one case a line in a data file.
#include <gtest/gtest.h>

#include <fstream>

#include "recovery/source_names.h"
#include "recovery/spin/constant_form.h"

namespace brevin {
namespace {

std::string Trim(const std::string& s) {
  const std::size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

TEST(SourceNames, MethodsObjectsAndVariablesAsTheCompilerOrdersThem) {
  std::ifstream cases(std::string(BREVIN_TEST_DATA) + "/recovery/source_names.txt");
  ASSERT_TRUE(cases.good());
  std::string line;
  int count = 0;
  while (std::getline(cases, line)) {
    if (line.empty() || line[0] == '#') continue;
    ++count;
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t sep; (sep = line.find(" ## ", at)) != std::string::npos; at = sep + 4) parts.push_back(line.substr(at, sep - at));
    parts.push_back(line.substr(at));
    ASSERT_TRUE(parts.size() == 4u || parts.size() == 5u) << line;
    std::string text;
    for (std::size_t i = 0; i < parts[0].size(); ++i) {
      if (parts[0][i] == '\\' && i + 1 < parts[0].size() && (parts[0][i + 1] == 'n' || parts[0][i + 1] == 'r')) {
        text += parts[0][i + 1] == 'n' ? '\n' : '\r';
        ++i;
      } else {
        text += parts[0][i];
      }
    }
    const recovery::SourceNames names = recovery::ReadSourceNames(text + "\n");
    std::string methods;
    for (const recovery::SourceMethodName& m : names.methods) {
      methods += (methods.empty() ? "" : " ") + m.name + "(";
      for (std::size_t p = 0; p < m.parameters.size(); ++p) methods += (p ? "," : "") + m.parameters[p];
      methods += ")";
      if (!m.result.empty()) methods += ":" + m.result;
      if (m.localsKnown) {
        methods += "|";
        for (std::size_t l = 0; l < m.locals.size(); ++l)
          methods += (l ? "," : "") + m.locals[l].name + (m.locals[l].count > 1 ? "[" + std::to_string(m.locals[l].count) + "]" : "");
      }
    }
    std::string objects;
    for (const recovery::SourceObjectName& o : names.objects)
      objects += (objects.empty() ? "" : " ") + o.name + "[" + std::to_string(o.count) + "]=" + o.file;
    std::string variables = names.variablesKnown ? "" : "?";
    for (const recovery::SourceVariable& v : names.variables)
      variables += (variables.empty() ? "" : " ") + std::to_string(v.size) + ":" + v.name +
                   (v.count < 0 ? "[?]" : v.count != 1 ? "[" + std::to_string(v.count) + "]" : "");
    auto field = [](const std::string& s) { return Trim(s) == "-" ? std::string() : Trim(s); };
    EXPECT_EQ(methods, field(parts[1])) << line;
    EXPECT_EQ(objects, field(parts[2])) << line;
    EXPECT_EQ(names.variablesKnown ? variables : std::string("?"), field(parts[3])) << line;
    if (parts.size() == 5u) {
      std::string constants;
      for (const recovery::SourceConstant& c : names.constants.All())
        constants += (constants.empty() ? "" : " ") + c.name + "=" +
                     (c.real ? recovery::spin::FloatText(static_cast<std::uint32_t>(c.value)).value_or("?")
                             : std::to_string(c.value));
      EXPECT_EQ(constants, field(parts[4])) << line;
    }
  }
  EXPECT_GT(count, 5);
}

}  // namespace
}  // namespace brevin
