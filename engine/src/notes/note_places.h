// Where notes belong in an image: from a hub address to the anchor a note
// keeps (prints of the object, its DAT and the method, and the offset
// there), and from an anchor back to the hub address it names in this image,
// which may be a rebuild of the one the note was given on.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "brevin/notes.h"
#include "library/fingerprint.h"
#include "recovery/object_tree.h"

namespace brevin::notes {

class NotePlaces {
 public:
  explicit NotePlaces(std::span<const std::uint8_t> image);

  // The anchor of the place of a note of that kind at the hub address; for a
  // local, address is its method's entry and slot the offset in the frame.
  NoteAnchor AnchorAt(NoteKind kind, std::int32_t address, std::int32_t slot = 0) const;

  // The hub address a note names in this image (a local's method entry, with
  // its slot in *slot), or nullopt with the reason in problem ("method 3 of
  // the top object changed").
  std::optional<std::int32_t> Resolve(const Note& note, std::int32_t* slot, std::string& problem) const;

  // "method 3 of the top object", "the DAT of object 2", ...
  // False when the bytes hold no Spin object tree: notes then go by their addresses.
  bool HasTree() const { return tree_.error.empty(); }

  static std::string PlaceText(const NoteAnchor& at, NoteKind kind);

 private:
  // One use of an object: where its bytes and its variables lie.
  struct Use {
    int object = 0;
    std::int32_t address = 0;
    std::int32_t varBase = 0;
  };
  // The object an anchor names when its print or its place and DAT still match; -1 otherwise.
  int MatchObject(const NoteAnchor& at, NoteKind kind) const;
  std::string DataPrint(std::size_t object, NoteKind kind) const;
  std::int32_t InstanceAddress(int object, int instance) const;

  recovery::ImageTree tree_;
  std::vector<library::ObjectPrint> prints_;
  std::vector<library::Print> dataPrints_;
  std::vector<Use> uses_;  // in the order the tree is walked from the top
};

}  // namespace brevin::notes
