// Reads the object tree of a compiled image from its header and object tables.
#include "recovery/object_tree.h"

#include <algorithm>
#include <functional>
#include <map>

namespace brevin::recovery {
namespace {

std::int32_t Word(std::span<const std::uint8_t> b, std::int64_t at) {
  if (at < 0 || at + 1 >= static_cast<std::int64_t>(b.size())) return -1;
  const auto i = static_cast<std::size_t>(at);
  return static_cast<std::int32_t>(b[i] | (b[i + 1] << 8));
}

}  // namespace

ImageTree ReadImageTree(std::span<const std::uint8_t> image) {
  ImageTree tree;
  tree.imageSize = static_cast<std::int32_t>(image.size());
  if (image.size() < 24) {  // the header, an object header and one method entry
    tree.error = "the image is too short to hold a Spin program";
    return tree;
  }
  tree.clockFrequency = static_cast<std::uint32_t>(image[0] | (image[1] << 8) | (image[2] << 16)) |
                        (static_cast<std::uint32_t>(image[3]) << 24);
  tree.clockMode = image[4];
  tree.checksum = image[5];
  tree.pbase = Word(image, 6);
  tree.vbase = Word(image, 8);
  tree.dbase = Word(image, 10);
  tree.pcurr = Word(image, 12);
  tree.dcurr = Word(image, 14);
  const auto size = static_cast<std::int32_t>(image.size());
  if (tree.pbase != 0x10 || tree.vbase < tree.pbase + 8 || tree.vbase > size || tree.dbase < tree.vbase + 8 ||
      tree.dcurr < tree.dbase + 4 || (tree.vbase & 3) != 0 || (tree.dbase & 3) != 0) {
    tree.error = "the header does not describe a compiled Spin program";
    return tree;
  }
  tree.eeprom = size > tree.vbase;
  const std::span<const std::uint8_t> code = image.first(static_cast<std::size_t>(tree.vbase));

  std::map<std::int32_t, int> byAddress;
  bool broken = false;
  // Reads the object at hub address and returns its distinct index.
  std::function<int(std::int32_t, int)> readObject = [&](std::int32_t address, int depth) -> int {
    if (auto found = byAddress.find(address); found != byAddress.end()) return found->second;
    if (depth > 32 || address < tree.pbase || address + 8 > tree.vbase) {
      broken = true;
      return -1;
    }
    const std::int32_t objSize = Word(code, address);
    const int entries = code[static_cast<std::size_t>(address + 2)];
    const int objects = code[static_cast<std::size_t>(address + 3)];
    const int methods = entries - 1;
    if (objSize < 8 || address + objSize > tree.vbase || methods < 1 || 4 * (entries + objects) > objSize) {
      broken = true;
      return -1;
    }
    const int index = static_cast<int>(tree.objects.size());
    byAddress[address] = index;
    tree.objects.emplace_back();
    {
      ObjectImage& obj = tree.objects.back();
      obj.address = address;
      obj.size = objSize;
      obj.bytes = code.subspan(static_cast<std::size_t>(address), static_cast<std::size_t>(objSize));
      obj.datStart = 4 * (entries + objects);
      for (int m = 1; m <= methods; ++m) {
        MethodRange range;
        range.index = m;
        range.start = Word(code, address + 4 * m);
        range.localSize = Word(code, address + 4 * m + 2);
        if (range.start < obj.datStart || range.start >= objSize) broken = true;
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
        child.offset = Word(code, address + 4 * (entries + c));
        child.varOffset = Word(code, address + 4 * (entries + c) + 2);
        obj.children.push_back(child);
      }
    }
    if (broken) return index;
    for (std::size_t c = 0; c < tree.objects[static_cast<std::size_t>(index)].children.size(); ++c) {
      const std::int32_t childAddress = address + tree.objects[static_cast<std::size_t>(index)].children[c].offset;
      const int child = readObject(childAddress, depth + 1);
      tree.objects[static_cast<std::size_t>(index)].children[c].object = child;
      if (broken) break;
    }
    return index;
  };
  readObject(tree.pbase, 0);
  if (broken || tree.objects.empty()) {
    tree.error = "the object tables do not describe a compiled Spin program";
    tree.objects.clear();
    return tree;
  }

  // VAR sizes: the top's from the header, a child's from its neighbours' offsets.
  int instances = 0;
  std::function<bool(int, std::int32_t, std::int32_t, std::int32_t, int)> place =
      [&](int object, std::int32_t address, std::int32_t objSizeToNext, std::int32_t varTotal, int depth) -> bool {
    // Real programs nest a few levels and use an object a few dozen times.
    if (depth > 32 || ++instances > 4096) return false;
    ObjectImage& obj = tree.objects[static_cast<std::size_t>(object)];
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
      const ObjectImage& child = tree.objects[static_cast<std::size_t>(children[c].object)];
      if (!place(children[c].object, address + children[c].offset, child.size, nextVar - children[c].varOffset,
                 depth + 1))
        return false;
    }
    return true;
  };
  if (!place(0, tree.pbase, tree.objects[0].size, tree.dbase - 8 - tree.vbase, 0)) {
    tree.error = "the object tables give inconsistent variable sizes";
    tree.objects.clear();
    return tree;
  }
  for (ObjectImage& obj : tree.objects)
    std::sort(obj.instances.begin(), obj.instances.end(),
              [](const SpinObjectInstance& a, const SpinObjectInstance& b) { return a.address < b.address; });
  const ObjectImage& top = tree.objects[0];
  const std::int32_t locals = top.methods.front().localSize;
  tree.firstMethodParameters = std::max(0, (tree.dcurr - tree.dbase - 4 - locals) / 4);
  return tree;
}

}  // namespace brevin::recovery
