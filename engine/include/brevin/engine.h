// The engine's face: an Engine loads an image and returns its listing and
// model. Options and questions come through the Host; the working state stays
// behind the facade, out of every caller's reach.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "brevin/analysis.h"
#include "brevin/host.h"
#include "brevin/options.h"

namespace brevin {

enum class LoadStatus {
  Listed,            // the listing was written
  Unreadable,        // the file could not be read (missing, a folder, unreadable, empty)
  Refused,           // the image is unusable (a header address outside the image)
  ChecksumMismatch,  // the checksum is wrong: message is the question whether to list it anyway
};

// A notice for the user, in the order the analysis met it; the window shows
// each in a message box, the command line as one line.
struct Notice {
  MessageIcon icon = MessageIcon::Information;
  std::string text;
};

// The image's checksum byte and the one that would make its bytes sum to 0.
struct ChecksumFigures {
  int found = 0;
  int expected = 0;
};

struct LoadResult {
  LoadStatus status = LoadStatus::Listed;
  std::string message;                // the error or the checksum question, for any status but Listed
  std::vector<Notice> notices;        // to show before the question or the listing
  std::vector<std::string> warnings;  // problems met while listing that did not stop it
  // The person's notes that no longer match the image, one line each
  // ("note 'next_line' no longer matches: method 3 of the top object changed").
  std::vector<std::string> noteProblems;
  std::optional<ChecksumFigures> checksum;  // when the checksum is wrong
  AnalysisPtr analysis;               // the listing and its model, when Listed
  // The method table entries of the object tree, and how many of them start no
  // traced method (what "Trace All Methods" would decode), when Listed.
  int methodEntries = 0;
  int untracedMethods = 0;
};

// "12 of 40 methods are not called from the program" when the load left method
// table entries untraced with "Trace All Methods" off; empty otherwise. Each
// front end adds how to decode them.
std::string UntracedMethodsText(const LoadResult& result, const Options& options);

class Disassembler;

// One engine analyses one image at a time; two engines may work at once.
class Engine {
 public:
  explicit Engine(Host& host);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Loads the file, checks it, analyses it and writes the listing. An image
  // whose checksum is wrong gives ChecksumMismatch, unless acceptChecksum (the
  // user said to list it anyway) or the options inhibit warnings.
  LoadResult LoadAndDisassemble(const std::string& path, bool autoReloaded, bool acceptChecksum = false);
  // The same for bytes already in memory; path is only shown in texts.
  LoadResult DisassembleBytes(const std::string& path, std::span<const std::uint8_t> bytes, bool autoReloaded,
                              bool acceptChecksum = false);
  // The same for a file its caller read once into memory: bytes are its first
  // bytes, at most 32,769 (one more than an image holds says the file is
  // longer: the first 32,768 are analysed, with a warning naming fileSize, the
  // whole size when the caller knows it). path is only shown in texts and
  // leads to the source beside the image.
  LoadResult DisassembleFile(const std::string& path, std::span<const std::uint8_t> bytes,
                             std::optional<std::uint64_t> fileSize, bool autoReloaded, bool acceptChecksum = false);

  // The flags of every address after the last analysis, as a report.
  std::string ListImageFlags() const;
  // Spin opcodes decoded so far (all of them outside developer mode), for the opcode report.
  const std::array<bool, 256>& SeenOpcodes() const;
  const std::array<bool, 256>& SeenEffects() const;
  // Developer mode keeps the seen marks across runs: the shell hands back what it stored.
  void SetSeenFlags(const std::array<bool, 256>& opcodes, const std::array<bool, 256>& effects);
  // Whether the next load may show the missing-source notice; the shell arms it when a
  // file is opened or "Include Source Code" is switched, and a load disarms it once shown.
  bool SourceWarningIsArmed() const;
  void ArmSourceWarning(bool armed);

 private:
  std::unique_ptr<Disassembler> work_;
};

}  // namespace brevin
