// Filling the name table: generated names, the listing's labels, the sources.
#include "recovery/name_table.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <string_view>

namespace brevin::recovery {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

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
    if (it != labels.end() && used.insert(Upper(it->second)).second) objects_[o].methods[m] = it->second;
  }
}

void NameTable::TakeSource(std::size_t o, const std::string& utf8Text) {
  ObjectNames& object = objects_[o];
  object.sourceRead = true;
  if (utf8Text.empty()) return;
  const SourceNames names = ReadSourceNames(utf8Text);
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
  const std::map<std::string, std::int64_t> values = ReadSourceConstants(utf8Text);
  source.dat = ReadSourceDat(utf8Text, [&values](std::string_view name) -> std::optional<std::int64_t> {
    const auto it = values.find(Upper(std::string(name)));
    return it == values.end() ? std::nullopt : std::optional<std::int64_t>(it->second);
  });
  for (const SourceObjectName& entry : names.objects)
    for (int k = 0; k < entry.count; ++k) source.entries.push_back({entry.name, entry.file, k, entry.count});
}

void NameTable::TakeGivenNames(std::size_t o, const std::vector<std::string>& methods,
                               const std::vector<std::map<std::int32_t, std::string>>& locals) {
  ObjectNames& object = objects_[o];
  std::set<std::string> given;
  for (std::size_t m = 0; m < methods.size() && m < object.methods.size(); ++m) {
    if (methods[m].empty() || !given.insert(Upper(methods[m])).second) continue;
    object.methods[m] = methods[m];
  }
  for (std::size_t m = 0; m < object.methods.size(); ++m) {
    if (m < methods.size() && !methods[m].empty() && Upper(object.methods[m]) == Upper(methods[m])) continue;
    while (given.count(Upper(object.methods[m])) != 0) object.methods[m] += "_";
  }
  object.givenLocals = locals;
}

void NameTable::TakeChildFileNames(const std::vector<std::size_t>& fileOrder,
                                   const std::vector<std::vector<int>>& childObjects) {
  std::set<std::string> used{Lower(objects_[fileOrder[0]].file)};
  std::vector<bool> renamed(objects_.size(), false);
  for (const std::size_t o : fileOrder) {
    const std::vector<SourceEntry>& entries = objects_[o].source.entries;
    if (entries.size() != childObjects[o].size()) continue;
    for (std::size_t c = 0; c < entries.size(); ++c) {
      const auto child = static_cast<std::size_t>(childObjects[o][c]);
      const std::string& file = entries[c].file;
      const bool plain = !file.empty() && file.size() <= 64 && std::all_of(file.begin(), file.end(), [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '-';
      });
      if (renamed[child] || child == fileOrder[0] || !plain || used.count(Lower(file)) != 0) continue;
      renamed[child] = true;
      used.insert(Lower(file));
      objects_[child].file = file;
    }
  }
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
