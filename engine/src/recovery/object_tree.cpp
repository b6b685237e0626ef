// Reads the object tree of a compiled image from its header and object tables.
#include "recovery/object_tree.h"

#include <algorithm>
#include <map>

namespace brevin::recovery {
namespace {

std::int32_t Word(std::span<const std::uint8_t> b, std::int64_t at) {
  if (at < 0 || at + 1 >= static_cast<std::int64_t>(b.size())) return -1;
  const auto i = static_cast<std::size_t>(at);
  return static_cast<std::int32_t>(b[i] | (b[i + 1] << 8));
}

// Reads the tree in three passes: the header, the object tables from the top
// object down (each distinct object once), then the VAR sizes of every use.
class TreeReader {
 public:
  explicit TreeReader(std::span<const std::uint8_t> image) : image_(image) {}

  ImageTree Read() {
    if (!ReadHeader()) return std::move(tree_);
    code_ = image_.first(static_cast<std::size_t>(tree_.vbase));
    ReadObject(tree_.pbase, 0);
    if (broken_ || tree_.objects.empty()) return Fail("the object tables do not describe a compiled Spin program");
    if (!Place(0, tree_.pbase, tree_.objects[0].size, tree_.dbase - 8 - tree_.vbase, 0))
      return Fail("the object tables give inconsistent variable sizes");
    for (ObjectImage& obj : tree_.objects)
      std::sort(obj.instances.begin(), obj.instances.end(),
                [](const SpinObjectInstance& a, const SpinObjectInstance& b) { return a.address < b.address; });
    const std::int32_t locals = tree_.objects[0].methods.front().localSize;
    tree_.firstMethodParameters = std::max(0, (tree_.dcurr - tree_.dbase - 4 - locals) / 4);
    return std::move(tree_);
  }

 private:
  ImageTree Fail(const char* error) {
    tree_.error = error;
    tree_.objects.clear();
    return std::move(tree_);
  }

  bool ReadHeader() {
    tree_.imageSize = static_cast<std::int32_t>(image_.size());
    if (image_.size() < 24) {  // the header, an object header and one method entry
      tree_.error = "the image is too short to hold a Spin program";
      return false;
    }
    tree_.clockFrequency = static_cast<std::uint32_t>(image_[0] | (image_[1] << 8) | (image_[2] << 16)) |
                           (static_cast<std::uint32_t>(image_[3]) << 24);
    tree_.clockMode = image_[4];
    tree_.checksum = image_[5];
    tree_.pbase = Word(image_, 6);
    tree_.vbase = Word(image_, 8);
    tree_.dbase = Word(image_, 10);
    tree_.pcurr = Word(image_, 12);
    tree_.dcurr = Word(image_, 14);
    const auto size = static_cast<std::int32_t>(image_.size());
    if (tree_.pbase != 0x10 || tree_.vbase < tree_.pbase + 8 || tree_.vbase > size || tree_.dbase < tree_.vbase + 8 ||
        tree_.dcurr < tree_.dbase + 4 || (tree_.vbase & 3) != 0 || (tree_.dbase & 3) != 0) {
      tree_.error = "the header does not describe a compiled Spin program";
      return false;
    }
    tree_.eeprom = size > tree_.vbase;
    return true;
  }

  // Reads the object at the hub address and its children; returns its
  // distinct index, or -1 (and sets broken_) when its table is no object's.
  int ReadObject(std::int32_t address, int depth) {
    if (auto found = byAddress_.find(address); found != byAddress_.end()) return found->second;
    if (depth > 32 || address < tree_.pbase || address + 8 > tree_.vbase) {
      broken_ = true;
      return -1;
    }
    const std::int32_t objSize = Word(code_, address);
    const int entries = code_[static_cast<std::size_t>(address + 2)];
    const int objects = code_[static_cast<std::size_t>(address + 3)];
    if (objSize < 8 || address + objSize > tree_.vbase || entries < 2 || 4 * (entries + objects) > objSize) {
      broken_ = true;
      return -1;
    }
    const int index = static_cast<int>(tree_.objects.size());
    byAddress_[address] = index;
    tree_.objects.push_back(ReadTables(address, objSize, entries, objects));
    if (broken_) return index;
    for (std::size_t c = 0; c < tree_.objects[static_cast<std::size_t>(index)].children.size(); ++c) {
      const std::int32_t childAddress = address + tree_.objects[static_cast<std::size_t>(index)].children[c].offset;
      const int child = ReadObject(childAddress, depth + 1);
      tree_.objects[static_cast<std::size_t>(index)].children[c].object = child;
      if (broken_) break;
    }
    return index;
  }

