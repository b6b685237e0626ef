// Names from the library for the objects of one image, matched by their prints:
//
// - an object whose print a library entry has is matched whole and takes
//   every name of that entry;
// - otherwise its methods are matched one by one against the entries that
//   share the most method bytes with it; a method is named only when its
//   print matches and every caller the object has for it calls it where the
//   entry's caller does;
// - a small method (a few bytes: many objects have one like it) is named
//   only with its object, or when a named caller or its named callees agree;
// - where the entries that fit equally well give different names, the name
//   is left out and the abstention is kept, so that no name is a guess.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "library/fingerprint.h"
#include "library/library_data.h"
#include "recovery/object_tree.h"

namespace brevin::library {

// Methods of fewer bytes count as small.
inline constexpr int kSmallMethodBytes = 12;

struct MethodMatch {
  const LibraryMethod* method = nullptr;  // null: no name
  bool abstained = false;                 // entries that fit equally give different names
};

struct ObjectMatch {
  bool whole = false;                      // the object's print is in the library
  const LibraryEntry* entry = nullptr;     // whole: the entry whose VAR, DAT and CON names hold for it
  std::string file;                        // empty: unknown
  bool fileAbstained = false;
  std::string declaredName;                // the OBJ name its parent's entry gives it ("ser"), when known
  std::vector<MethodMatch> methods;        // table order
  bool Named() const { return !file.empty() || entry != nullptr; }
};

struct LibraryMatch {
  std::vector<ObjectMatch> objects;  // the tree's order
};

// Matches the tree's objects against the libraries (earlier ones first when
// they disagree is no matter: disagreement abstains). excludedFolder, when not
// empty, leaves out what came from that library folder alone (for measuring).
LibraryMatch MatchTree(const recovery::ImageTree& tree, const std::vector<ObjectPrint>& prints,
                       std::span<const LibraryData* const> libraries, const std::string& excludedFolder = {});

}  // namespace brevin::library
