// Random and hostile images: every one must finish with a listing or a clear
// refusal, never read or write outside the tables (run under the sanitizers).
#include <gtest/gtest.h>

#include <random>

#include "brevin/engine.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::ScriptedHost;

TEST(Robustness, RandomImagesAlwaysFinish) {
  std::mt19937 random(20261207);
  ScriptedHost host;
  host.options.InhibitWarnings = true;
  host.options.SymbolTable = true;
  Engine e(host);
  for (int round = 0; round < 150; ++round) {
    const std::size_t size = 16 + random() % 32768;
    std::vector<std::uint8_t> image(size);
    for (auto& b : image) b = static_cast<std::uint8_t>(random());
    // Mostly plausible header addresses, so tracing gets going.
    auto put = [&](std::size_t at, std::uint32_t v) {
      image[at] = static_cast<std::uint8_t>(v);
      image[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    const std::uint32_t pbase = 16 + random() % 64;
    const std::uint32_t vbase = pbase + random() % 0x7000;
    put(6, pbase);
    put(8, vbase);
    put(10, std::min<std::uint32_t>(vbase + 8 + random() % 0x800, 0x8007));
    put(12, pbase + random() % 0x400);
    put(14, std::min<std::uint32_t>(vbase + random() % 0x900, 0x7FFF));
    // Walk through the option switches too, debug output included.
    const unsigned bits = static_cast<unsigned>(random());
    host.options.ShowImage = round % 3 != 0;
    host.options.ShowLabels = round % 2 == 0;
    host.options.FoldIndexes = bits & 1;
    host.options.FoldOperators = bits & 2;
    host.options.CastVariables = bits & 4;
    host.options.DefaultLongVariables = bits & 8;
    host.options.ColonsAfterLabels = bits & 16;
    host.options.ForceHash = bits & 32;
    host.options.DebugSpin = bits & 64;
    host.options.DebugAsmb = bits & 128;
    host.options.DebugVars = bits & 256;
    host.options.ProcessAssembler = (bits & 512) == 0;
    host.options.TraceAllMethods = bits & 1024;
    host.debug.clear();
    const LoadResult r = e.DisassembleBytes("random.eeprom", image, false);
    ASSERT_TRUE(r.status == LoadStatus::Listed || r.status == LoadStatus::Refused) << r.message;
    if (r.status == LoadStatus::Listed) {
      EXPECT_FALSE(r.analysis->listing.empty());
    }
  }
}

TEST(Robustness, RandomBytecodeInAValidObject) {
  std::mt19937 random(7);
  ScriptedHost host;
  host.options.InhibitWarnings = true;
  Engine e(host);
  for (int round = 0; round < 100; ++round) {
    test::ImageSpec spec;
    spec.object = {0, 0, 0, 0, 16, 0, 0, 0, 40, 0, 0, 0, 80, 0, 0, 0};
    for (int i = 0; i < 400; ++i) spec.object.push_back(static_cast<std::uint8_t>(random()));
    spec.varBytes = static_cast<int>(random() % 64) * 4;
    spec.eeprom = round % 2 == 0;
    // Every other round traces from each table entry too, with random method and
    // object counts: entries then point anywhere, into code, data or other objects.
    host.options.TraceAllMethods = round % 2 == 1;
    if (host.options.TraceAllMethods) {
      spec.object[2] = static_cast<std::uint8_t>(1 + random() % 8);
      spec.object[3] = static_cast<std::uint8_t>(random() % 3);
    }
    const LoadResult r = e.DisassembleBytes("bytecode.binary", test::BuildImage(spec), false);
    ASSERT_EQ(r.status, LoadStatus::Listed) << r.message;
  }
}

}  // namespace
}  // namespace brevin
