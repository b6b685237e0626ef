// The listing as a whole: title, markers, sections, every byte once.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "brevin/engine.h"
#include "image/image_flags.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::BuildImage;
using test::ImageSpec;
using test::Lines;
using test::ScriptedHost;

ImageSpec SmallProgram(int varBytes) {
  ImageSpec spec;
  // object table: header, one method at +8; code: PUSH 0, RETURN, then unreached bytes
  spec.object = {0, 0, 0, 0, 8, 0, 0, 0, 0x35, 0x32, 0x36, 0x36, 0x36, 0x36, 0x32, 0x00};
  spec.varBytes = varBytes;
  return spec;
}

std::string ListingOf(ScriptedHost& host, const std::vector<std::uint8_t>& image, bool autoReloaded = false) {
  Engine e(host);
  const LoadResult r = e.DisassembleBytes("dir/prog.binary", image, autoReloaded);
  EXPECT_EQ(r.status, LoadStatus::Listed) << r.message;
  return r.analysis ? r.analysis->listing : std::string();
}

// Index of the first line whose label column (29..) starts with text.
std::ptrdiff_t FindLabel(const std::vector<std::string>& lines, const std::string& text) {
  auto it = std::find_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.size() > 29 && l.compare(29, text.size(), text) == 0; });
  return it == lines.end() ? -1 : it - lines.begin();
}

TEST(Pipeline, TitleBlockAndAutoReloadLine) {
  ScriptedHost host;
  const auto lines = Lines(ListingOf(host, BuildImage(SmallProgram(4)), true));
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "Disassembly of dir/prog.binary");
  EXPECT_EQ(lines[2], std::string(30, '='));
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "Auto-Reloaded at 12:34:56");
  EXPECT_EQ(lines[5], "");
  EXPECT_EQ(lines[6], "Incomplete 'Using' effects decoding");
  EXPECT_EQ(lines[7], "");
  EXPECT_EQ(lines[8], "Addr   Org   Instruction     Label    Opcode   Operand");
  EXPECT_EQ(lines[9], "----   ---   -----------     -----    ------   -------");
  EXPECT_EQ(lines[10], "");
  EXPECT_EQ(lines[11].substr(0, 4), "0000");  // no second blank line before the header
}

TEST(Pipeline, TitleUnderlineCountsCharactersNotBytes) {
  ScriptedHost host;
  // "Prüfstand/Zählwerk-été.binary": 29 characters in 33 bytes.
  const std::string path = "Pr\xC3\xBC" "fstand/Z\xC3\xA4" "hlwerk-\xC3\xA9t\xC3\xA9.binary";
  const AnalysisPtr a = test::ListImage(host, BuildImage(SmallProgram(4)), path);
  ASSERT_TRUE(a);
  const auto lines = Lines(a->listing);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "Disassembly of " + path);
  EXPECT_EQ(lines[2], std::string(15 + 29, '='));
}

TEST(Pipeline, EqualVbaseAndVendsGiveBothMarkersInOrderAndTheStackAsLongs) {
  ScriptedHost host;
  const auto lines = Lines(ListingOf(host, BuildImage(SmallProgram(0))));
  const auto vbase = FindLabel(lines, "VBASE");
  const auto vends = FindLabel(lines, "VENDS");
  ASSERT_GE(vbase, 0);
  ASSERT_GE(vends, 0);
  EXPECT_LT(vbase, vends);
  EXPECT_EQ(lines[static_cast<std::size_t>(vbase)].substr(0, 4), lines[static_cast<std::size_t>(vends)].substr(0, 4));
  // The stack frame supplied by the checksum rule is two LONG lines after VENDS.
  EXPECT_EQ(lines[static_cast<std::size_t>(vends) + 2].substr(13), "FF FF F9 FF              LONG     -393217");
  EXPECT_EQ(lines[static_cast<std::size_t>(vends) + 3].substr(13), "FF FF F9 FF              LONG     -393217");
  EXPECT_GE(FindLabel(lines, "SBASE"), 0);
  EXPECT_GE(FindLabel(lines, "SINIT"), 0);
}

TEST(Pipeline, MarkersFollowTheirOwnOrderAtTheSameAddress) {
  ScriptedHost host;
  const auto lines = Lines(ListingOf(host, BuildImage(SmallProgram(0))));
  const auto pbase = FindLabel(lines, "PBASE");
  const auto pinit = FindLabel(lines, "PINIT");
  ASSERT_GE(pbase, 0);
  ASSERT_GE(pinit, 0);
  EXPECT_LT(pbase, pinit);
  EXPECT_EQ(lines[static_cast<std::size_t>(pbase)].substr(29), "PBASE    ALIGN    OBJECT ");
  EXPECT_EQ(lines[static_cast<std::size_t>(pinit)].substr(29), "PINIT    ALIGN    SPIN ");
}

