// The DAT part of a recovered object: its bytes written as data directives
// and its assembly programs as assembly, such that the compiler gives the same
// bytes back.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brevin::recovery {

// A place in the DAT bytes that the object's Spin code names: it must start a
// label whose declared size is the access size, so the code compiles the same.
struct DatReference {
  std::int32_t offset = 0;  // from the object's start
  int size = 4;             // 1, 2 or 4 bytes
};

struct DatSectionInput {
  std::span<const std::uint8_t> bytes;  // the object's DAT bytes
  std::int32_t offset = 0;              // offset of bytes[0] from the object's start
  std::int32_t objectAddress = 0;       // hub address of the object's start (this instance)
  // Hub addresses where the object's code starts an assembly program (cog register 0).
  std::vector<std::int32_t> asmStarts;
  std::vector<DatReference> references;
  // A name the listing gives the hub address, when it has one.
  std::function<std::optional<std::string>(std::int32_t hub)> labelAt;
};

struct DatLabel {
  std::string name;
  int size = 4;  // the size of the directive the label stands on
};

struct DatSection {
  std::vector<std::string> lines;            // the DAT block's lines, without the "DAT" line
  std::map<std::int32_t, DatLabel> labels;   // by object offset: every label written
  bool exact = true;                          // false: some bytes could not be written as they are
  std::string difference;
};

DatSection RecoverDatSection(const DatSectionInput& input);

}  // namespace brevin::recovery
