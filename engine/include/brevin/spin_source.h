// Spin source recovery: from an image the Spin compiler made, a Spin project
// (the top object and one file per distinct child object) that the compiler
// turns back into the same image, written for a person to read.
//
// The recovery works from the image bytes and the instruction decoders, never
// from the listing text; the analysis, when given, only lends its labels so
// the source and the listing can be read side by side.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "brevin/analysis.h"

namespace brevin {

// A statement of a recovered file and where its bytecode starts, as an offset
// from the start of its object (the same for every copy of the object).
struct SpinSourceMark {
  int line = 0;               // 0-based line of the file's text
  std::int32_t offset = 0;    // offset of the statement's first bytecode in its object
};
// A repeat line has a second mark, at the bytes that close its loop (the jump
// back), so those bytes are shown on the loop's line, not on the body's last.

// One place where an object's bytes lie in the image.
struct SpinObjectInstance {
  std::int32_t address = 0;  // hub address of the object's first byte
  std::int32_t size = 0;     // bytes, up to the next object
};

struct SpinSourceFile {
  std::string name;  // file name, "demo.spin"
  std::string text;  // the source in UTF-8 with LF line ends, for showing
  std::vector<SpinObjectInstance> instances;  // every copy of this object, in image order
  std::vector<SpinSourceMark> marks;          // ascending by line
};

struct SpinSourceMethod {
  std::string file;        // the file that holds it
  std::string name;        // as written in the source
  std::int32_t address = 0;  // hub address of its first bytecode (first instance)
  bool exact = true;       // false: the written body is the nearest source, not the same bytes
  std::string difference;  // what differs, when not exact (also written as a comment above it)
  // 0-based lines of the file's text: the first it spans (the comment on
  // what differs, else the head), its PUB or PRI head, and its last.
  int firstLine = 0, headLine = 0, lastLine = 0;
};

struct SpinSourceProject {
  std::vector<SpinSourceFile> files;  // the top object first
  std::vector<SpinSourceMethod> methods;  // in file order, table order within a file
  std::string error;  // set when nothing could be recovered (the bytes are no compiled image)

  int InexactMethods() const;
};

struct SpinSourceRequest {
  std::span<const std::uint8_t> image;  // the file's bytes: a .binary or a whole .eeprom
  std::string topName;                  // file name stem of the top object ("demo")
  const Analysis* analysis = nullptr;   // when given, its labels name methods and data
  std::string sourceText;  // the top object's source found beside the image, if any (UTF-8, UTF-16 or Latin-1)
  // The source of an object that an OBJ block names (its file name as written
  // there, without ".spin"), or empty; lends the child objects their names.
  std::function<std::string(const std::string& objectFile)> objectSource;
};

SpinSourceProject RecoverSpinSource(const SpinSourceRequest& request);

// The bytes to write for a recovered file, in an encoding the compiler reads
// (ASCII as it is; UTF-16 LE with a byte-order mark when the text needs more).
std::string SpinSourceFileBytes(const SpinSourceFile& file);

}  // namespace brevin