TEST(Pipeline, UnreachedBytesAreMarkedAndEveryByteIsListedOnceInOrder) {
  ScriptedHost host;
  const std::vector<std::uint8_t> image = BuildImage(SmallProgram(4));
  const AnalysisPtr a = test::ListImage(host, image, "p.binary");
  ASSERT_TRUE(a);
  const auto lines = Lines(a->listing);

  bool sawUnreached = false;
  std::int64_t next = 0;
  for (const std::string& line : lines) {
    if (line.size() < 14 || line[4] != ' ' || line[13] == ' ') continue;
    if (!std::all_of(line.begin(), line.begin() + 4, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
      continue;
    const std::int64_t address = std::stoll(line.substr(0, 4), nullptr, 16);
    if (line.find('+') == 14) continue;  // continuation line
    EXPECT_EQ(address, next) << line;
    // count the bytes shown on this line and its continuation lines
    const std::string bytes = line.substr(13, 15);
    next = address + static_cast<std::int64_t>((bytes.find_last_not_of(' ') + 2) / 3);
    if (line.size() > 29 && line.compare(29, 6, "; ----") == 0) sawUnreached = true;
  }
  EXPECT_EQ(next, a->image.sinit);
  EXPECT_TRUE(sawUnreached);
}

TEST(Pipeline, WithoutTheImageNoTitleAndEndLineAndNoTables) {
  ScriptedHost host;
  host.options.ShowImage = false;
  host.options.SymbolTable = true;
  const AnalysisPtr a = test::ListImage(host, BuildImage(SmallProgram(4)), "p.binary");
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->bytecodeListing);
  const auto lines = Lines(a->listing);
  EXPECT_EQ(a->listing.find("Disassembly of"), std::string::npos);
  EXPECT_EQ(a->listing.find("Symbol Table"), std::string::npos);
  EXPECT_EQ(a->listing.find("; ----"), std::string::npos);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "");
  EXPECT_EQ(lines.back(), "      END");
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1].substr(0, 9), "         ");  // no address column: the opcode column starts at 9
}

// Guesses over unreached bytes may indent their own lines ($08 decodes as
// LOOPJPF, which opens a block), but nothing after their run.
TEST(Pipeline, UnreachedBlockOpenersLeaveNoIndentationBehind) {
  // Right before VBASE: PUSH 0, RETURN, then unreached LOOPJPF guesses (their
  // last three bytes are alignment padding).
  ImageSpec beforeVariables;
  beforeVariables.object = {0, 0, 0, 0, 8, 0, 0, 0, 0x35, 0x32, 8, 0, 8, 0, 8, 0, 8, 0, 8, 0};
  beforeVariables.varBytes = 8;
  for (const bool eeprom : {false, true}) {
    ScriptedHost host;
    beforeVariables.eeprom = eeprom;
    const auto lines = Lines(ListingOf(host, BuildImage(beforeVariables)));
    int guesses = 0, flat = 0;
    for (const std::string& line : lines) {
      if (line.size() < 40) continue;
      if (line.compare(29, 6, "; ----") == 0) {
        EXPECT_EQ(line.substr(38 + 2 * static_cast<std::size_t>(guesses), 7), "LOOPJPF") << line;
        ++guesses;
      } else if (line.compare(29, 5, "VBASE") == 0 || line.compare(29, 5, "VENDS") == 0) {
        EXPECT_EQ(line.substr(38, 6), "ALIGN ") << line;
        ++flat;
      } else if (line.find("Alignment Padding") != std::string::npos || line.compare(38, 4, "LONG") == 0) {
        ++flat;
      } else if (line.compare(13, 12, "00 00 00 00 ") == 0 || line.compare(13, 12, "FF FF F9 FF ") == 0) {
        ADD_FAILURE() << "variable or stack long off the opcode column: " << line;
      }
    }
    EXPECT_GE(guesses, 2);
    EXPECT_GE(flat, 2 + 2 + 4);  // markers, padding, variables and stack frame
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("Alignment Padding") != std::string::npos; }),
              2);
  }

  // Inside a method: PUSH 0, JPF over RETURN and an unreached LOOPJPF, to PUSH 0, RETURN.
  ImageSpec insideMethod;
  insideMethod.object = {0, 0, 0, 0, 8, 0, 0, 0, 0x35, 0x0A, 0x03, 0x32, 0x08, 0x00, 0x35, 0x32};
  ScriptedHost host;
  const auto lines = Lines(ListingOf(host, BuildImage(insideMethod)));
  const auto guess = FindLabel(lines, "; ----");
  ASSERT_GE(guess, 0);
  EXPECT_EQ(lines[static_cast<std::size_t>(guess)].substr(38, 7), "LOOPJPF");
  const auto reached = std::find_if(lines.begin() + guess + 1, lines.end(),
                                    [](const std::string& l) { return l.find("PUSH") != std::string::npos; });
  ASSERT_NE(reached, lines.end());
  EXPECT_EQ(reached->substr(38, 4), "PUSH") << *reached;
  EXPECT_EQ((reached + 1)->substr(38, 6), "RETURN") << *(reached + 1);
}

