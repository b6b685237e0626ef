// Helpers shared by the engine tests: a scripted host and an image builder.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "brevin/engine.h"

namespace brevin::test {

// Answers the engine's questions from a script and records every message.
class ScriptedHost : public Host {
 public:
  Options options;
  std::deque<MessageAnswer> answers;  // next answers; empty means Yes
  std::vector<std::string> messages;
  std::string debug;
  bool developerMode = false;

  Options LoadOptions() override { return options; }
  MessageAnswer ShowMessage(const std::string& title, const std::string& text, MessageButtons buttons,
                            MessageIcon icon) override;
  void DebugWrite(const std::string& text) override { debug += text; }
  bool DeveloperMode() override { return developerMode; }
  std::string TimeOfDay() override { return "12:34:56"; }
};

// The image flags of an engine's last load, read back from its flags report:
// the cell of every address with the flag bits of image/image_flags.h.
class ReportedFlags {
 public:
  explicit ReportedFlags(const Engine& engine);
  std::uint32_t At(std::int64_t address) const;  // 0 outside the report
  // Whether any of the bits is set, as the engine asks it.
  bool Has(std::int64_t address, std::uint32_t bits) const { return (At(address) & bits) != 0; }
  bool HasAll(std::int64_t address, std::uint32_t bits) const { return (At(address) & bits) == bits; }
  std::int64_t End() const { return static_cast<std::int64_t>(cells_.size()) - 1; }  // the last address reported

 private:
  std::vector<std::uint32_t> cells_;
};

// A small image: header, the top object at $0010, variables, stack frame.
struct ImageSpec {
  std::uint32_t clockFreq = 80'000'000;
  std::uint8_t clockMode = 0x6F;
  std::vector<std::uint8_t> object;  // the top object from its table; word 0 is set to its length
  int varBytes = 0;                  // size of the variable area
  int pinit = -1;                    // default: the first method's entry from the table
  bool eeprom = false;               // the whole 32 KB with the stack frame, else ends at VBASE
  bool setLength = true;             // write the object's length into its header word
};

std::vector<std::uint8_t> BuildImage(const ImageSpec& spec);

// An image whose one method starts an assembly block with COGNEW(@block, 0):
// the block's longs at hub $0020 (cog register 0), then zero longs up to
// cog register count, so any jump of the block lands on code.
inline constexpr std::int32_t kAsmBlock = 0x20;
std::vector<std::uint8_t> AsmImage(const std::vector<std::uint32_t>& longs, int count = 0x40);

// A whole 32 KB image whose program starts at $7FFC with two one-byte
// instructions and ends with the two given bytes at $7FFE and $7FFF.
std::vector<std::uint8_t> ImageEndingWith(std::uint8_t at7FFE, std::uint8_t at7FFF);

// Lists the image through the facade with the host's options; null (and a
// test failure) when it is not listed.
AnalysisPtr ListImage(ScriptedHost& host, const std::vector<std::uint8_t>& image, const std::string& path = "test.binary");

// The first line of the listing at the hub address that lists image bytes, or null.
const ListingLine* CodeLineAt(const Analysis& analysis, std::int32_t address);

// Splits a listing at CR LF; fails the test on a bare LF.
std::vector<std::string> Lines(const std::string& text);

// Reads a whole file as bytes.
std::vector<std::uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace brevin::test
