// The library's names in the name table. Every name must be one the
// compiler takes and unique in its scope: a library name that clashes with
// another name of the object keeps the name the table had.
#include "recovery/library_layer.h"
#include "brevin/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <optional>
#include <set>

#include "recovery/spin_names.h"

namespace brevin::recovery {
namespace {

bool IsIdentifier(const std::string& name) { return IsUsableSpinName(name); }

// The locals of a method as declarations: one long each when the names fill
// the frame, else arrays from where the code reads them, when every name
// but the first starts at a local the code reads and each of those starts one.
std::optional<std::vector<SourceLocal>> LocalDeclarations(const std::vector<std::string>& locals, int parameters,
                                                          int longs, const std::set<std::int32_t>& used) {
  const auto n = static_cast<int>(locals.size());
  if (n == 0 || longs <= 0 || n > longs) return std::nullopt;
  std::vector<SourceLocal> declared;
  if (n == longs) {
    for (const std::string& name : locals) declared.push_back({name, 1});
    return declared;
  }
  const std::int32_t first = 4 * (parameters + 1), end = 4 * (parameters + 1 + longs);
  std::set<std::int32_t> starts{first};
  for (const std::int32_t at : used)
    if (at > first && at < end && at % 4 == 0) starts.insert(at);
  if (static_cast<int>(starts.size()) != n) return std::nullopt;
  std::vector<std::int32_t> at(starts.begin(), starts.end());
  at.push_back(end);
  for (std::size_t k = 0; k < locals.size(); ++k) declared.push_back({locals[k], (at[k + 1] - at[k]) / 4});
  return declared;
}

// The method names: each matched method takes its library name unless
// another method of the object already goes by it.
void TakeMethods(ObjectNames& names, const LibraryObjectNames& library, const ObjectImage& object,
                 const ObjectPlan& plan) {
  const std::size_t count = std::min(names.methods.size(), library.methods.size());
  std::multiset<std::string> taken;
  for (const std::string& name : names.methods) taken.insert(UpperText(name));
  std::vector<SourceMethodName> methods(names.methods.size());
  for (std::size_t m = 0; m < names.methods.size(); ++m) {
    methods[m].name = names.methods[m];
    methods[m].parameters = names.parameters[m];
  }
  bool every = count == names.methods.size();
  for (std::size_t m = 0; m < count; ++m) {
    const std::optional<LibraryMethodNames>& known = library.methods[m];
    const bool free = known && IsIdentifier(known->name) &&
                      (UpperText(known->name) == UpperText(names.methods[m]) || taken.count(UpperText(known->name)) == 0);
    if (!free) {
      every = false;
      continue;
    }
    taken.erase(taken.find(UpperText(names.methods[m])));
    taken.insert(UpperText(known->name));
    names.methods[m] = known->name;
    if (std::all_of(known->parameters.begin(), known->parameters.end(), IsIdentifier))
      names.parameters[m] = known->parameters;
    SourceMethodName& method = methods[m];
    method.name = known->name;
    method.parameters = names.parameters[m];
    method.isPublic = known->isPublic;
    if (IsIdentifier(known->result)) method.result = known->result;
    if (!std::all_of(known->locals.begin(), known->locals.end(), IsIdentifier)) continue;
    const std::optional<std::vector<SourceLocal>> locals =
        LocalDeclarations(known->locals, static_cast<int>(names.parameters[m].size()),
                          object.methods[m].localSize / 4, plan.methodFacts[m].localOffsets);
    if (locals) {
      method.locals = *locals;
      method.localsKnown = true;
    }
  }
  names.source.methods = std::move(methods);
  // PUB and PRI decide the table's order: only an object named whole gives them all.
  names.source.kindsKnown = every && library.whole;
}

// The VAR block: each variable runs to the next one of its size (the last
// of a size to the first of the next size, the last of all to the end of
// the object's own VAR); nothing when an element would not fit.
std::vector<NamedVariable> Variables(const LibraryObjectNames& library, std::int32_t size) {
  std::vector<LibraryPlaceName> sorted = library.variables;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const LibraryPlaceName& a, const LibraryPlaceName& b) { return a.offset < b.offset; });
  std::vector<NamedVariable> declared;
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    const LibraryPlaceName& v = sorted[k];
    const std::int32_t next = k + 1 < sorted.size() ? sorted[k + 1].offset : size;
    if ((v.size != 1 && v.size != 2 && v.size != 4) || next - v.offset < v.size || !IsIdentifier(v.name)) return {};
    declared.push_back({v.size, v.name, (next - v.offset) / v.size});
  }
  return declared;
}