TEST(Pipeline, StatusSizeTextAndSeedFlags) {
  ScriptedHost host;
  Engine e(host);
  const LoadResult r = e.DisassembleBytes("p.binary", BuildImage(SmallProgram(4)), false);
  ASSERT_EQ(r.status, LoadStatus::Listed);
  // object is 16 bytes: VBASE $20, VENDS $24
  EXPECT_EQ(r.analysis->sizeText, " $0000 - $0023 = 36 / 0% ");
  const test::ReportedFlags flags(e);
  const std::int32_t pbase = r.analysis->image.pbase, pinit = r.analysis->image.pinit;
  EXPECT_TRUE(flags.HasAll(pbase, flag::Link | flag::Done));
  EXPECT_TRUE(flags.Has(pbase + 4, flag::Link));
  EXPECT_TRUE(flags.Has(pinit, flag::Call));
}

TEST(Pipeline, DebugChannelStartsWithTheInitialProgramCounter) {
  ScriptedHost host;
  host.options.DebugSpin = true;
  Engine e(host);
  e.DisassembleBytes("p.binary", BuildImage(SmallProgram(4)), false);
  EXPECT_EQ(host.debug.rfind("Init 0018\r\n", 0), 0u);
}

TEST(Pipeline, BrokenImagesAlwaysFinish) {
  ScriptedHost host;
  host.options.InhibitWarnings = true;
  // Header words pointing at the image end, an object chain that runs off the end,
  // and a stack that starts at the last address (an SBASE past it is refused).
  std::vector<std::uint8_t> image(32768, 0xFF);
  const std::uint16_t words[] = {0x7FF0, 0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF};
  for (int i = 0; i < 5; ++i) {
    image[static_cast<std::size_t>(6 + 2 * i)] = static_cast<std::uint8_t>(words[i] & 0xFF);
    image[static_cast<std::size_t>(7 + 2 * i)] = static_cast<std::uint8_t>(words[i] >> 8);
  }
  Engine e(host);
  const LoadResult r = e.DisassembleBytes("broken.eeprom", image, false);
  ASSERT_EQ(r.status, LoadStatus::Listed);
  EXPECT_LE(test::ReportedFlags(e).End(), 0x7FFF);
  EXPECT_NE(r.analysis->listing.find("7FFF"), std::string::npos);
}

// The window's file reader never opens what is no regular file: a FIFO would
// wait for a writer (the window would hang) and opening a device may act on it.
TEST(Pipeline, TheFileReaderRefusesFifosFoldersAndDevicesByName) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("pipe.eeprom").c_str(), 0644), 0);
  ScriptedHost host;
  Engine e(host);
  for (const auto& [path, problem] : {std::pair<std::string, std::string>{dir.File("pipe.eeprom"), "is a FIFO"},
                                      {dir.path(), "is a folder"},
                                      {"/dev/zero", "is a device"}}) {
    const LoadResult r = e.LoadAndDisassemble(path, false);
    EXPECT_EQ(r.status, LoadStatus::Unreadable) << path;
    EXPECT_EQ(r.message, path + ": " + problem + ", not an image file");
  }
}

TEST(FlagsReport, CellValueThenFlagNamesInReportOrder) {
  ScriptedHost host;
  Engine e(host);
  EXPECT_EQ(e.ListImageFlags(), "Image Flags\r\n============\r\n\r\n0000  00000000      ");
  // PUSH 0, JPT +0, GOTO +0, POP VAR+4 as a word, RETURN; two variable longs.
  ImageSpec spec;
  spec.object = {0, 0, 2, 0, 8, 0, 0, 0, 0x35, 0x0B, 0x00, 0x04, 0x00, 0xA9, 0x04, 0x32};
  spec.varBytes = 8;
  ASSERT_EQ(e.DisassembleBytes("p.binary", BuildImage(spec), false).status, LoadStatus::Listed);
  const auto lines = Lines(e.ListImageFlags());
  ASSERT_GT(lines.size(), 3u + 0x30);
  EXPECT_EQ(lines[0], "Image Flags");
  EXPECT_EQ(lines[3], "0000  08000000  Done");
  EXPECT_EQ(lines[3 + 0x0D], "000D  00008200       Pads Word");
  EXPECT_EQ(lines[3 + 0x10], "0010  08000810  Done Link");
  EXPECT_EQ(lines[3 + 0x18], "0018  0C004035  Done Spin Call");
  EXPECT_EQ(lines[3 + 0x1A], "001A  04000000       Spin");
  EXPECT_EQ(lines[3 + 0x1B], "001B  0C002004  Done Spin JmpT");
  EXPECT_EQ(lines[3 + 0x1D], "001D  0C0030A9  Done Spin Goto");
  EXPECT_EQ(lines[3 + 0x24], "0024  08000200  Done Word");
}

}  // namespace
}  // namespace brevin

