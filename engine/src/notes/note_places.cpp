// Anchors of notes: built from the object tree and its prints, and matched
// again against a rebuilt image.
#include "notes/note_places.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace brevin::notes {

namespace {
// A method this long whose bytes stand once in the image is that method,
// in whichever object it now lies.
constexpr int kUniqueMethodBytes = 16;
}  // namespace

NotePlaces::NotePlaces(std::span<const std::uint8_t> image) : tree_(recovery::ReadImageTree(image)) {
  if (!tree_.error.empty()) return;
  prints_ = library::FingerprintTree(tree_);
  for (const recovery::ObjectImage& obj : tree_.objects) {
    const auto from = static_cast<std::size_t>(std::clamp(obj.datStart, 0, obj.size));
    const auto to = static_cast<std::size_t>(std::clamp(obj.datEnd, obj.datStart, obj.size));
    dataPrints_.push_back(library::HashBytes(obj.bytes.subspan(from, to - from)));
  }
  // Every use of every object, with the VAR its parent gives it (an object
  // used twice by one parent shares its bytes but not its variables).
  std::function<void(int, std::int32_t, std::int32_t, int)> walk = [&](int o, std::int32_t address, std::int32_t var,
                                                                       int depth) {
    if (depth > 32 || uses_.size() > 4096) return;
    uses_.push_back({o, address, var});
    for (const recovery::ChildEntry& child : tree_.objects[static_cast<std::size_t>(o)].children)
      if (child.object >= 0) walk(child.object, address + child.offset, var + child.varOffset, depth + 1);
  };
  walk(0, tree_.pbase, tree_.vbase, 0);
}

// The DAT's print; a variable's adds the size of the object's own VAR, so
// that a variable keeps its name only while the VAR it lies in keeps its size.
std::string NotePlaces::DataPrint(std::size_t o, NoteKind kind) const {
  if (kind != NoteKind::Variable) return library::PrintText(dataPrints_[o]);
  const auto size = static_cast<std::uint32_t>(tree_.objects[o].ownVarSize);
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(size & 0xFF), static_cast<std::uint8_t>((size >> 8) & 0xFF),
                                 static_cast<std::uint8_t>((size >> 16) & 0xFF), static_cast<std::uint8_t>(size >> 24)};
  return library::PrintText(library::HashBytes(bytes, dataPrints_[o]));
}

std::int32_t NotePlaces::InstanceAddress(int object, int instance) const {
  const auto& instances = tree_.objects[static_cast<std::size_t>(object)].instances;
  if (instance < 0 || static_cast<std::size_t>(instance) >= instances.size()) return -1;
  return instances[static_cast<std::size_t>(instance)].address;
}

NoteAnchor NotePlaces::AnchorAt(NoteKind kind, std::int32_t address, std::int32_t slot) const {
  NoteAnchor at;
  at.address = address;
  if (!tree_.error.empty()) return at;
  const auto anchorObject = [&](std::size_t o) {
    at.object = library::PrintText(prints_[o].print);
    at.data = DataPrint(o, kind);
    at.objectNumber = static_cast<int>(o);
  };
  if (kind == NoteKind::Variable) {
    std::vector<int> seen(tree_.objects.size(), 0);
    for (const Use& use : uses_) {
      const auto o = static_cast<std::size_t>(use.object);
      const int number = seen[o]++;
      const std::int32_t own = tree_.objects[o].ownVarSize;
      if (address >= use.varBase && address < use.varBase + own) {
        anchorObject(o);
        at.instance = number;
        at.offset = address - use.varBase;
        return at;
      }
    }
    return at;
  }
  for (std::size_t o = 0; o < tree_.objects.size(); ++o) {
    const recovery::ObjectImage& obj = tree_.objects[o];
    for (std::size_t i = 0; i < obj.instances.size(); ++i) {
      const std::int32_t base = obj.instances[i].address;
      if (address < base || address >= base + obj.size) continue;
      anchorObject(o);
      at.instance = static_cast<int>(i);
      const std::int32_t inside = address - base;
      for (std::size_t m = 0; m < obj.methods.size(); ++m) {
        const recovery::MethodRange& range = obj.methods[m];
        if (inside < range.start || inside >= range.end) continue;
        at.method = library::PrintText(prints_[o].methods[m].print);
        at.methodIndex = range.index;
        at.offset = kind == NoteKind::Local ? slot : inside - range.start;
        return at;
      }
      // The object's table and DAT, counted from where the DAT starts: the
      // table lies before it (a negative offset) and grows with the methods.
      at.offset = inside - obj.datStart;
      return at;
    }
  }
  return at;
}

