// How one fuzz input drives the engine. Shared by the libFuzzer targets and by
// the engine tests, which replay the inputs kept in tests/data/fuzz.
//
// The input is an image as it stands; its last eight bytes (fewer in a shorter
// input) also choose the view options, the host's answers, the source file and
// whether the flags report is wanted, so mutating them explores the options.
// The expensive checks (a reused engine against a fresh one, the flags report,
// json_fuzzer's parse back) run on one input in eight, chosen by a hash of all
// its bytes: the rest cost one analysis each, so a fuzzer tries more of them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "brevin/engine.h"

namespace brevin::fuzz {

// What the option bytes of an input select.
struct CaseSettings {
  std::uint64_t word = 0;          // the option bytes, the last one highest
  Options options;
  bool autoReloaded = false;
  bool developerMode = false;      // problem reports are shown (and answered)
  bool declineChecksum = false;    // the checksum question is answered No
  std::uint8_t answers = 0;        // two bits per problem report: 0 or 3 Yes, 1 No, 2 Cancel
  int source = 0;                  // 0: no source file; 1..7: one of the sample sources
  bool crossChecks = false;        // the expensive checks: a reused engine against a fresh one (and the JSON read back)
  bool flagsReport = false;        // also write the image flags report (on inputs chosen for cross-checks)
  bool toolRunning = false;        // the Propeller Tool's window is open
};

CaseSettings SettingsFrom(std::span<const std::uint8_t> input);

// How many of the inputs get the cross-checks: those whose hash is 0 modulo this.
inline constexpr std::uint64_t kCrossCheckOneIn = 8;

// A host that answers from the settings and keeps the debug text.
class FuzzHost : public Host {
 public:
  FuzzHost(const CaseSettings& settings, std::string sourcePath) : settings_(settings), sourcePath_(std::move(sourcePath)) {}
  Options LoadOptions() override { return options; }
  MessageAnswer ShowMessage(const std::string& title, const std::string& text, MessageButtons buttons,
                            MessageIcon icon) override;
  void DebugWrite(const std::string& text) override { debug += text; }
  bool PropellerToolRunning() override { return settings_.toolRunning; }
  bool DeveloperMode() override { return settings_.developerMode; }
  std::string TimeOfDay() override { return "12:00:00"; }
  std::string SourcePathFor(const std::string&) override { return sourcePath_; }

  Options options;
  std::string debug;
  int questions = 0;  // problem reports answered so far

 private:
  const CaseSettings& settings_;
  std::string sourcePath_;
};

// One input with its settings. A target builds one, runs an engine through
// Analyse and passes the outcome to Problems; any text returned is a finding.
class FuzzCase {
 public:
  // sourceFolder holds the sample Spin sources (tests/data).
  FuzzCase(std::span<const std::uint8_t> input, const std::string& sourceFolder);

  LoadResult Analyse(Engine& engine);
  // The listing's and the model's own rules, checked on a finished analysis:
  // empty when they hold.
  std::string Problems(const LoadResult& result) const;

  const CaseSettings& settings() const { return settings_; }
  std::span<const std::uint8_t> image() const { return input_; }
  FuzzHost& host() { return host_; }

 private:
  std::span<const std::uint8_t> input_;
  CaseSettings settings_;
  FuzzHost host_;
};

// The rules every recovered Spin source keeps, however broken the image: an
// error or files, marks in order inside their file, a reason for every method
// that is not the same bytes. Empty when they hold. The analysis, when given,
// lends its labels as the command line's does.
std::string SpinSourceProblems(std::span<const std::uint8_t> input, const Analysis* analysis = nullptr);

// The whole image target: load, analysis and listing with the input's options,
// the flags report when chosen, and the reuse check when the input is one of
// those chosen for cross-checks. With everyCheck (kept inputs replay so) every
// check runs, the Spin source recovery's too. Returns the findings (empty
// when none).

std::string RunImageCase(std::span<const std::uint8_t> input, const std::string& sourceFolder,
                         bool everyCheck = false);

// A structure-aware mutation of the image header: one or two of the address
// words (PBASE, VBASE, SBASE, PINIT, SINIT) set to an edge of hub memory
// ($0000, $7FFF, $8000, $FFFF and their neighbours) or next to another word,
// then the checksum byte mended so the image is not refused for it. Byte
// mutations alone seldom reach an address at $8000 or above with a sum that
// still holds. The input must hold the 16-byte header; random drives the choices.
void MutateHeaderWords(std::span<std::uint8_t> input, std::uint32_t random);

// The rules every result model keeps, however broken the image: the lines are
// the listing, the regions cover $0000-$7FFF without gaps, every reference's
// span holds its name and points at a symbol inside the image.
std::string ModelProblems(const Analysis& analysis);

}  // namespace brevin::fuzz
