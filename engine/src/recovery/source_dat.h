// The labels of a Spin source's DAT blocks, laid out as the compiler lays
// them out: where each label stands from the DAT's first byte, the size its
// line declares, and in assembly its cog register.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recovery/source_constants.h"

namespace brevin::recovery {

struct DatSectionInput;

struct SourceDatLabel {
  std::string name;          // as written; a local label keeps its ':'
  std::int32_t offset = 0;   // from the DAT's first byte
  int size = 1;              // 1, 2 or 4: the size of its line's directive or instruction
  bool local = false;        // ":name"
  bool reserved = false;     // on a "res" line: it stands on no byte of its own
  // The cog register the label names in assembly, and the DAT offset of
  // register 0 of its program as the last "org" puts it (a label past a
  // "res" that bytes follow names a register other than the one its bytes
  // are loaded into). None after "orgx" and off a long.
  std::optional<std::int32_t> cogAddress;
  std::int32_t cogBase = 0;
};

struct SourceDat {
  std::vector<SourceDatLabel> labels;  // in source order, up to where the layout stopped
  std::vector<std::int32_t> programs;  // DAT offsets of each "org 0" that instructions follow
  std::optional<std::int32_t> size;    // the DAT's bytes, when every line could be laid out
  std::string stop;                    // why the layout stopped; empty when it did not
};

// The size in bytes of a file a "file" directive names; nullopt when unknown.
using SourceFileSize = std::function<std::optional<std::int64_t>(std::string_view file)>;

// The integer constants of a source's CON blocks ("NAME = expression" and
// enumerations), by upper-case name, for the evaluate callback of
// ReadSourceDat. outside gives the values of names the source does not
// define (a child's "obj#NAME"). Floats and what cannot be worked out are
// left out.
std::map<std::string, std::int64_t> ReadSourceConstants(std::string_view text,
                                                        const SourceExpressionValue& outside = {});

// Reads the DAT blocks of a source (UTF-8; lines may end in CR, LF or CR LF).
// The layout stops at the first line whose size cannot be worked out (a count
// the callbacks do not give, a line the compiler would refuse); the labels
// before it are kept.
SourceDat ReadSourceDat(std::string_view text, const SourceExpressionValue& evaluate = {},
                        const SourceFileSize& fileSize = {});

// Adds the labels to the DAT writer's input, with datStart the object offset of
// the DAT's first byte: global labels on bytes by object offset, assembly
// labels (local and reserved ones too) by their program's start and register,
// and the programs.
void AddSourceLabels(const SourceDat& dat, std::int32_t datStart, DatSectionInput& input);

}  // namespace brevin::recovery
