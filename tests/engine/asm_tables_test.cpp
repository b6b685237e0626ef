#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>

#include "isa/asm_reports.h"
#include "isa/asm_tables.h"

namespace brevin {
namespace {

const AsmTables& Tables() {
  return BuiltInAssemblerTables();
}

// Resolves a choice text the way the decoder does, with the selector tests supplied
// by the caller; used to check that every marker pair in the table is well formed.
std::string Resolve(std::string text, const std::function<bool(char)>& test) {
  while (!text.empty() && text[0] == '?') {
    const std::string marker = text.substr(0, 2);
    const std::size_t p = text.find(marker, 1);
    if (p == std::string::npos) return "<unpaired " + marker + ">";
    text = test(marker[1]) ? text.substr(p + 2) : text.substr(2, p - 2);
  }
  return text;
}

TEST(AsmTables, UndefinedEntriesAndWritesResult) {
  for (int i = 4; i <= 7; ++i) {
    EXPECT_EQ(Tables().AsmOpcodeTable[i], "") << i;
    EXPECT_FALSE(Tables().AsmWritesResult[i]) << i;
  }
  const std::set<int> noWrite = {0, 1, 2, 3, 4, 5, 6, 7, 23, 24, 33, 48, 49, 51, 58, 59, 60, 61, 63};
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(Tables().AsmWritesResult[i], noWrite.count(i) == 0) << i;
    if (i < 4 || i > 7) {
      EXPECT_FALSE(Tables().AsmOpcodeTable[i].empty()) << i;
    }
  }
}

TEST(AsmTables, ConditionNamesArePaddedTo16) {
  for (std::string_view name : Tables().ConditionNames) EXPECT_EQ(name.size(), 16U) << name;
  EXPECT_EQ(Tables().ConditionNames[0], "IF_NEVER        ");
  EXPECT_EQ(Tables().ConditionNames[14], "IF_C_OR_Z       ");
  EXPECT_EQ(Tables().ConditionNames[15], std::string(16, ' '));
}

TEST(AsmTables, PatternGivesIndexAndWriteFlag) {
  AsmTables t;
  DefineAsmOpcode(t, "A", "111110 001i 1111 ddddddddd sssssssss");
  EXPECT_EQ(t.AsmOpcodeTable[62], "A");
  EXPECT_TRUE(t.AsmWritesResult[62]);
  // Only "1" counts as a one bit; "?", "i" and the like read as zero.
  DefineAsmOpcode(t, "B", "1?i1x1 00?? 1111 ddddddddd sssssssss");
  EXPECT_EQ(t.AsmOpcodeTable[37], "B");
  EXPECT_FALSE(t.AsmWritesResult[37]);
  // A later definition replaces both the text and the flag.
  DefineAsmOpcode(t, "C", "111110 000i 1111 ddddddddd sssssssss");
  EXPECT_EQ(t.AsmOpcodeTable[62], "C");
  EXPECT_FALSE(t.AsmWritesResult[62]);
}

TEST(AsmTables, ChoiceTextsResolveToDocumentedForms) {
  auto forms = [](int index, bool r, bool i, bool pairNotKnown, int s7) {
    return Resolve(std::string(Tables().AsmOpcodeTable[index]), [&](char sel) {
      if (sel == 'w') return r;
      if (sel == 'i') return i;
      if (sel == 'p') return pairNotKnown;
      return sel - '0' != s7;
    });
  };
  EXPECT_EQ(forms(0, false, false, true, 0), "WRBYTE d,s");
  EXPECT_EQ(forms(2, true, true, true, 0), "RDLONG d,#m");
  EXPECT_EQ(forms(3, false, false, true, 2), "HUBOP d,s");
  const char* hubops[] = {"CLKSET d",  "COGID d",   "COGINIT d", "COGSTOP d",
                          "LOCKNEW d", "LOCKRET d", "LOCKSET d", "LOCKCLR d"};
  for (int s7 = 0; s7 < 8; ++s7) EXPECT_EQ(forms(3, false, true, true, s7), hubops[s7]);
  EXPECT_EQ(forms(23, false, false, true, 0), "JMP s*");
  EXPECT_EQ(forms(23, false, true, true, 0), "JMP #r");
  EXPECT_EQ(forms(23, true, false, true, 0), "JMPRET c,s");
  EXPECT_EQ(forms(23, true, true, false, 0), "CALL e#j");
  EXPECT_EQ(forms(23, true, true, true, 0), "JMPRET c,#j");
  EXPECT_EQ(forms(33, true, false, true, 0), "SUB d,s");
  EXPECT_EQ(forms(58, false, true, true, 0), "TJNZ d,#j");
}

TEST(AsmReports, OpcodesPage) {
  EXPECT_EQ(BinaryDigits(0x45, 6), "000101");  // only the lowest bits
  const std::string page = AsmOpcodesReport(Tables());
  const std::string head = "Assembler Opcodes\r\n=================\r\n\r\n";
  ASSERT_EQ(page.substr(0, head.size()), head);
  EXPECT_NE(page.find("\r\n00    000000    ?w?iWRBYTE d,s?iWRBYTE d,#m?w?iRDBYTE d,s?iRDBYTE d,#m\r\n"),
            std::string::npos);
  EXPECT_NE(page.find("\r\n04    000100    \r\n05    000101    \r\n"), std::string::npos);
  EXPECT_NE(page.find("\r\n28    101000    MOV d,s\r\n"), std::string::npos);
  const std::string last = "\r\n3F    111111    WAITVID d,s";
  EXPECT_EQ(page.substr(page.size() - last.size()), last);
  // 64 rows after the blank line, none ending the page, and no bare line feeds.
  std::size_t crlf = 0;
  for (std::size_t p = page.find("\r\n"); p != std::string::npos; p = page.find("\r\n", p + 2)) ++crlf;
  EXPECT_EQ(crlf, 2U + 64U);
  EXPECT_EQ(std::count(page.begin(), page.end(), '\n'), static_cast<long>(crlf));
}

}  // namespace
}  // namespace brevin
