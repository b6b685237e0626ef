// Assembler flow tracing: which longs a launch reaches, the marks on jump and
// call targets, the order of nested traces, and the sample images' programs.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "brevin/engine.h"
#include "brevin/text.h"
#include "json_lite.h"
#include "engine_probe.h"
#include "test_support.h"

namespace brevin {
namespace {

constexpr std::uint32_t R = 2, I = 1;
constexpr std::uint32_t kIfZ = 10, kIfC = 12;
constexpr std::uint32_t kMov = 40, kJmp = 23, kDjnz = 57;
constexpr std::int64_t kBase = 0x200;

constexpr std::uint32_t Asm(std::uint32_t instr, std::uint32_t zcri, std::uint32_t d, std::uint32_t s,
                            std::uint32_t cond = 15) {
  return instr << 26 | zcri << 22 | cond << 18 | d << 9 | s;
}
constexpr std::uint32_t Jmp(std::uint32_t target, std::uint32_t cond = 15) { return Asm(kJmp, I, 0, target, cond); }
constexpr std::uint32_t Call(std::uint32_t routine, std::uint32_t ret) { return Asm(kJmp, R | I, ret, routine); }

class AsmTraceTest : public ::testing::Test {
 protected:
  test::ScriptedHost host;
  test::EngineProbe e{host};

