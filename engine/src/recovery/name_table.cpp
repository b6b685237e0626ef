// Filling the name table: generated names, the listing's labels, the sources.
#include "recovery/name_table.h"
#include "brevin/text.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

namespace brevin::recovery {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

NameTable::NameTable(const std::vector<std::size_t>& fileOrder, const std::vector<std::size_t>& methodCounts,
                     const std::string& topStem)
    : objects_(methodCounts.size()) {
  // The child files are named in OBJ strings: only characters any file system
  // and the compiler take.
  std::string childStem = topStem;
  for (char& c : childStem)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') c = '_';
  for (std::size_t k = 0; k < fileOrder.size(); ++k)
    objects_[fileOrder[k]].file = k == 0 ? topStem : childStem + "_obj" + std::to_string(k);
  for (std::size_t o = 0; o < objects_.size(); ++o) {
    for (std::size_t m = 0; m < methodCounts[o]; ++m) objects_[o].methods.push_back("method" + std::to_string(m + 1));
    objects_[o].parameters.assign(methodCounts[o], {});
  }
}

void NameTable::TakeMethodLabels(std::size_t o, const std::map<std::int32_t, std::string>& labels,
                                 const std::vector<std::int32_t>& methodAddresses) {
  std::set<std::string> used;
  for (std::size_t m = 0; m < methodAddresses.size() && m < objects_[o].methods.size(); ++m) {
    auto it = labels.find(methodAddresses[m]);
    if (it != labels.end() && used.insert(UpperText(it->second)).second) objects_[o].methods[m] = it->second;
  }
}

void NameTable::TakeSource(std::size_t o, const std::string& utf8Text, const SourceExpressionValue& outside) {
  ObjectNames& object = objects_[o];
  object.sourceRead = true;
  object.sourceText = utf8Text;
  if (utf8Text.empty()) return;
  const SourceNames names = ReadSourceNames(utf8Text, outside);
  // A person's source replaces what the library gave, and its constants are its own.
  object.source = ObjectSource{};
  object.libraryConstants = false;
  ObjectSource& source = object.source;
  if (names.methods.size() == object.methods.size()) {
    for (std::size_t m = 0; m < names.methods.size(); ++m) {
      object.methods[m] = names.methods[m].name;
      object.parameters[m] = names.methods[m].parameters;
    }
    source.methods = names.methods;
  }
  if (names.variablesKnown)
    for (const SourceVariable& v : names.variables) source.variables.push_back({v.size, v.name, v.count});
  source.constants = names.constants.All();
  // The DAT layout needs the CON values its counts and org/res operands name.
  source.dat = ReadSourceDat(utf8Text, [&names, &outside](std::string_view name) -> std::optional<std::int64_t> {
    if (const std::optional<std::int64_t> v = names.constants.Value(name)) return v;
    return outside ? outside(name) : std::nullopt;
  });
  for (const SourceObjectName& entry : names.objects)
    for (int k = 0; k < entry.count; ++k) source.entries.push_back({entry.name, entry.file, k, entry.count});
}

// The value of "obj#NAME": NAME among the constants of the source of the
// child the OBJ block's entries declare as obj.
std::optional<std::int64_t> NameTable::ChildConstant(const std::vector<SourceEntry>& entries,
                                                     const std::vector<int>& children, std::string_view name) const {
  std::string spelled;
  for (const char c : name)
    if (c != ' ' && c != '\t') spelled += c;
  const std::size_t hash = spelled.find('#');
  if (hash == std::string::npos) return std::nullopt;
  const std::string entry = UpperText(spelled.substr(0, hash));
  const std::string constant = UpperText(spelled.substr(hash + 1));
  for (std::size_t k = 0; k < entries.size() && k < children.size(); ++k) {
    if (UpperText(entries[k].name) != entry) continue;
    const auto child = static_cast<std::size_t>(children[k]);
    if (child >= objects_.size()) return std::nullopt;
    for (const SourceConstant& c : objects_[child].source.constants)
      if (UpperText(c.name) == constant) return c.value;
    return std::nullopt;
  }
  return std::nullopt;
}

void NameTable::TakeChildConstants(const std::vector<std::vector<int>>& childObjects) {
  // Children before their parents: a depth-first walk without recursion (an
  // image may nest its objects deeply).
  std::vector<bool> seen(objects_.size(), false);
  std::vector<std::size_t> order;
  for (std::size_t root = 0; root < objects_.size() && root < childObjects.size(); ++root) {
    if (seen[root]) continue;
    seen[root] = true;
    std::vector<std::pair<std::size_t, std::size_t>> stack{{root, 0}};  // object, next child
    while (!stack.empty()) {
      auto& [o, next] = stack.back();
      if (next < childObjects[o].size()) {
        const auto child = static_cast<std::size_t>(childObjects[o][next++]);
        if (child < objects_.size() && child < childObjects.size() && !seen[child]) {
          seen[child] = true;
          stack.emplace_back(child, 0);
        }
        continue;
      }
      order.push_back(o);
      stack.pop_back();
    }
  }
  for (const std::size_t o : order) {
    const std::string text = objects_[o].sourceText;
    if (text.find('#') == std::string::npos || objects_[o].source.entries.size() != childObjects[o].size()) continue;
    const std::vector<int>& children = childObjects[o];
    const std::vector<SourceEntry> entries = objects_[o].source.entries;
    TakeSource(o, text, [this, &entries, &children](std::string_view name) { return ChildConstant(entries, children, name); });
  }
}

void NameTable::TakeGivenNames(std::size_t o, const std::vector<std::string>& methods,
                               const std::vector<std::map<std::int32_t, std::string>>& locals) {
  ObjectNames& object = objects_[o];
  std::set<std::string> given;
  for (std::size_t m = 0; m < methods.size() && m < object.methods.size(); ++m) {
    if (methods[m].empty() || !given.insert(UpperText(methods[m])).second) continue;
    object.methods[m] = methods[m];
  }
  for (std::size_t m = 0; m < object.methods.size(); ++m) {
    if (m < methods.size() && !methods[m].empty() && UpperText(object.methods[m]) == UpperText(methods[m])) continue;
    while (given.count(UpperText(object.methods[m])) != 0) object.methods[m] += "_";
  }
  object.givenLocals = locals;
}

void NameTable::TakeChildFileNames(const std::vector<std::size_t>& fileOrder,
                                   const std::vector<std::vector<int>>& childObjects) {
  std::set<std::string> used{Lower(objects_[fileOrder[0]].file)};
  std::vector<bool> renamed(objects_.size(), false);
  // Library file names may hold single spaces inside ("Parallax Serial Terminal").
  const auto rename = [&](std::size_t child, const std::string& file, bool spaces) {
    const bool plain = !file.empty() && file.size() <= 64 && file.front() != ' ' && file.back() != ' ' &&
                       file.find("  ") == std::string::npos && std::all_of(file.begin(), file.end(), [&](char ch) {
                         return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '-' ||
                                (spaces && ch == ' ');
                       });
    if (renamed[child] || child == fileOrder[0] || !plain || used.count(Lower(file)) != 0) return;
    renamed[child] = true;
    used.insert(Lower(file));
    objects_[child].file = file;
  };
  for (const std::size_t o : fileOrder) {
    const std::vector<SourceEntry>& entries = objects_[o].source.entries;
    if (entries.size() != childObjects[o].size()) continue;
    for (std::size_t c = 0; c < entries.size(); ++c) rename(static_cast<std::size_t>(childObjects[o][c]), entries[c].file, false);
  }
  // The library's file names after the sources': two different objects of
  // one name cannot share a file, the second keeps its number.
  for (std::size_t k = 1; k < fileOrder.size(); ++k) rename(fileOrder[k], objects_[fileOrder[k]].libraryFile, true);
  for (std::size_t k = 1; k < fileOrder.size(); ++k) {
    const std::size_t o = fileOrder[k];
    if (renamed[o]) continue;
    std::string name = objects_[o].file;
    while (used.count(Lower(name)) != 0) name += "_";
    used.insert(Lower(name));
    objects_[o].file = name;
  }
}

}  // namespace brevin::recovery