namespace brevin {
namespace {

// A load clears only what the load before it wrote, so an engine reused for a
// run of images must list each one exactly as a fresh engine does.
TEST(Pipeline, ReusedEngineListsEachImageAsAFreshOneDoes) {
  const std::string data = BREVIN_TEST_DATA;
  const char* images[] = {"serial_terminal.eeprom", "led_chaser.binary", "vga_bars.eeprom",
                          "pasm_math.binary",       "sensor_hub.eeprom", "led_chaser.binary"};
  test::ScriptedHost host;
  host.options.SymbolTable = true;
  host.options.DebugSpin = host.options.DebugAsmb = host.options.DebugVars = true;
  Engine reused(host);
  for (const char* image : images) {
    SCOPED_TRACE(image);
    host.debug.clear();
    const LoadResult again = reused.LoadAndDisassemble(data + "/" + image, false);
    ASSERT_EQ(again.status, LoadStatus::Listed);
    const std::string debug = host.debug;
    host.debug.clear();
    Engine fresh(host);
    const LoadResult first = fresh.LoadAndDisassemble(data + "/" + image, false);
    ASSERT_EQ(first.status, LoadStatus::Listed);
    EXPECT_EQ(again.analysis->listing, first.analysis->listing);  // with the symbol table: names, pairs, locals
    EXPECT_EQ(debug, host.debug);
    // Bytes and flags of every address: nothing left from the image before.
    EXPECT_EQ(reused.ListImageFlags(), fresh.ListImageFlags());
    ASSERT_EQ(again.analysis->symbols.size(), first.analysis->symbols.size());
    for (std::size_t k = 0; k < first.analysis->symbols.size(); ++k) {
      const Symbol& x = again.analysis->symbols[k];
      const Symbol& y = first.analysis->symbols[k];
      ASSERT_EQ(x.name, y.name) << k;
      ASSERT_EQ(x.address, y.address) << x.name;
      ASSERT_EQ(x.referencedFrom, y.referencedFrom) << x.name;
    }
  }
}

TEST(Pipeline, AFileListsAsItsBytesInMemoryWhateverItsRunsOfZeros) {
  // The file is read in pieces and its zero bytes after the last other one are
  // not copied: zero runs across piece boundaries, a zero top and a longer file
  // must all list as the same bytes handed over in memory.
  ImageSpec spec = SmallProgram(4);
  spec.eeprom = true;
  std::vector<std::uint8_t> image = BuildImage(spec);
  test::TempDir dir;
  for (const std::size_t extra : {std::size_t{0x0FFF}, std::size_t{0x1000}, std::size_t{0x3001}, std::size_t{0x7FFF}}) {
    SCOPED_TRACE(extra);
    std::vector<std::uint8_t> bytes = image;
    bytes[extra] ^= 0x5A;  // one byte that is not 0 between zero runs (the checksum question is answered Yes)
    for (const bool longer : {false, true}) {
      std::vector<std::uint8_t> file = bytes;
      if (longer) file.resize(40000, 0);
      const std::string path = dir.File(longer ? "long.eeprom" : "prog.eeprom");
      test::WriteBytes(path, file);
      ScriptedHost host;
      host.options.InhibitWarnings = true;
      Engine fromFile(host), fromMemory(host);
      const LoadResult read = fromFile.LoadAndDisassemble(path, false);
      const LoadResult given = fromMemory.DisassembleBytes(path, bytes, false);
      ASSERT_EQ(read.status, LoadStatus::Listed) << read.message;
      EXPECT_EQ(read.analysis->listing, given.analysis->listing);
      EXPECT_EQ(read.analysis->image.size, 32768);
      EXPECT_EQ(read.warnings.size(), longer ? 1u : 0u);
      EXPECT_EQ(read.analysis->image.bytes, given.analysis->image.bytes);
      EXPECT_EQ(fromFile.ListImageFlags(), fromMemory.ListImageFlags());
    }
  }
}

}  // namespace
}  // namespace brevin