  void Load(const std::vector<std::uint32_t>& longs, std::int64_t base = kBase) {
    e.LoadImageBytes(std::vector<std::uint8_t>(32768, 0));
    e.Opt.DebugAsmb = true;
    for (std::size_t k = 0; k < longs.size(); ++k) {
      for (int i = 0; i < 4; ++i) e.Image[base + 4 * k + i] = longs[k] >> (8 * i) & 0xFF;
    }
  }
  bool Traced(std::int64_t cog, std::int64_t base = kBase) const {
    return e.HasFlag(base + 4 * cog, flag::Asmb) && e.HasFlag(base + 4 * cog, flag::Done);
  }
  bool Has(std::int64_t cog, std::uint32_t bits) const { return (e.FlagsAt(kBase + 4 * cog) & bits) == bits; }
  std::size_t At(const std::string& text) const { return host.debug.find(text); }
};

TEST_F(AsmTraceTest, JumpsEndFallThroughOrMoveThePath) {
  Load({
      Asm(kMov, R | I, 10, 1),   // 0
      Jmp(0, kIfZ),              // 1: may return: falls through
      Jmp(5, kIfC),              // 2: may jump: 5 is traced, then 3
      Jmp(7),                    // 3: always jumps: tracing goes on at 7
      Asm(kMov, R, 10, 11),      // 4: reached by nothing
      Asm(kMov, R, 11, 12),      // 5
      Jmp(0),                    // 6: ends the path
      Asm(kDjnz, R | I, 10, 9),  // 7: 9 is traced, then 8
      Asm(kJmp, 0, 0, 13),       // 8: through a register: ends the path
      Jmp(0),                    // 9
  });
  e.LaunchAssembly(kBase);
  for (int cog : {0, 1, 2, 3, 5, 6, 7, 8, 9}) EXPECT_TRUE(Traced(cog)) << cog;
  EXPECT_FALSE(e.HasFlag(kBase + 16, flag::Asmb | flag::Done));
  EXPECT_TRUE(Has(0, flag::Org0 | flag::Call));
  EXPECT_TRUE(Has(5, flag::Goto) && Has(7, flag::Goto) && Has(9, flag::JmpT));
  EXPECT_FALSE(Has(9, flag::Goto));
  EXPECT_TRUE(Has(13, flag::Asmb | flag::Adat));  // registers are data, not traced
  EXPECT_FALSE(Has(13, flag::Done));
  // A nested trace runs to its end before the path that found it goes on.
  EXPECT_LT(At("Goto 0214 005\r\nAsmb 0214 Starts\r\nAsmb 0214 005 MOV"), At("Asmb 020C 003"));
  EXPECT_LT(At("Asmb 0218 006 JMP     000, #000\r\nExit\r\n\r\n"), At("Asmb 020C 003"));
  EXPECT_NE(At("Goto 021C 007\r\nAsmb 021C 007 DJNZ"), std::string::npos);
  EXPECT_LT(At("Call 0224 009\r\nAsmb 0224 Starts"), At("Asmb 0220 008"));
}

TEST_F(AsmTraceTest, CallTracesTheRoutineFirst) {
  Load({Call(3, 4), Jmp(0), Asm(kMov, R, 1, 1), Asm(kMov, R | I, 6, 1), Jmp(0)});  // routine at 3, returns at 4
  e.LaunchAssembly(kBase);
  for (int cog : {0, 1, 3, 4}) EXPECT_TRUE(Traced(cog)) << cog;
  EXPECT_FALSE(Traced(2));
  EXPECT_TRUE(Has(3, flag::Call) && Has(4, flag::Aret | flag::Goto));
  EXPECT_LT(At("Call 020C 003\r\nAsmb 020C Starts\r\nAsmb 020C 003 MOV"), At("Asmb 0204 001"));
  EXPECT_LT(At("Asmb 0210 004 JMP"), At("Asmb 0204 001"));
}

TEST_F(AsmTraceTest, RelaunchAbortAndSwitchedOff) {
  Load({Jmp(2, kIfZ), Asm(kMov, R, 2, 3), Jmp(0)});
  for (int i = 0; i < 4; ++i) e.Image[0x400 + i] = e.Image[kBase + 8 + i] & 0xFF;  // a second program: JMP #0
  e.LaunchAssembly(kBase);
  e.LaunchAssembly(0x400);
  host.debug.clear();
  e.LaunchAssembly(kBase);  // decodes the entry again for its base, then stops
  EXPECT_EQ(e.CogOrgBase, kBase);
  EXPECT_EQ(host.debug, "Asmb 0200 Starts\r\nAsmb 0200 000 JMP     000, #002\r\nGoto 0208 002\r\nAsmb 0208 Starts\r\n");

  Load({Jmp(2, kIfZ), Asm(kMov, R, 2, 3), Jmp(0)});
  host.debug.clear();
  e.TraceAbort = true;
  e.LaunchAssembly(kBase);
  EXPECT_EQ(host.debug, "Asmb 0200 Starts\r\nAsmb 0200 Done\r\n\r\n");
  EXPECT_FALSE(e.HasFlag(kBase, flag::Done));

  e.TraceAbort = false;
  e.Opt.ProcessAssembler = false;
  e.LaunchAssembly(kBase + 4);
  EXPECT_FALSE(e.HasFlag(kBase + 4, flag::Asmb));
}

TEST_F(AsmTraceTest, TargetsBeyondTheImageAreNeitherMarkedNorFollowed) {
  const std::int64_t base = 0x7FE0;  // most cog addresses lie past $7FFF
  Load({Jmp(0x100, kIfZ), Call(0x1EE, 0x1EF), Call(0x1EE, 2), Asm(kDjnz, R | I, 1, 0x1FF), Asm(kMov, R, 0x1EF, 0x1EE),
        Jmp(0x1FF)},
       base);
  e.LaunchAssembly(base);
  for (int cog = 0; cog <= 5; ++cog) EXPECT_TRUE(Traced(cog, base)) << cog;
  EXPECT_EQ(static_cast<std::uint32_t>(e.SymbolIds[base + 8]), 0x80000000u);  // its routine is unknown
  EXPECT_EQ(At("Asmb 7FE0 Starts"), 0u);
  EXPECT_EQ(host.debug.find("Starts", 11), std::string::npos);  // no other trace started
  e.ListingPass = true;  // registers past the end are named by number, never numbered
  e.DecodeAsmInstruction(base + 4 * 4);
  EXPECT_EQ(e.LineOpcode, std::string(16, ' ') + "MOV      $1EF, $1EE");
}

// True when a line of the Spin source starts a cog at the label's address
// (a program that assembly code starts is not reached from Spin).
bool LaunchedFromSpin(const std::string& source, const std::string& label) {
  std::istringstream lines(source);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find("@" + label);
    const std::size_t end = at + label.size() + 1;
    if (at == std::string::npos || (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_'))) continue;
    if (line.rfind("cognew(", at) != std::string::npos || line.rfind("coginit(", at) != std::string::npos) return true;
  }
  return false;
}

// Every program that Spin code launches is listed as instructions under an
// origin line, and as data when assembler processing is off.
TEST(AsmCorpus, LaunchedProgramsAreListedAsInstructions) {
  const std::string data = BREVIN_TEST_DATA;
  int entries = 0;
  for (const auto& file : std::filesystem::directory_iterator(data)) {
    const std::string name = file.path().filename().string();
    if (name.size() < 11 || name.substr(name.size() - 11) != ".facts.json") continue;
    const test::Json facts = test::ParseJson(test::ReadText(file.path().string()));
    for (const char* kind : {"binary", "eeprom"}) {
      const test::Json& image = facts["images"][kind];
      SCOPED_TRACE(image["image"].text);
      for (bool process : {true, false}) {
        test::ScriptedHost host;
        host.options.ProcessAssembler = process;
        test::EngineProbe e(host);
        ASSERT_EQ(e.LoadAndDisassemble(data + "/" + image["image"].text, false).status, LoadStatus::Listed);
        const std::vector<std::string> lines = test::Lines(e.Listing);
        EXPECT_TRUE(process || e.Listing.find("ORG      0") == std::string::npos);
        for (const test::Json& entry : image["pasm_entries"].items) {
          if (!LaunchedFromSpin(test::ReadText(data + "/" + entry["source"].text), entry["label"].text)) continue;
          const std::int64_t hub = entry["hub_address"].Int();
          std::size_t row = 0;
          while (row < lines.size() && lines[row].compare(0, 4, HexText(static_cast<std::uint32_t>(hub), 4)) != 0) ++row;
          if (!process) {
            EXPECT_FALSE(e.HasFlag(hub, flag::Asmb));
            EXPECT_TRUE(row == lines.size() || lines[row].substr(4, 6) != "   000") << lines[row];
            continue;
          }
          ++entries;
          ASSERT_LT(row + 1, lines.size());
          ASSERT_GE(row, 2u);
          EXPECT_EQ(lines[row - 2], std::string(38, ' ') + "ALIGN           ORG      0");
          EXPECT_EQ(lines[row - 1], "");
          EXPECT_EQ(lines[row].substr(4, 6), "   000") << lines[row];
          EXPECT_EQ(lines[row + 1].substr(0, 10), HexText(static_cast<std::uint32_t>(hub + 4), 4) + "   001");
        }
      }
    }
  }
  EXPECT_GE(entries, 18);
}

}  // namespace
}  // namespace brevin