int NotePlaces::MatchObject(const NoteAnchor& at, NoteKind kind) const {
  int found = -1;
  for (std::size_t o = 0; o < prints_.size(); ++o) {
    if (library::PrintText(prints_[o].print) != at.object) continue;
    if (static_cast<int>(o) == at.objectNumber) return static_cast<int>(o);
    if (found < 0) found = static_cast<int>(o);
  }
  if (found >= 0) return found;
  // The object changed (a method of it was edited): still the same object
  // when it stands in the same place of the tree with the same DAT bytes.
  const auto n = static_cast<std::size_t>(at.objectNumber);
  if (!at.data.empty() && n < dataPrints_.size() && DataPrint(n, kind) == at.data) return at.objectNumber;
  return -1;
}

std::optional<std::int32_t> NotePlaces::Resolve(const Note& note, std::int32_t* slot, std::string& problem) const {
  const NoteAnchor& at = note.at;
  if (!at.Anchored() || !tree_.error.empty()) {
    // A note written by hand, or an image without a Spin object tree: the address decides.
    if (at.address) return at.address;
    problem = PlaceText(at, note.kind) + " is not in this image";
    return std::nullopt;
  }
  const int object = MatchObject(at, note.kind);
  if (!at.method.empty()) {
    // The method wherever it now sits in its object (the object that still
    // matches, else the one at the same place of the tree), at its old entry
    // first. Elsewhere in the image only a method of some size whose bytes
    // are nowhere else: a short one (a getter, an empty method) in another
    // object would be another method.
    int bestRank = -1, elsewhere = 0;
    std::int32_t best = -1, single = -1;
    for (std::size_t o = 0; o < prints_.size(); ++o) {
      for (std::size_t m = 0; m < prints_[o].methods.size(); ++m) {
        if (library::PrintText(prints_[o].methods[m].print) != at.method) continue;
        std::int32_t base = InstanceAddress(static_cast<int>(o), at.instance);
        if (base < 0) base = InstanceAddress(static_cast<int>(o), 0);
        const std::int32_t place = base + tree_.objects[o].methods[m].start + (note.kind == NoteKind::Local ? 0 : at.offset);
        const bool own = static_cast<int>(o) == object || (object < 0 && static_cast<int>(o) == at.objectNumber);
        if (!own) {
          ++elsewhere;
          if (prints_[o].methods[m].bytes >= kUniqueMethodBytes) single = place;
          continue;
        }
        const int rank = static_cast<int>(m) + 1 == at.methodIndex ? 1 : 0;
        if (rank <= bestRank) continue;
        bestRank = rank;
        best = place;
      }
    }
    if (best < 0 && elsewhere == 1) best = single;
    if (best < 0) {
      problem = PlaceText(at, note.kind) + " changed";
      return std::nullopt;
    }
    if (slot != nullptr) *slot = note.kind == NoteKind::Local ? at.offset : 0;
    return best;
  }
  if (object < 0) {
    problem = PlaceText(at, note.kind) + " changed";
    return std::nullopt;
  }
  const recovery::ObjectImage& obj = tree_.objects[static_cast<std::size_t>(object)];
  if (note.kind == NoteKind::Variable) {
    int number = 0;
    for (const Use& use : uses_) {
      if (use.object != object || number++ != at.instance) continue;
      if (at.offset < 0 || at.offset >= obj.ownVarSize) break;
      return use.varBase + at.offset;
    }
    problem = PlaceText(at, note.kind) + " changed";
    return std::nullopt;
  }
  // The table moves with every method added: only an unchanged object keeps it.
  const bool same = library::PrintText(prints_[static_cast<std::size_t>(object)].print) == at.object;
  const std::int32_t inside = obj.datStart + at.offset;
  const std::int32_t base = InstanceAddress(object, at.instance);
  if (base < 0 || inside < 0 || inside >= obj.datEnd || (at.offset < 0 && !same)) {
    problem = PlaceText(at, note.kind) + " changed";
    return std::nullopt;
  }
  return base + inside;
}

std::string NotePlaces::PlaceText(const NoteAnchor& at, NoteKind kind) {
  const std::string object = at.objectNumber == 0 ? "the top object" : "object " + std::to_string(at.objectNumber + 1);
  if (!at.Anchored()) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "$%04X", static_cast<unsigned>(at.address.value_or(0) & 0xFFFF));
    return std::string("the place ") + hex;
  }
  if (at.methodIndex > 0) return "method " + std::to_string(at.methodIndex) + " of " + object;
  if (kind == NoteKind::Variable) return "the VAR of " + object;
  if (at.offset < 0) return "the table of " + object;
  return "the DAT of " + object;
}

}  // namespace brevin::notes
