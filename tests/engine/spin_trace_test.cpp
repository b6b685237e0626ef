// Spin control-flow tracing: which bytes become code and which marks the
// calls, jumps, case branches and cog starts leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "brevin/engine.h"
#include "image/image_flags.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::BuildImage;
using test::ImageSpec;
using test::ScriptedHost;

std::vector<std::int32_t> ReferrersIn(const Analysis& a, std::int64_t address) {
  for (const Symbol& symbol : a.symbols) {
    if (symbol.address == address) return symbol.referencedFrom;
  }
  return {};
}

bool Contains(const std::vector<std::int32_t>& values, std::int64_t value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

constexpr std::int64_t kObject = 0x10;

// Traces a top object (table and code) and keeps its listing and image flags.
class TraceTest : public ::testing::Test {
 protected:
  ScriptedHost host;
  Engine e{host};
  AnalysisPtr a;
  std::optional<test::ReportedFlags> flags;

  void Trace(std::vector<std::uint8_t> object, bool setLength = true) {
    ImageSpec spec;
    spec.object = std::move(object);
    spec.varBytes = 4;
    spec.setLength = setLength;
    host.options.IncludeSourceCode = false;
    const LoadResult r = e.DisassembleBytes("t.binary", BuildImage(spec), false);
    ASSERT_EQ(r.status, LoadStatus::Listed) << r.message;
    a = r.analysis;
    flags.emplace(e);
  }
  bool Code(std::int64_t offset) const { return flags->Has(kObject + offset, flag::Spin) && flags->Has(kObject + offset, flag::Done); }
  bool Flags(std::int64_t offset, std::uint32_t bits) const { return flags->HasAll(kObject + offset, bits); }
  // Where the model says the symbol at the address is referenced from (empty without one).
  std::vector<std::int32_t> Referrers(std::int64_t address) const { return ReferrersIn(*a, address); }
};

TEST_F(TraceTest, GotoAtTheMethodEndMarksItsTargetAndTracingRunsOn) {
  Trace({0, 0, 0, 0, 8, 0, 0, 0, 0x04, 0x7E, 0x32});  // GOTO -2 (to itself), RETURN
  EXPECT_TRUE(Flags(8, flag::Goto | flag::Call));
  EXPECT_TRUE(Code(10));
  EXPECT_TRUE(Contains(Referrers(kObject + 8), kObject + 8));
}

TEST_F(TraceTest, LoopRepeatIntoTracedCodeEndsThePath) {
  Trace({0, 0, 0, 0, 8, 0, 0, 0, 0x36, 0x09, 0x7D, 0x32});  // PUSH 1, LOOPRPT -3, RETURN
  EXPECT_TRUE(Flags(8, flag::Goto));
  EXPECT_FALSE(flags->Has(kObject + 11, flag::Spin));
}

TEST_F(TraceTest, CaseBranchGetsGotoButNoReferrer) {
  host.options.ShowLabels = false;  // no operand names the branch: only the tracer could say where it is reached from
  host.options.SymbolTable = true;
  Trace({0, 0, 0, 0, 8, 0, 0, 0, 0x35, 0x0D, 0x01, 0x32, 0x32});  // PUSH 0, CASE +1, RETURN, RETURN
  EXPECT_TRUE(Flags(12, flag::Goto));
  EXPECT_TRUE(Code(12));
  EXPECT_TRUE(Code(11));
  ASSERT_TRUE(std::any_of(a->symbols.begin(), a->symbols.end(), [](const Symbol& s) { return s.address == kObject + 12; }));
  EXPECT_TRUE(Referrers(kObject + 12).empty());
}

TEST_F(TraceTest, MethodCalledBothWaysGainsXfun) {
  // method 1 at +12: call method 2 dropping, then using its result; method 2 at +19
  Trace({0, 0, 0, 0, 12, 0, 0, 0, 19, 0, 0, 0, 0x01, 0x05, 0x02, 0x00, 0x05, 0x02, 0x32, 0x32});
  EXPECT_TRUE(Flags(19, flag::Call | flag::Xfun | flag::Spin));
  EXPECT_TRUE(Flags(4, flag::Link) && Flags(8, flag::Link));
  EXPECT_TRUE(Contains(Referrers(kObject + 19), kObject + 16));
}

TEST_F(TraceTest, SubObjectCallTracesItsFirstMethodFirst) {
  host.options.DebugSpin = true;
  std::vector<std::uint8_t> object = {20, 0, 0, 0, 12, 0, 0, 0, 20, 0, 8, 0,  // top table: method, sub-object
                                      0x01, 0x06, 0x02, 0x03, 0x32, 0, 0, 0,     // FRAME, CALLOBJ 2.3, RETURN
                                      20, 0, 0, 0, 16, 0, 0, 0, 17, 0, 0, 0, 18, 0, 0, 0,  // sub-object table
                                      0x32, 0x32, 0x32, 0};
  Trace(object, false);
  EXPECT_TRUE(Flags(20, flag::Xobj | flag::Link | flag::Done));
  for (int k = 1; k <= 3; ++k) EXPECT_TRUE(Flags(20 + 4 * k, flag::Link)) << k;
  for (int k = 0; k <= 2; ++k) EXPECT_TRUE(Flags(4 * k, flag::Link)) << k;
  EXPECT_TRUE(Code(36));   // method 1
  EXPECT_FALSE(Code(37));  // method 2 is not called
  EXPECT_TRUE(Code(38));   // method 3
  const auto first = host.debug.find("Spin 0034");
  const auto third = host.debug.find("Spin 0036");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(third, std::string::npos);
  EXPECT_LT(first, third);
}

TEST_F(TraceTest, FiveFramesInARowStopThePath) {
  Trace({0, 0, 0, 0, 8, 0, 0, 0, 0x35, 0x0B, 0x01, 0x32, 0, 0, 0, 0, 0, 0x32});
  for (int i = 12; i <= 16; ++i) EXPECT_TRUE(Code(i)) << i;
  EXPECT_FALSE(flags->Has(kObject + 17, flag::Spin));
}

TEST_F(TraceTest, CogStartFromConstantsEndsThePathOnlyForCogZero) {
  Trace({0, 0, 0, 0, 8, 0, 0, 0, 0x35, 0x39, 0x01, 0x00, 0x35, 0x2C, 0x32});  // cog 0, $0100, 0
  EXPECT_FALSE(flags->Has(kObject + 14, flag::Spin));
  Trace({0, 0, 0, 0, 8, 0, 0, 0, 0x38, 0x02, 0x39, 0x01, 0x00, 0x35, 0x2C, 0x32});  // cog 2
  EXPECT_TRUE(Code(15));
}

TEST_F(TraceTest, CogStartAfterCodeAddressPushContinues) {
  host.options.DebugSpin = true;
  // The launch uses up the code address: a second cog start of values that are
  // no constants (PUSH VAR+0) launches nothing.
  Trace({0, 0, 0, 0, 8, 0, 0, 0, 0xC7, 0x20, 0x35, 0x2C, 0x40, 0x40, 0x40, 0x2C, 0x32, 0, 0, 0});
  const std::size_t launch = host.debug.find("Call Asmb\r\n");
  EXPECT_NE(launch, std::string::npos);
  EXPECT_EQ(host.debug.find("Call Asmb\r\n", launch + 1), std::string::npos);
  EXPECT_TRUE(Code(12));
  EXPECT_TRUE(Code(16));
}

// PUSH -1, PUSH ##OBJ+$18 by the given opcode, then the parameter, COGISUB,
// RETURN; an assembly JMP #0 at +$18 and a byte buffer at +$20.
std::vector<std::uint8_t> CogNewObject(std::uint8_t push, std::vector<std::uint8_t> parameter) {
  std::vector<std::uint8_t> object(0x24, 0);
  const std::uint8_t start[] = {0, 0, 0, 0, 8, 0, 0, 0, 0x34, push, 0x18};
  const std::uint8_t end[] = {0x2C, 0x32};
  const std::uint8_t tail[] = {0x00, 0x00, 0x7C, 0x5C, 0, 0, 0, 0, 'A', 'B', 0, 0};
  std::size_t at = 0;
  for (const std::uint8_t b : start) object[at++] = b;
  for (const std::uint8_t b : parameter) object[at++] = b;
  for (const std::uint8_t b : end) object[at++] = b;
  at = 0x18;
  for (const std::uint8_t b : tail) object[at++] = b;
  return object;
}

TEST_F(TraceTest, CodeAddressPushOfEverySizeLaunchesAssembly) {
  for (const std::uint8_t push : {0x87, 0xA7, 0xC7}) {
    SCOPED_TRACE(push);
    Trace(CogNewObject(push, {0x35}));  // parameter 0
    EXPECT_TRUE(Flags(0x18, flag::Asmb | flag::Org0 | flag::Call));
    EXPECT_TRUE(Code(0x0D));  // tracing goes on after the cog start to the RETURN
    EXPECT_NE(a->listing.find("\r\n0028   000   00 00 7C 5C"), std::string::npos);
  }
  // The same address pushed by a push of another base is no code address.
  Trace(CogNewObject(0x8B, {0x35}));
  EXPECT_FALSE(flags->Has(kObject + 0x18, flag::Asmb));
}

TEST_F(TraceTest, ObjectAddressParameterIsNotTakenForTheCodeAddress) {
  for (const std::uint8_t push : {0x87, 0xC7}) {
    SCOPED_TRACE(push);
    Trace(CogNewObject(push, {0x87, 0x20}));  // cognew(@entry, @buffer)
    EXPECT_TRUE(Flags(0x18, flag::Asmb | flag::Org0));
    EXPECT_FALSE(flags->Has(kObject + 0x20, flag::Org0));
  }
  // A parameter computed after the address push leaves the mark as it is.
  Trace(CogNewObject(0x87, {0x35, 0xEC}));  // PUSH 0, ADD
  EXPECT_TRUE(Flags(0x18, flag::Asmb | flag::Org0));
}

TEST_F(TraceTest, OutOfRangeDestinationIsReportedInDeveloperModeAndNotFollowed) {
  host.developerMode = true;
  host.answers = {MessageAnswer::Yes};
  Trace({0, 0, 0, 0, 8, 0, 0, 0, 0x0B, 0xC0, 0x00, 0x32});  // JPT -16384
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], "Destination out of range\r\n\r\n001B\r\nJPT\r\n\r\nContinue reporting problem issues?");
  EXPECT_TRUE(Code(11));
}