// A constant's value as a CON line writes it: an integer, or a float the compiler reads.
std::optional<SourceConstant> Constant(const std::string& name, const std::string& value) {
  if (!IsIdentifier(name)) return std::nullopt;
  std::int64_t number = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (ec == std::errc() && end == value.data() + value.size()) return SourceConstant{name, number, false, ""};
  const std::size_t point = value.find('.');
  const bool plain = point != std::string::npos && point > (value[0] == '-' ? 1u : 0u) && point + 1 < value.size() &&
                     std::all_of(value.begin() + (value[0] == '-' ? 1 : 0), value.end(), [](char c) {
                       return std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == 'e' || c == '-' || c == '+';
                     });
  if (!plain) return std::nullopt;
  float f = 0;
  const auto [fend, fec] = std::from_chars(value.data(), value.data() + value.size(), f);
  if (fec != std::errc() || fend != value.data() + value.size()) return std::nullopt;
  std::uint32_t bits = 0;
  std::memcpy(&bits, &f, sizeof bits);
  return SourceConstant{name, static_cast<std::int32_t>(bits), true, value};
}

// The DAT labels on the object's DAT bytes; in an assembly program the code
// starts, a long's label names its cog register too.
SourceDat DatLabels(const LibraryObjectNames& library, const ObjectImage& object, const ObjectPlan& plan) {
  SourceDat dat;
  dat.size = object.datEnd - object.datStart;
  std::vector<std::int32_t> programs(plan.facts.asmStarts.begin(), plan.facts.asmStarts.end());
  std::sort(programs.begin(), programs.end());
  for (const LibraryPlaceName& named : library.labels) {
    const std::int32_t offset = named.offset;
    if (offset < object.datStart || offset >= object.datEnd || !IsIdentifier(named.name)) continue;
    SourceDatLabel label;
    label.name = named.name;
    label.offset = offset - object.datStart;
    label.size = named.size;
    const auto program = std::upper_bound(programs.begin(), programs.end(), offset);
    if (program != programs.begin() && (offset - *std::prev(program)) % 4 == 0 && offset - *std::prev(program) < 0x800) {
      label.cogAddress = (offset - *std::prev(program)) / 4;
      label.cogBase = *std::prev(program) - object.datStart;
    }
    dat.labels.push_back(label);
  }
  return dat;
}

}  // namespace

void TakeLibraryNames(ObjectNames& names, const LibraryObjectNames& library, const std::string& file,
                      const ObjectImage& object, const ObjectPlan& plan) {
  TakeMethods(names, library, object, plan);
  names.declaredName = library.declaredName;
  if (!library.whole) return;
  if (names.declaredName.empty()) names.declaredName = library.usualName;
  names.libraryFile = file;
  names.source.variables = Variables(library, object.ownVarSize);
  for (const auto& [name, value] : library.constants)
    if (std::optional<SourceConstant> c = Constant(name, value)) names.source.constants.push_back(*c);
  names.libraryConstants = true;
  names.source.dat = DatLabels(library, object, plan);
}

std::string LibraryEntryName(const ObjectNames& child) {
  if (IsIdentifier(child.declaredName)) return child.declaredName;
  std::string name;
  for (const char c : child.libraryFile)
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') name += c;
  if (!IsIdentifier(name)) return {};
  name[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
  return name;
}

}  // namespace brevin::recovery
