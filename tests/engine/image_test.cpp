// Loading, the checksum rule, the object walk and alignment padding.
#include <gtest/gtest.h>

#include <algorithm>

#include "brevin/engine.h"
#include "engine_probe.h"
#include "test_support.h"
#include "brevin/text.h"

namespace brevin {
namespace {

using test::BuildImage;
using test::ImageSpec;
using test::ScriptedHost;

// A top object with one method whose code is a single byte.
ImageSpec OneMethod() {
  ImageSpec spec;
  spec.object = {0, 0, 0, 0, 8, 0, 0, 0, 0x32};
  spec.varBytes = 4;
  return spec;
}

TEST(ImageLoad, ShortFileFillsWholeLongsAndLeavesTheRestZero) {
  ScriptedHost host;
  test::EngineProbe e(host);
  const std::vector<std::uint8_t> six{1, 2, 3, 4, 5, 6};
  // The first load of an engine and a later one, over bytes and flags left by an earlier image.
  for (int load = 0; load < 2; ++load) {
    if (load == 1) {
      e.LoadImageBytes(std::vector<std::uint8_t>(200, 0xFF));
      e.SetFlag(100, flag::Done);
    }
    e.LoadImageBytes(six);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(e.Image[static_cast<std::size_t>(i)], static_cast<std::uint32_t>(i + 1));
    EXPECT_EQ(e.Image[6], 0u);
    EXPECT_EQ(e.Image[7], 0u);
    EXPECT_EQ(e.Image[100], 0u);
    EXPECT_EQ(e.Image[199], 0u);
  }
}

TEST(ImageLoad, TracingSpreadsSpinAndListingPrintsTheBytesRead) {
  ScriptedHost host;
  test::EngineProbe e(host);
  e.LoadImageBytes(std::vector<std::uint8_t>{0xAB, 0x0C, 0xFF});
  e.SetFlag(0, flag::Spin);
  e.ReadCursor = 1;
  EXPECT_EQ(e.ReadByte(), 0x0Cu);
  EXPECT_FALSE(e.HasFlag(1, flag::Spin));  // a plain read marks nothing
  e.SpreadSpinMark(1, 3);
  EXPECT_TRUE(e.HasFlag(1, flag::Spin));  // inherited from the byte before
  EXPECT_TRUE(e.HasFlag(2, flag::Spin));
  EXPECT_EQ(e.ByteAt(1), 0x0Cu);          // flags never disturb the byte

  e.ReadCursor = 0;
  e.ReadWord();
  e.ReadByte();
  e.PrintBytes(0, e.ReadCursor);
  EXPECT_EQ(e.InstrBytes, "AB 0C FF");
}

TEST(ImageLoad, AnAssemblyLongAfterSpinCodeTakesNoSpinMark) {
  ScriptedHost host;
  test::EngineProbe e(host);
  e.LoadImageBytes(std::vector<std::uint8_t>(64, 0));
  e.SetFlag(0x1F, flag::Spin);
  e.TraceAsmInstruction(0x20);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(e.HasFlag(0x20 + i, flag::Spin)) << i;
  EXPECT_EQ(e.ReadCursor, 0x24);
}

TEST(ImageLoad, ReadsPastTheImageEndYieldNothing) {
  ScriptedHost host;
  test::EngineProbe e(host);
  e.LoadImageBytes(std::vector<std::uint8_t>(32768, 0x11));
  e.ReadCursor = 0x7FFE;
  EXPECT_EQ(e.ReadLong(), 0x1111u);
  e.PrintBytes(0x7FFE, e.ReadCursor);
  EXPECT_EQ(e.InstrBytes, "11 11");
  EXPECT_EQ(e.ReadCursor, 0x8002);
  e.SetFlag(0x8000, flag::Done);  // ignored, not written outside the table
  EXPECT_EQ(e.FlagsAt(0x8000), 0u);
}

TEST(Checksum, BinarySummingToZeroWithTheStackFrameIsRepairedSilently) {
  ScriptedHost host;
  const auto image = BuildImage(OneMethod());
  unsigned sum = 0;
  for (const std::uint8_t b : image) sum += b;
  EXPECT_NE(sum & 0xFF, 0u);  // the file alone does not sum to 0
  Engine e(host);
  const LoadResult r = e.DisassembleBytes("one.binary", image, false);
  ASSERT_EQ(r.status, LoadStatus::Listed) << r.message;
  EXPECT_TRUE(r.analysis->image.checksumOk);
  EXPECT_FALSE(r.checksum.has_value());
  EXPECT_TRUE(host.messages.empty());
  // The stack frame the sum needs is listed below SBASE.
  const std::int32_t sbase = r.analysis->image.sbase;
  for (const std::int32_t at : {sbase - 8, sbase - 4}) {
    const auto listed = std::find_if(r.analysis->lines.begin(), r.analysis->lines.end(), [&](const ListingLine& line) {
      return line.address == at && line.text.size() > 24 && line.text[13] != ' ';
    });
    ASSERT_NE(listed, r.analysis->lines.end()) << at;
    EXPECT_EQ(listed->text.substr(0, 24), Hex4(at) + "         FF FF F9 FF") << listed->text;
  }
}

TEST(Checksum, CorrectImageIsNeverModified) {
  ScriptedHost host;
  ImageSpec spec = OneMethod();
  spec.eeprom = true;
  auto image = BuildImage(spec);
  image[0x7000] = 0x40;  // keep the sum at 0 with two changes that cancel
  image[0x7001] = 0xC0;
  const AnalysisPtr a = test::ListImage(host, image, "one.eeprom");
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->image.checksumOk);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(a->image.bytes, image);
}

// A wrong sum is a result for the caller to ask about, with the question's text
// and both checksum bytes; accepting it (or inhibited warnings) lists the image.
TEST(Checksum, WrongSumIsAQuestionForTheCallerUnlessAcceptedOrInhibited) {
  ScriptedHost host;
  auto image = BuildImage(OneMethod());
  image[0x10 + 8] ^= 0x01;

  Engine e(host);
  LoadResult r = e.DisassembleBytes("dir/x.binary", image, false);
  EXPECT_EQ(r.status, LoadStatus::ChecksumMismatch);
  EXPECT_EQ(r.message,
            "dir/x.binary\r\n\r\nThe file checksum is not as expected.\r\n"
            "Checksum byte: found $4B, expected $4A.\r\n\r\n"
            "Do you want to try and decompile the image ?");
  ASSERT_TRUE(r.checksum.has_value());
  EXPECT_EQ(r.checksum->found, 0x4B);
  EXPECT_EQ(r.checksum->expected, 0x4A);
  EXPECT_EQ(r.analysis, nullptr);  // no listing
  EXPECT_TRUE(host.messages.empty());  // nothing is asked while loading

  r = e.DisassembleBytes("dir/x.binary", image, false, true);
  EXPECT_EQ(r.status, LoadStatus::Listed);
  EXPECT_TRUE(r.checksum.has_value());
  EXPECT_FALSE(r.analysis->image.checksumOk);

  host.options.InhibitWarnings = true;
  r = e.DisassembleBytes("dir/x.binary", image, false);
  EXPECT_EQ(r.status, LoadStatus::Listed);
  EXPECT_TRUE(host.messages.empty());
}

TEST(HeaderCheck, AddressesOutsideTheImageAreRefusedByName) {
  ScriptedHost host;
  struct Case {
    int offset;
    int value;
    const char* text;
  } cases[] = {
      {6, 0x8000, "PBASE = $8000"},
      {8, 0xFFFF, "VBASE = $FFFF"},
      {10, 0x0004, "SBASE - 8 = -$0004"},
      {12, 0x9000, "PINIT = $9000"},
      {14, 0x8000, "SINIT = $8000"},
  };
  for (const Case& c : cases) {
    auto image = BuildImage(OneMethod());
    image[static_cast<std::size_t>(c.offset)] = static_cast<std::uint8_t>(c.value & 0xFF);
    image[static_cast<std::size_t>(c.offset) + 1] = static_cast<std::uint8_t>(c.value >> 8);
    Engine e(host);
    const LoadResult r = e.DisassembleBytes("bad.binary", image, false);
    EXPECT_EQ(r.status, LoadStatus::Refused) << c.text;
    EXPECT_NE(r.message.find(c.text), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("bad.binary"), std::string::npos);
    EXPECT_EQ(r.analysis, nullptr);  // no listing
  }
}

// A header that no compiled image has, or a file shorter than its program,
// gets a warning before the checksum question, and the listing follows.
TEST(HeaderCheck, ForeignOrTruncatedFilesAreNamedBeforeTheChecksumQuestion) {
  struct Case {
    int offset, value;  // a header word changed (offset 0: none)
    std::size_t keep;   // bytes of the file kept (0: all)
    const char* warning;
  } cases[] = {
      {0, 0, 0, ""},
      {0, 0, 0x14, "x.binary ends at $0014, but its header places the end of the program at $001C: the image is truncated"},
      {6, 0x6548, 0, "x.binary does not look like a Propeller image (PBASE is $6548, not $0010)"},
      {8, 0x000C, 0, "x.binary does not look like a Propeller image (VBASE $000C lies below PBASE $0010)"},
      {10, 0x0018, 0, "x.binary does not look like a Propeller image (SBASE $0018 lies below VBASE $001C)"},
      {12, 0x0010, 0, "x.binary does not look like a Propeller image (PINIT $0010 lies outside the program, $0010 - $001C)"},
      {12, 0x001C, 0, "x.binary does not look like a Propeller image (PINIT $001C lies outside the program, $0010 - $001C)"},
      {14, 0x0028, 0, "x.binary does not look like a Propeller image (SINIT $0028 is not above SBASE $0028)"},
      // Both faults: the foreign header is named, not a length it cannot tell.
      {6, 0x6548, 0x14, "x.binary does not look like a Propeller image (PBASE is $6548, not $0010)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.warning);
    auto image = BuildImage(OneMethod());  // VBASE $001C, SBASE $0028
    if (c.offset != 0) {
      image[static_cast<std::size_t>(c.offset)] = static_cast<std::uint8_t>(c.value & 0xFF);
      image[static_cast<std::size_t>(c.offset) + 1] = static_cast<std::uint8_t>(c.value >> 8);
    }
    if (c.keep != 0) image.resize(c.keep);
    for (const bool inhibit : {false, true}) {
      ScriptedHost host;
      host.options.InhibitWarnings = inhibit;
      host.options.IncludeSourceCode = false;
      Engine e(host);
      LoadResult r = e.DisassembleBytes("x.binary", image, false);
      const bool warned = *c.warning != '\0' && !inhibit;
      // The checksum question follows, after the warning, unless the image is intact.
      const bool asked = !inhibit && (c.offset != 0 || c.keep != 0);
      EXPECT_EQ(r.status, asked ? LoadStatus::ChecksumMismatch : LoadStatus::Listed);
      ASSERT_EQ(r.notices.size(), warned ? 1u : 0u);
      if (warned) {
        EXPECT_EQ(r.notices[0].text, c.warning);
        EXPECT_EQ(r.notices[0].icon, MessageIcon::Warning);
      }
      if (asked) {
        EXPECT_EQ(r.message.rfind("x.binary\r\n\r\nThe file checksum is not as expected.", 0), 0u);
        r = e.DisassembleBytes("x.binary", image, false, true);  // answered Yes
        EXPECT_EQ(r.status, LoadStatus::Listed);
      }
      EXPECT_TRUE(r.warnings.empty());
      EXPECT_TRUE(host.messages.empty());
    }
  }
}

TEST(HeaderCheck, ChecksumFiguresNameTheByteThatMendsTheImage) {
  ScriptedHost host;
  auto image = BuildImage(OneMethod());
  image[5] = 0x1A;  // the expected byte is the one the image was built with
  Engine e(host);
  const LoadResult r = e.DisassembleBytes("demo.binary", image, false);
  EXPECT_EQ(r.status, LoadStatus::ChecksumMismatch);
  ASSERT_TRUE(r.checksum.has_value());
  EXPECT_EQ(r.checksum->found, 0x1A);
  EXPECT_EQ(r.checksum->expected, BuildImage(OneMethod())[5]);
}

TEST(HeaderCheck, OverlongInputIsCutTo32KWithAWarning) {
  ScriptedHost host;
  host.options.IncludeSourceCode = false;
  ImageSpec spec = OneMethod();
  spec.eeprom = true;
  auto image = BuildImage(spec);
  image.resize(40000, 0x55);
  Engine e(host);
  const LoadResult r = e.DisassembleBytes("big.eeprom", image, false);
  EXPECT_EQ(r.status, LoadStatus::Listed);
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("40000"), std::string::npos);
  EXPECT_TRUE(host.messages.empty());  // the 32 KB still sum to 0
}

TEST(ObjectWalk, ZeroLengthHeaderEndsTheChainBeforeVbase) {
  ScriptedHost host;
  test::EngineProbe e(host);
  e.LoadImageBytes(std::vector<std::uint8_t>(0x100, 0));
  e.PBASE = 0x10;
  e.VBASE = 0x80;
  e.VENDS = 0x80;
  e.Image[0x10] = 0x20;  // first object is $20 long; the next one at $30 has length 0
  e.SetFlag(0x10, flag::Done);
  e.SetFlag(0x30, flag::Done);
  e.SetFlag(0x7C, flag::Long);  // keeps VBASE from being padded
  e.WalkObjects();
  // $30 got padding (its three bytes before are free); nothing past $30 was visited
  EXPECT_TRUE(e.HasFlag(0x2D, flag::Pads));
  for (int a = 0x31; a < 0x7C; ++a) EXPECT_FALSE(e.HasFlag(a, flag::Pads)) << a;
  EXPECT_EQ(e.ObjBase, 0x80);
}

TEST(Padding, PatternsOfUsedAndFreeCells) {
  ScriptedHost host;
  struct Case {
    const char* pattern;  // a-3, a-2, a-1: '*' used, '-' free
    std::uint32_t expect3, expect2, expect1;
  } cases[] = {
      {"---", flag::Pads | flag::Word, 0, flag::Pads | flag::Byte},
      {"*--", 0, flag::Pads | flag::Word, 0},
      {"**-", 0, 0, flag::Pads | flag::Byte},
      {"-*-", 0, 0, flag::Pads | flag::Byte},
      {"--*", 0, 0, 0},
      {"***", 0, 0, 0},
  };
  for (const Case& c : cases) {
    test::EngineProbe e(host);
    e.LoadImageBytes(std::vector<std::uint8_t>(0x40, 0));
    const int a = 0x20;
    for (int i = 0; i < 3; ++i) {
      if (c.pattern[i] == '*') e.SetFlag(a - 3 + i, flag::Done);
    }
    e.MarkPadding(a);
    const std::uint32_t mask = flag::Pads | flag::Word | flag::Byte;
    EXPECT_EQ(e.FlagsAt(a - 3) & mask, c.expect3) << c.pattern;
    EXPECT_EQ(e.FlagsAt(a - 2) & mask, c.expect2) << c.pattern;
    EXPECT_EQ(e.FlagsAt(a - 1) & mask, c.expect1) << c.pattern;
  }
}

TEST(Padding, ItemsCoveringTheGapPreventOrShapePadding) {
  ScriptedHost host;
  test::EngineProbe e(host);
  e.LoadImageBytes(std::vector<std::uint8_t>(0x40, 0));
  e.SetFlag(0x1C, flag::Long);  // a long just before: no padding at all
  e.MarkPadding(0x20);
  EXPECT_FALSE(e.HasFlag(0x1F, flag::Pads));
  EXPECT_FALSE(e.HasFlag(0x1D, flag::Pads));

  test::EngineProbe f(host);
  f.LoadImageBytes(std::vector<std::uint8_t>(0x40, 0));
  f.SetFlag(0x1C, flag::Word);  // a word at a-4 covers a-3: pattern "*--"
  f.MarkPadding(0x20);
  EXPECT_TRUE(f.HasFlag(0x1E, flag::Pads | flag::Word));
  EXPECT_FALSE(f.HasFlag(0x1F, flag::Pads));

  test::EngineProbe g(host);
  g.LoadImageBytes(std::vector<std::uint8_t>(0x40, 0));
  g.SetFlag(0x1D, flag::Word);  // a word at a-3 covers a-2: pattern "**-"
  g.MarkPadding(0x20);
  EXPECT_TRUE(g.HasFlag(0x1F, flag::Pads | flag::Byte));
}

}  // namespace
}  // namespace brevin