TEST_F(TraceTest, CancelledProblemReportStopsAllTracing) {
  host.developerMode = true;
  host.answers = {MessageAnswer::Cancel};
  Trace({0, 0, 0, 0, 8, 0, 0, 0, 0x0B, 0xC0, 0x00, 0x36, 0x32});
  EXPECT_EQ(host.messages.size(), 1u);  // no report after the cancel
  EXPECT_FALSE(flags->Has(kObject + 11, flag::Spin));
  EXPECT_FALSE(a->listing.empty());
}

TEST(DeepTrace, SixteenThousandNestedJumpsNeedNoDeepStack) {
  // Each JPT +0 leads to the next instruction, one nesting level per jump.
  constexpr int kJumps = 16000;
  ImageSpec spec;
  spec.object = {0, 0, 0, 0, 8, 0, 0, 0};
  for (int i = 0; i < kJumps; ++i) {
    spec.object.push_back(0x0B);
    spec.object.push_back(0x00);
  }
  spec.object.push_back(0x32);
  spec.eeprom = true;
  ScriptedHost host;
  Engine e(host);
  const LoadResult r = e.DisassembleBytes("deep.eeprom", BuildImage(spec), false);
  ASSERT_EQ(r.status, LoadStatus::Listed);
  const test::ReportedFlags flags(e);
  const std::int64_t last = kObject + 8 + 2 * kJumps;
  EXPECT_TRUE(flags.Has(last, flag::JmpT | flag::Spin | flag::Done));
  EXPECT_TRUE(Contains(ReferrersIn(*r.analysis, last), last - 2));
}

TEST(EndOfImage, TracingEndsAtAnInstructionThatRunsOffTheImage) {
  // PUSH with a two-byte constant, only one byte left.
  const std::vector<std::uint8_t> image = test::ImageEndingWith(0x39, 0x12);
  ScriptedHost host;
  host.options.InhibitWarnings = true;
  Engine e(host);
  const LoadResult r = e.DisassembleBytes("end.eeprom", image, false);
  ASSERT_EQ(r.status, LoadStatus::Listed);
  const test::ReportedFlags flags(e);
  EXPECT_TRUE(flags.Has(0x7FFE, flag::Done | flag::Spin));
  // The last byte belongs to the cut-off instruction: no line of its own lists it.
  EXPECT_TRUE(std::none_of(r.analysis->lines.begin(), r.analysis->lines.end(),
                           [](const ListingLine& line) { return line.address == 0x7FFF; }));
  EXPECT_NE(r.analysis->listing.find("7FFE         39 12                    PUSH\r\n"), std::string::npos);
}

}  // namespace
}  // namespace brevin
