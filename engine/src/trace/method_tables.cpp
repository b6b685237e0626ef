// The method tables of the object tree: which objects the image holds, which
// of their method entries tracing reached, and (with "Trace All Methods") the
// traces from every entry that no call led to.
//
// An object starts with its table: long 0 holds the object's length (word 0),
// its method count plus one (byte 2) and its object-entry count (byte 3); then
// one long per method (the method's offset from the object, its locals' size)
// and one per sub-object (the sub-object's offset, its variables' offset).
#include <algorithm>
#include <bitset>

#include "brevin/text.h"
#include "disassembler.h"

namespace brevin {

namespace {
struct TableShape {
  std::int64_t methods = 0;  // method entries 1..methods
  std::int64_t objects = 0;  // object entries methods+1..methods+objects
  std::int64_t end = 0;      // one past the table
};
}  // namespace

bool Disassembler::PlausibleObject(std::int64_t base) const {
  if (base < PBASE || base % 4 != 0 || base + 4 > VBASE || !InImage(base + 3)) return false;
  const std::int64_t length = WordAt(base);
  const std::int64_t methods = static_cast<std::int64_t>(ByteAt(base + 2)) - 1;
  const std::int64_t objects = ByteAt(base + 3);
  return methods >= 1 && base + length <= VBASE && 4 * (1 + methods + objects) <= length;
}

namespace {
TableShape ShapeOf(std::int64_t base, std::uint32_t methodsPlusOne, std::uint32_t objects) {
  const std::int64_t methods = static_cast<std::int64_t>(methodsPlusOne) - 1;
  return {methods, objects, base + 4 * (1 + methods + objects)};
}
}  // namespace

std::vector<Disassembler::TreeObject> Disassembler::ObjectTree() const {
  std::vector<TreeObject> found;
  std::bitset<kImageSize> seen;  // 4 KB to clear, not 32
  std::vector<TreeObject> pending{{PBASE, VBASE}};
  // Depth first through the object entries, so an object shared by two parents
  // keeps the variable base of the first one in table order.
  auto drain = [&] {
    while (!pending.empty()) {
      const TreeObject o = pending.back();
      pending.pop_back();
      if (!InImage(o.base) || seen[static_cast<std::size_t>(o.base)] || !PlausibleObject(o.base)) continue;
      seen[static_cast<std::size_t>(o.base)] = true;
      found.push_back(o);
      const TableShape shape = ShapeOf(o.base, ByteAt(o.base + 2), ByteAt(o.base + 3));
      for (std::int64_t j = shape.methods + shape.objects; j > shape.methods; --j) {
        const std::int64_t entry = o.base + 4 * j;
        const std::int64_t sub = o.base + WordAt(entry);
        if (sub != o.base) pending.push_back({sub, o.varBase + WordAt(entry + 2)});
      }
    }
  };
  drain();
  // Objects that only the length chain leads to have no parent to give them a
  // variable base: they get VBASE.
  for (std::int64_t a = PBASE; a < VBASE && PlausibleObject(a);) {
    if (!seen[static_cast<std::size_t>(a)]) {
      pending.push_back({a, VBASE});
      drain();
    }
    const std::int64_t next = a + WordAt(a);
    if (next <= a) break;
    a = next;
  }
  std::sort(found.begin(), found.end(), [](const TreeObject& x, const TreeObject& y) { return x.base < y.base; });
  return found;
}

bool Disassembler::EntryInsideObject(std::int64_t base, std::int64_t k) const {
  const TableShape shape = ShapeOf(base, ByteAt(base + 2), ByteAt(base + 3));
  const std::int64_t target = base + WordAt(base + 4 * k);
  return target >= shape.end && target < base + WordAt(base) && target < VBASE;
}

void Disassembler::TraceAllTableEntries() {
  using namespace flag;
  const std::vector<TreeObject> tree = ObjectTree();
  for (const TreeObject& o : tree) {
    const TableShape shape = ShapeOf(o.base, ByteAt(o.base + 2), ByteAt(o.base + 3));
    if (o.base != PBASE) SetFlag(o.base, Done | Xobj | Link);
    for (std::int64_t k = 0; k <= shape.methods + shape.objects; ++k) SetFlag(o.base + 4 * k, Done | Link);
    // The entries in image order: in a compiled object that is table order, and a
    // bad entry into a method listed later then meets that method's traced bytes.
    std::vector<std::pair<std::int64_t, std::int64_t>> entries;  // (target, k)
    for (std::int64_t k = 1; k <= shape.methods; ++k) {
      if (EntryInsideObject(o.base, k)) entries.emplace_back(o.base + WordAt(o.base + 4 * k), k);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    // Where the methods begin: the lowest entry on a traced method or on bytes
    // nothing claimed. Below it lies the object's DAT section.
    std::int64_t methodsFrom = -1;
    for (const auto& [target, k] : entries) {
      const std::uint32_t f = FlagsAt(target);
      if (f == 0 || ((f & Spin) && (f & Call))) {
        methodsFrom = target;
        break;
      }
    }
    for (const auto& [target, k] : entries) {
      if (TraceAbort) return;
      // Bytes a trace already claimed are a method (traced already), the inside of
      // one, assembly or data: a trace from there would only misread them. An
      // assembly program's registers past its code can overlay the methods in hub
      // memory; a long marked only as such a register (not code, not a block
      // start), at or above the first method, is a method's first long and is traced.
      // A routine's return register that no trace reached as code counts as one:
      // it loses its return-register mark and name, and becomes the method.
      const std::uint32_t f = FlagsAt(target);
      const bool overlaidRegister = (f & Asmb) != 0 && (f & ~(Asmb | Adat | Aret | Goto)) == 0 && methodsFrom >= 0 &&
                                    target >= methodsFrom;
      if (f != 0 && !overlaidRegister) continue;
      if (f & Aret) {
        ClearFlag(target, Aret | Goto);
        SymbolIds[static_cast<std::size_t>(target)] = 0;
      }
      ObjBase = o.base;
      ObjVarBase = o.varBase;
      PushHistory = {-1, -1, -1, -1};
      ReturnValueFlag = false;
      if (Opt.DebugSpin) DebugLine("Table " + Hex4(target) + " via Link at $" + Hex4(o.base + 4 * k) + " " + SignedText(k));
      TraceSpin(target, Call);
    }
  }
  ObjBase = PBASE;
  ObjVarBase = VBASE;
  for (const TreeObject& o : tree) ClassifyObjectData(o);
}

void Disassembler::ClassifyObjectData(const TreeObject& o) {
  using namespace flag;
  const TableShape shape = ShapeOf(o.base, ByteAt(o.base + 2), ByteAt(o.base + 3));
  std::int64_t firstMethod = -1;
  for (std::int64_t k = 1; k <= shape.methods; ++k) {
    const std::int64_t target = o.base + WordAt(o.base + 4 * k);
    if (!EntryInsideObject(o.base, k) || !HasFlag(target, Spin) || !HasFlag(target, Call)) continue;
    if (firstMethod < 0 || target < firstMethod) firstMethod = target;
  }
  if (firstMethod < 0) return;
  // Every byte from the table's end to the first method is the object's DAT
  // section: what no trace claimed becomes longs, words or bytes as it is aligned.
  auto free = [&](std::int64_t from, std::int64_t size) {
    if (from + size > firstMethod) return false;
    for (std::int64_t c = from; c < from + size; ++c) {
      if (FlagsAt(c) != 0) return false;
    }
    return true;
  };
  for (std::int64_t a = shape.end; a < firstMethod;) {
    const std::uint32_t f = FlagsAt(a);
    if (f & Spin) {
      a += 1;
    } else if ((f & (Asmb | Link | Long)) != 0) {
      a += 4;
    } else if (f & Word) {
      a += 2;
    } else if (f != 0) {
      a += 1;
    } else if (a % 4 == 0 && free(a, 4)) {
      SetFlag(a, Aray | Long);
      a += 4;
    } else if (a % 2 == 0 && free(a, 2)) {
      SetFlag(a, Aray | Word);
      a += 2;
    } else {
      SetFlag(a, Aray | Byte);
      a += 1;
    }
  }
}

void Disassembler::CollectMethodTables() {
  using namespace flag;
  tableObjects_.clear();
  const std::vector<TreeObject> tree = ObjectTree();
  std::vector<std::int64_t> bases;
  for (const TreeObject& o : tree) bases.push_back(o.base);
  const bool topInTree = !tree.empty() && tree.front().base == PBASE;
  // Objects outside the tree that a trace called into anyway (a broken table)
  // are listed as before: the entries the trace marked.
  std::vector<std::int64_t> others;
  if (!topInTree) others.push_back(PBASE);
  const std::int64_t last = std::min<std::int64_t>(ImageEnd, kLastAddress);
  for (std::int64_t k = 0; k <= last; ++k) {
    if ((Image[static_cast<std::size_t>(k)] & Xobj) && k != PBASE &&
        !std::binary_search(bases.begin(), bases.end(), k)) {
      others.push_back(k);
    }
  }
  auto tracedAt = [&](std::int64_t target) { return InImage(target) && HasFlag(target, Spin) && HasFlag(target, Call); };
  for (const std::int64_t base : bases) {
    TableObject object{base, base == PBASE || HasFlag(base, Xobj), {}};
    const std::int64_t methods = static_cast<std::int64_t>(ByteAt(base + 2)) - 1;
    for (std::int64_t k = 1; k <= methods; ++k) {
      const std::int64_t target = base + WordAt(base + 4 * k);
      object.methods.push_back({static_cast<int>(k), target, tracedAt(target)});
    }
    tableObjects_.push_back(std::move(object));
  }
  for (const std::int64_t base : others) {
    TableObject object{base, true, {}};
    const std::int64_t methods = static_cast<std::int64_t>(ByteAt(base + 2)) - 1;
    for (std::int64_t k = 1; k <= methods && InImage(base + 4 * k + 1) && HasFlag(base + 4 * k, Link); ++k) {
      const std::int64_t target = base + WordAt(base + 4 * k);
      if (InImage(target)) object.methods.push_back({static_cast<int>(k), target, tracedAt(target)});
    }
    tableObjects_.push_back(std::move(object));
  }
  std::sort(tableObjects_.begin(), tableObjects_.end(),
            [](const TableObject& x, const TableObject& y) { return x.base < y.base; });
}

}  // namespace brevin
