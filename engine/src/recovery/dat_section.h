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

struct DatLabel {
  std::string name;
  int size = 4;  // the size of the directive the label stands on
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
  // The labels of the object's source (see source_dat.h), named before the
  // listing's: global labels on bytes by object offset with their
  // directive's size, several at one offset in source order; and the
  // labels of its assembly by the object offset of their program's cog
  // register 0 and their register (several may share one), local ones
  // starting with ':'.
  std::multimap<std::int32_t, DatLabel> sourceLabels;
  std::multimap<std::pair<std::int32_t, std::int32_t>, std::string> sourceCogLabels;
  // Object offsets where the source's "org 0" starts assembly: programs
  // like those the code starts.
  std::vector<std::int32_t> sourcePrograms;
  // Names the object gives other things (its methods, ...): no label takes
  // one, letter case not counting.
  std::vector<std::string> takenNames;
};

struct DatSection {
  std::vector<std::string> lines;            // the DAT block's lines, without the "DAT" line
  // By object offset: the widest label written there (the one for the Spin
  // code); every label written, narrower ones sharing an offset included.
  std::map<std::int32_t, DatLabel> labels;
  std::multimap<std::int32_t, DatLabel> allLabels;
  bool exact = true;                          // false: some bytes could not be written as they are
  std::string difference;
};

DatSection RecoverDatSection(const DatSectionInput& input);

}  // namespace brevin::recovery
