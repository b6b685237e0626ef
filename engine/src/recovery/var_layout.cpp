// Lays out the VAR block from the offsets and sizes the code accesses.
#include "recovery/var_layout.h"

#include <algorithm>
#include <set>

namespace brevin::recovery {

VarLayout LayOutVariables(const std::map<std::int32_t, int>& accessed, std::int32_t size) {
  VarLayout layout;
  std::int32_t longEnd = 0;
  std::int32_t wordEnd = 0;
  for (const auto& [offset, bytes] : accessed) {
    if (bytes == 4) longEnd = std::max(longEnd, offset + 4);
  }
  longEnd = (longEnd + 3) & ~3;
  for (const auto& [offset, bytes] : accessed) {
    if (bytes == 2 && offset >= longEnd) wordEnd = std::max(wordEnd, offset + 2);
  }
  wordEnd = std::max(wordEnd, longEnd);
  for (const auto& [offset, bytes] : accessed) {
    if (offset + bytes > size || offset < 0) {
      layout.exact = false;
      layout.difference = "a variable at " + std::to_string(offset) + " lies past the object's VAR";
    }
  }
  if (size < wordEnd) size = wordEnd;
  // Each region reaches the first variable of a smaller kind (or the end), so
  // no filler variables stand between them.
  std::int32_t firstWord = size, firstByte = size;
  for (const auto& [offset, bytes] : accessed) {
    if (bytes < 4 && offset >= longEnd) firstWord = std::min(firstWord, offset);
    if (bytes < 2 && offset >= wordEnd) firstByte = std::min(firstByte, offset);
  }
  if (firstWord == size) firstByte = size;
  const std::int32_t grownLongEnd = std::max(longEnd, firstWord & ~3);
  if (grownLongEnd > longEnd) {
    bool free = true;
    for (const auto& [offset, bytes] : accessed)
      if (offset >= longEnd && offset < grownLongEnd && bytes < 4 && offset % 4 != 0) free = false;
    if (free) {
      longEnd = grownLongEnd;
      wordEnd = std::max(wordEnd, longEnd);
    }
  }
  wordEnd = std::max(wordEnd, firstByte & ~1);
  struct Region {
    std::int32_t from, to;
    int unit;
    const char* type;
  };
  const Region regions[3] = {{0, longEnd, 4, "long"}, {longEnd, wordEnd, 2, "word"}, {wordEnd, size, 1, "byte"}};
  // The last non-empty region reaches the end of the block.
  for (const Region& r : regions) {
    if (r.from >= r.to) continue;
    std::vector<std::int32_t> starts{r.from};
    for (const auto& [offset, bytes] : accessed) {
      if (offset <= r.from || offset >= r.to) continue;
      if ((offset - r.from) % r.unit != 0 || bytes > r.unit) {
        layout.exact = false;
        layout.difference = "a variable at " + std::to_string(offset) + " cannot be declared at its offset";
        continue;
      }
      starts.push_back(offset);
    }
    for (std::size_t k = 0; k < starts.size(); ++k) {
      const std::int32_t end = k + 1 < starts.size() ? starts[k + 1] : r.to;
      const std::int32_t count = (end - starts[k] + r.unit - 1) / r.unit;
      const std::string name = std::string("var_") + r.type[0] + std::to_string(starts[k]);
      layout.names[starts[k]] = {name, r.unit};
      layout.lines.push_back(std::string("  ") + r.type + " " + name + (count > 1 ? "[" + std::to_string(count) + "]" : ""));
    }
  }
  for (const auto& [offset, bytes] : accessed) {
    if (offset >= longEnd && offset < wordEnd && bytes > 2) {
      layout.exact = false;
      layout.difference = "a variable at " + std::to_string(offset) + " is read wider than it can be declared";
    }
  }
  return layout;
}

namespace {

std::optional<VarLayout> LayOutCounted(const std::vector<NamedVariable>& declared,
                                       const std::map<std::int32_t, int>& accessed, std::int32_t size) {
  VarLayout layout;
  std::int32_t offset = 0;
  static const char* const types[5] = {"", "byte", "word", "", "long"};
  // A variable of no elements shares its address with the next one, which
  // names the offset where there is one.
  std::set<std::int32_t> empty;
  for (const int unit : {4, 2, 1}) {
    for (const NamedVariable& v : declared) {
      if (v.size != unit) continue;
      if (v.count < 0 || (layout.names.count(offset) && !empty.count(offset))) return std::nullopt;
      if (v.count == 0 && layout.names.count(offset)) continue;
      layout.names[offset] = {v.name, v.size};
      if (v.count == 0) {
        empty.insert(offset);
      } else {
        empty.erase(offset);
      }
      offset += v.size * v.count;
    }
  }
  if (((offset + 3) & ~3) != size) return std::nullopt;
  for (const auto& [at, bytes] : accessed) {
    auto it = layout.names.find(at);
    if (it == layout.names.end() || it->second.size < bytes) return std::nullopt;
  }
  // The declarations as the source has them, one a line.
  for (const NamedVariable& v : declared) {
    layout.lines.push_back(std::string("  ") + types[v.size] + " " + v.name +
                           (v.count != 1 ? "[" + std::to_string(v.count) + "]" : ""));
  }
  return layout;
}

}  // namespace

std::optional<VarLayout> LayOutSourceVariables(const std::vector<NamedVariable>& declared,
                                               const std::map<std::int32_t, int>& accessed, std::int32_t size) {
  // One count the source gives by an expression not read here (a child's
  // constant) is the one that lays the block out as the image has it; the
  // smallest, when padding lets several.
  std::size_t unknown = declared.size();
  for (std::size_t i = 0; i < declared.size(); ++i) {
    if (declared[i].count >= 0) continue;
    if (unknown != declared.size() || declared[i].count != -1) return std::nullopt;
    unknown = i;
  }
  if (unknown == declared.size()) return LayOutCounted(declared, accessed, size);
  std::vector<NamedVariable> counted = declared;
  for (int count = 1; count * declared[unknown].size <= size; ++count) {
    counted[unknown].count = count;
    if (std::optional<VarLayout> layout = LayOutCounted(counted, accessed, size)) return layout;
  }
  return std::nullopt;
}

}  // namespace brevin::recovery
