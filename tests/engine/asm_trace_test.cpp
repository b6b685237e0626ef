// Assembler flow tracing: which longs a launch reaches, the marks on jump and
// call targets, the order of nested traces, and the sample images' programs.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>

#include "brevin/engine.h"
#include "brevin/text.h"
#include "json_lite.h"
#include "engine_probe.h"
#include "image/image_flags.h"
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

// The tracer driven directly, for what no load can set up: a trace that was
// aborted before the launch.
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
};

// Launches the longs as a block from Spin (at test::kAsmBlock) and keeps the
// debug record of the trace and the image flags of the load.
class AsmBlockTrace : public ::testing::Test {
 protected:
  test::ScriptedHost host;
  std::optional<test::ReportedFlags> flags;

  void Load(const std::vector<std::uint32_t>& longs) {
    host.options.DebugAsmb = true;
    host.options.InhibitWarnings = true;
    Engine e(host);
    const LoadResult r = e.DisassembleBytes("block.binary", test::AsmImage(longs), false);
    ASSERT_EQ(r.status, LoadStatus::Listed) << r.message;
    flags.emplace(e);
  }
  // Whether the trace decoded the long: the debug record names every one it decodes.
  bool Traced(std::int64_t cog) const {
    return At("\r\nAsmb " + Hex4(test::kAsmBlock + 4 * cog) + " " + HexText(static_cast<std::uint32_t>(cog), 3) + " ") !=
           std::string::npos;
  }
  bool Has(std::int64_t cog, std::uint32_t bits) const { return flags->HasAll(test::kAsmBlock + 4 * cog, bits); }
  std::size_t At(const std::string& text) const { return host.debug.find(text); }
};

TEST_F(AsmBlockTrace, JumpsEndFallThroughOrMoveThePath) {
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
  for (int cog : {0, 1, 2, 3, 5, 6, 7, 8, 9}) EXPECT_TRUE(Traced(cog)) << cog;
  EXPECT_FALSE(Traced(4));
  EXPECT_TRUE(Has(0, flag::Org0 | flag::Call));
  EXPECT_TRUE(Has(5, flag::Goto) && Has(7, flag::Goto) && Has(9, flag::JmpT));
  EXPECT_FALSE(Has(9, flag::Goto));
  EXPECT_TRUE(Has(13, flag::Asmb | flag::Adat));  // registers are data, not traced
  EXPECT_FALSE(Has(13, flag::Done));
  // A nested trace runs to its end before the path that found it goes on.
  EXPECT_LT(At("Goto 0034 005\r\nAsmb 0034 Starts\r\nAsmb 0034 005 MOV"), At("Asmb 002C 003"));
  EXPECT_LT(At("Asmb 0038 006 JMP     000, #000\r\nExit\r\n\r\n"), At("Asmb 002C 003"));
  EXPECT_NE(At("Goto 003C 007\r\nAsmb 003C 007 DJNZ"), std::string::npos);
  EXPECT_LT(At("Call 0044 009\r\nAsmb 0044 Starts"), At("Asmb 0040 008"));
}

TEST_F(AsmBlockTrace, CallTracesTheRoutineFirst) {
  Load({Call(3, 4), Jmp(0), Asm(kMov, R, 1, 1), Asm(kMov, R | I, 6, 1), Jmp(0)});  // routine at 3, returns at 4
  for (int cog : {0, 1, 3, 4}) EXPECT_TRUE(Traced(cog)) << cog;
  EXPECT_FALSE(Traced(2));
  EXPECT_TRUE(Has(3, flag::Call) && Has(4, flag::Aret | flag::Goto));
  EXPECT_LT(At("Call 002C 003\r\nAsmb 002C Starts\r\nAsmb 002C 003 MOV"), At("Asmb 0024 001"));
  EXPECT_LT(At("Asmb 0030 004 JMP"), At("Asmb 0024 001"));
}