  // The method and object tables of one object, with the method code ranges.
  ObjectImage ReadTables(std::int32_t address, std::int32_t objSize, int entries, int objects) {
    ObjectImage obj;
    obj.address = address;
    obj.size = objSize;
    obj.bytes = code_.subspan(static_cast<std::size_t>(address), static_cast<std::size_t>(objSize));
    obj.datStart = 4 * (entries + objects);
    for (int m = 1; m < entries; ++m) {
      MethodRange range;
      range.index = m;
      range.start = Word(code_, address + 4 * m);
      range.localSize = Word(code_, address + 4 * m + 2);
      if (range.start < obj.datStart || range.start >= objSize) broken_ = true;
      obj.methods.push_back(range);
    }
    std::vector<std::int32_t> starts;
    for (const MethodRange& m : obj.methods) starts.push_back(m.start);
    std::sort(starts.begin(), starts.end());
    obj.datEnd = starts.empty() ? objSize : starts.front();
    for (MethodRange& m : obj.methods) {
      auto next = std::upper_bound(starts.begin(), starts.end(), m.start);
      m.end = next == starts.end() ? objSize : *next;
    }
    for (int c = 0; c < objects; ++c) {
      ChildEntry child;
      child.tableIndex = entries + c;
      child.offset = Word(code_, address + 4 * (entries + c));
      child.varOffset = Word(code_, address + 4 * (entries + c) + 2);
      obj.children.push_back(child);
    }
    return obj;
  }

  // Records a use of the object at the hub address with varTotal bytes of VAR
  // (its own and its children's), and places its children's within them;
  // false when two uses disagree.
  bool Place(int object, std::int32_t address, std::int32_t objSizeToNext, std::int32_t varTotal, int depth) {
    // Real programs nest a few levels and use an object a few dozen times.
    if (depth > 32 || ++instances_ > 4096) return false;
    ObjectImage& obj = tree_.objects[static_cast<std::size_t>(object)];
    ++obj.uses;
    const bool known = std::any_of(obj.instances.begin(), obj.instances.end(),
                                   [&](const SpinObjectInstance& i) { return i.address == address; });
    if (!known) obj.instances.push_back({address, objSizeToNext});
    if (obj.totalVarSize >= 0 && obj.totalVarSize != varTotal) return false;
    obj.totalVarSize = varTotal;
    const std::int32_t own = obj.children.empty() ? varTotal : obj.children.front().varOffset;
    if (own < 0 || own > varTotal) return false;
    obj.ownVarSize = own;
    const std::vector<ChildEntry> children = obj.children;
    for (std::size_t c = 0; c < children.size(); ++c) {
      const std::int32_t nextVar = c + 1 < children.size() ? children[c + 1].varOffset : varTotal;
      if (nextVar < children[c].varOffset) return false;
      const ObjectImage& child = tree_.objects[static_cast<std::size_t>(children[c].object)];
      if (!Place(children[c].object, address + children[c].offset, child.size, nextVar - children[c].varOffset,
                 depth + 1))
        return false;
    }
    return true;
  }

  std::span<const std::uint8_t> image_;
  std::span<const std::uint8_t> code_;  // the program, below VBASE
  ImageTree tree_;
  std::map<std::int32_t, int> byAddress_;  // distinct objects by hub address
  bool broken_ = false;
  int instances_ = 0;
};

}  // namespace

ImageTree ReadImageTree(std::span<const std::uint8_t> image) { return TreeReader(image).Read(); }

}  // namespace brevin::recovery
