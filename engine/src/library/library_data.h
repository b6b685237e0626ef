// A library of known Spin objects: for each distinct compiled object, its
// print and the names its source gives it. Kept as one text file, one record
// a line, tab-separated, so that it diffs well and loads quickly:
//
//   brevin-library<TAB>1                                 first line
//   # ...                                                comments
//   O  print  bytes  file  copies  [folders]             an object; the lines below belong to it
//   M  print  bytes  PUB|PRI  name  params  result  locals  calls   a method, table order
//   V  offset  size  name                                a VAR variable (offset in the object's VAR)
//   D  offset  size  name                                a DAT label (offset in the object; size B, W, L)
//   C  name  value                                       a CON constant (decimal, or a float's text)
//   J  name  file  count                                 an OBJ declaration
//
// params and locals are comma-separated; calls are "m" (a method of the same
// object) or "c.m" (method m of child entry c), comma-separated; "-" stands
// for an empty field. folders (build data only) are the library folders the
// object came from, separated by '|'.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/fingerprint.h"

namespace brevin::library {

struct LibraryMethod {
  Print print = 0;
  int bytes = 0;
  bool isPublic = true;
  std::string name;
  std::vector<std::string> parameters;
  std::string result;
  std::vector<std::string> locals;
  std::vector<CallSite> calls;
  bool operator==(const LibraryMethod&) const = default;
};

struct LibraryVariable {
  std::int32_t offset = 0;
  int size = 4;
  std::string name;
  bool operator==(const LibraryVariable&) const = default;
};

struct LibraryLabel {
  std::int32_t offset = 0;
  char size = 'L';  // B, W or L
  std::string name;
  bool operator==(const LibraryLabel&) const = default;
};

struct LibraryConstant {
  std::string name;
  std::string value;
  bool operator==(const LibraryConstant&) const = default;
};

struct LibraryChild {
  std::string name;
  std::string file;
  int count = 1;
  bool operator==(const LibraryChild&) const = default;
};

struct LibraryEntry {
  Print print = 0;
  int bytes = 0;
  std::string file;  // without ".spin"
  int copies = 1;    // source files that gave this entry
  std::vector<std::string> folders;
  std::vector<LibraryMethod> methods;  // of an entry read from a file: once its details are read
  std::uint32_t methodCount = 0;       // its methods, read or not
  std::vector<LibraryVariable> variables;
  std::vector<LibraryLabel> labels;
  std::vector<LibraryConstant> constants;
  std::vector<LibraryChild> children;
  // Where the method, VAR, DAT and CON records of an entry read from a file
  // stand in its text, until they are read (LibraryData::Details).
  std::uint32_t detailsBegin = 0, detailsEnd = 0;
  bool detailsRead = true;
  // A record of it was found damaged when its details were read: it names nothing.
  bool damaged = false;

  // The same object with the same names (copies and folders aside).
  bool SameNames(const LibraryEntry& other) const;
};

// Where a method of an entry stands: entry index and method index (0-based).
struct MethodPlace {
  std::uint32_t entry = 0;
  std::uint32_t method = 0;
};

class LibraryData {
 public:
  // Reads a library file's text; false with a one-line reason on anything
  // that is not one (then the data is left empty).
  bool Parse(std::string text, std::string& problem);
  // The file's text, entries in their order; folders only when asked.
  std::string Text(bool withFolders) const;

  // Adds an entry, or counts one more copy of an entry with the same names.
  // True when the library gained a new entry.
  bool Add(LibraryEntry entry);

  // The entries: of one read from a file, its object line, OBJ declarations
  // and method count; the rest is there once Details(index) has read it.
  const std::vector<LibraryEntry>& Entries() const { return entries_; }
  // The entry with its methods' names and calls and its VAR, DAT and CON
  // names, read from the file's text at the first call.
  const LibraryEntry& Details(std::uint32_t index) const;
  std::size_t Size() const { return entries_.size(); }
  // The entries of that object print (indexes), and the methods of that method print.
  std::vector<std::uint32_t> ObjectsWith(Print print) const;
  std::vector<MethodPlace> MethodsWith(Print print) const;

 private:
  void IndexEntry(std::uint32_t index);
  // The text of the file read, which the entries' details point into. The
  // details of an entry are read once, when first asked for: most entries
  // are never matched, and reading all of them would cost every analysis
  // that loads the file (mutable for that alone).
  std::string text_;
  mutable std::vector<LibraryEntry> entries_;
  // Sorted by print: one flat array each loads faster than a map of lists.
  std::vector<std::pair<Print, std::uint32_t>> byObject_;
  std::vector<std::pair<Print, MethodPlace>> byMethod_;
};

// The header line every library file starts with.
inline constexpr std::string_view kLibraryHeader = "brevin-library\t1";

}  // namespace brevin::library