TEST(AsmNames, ARoutineWithTwoReturnLocationsGivesEachItsOwnLabel) {
  test::ScriptedHost host;
  host.options.InhibitWarnings = true;
  Engine e(host);
  // The routine at 3 returns through 5 and, from a second call, through 6.
  const LoadResult r = e.DisassembleBytes(
      "block.binary", test::AsmImage({Call(3, 5), Call(3, 6), Jmp(0), Asm(kMov, R, 1, 1), Jmp(0), Jmp(0), Jmp(0)}),
      false);
  ASSERT_TRUE(r.analysis);
  std::map<std::string, int> labels;
  for (const ListingLine& line : r.analysis->lines) {
    if (line.labelEnd > line.labelStart && line.cog) ++labels[std::string(line.text.substr(line.labelStart, line.labelEnd - line.labelStart))];
  }
  int returns = 0;
  for (const auto& [label, count] : labels) {
    EXPECT_EQ(count, 1) << label;
    if (label.ends_with("_ret")) ++returns;
  }
  EXPECT_EQ(returns, 2);
}

void PutLong(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The method starts the block at $0030, another program at $0050, then the
// first block again: that launch decodes the entry again for its base, then stops.
TEST(AsmLaunch, RelaunchDecodesOnlyTheEntryAgain) {
  test::ImageSpec spec;
  spec.object = {0, 0, 2, 0, 8, 0, 0, 0, 0x34, 0xC7, 0x20, 0x35, 0x2C, 0x34, 0xC7, 0x40, 0x35, 0x2C, 0x34, 0xC7, 0x20, 0x35, 0x2C, 0x32};
  spec.object.resize(0x50, 0);
  PutLong(spec.object, 0x20, Jmp(2, kIfZ));
  PutLong(spec.object, 0x24, Asm(kMov, R, 2, 3));
  PutLong(spec.object, 0x28, Jmp(0));
  PutLong(spec.object, 0x40, Jmp(0));  // the second program: JMP #0
  test::ScriptedHost host;
  host.options.DebugAsmb = true;
  const AnalysisPtr a = test::ListImage(host, test::BuildImage(spec));
  ASSERT_TRUE(a);
  const std::string again = "Asmb 0030 Starts\r\nAsmb 0030 000 JMP     000, #002\r\nGoto 0038 002\r\nAsmb 0038 Starts\r\n";
  ASSERT_GE(host.debug.size(), again.size());
  EXPECT_EQ(host.debug.substr(host.debug.size() - again.size()), again);
  EXPECT_NE(host.debug.find("Asmb 0050 000 JMP     000, #000\r\n"), std::string::npos);
  ASSERT_EQ(a->asmBlocks.size(), 2u);
  EXPECT_EQ(a->asmBlocks[0].hubAddress, 0x30);
  EXPECT_EQ(a->asmBlocks[1].hubAddress, 0x50);
}

TEST_F(AsmTraceTest, AbortedTraceDecodesNothing) {
  Load({Jmp(2, kIfZ), Asm(kMov, R, 2, 3), Jmp(0)});
  host.debug.clear();
  e.TraceAbort = true;
  e.LaunchAssembly(kBase);
  EXPECT_EQ(host.debug, "Asmb 0200 Starts\r\nAsmb 0200 Done\r\n\r\n");
  EXPECT_FALSE(e.HasFlag(kBase, flag::Done));
}

TEST(AsmLaunch, SwitchedOffAssemblerTracesNothing) {
  test::ScriptedHost host;
  host.options.ProcessAssembler = false;
  Engine e(host);
  const LoadResult r = e.DisassembleBytes("block.binary", test::AsmImage({Jmp(2, kIfZ), Asm(kMov, R, 2, 3), Jmp(0)}), false);
  ASSERT_EQ(r.status, LoadStatus::Listed);
  const test::ReportedFlags flags(e);
  for (int cog = 0; cog < 3; ++cog) EXPECT_FALSE(flags.Has(test::kAsmBlock + 4 * cog, flag::Asmb)) << cog;
  EXPECT_TRUE(r.analysis->asmBlocks.empty());
}

// A block at $7FD0, near the end of the image: cog registers from $00C on lie past $7FFF.
TEST(AsmLaunch, TargetsBeyondTheImageAreNeitherMarkedNorFollowed) {
  constexpr std::int32_t base = 0x7FD0;
  test::ImageSpec spec;
  // PUSH -1, PUSH #OBJ+$7FC0 (a two-byte offset), PUSH 0, COGISUB, RETURN; VBASE at $7FF0.
  spec.object = {0, 0, 2, 0, 8, 0, 0, 0, 0x34, 0xC7, 0xFF, 0xC0, 0x35, 0x2C, 0x32};
  spec.object.resize(0x7FE0, 0);
  spec.eeprom = true;
  std::vector<std::uint8_t> image = test::BuildImage(spec);
  const std::uint32_t longs[] = {Jmp(0x100, kIfZ), Call(0x1EE, 0x1EF), Call(0x1EE, 2), Asm(kDjnz, R | I, 1, 0x1FF),
                                 Asm(kMov, R, 0x1EF, 0x1EE), Jmp(0x1FF)};
  for (std::size_t k = 0; k < 6; ++k) PutLong(image, base + 4 * k, longs[k]);
  test::ScriptedHost host;
  host.options.DebugAsmb = true;
  host.options.InhibitWarnings = true;
  const AnalysisPtr a = test::ListImage(host, image, "end.eeprom");
  ASSERT_TRUE(a);
  for (std::int32_t cog = 0; cog <= 5; ++cog) {
    EXPECT_NE(host.debug.find("Asmb " + Hex4(base + 4 * cog) + " " + HexText(static_cast<std::uint32_t>(cog), 3) + " "),
              std::string::npos) << cog;
  }
  const std::size_t start = host.debug.find("Asmb 7FD0 Starts");
  ASSERT_NE(start, std::string::npos);
  EXPECT_EQ(host.debug.find("Starts", start + 11), std::string::npos);  // no other trace started
  std::map<std::int32_t, const ListingLine*> byAddress;
  for (const ListingLine& line : a->lines) {
    if (line.address && line.text.size() > 13 && line.text[13] != ' ') byAddress.emplace(*line.address, &line);
  }
  // The return location of the routine past the end is named for an unknown routine.
  ASSERT_TRUE(byAddress.count(base + 8));
  const ListingLine& ret = *byAddress[base + 8];
  const std::string_view label = ret.text.substr(ret.labelStart, ret.labelEnd - ret.labelStart);
  EXPECT_TRUE(label.starts_with("R") && label.ends_with("_ret")) << ret.text;
  // Registers past the end are named by number, never numbered.
  ASSERT_TRUE(byAddress.count(base + 16));
  EXPECT_EQ(byAddress[base + 16]->text.substr(byAddress[base + 16]->textStart), std::string(16, ' ') + "MOV      $1EF, $1EE");
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
        Engine e(host);
        const LoadResult r = e.LoadAndDisassemble(data + "/" + image["image"].text, false);
        ASSERT_EQ(r.status, LoadStatus::Listed);
        const test::ReportedFlags flags(e);
        const std::vector<std::string> lines = test::Lines(r.analysis->listing);
        EXPECT_TRUE(process || r.analysis->listing.find("ORG      0") == std::string::npos);
        for (const test::Json& entry : image["pasm_entries"].items) {
          if (!LaunchedFromSpin(test::ReadText(data + "/" + entry["source"].text), entry["label"].text)) continue;
          const std::int64_t hub = entry["hub_address"].Int();
          std::size_t row = 0;
          while (row < lines.size() && lines[row].compare(0, 4, HexText(static_cast<std::uint32_t>(hub), 4)) != 0) ++row;
          if (!process) {
            EXPECT_FALSE(flags.Has(hub, flag::Asmb));
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
