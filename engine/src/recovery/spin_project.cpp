// Recovers a Spin project from an image: reads the object tree, reads every
// method of every distinct object into its tree once, fills the name table,
// lays out VAR, DAT and OBJ, and writes one file per distinct object.
#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "brevin/spin_source.h"
#include "brevin/text.h"
#include "recovery/dat_section.h"
#include "recovery/image_settings.h"
#include "recovery/library_layer.h"
#include "recovery/method_writer.h"
#include "recovery/name_table.h"
#include "recovery/object_plan.h"
#include "recovery/object_tree.h"
#include "recovery/spin/constant_form.h"
#include "recovery/spin/facts.h"
#include "recovery/spin/method_tree.h"
#include "recovery/spin/value_use.h"
#include "recovery/var_layout.h"

namespace brevin {

int SpinSourceProject::InexactMethods() const {
  return static_cast<int>(std::count_if(methods.begin(), methods.end(), [](const SpinSourceMethod& m) { return !m.exact; }));
}

namespace {

using recovery::BodyFacts;
using recovery::Hex2;
using recovery::ImageTree;
using recovery::NameTable;
using recovery::ObjectImage;
using recovery::ObjectNames;
using recovery::ObjectPlan;

bool IsIdentifier(const std::string& name) {
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

using SpinSourceInstance = SpinObjectInstance;

// The compiler puts every PUB method before every PRI one, so the split is
// one place in the table. A method a parent calls is public; past that,
// methods nothing in the object calls are its interface (public), and
// helpers the object calls itself are private. In quarters, the split costs
// four for each called method left public and twelve for each uncalled one
// made private, and four if any method is private. In the top object a
// method only the first one calls is a step of the program, which authors
// make public about as often as not: it costs one. And a short program
// whose first method reaches every other one is written all public. Measured
// on real programs, this gives the author's keyword for nine methods in ten.
std::vector<bool> PublicMethods(const std::vector<bool>& calledByParent, const std::vector<BodyFacts>& facts, bool top) {
  const std::size_t n = calledByParent.size();
  std::vector<std::set<std::size_t>> callers(n);
  for (std::size_t caller = 0; caller < facts.size(); ++caller)
    for (const auto& [method, arguments] : facts[caller].callArguments) {
      const auto m = static_cast<std::size_t>(method - 1);
      if (m < n && m != caller) callers[m].insert(caller);
    }
  std::size_t first = 1;  // the first method is always public
  for (std::size_t m = 0; m < n; ++m)
    if (calledByParent[m]) first = m + 1;
  const bool allCalled =
      std::all_of(callers.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(1, n)), callers.end(),
                  [](const std::set<std::size_t>& c) { return !c.empty(); });
  constexpr std::size_t kShortProgram = 5;
  std::size_t split = n;
  if (!top || n > kShortProgram || !allCalled) {
    int best = -1;
    for (std::size_t k = std::min(first, n); k <= n; ++k) {
      int cost = k < n ? 4 : 0;
      for (std::size_t m = 0; m < n; ++m) {
        const bool onlyFirst = top && callers[m].size() == 1 && *callers[m].begin() == 0;
        if (m < k && !callers[m].empty()) cost += onlyFirst ? 1 : 4;
        if (m >= k && callers[m].empty()) cost += 12;
      }
      if (best < 0 || cost <= best) {
        best = cost;
        split = k;
      }
    }
  }
  std::vector<bool> isPublic(n);
  for (std::size_t m = 0; m < n; ++m) isPublic[m] = m < split;
  return isPublic;
}


// The source's constants a recovered file may define: not the compiler's
// settings (the clock lines write those), not a name the object gives a
// method, an object entry, a variable or a DAT label.
std::vector<recovery::SourceConstant> DefinableConstants(const ObjectPlan& plan, const ObjectNames& names) {
  std::set<std::string> taken{"_CLKMODE", "_CLKFREQ", "_XINFREQ", "_STACK", "_FREE"};
  for (const std::string& name : names.methods) taken.insert(UpperText(name));
  for (const auto& [entry, name] : names.children) taken.insert(UpperText(name));
  for (const auto& [offset, name] : plan.vars.names) taken.insert(UpperText(name.name));
  for (const auto& [offset, label] : plan.dat.labels) taken.insert(UpperText(label.name));
  std::vector<recovery::SourceConstant> definable;
  for (const recovery::SourceConstant& c : names.source.constants)
    if (taken.insert(UpperText(c.name)).second) definable.push_back(c);
  return definable;
}

class ProjectRecovery {
 public:
  ProjectRecovery(const SpinSourceRequest& request, ImageTree tree)
      : request_(request), tree_(std::move(tree)), plans_(tree_.objects.size()) {}

  SpinSourceProject Run();

 private:
  void OrderFiles();
  void NameFromListing();
  void NameFromLibrary();
  void NameFromSources();
  void NameFromNotes();
  void VariablesFromNotes(std::size_t o);
  void CommentsFromNotes(std::size_t o, SpinSourceFile& file) const;
  void ReadMethods();
  void Signatures(std::size_t o);
  void LayOutData(std::size_t o);
  void ObjectEntries(std::size_t o);
  void WriteFile(std::size_t o);
  std::string TopStem() const;
  // The analysis' symbol at a hub address, or null.
  const Symbol* FindSymbolAt(std::int32_t hub) const {
    const std::vector<Symbol>& symbols = request_.analysis->symbols;
    auto it = std::lower_bound(symbols.begin(), symbols.end(), hub, [](const Symbol& s, std::int32_t a) { return s.address < a; });
    return it != symbols.end() && it->address == hub ? &*it : nullptr;
  }

  const SpinSourceRequest& request_;
  const ImageTree tree_;
  std::vector<ObjectPlan> plans_;
  std::vector<std::size_t> fileOrder_;  // level by level from the top, in object table order
  std::unique_ptr<NameTable> names_;
  std::unique_ptr<recovery::spin::ValueUse> values_;
  SpinSourceProject project_;
};

// The top file is named after the image, and its first comment names the
// image: a control character from the file name (a newline) would break
// that comment in two and give a file name nobody can type.
std::string ProjectRecovery::TopStem() const {
  std::string stem = request_.topName.empty() ? "top" : request_.topName;
  for (char& c : stem)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  return stem;
}

void ProjectRecovery::OrderFiles() {
  fileOrder_ = {0};
  std::vector<bool> seen(plans_.size(), false);
  seen[0] = true;
  for (std::size_t k = 0; k < fileOrder_.size(); ++k) {
    for (const recovery::ChildEntry& child : tree_.objects[fileOrder_[k]].children) {
      const auto c = static_cast<std::size_t>(child.object);
      if (!seen[c]) {
        seen[c] = true;
        fileOrder_.push_back(c);
      }
    }
  }
  std::vector<std::size_t> methodCounts;
  for (const ObjectImage& obj : tree_.objects) methodCounts.push_back(obj.methods.size());
  names_ = std::make_unique<NameTable>(fileOrder_, methodCounts, TopStem());
}

// The listing's labels, so that the listing and the source read side by side.
void ProjectRecovery::NameFromListing() {
  if (!request_.analysis) return;
  std::map<std::int32_t, std::string> labels;
  for (const ObjectInfo& info : request_.analysis->objects)
    for (const Method& method : info.methods)
      if (IsIdentifier(method.label)) labels[method.address] = method.label;
  for (std::size_t o = 0; o < plans_.size(); ++o) {
    std::vector<std::int32_t> addresses;
    for (const recovery::MethodRange& range : tree_.objects[o].methods) addresses.push_back(tree_.objects[o].address + range.start);
    names_->TakeMethodLabels(o, labels, addresses);
  }
}

// Names from the library of known objects, as the analysis matched them: an
// object's first instance finds its entry.
void ProjectRecovery::NameFromLibrary() {
  if (!request_.analysis) return;
  for (std::size_t o = 0; o < plans_.size(); ++o) {
    const ObjectImage& obj = tree_.objects[o];
    for (const ObjectInfo& info : request_.analysis->objects) {
      if (info.address != obj.address || !info.library) continue;
      recovery::TakeLibraryNames(names_->Object(o), *info.library, info.libraryName.value_or(std::string()), obj,
                                 plans_[o]);
      break;
    }
  }
}

// Names from the sources: the top's beside the image, a child's through the
// file its parent's OBJ block names, each used where it fits the image.
void ProjectRecovery::NameFromSources() {
  const auto take = [this](std::size_t o, const std::string& text) {
    // Sources may be saved as UTF-16 or UTF-8: names are read from the text as UTF-8.
    names_->TakeSource(o, text.empty() ? std::string() : SpinSourceText(text));
  };
  take(0, request_.sourceText);
  for (const std::size_t o : fileOrder_) {
    const ObjectImage& obj = tree_.objects[o];
    const std::vector<recovery::SourceEntry>& entries = names_->Object(o).source.entries;
    if (!request_.objectSource || entries.size() != obj.children.size()) continue;
    for (std::size_t c = 0; c < obj.children.size(); ++c) {
      const auto child = static_cast<std::size_t>(obj.children[c].object);
      if (!names_->Object(child).sourceRead) take(child, request_.objectSource(entries[c].file));
    }
  }
  std::vector<std::vector<int>> children(plans_.size());
  for (std::size_t o = 0; o < plans_.size(); ++o)
    for (const recovery::ChildEntry& child : tree_.objects[o].children) children[o].push_back(child.object);
  names_->TakeChildConstants(children);
  names_->TakeChildFileNames(fileOrder_, children);
}

// The names of a person's notes, the last layer: they win over every name
// before them. A name given on any copy of an object names them all.
void ProjectRecovery::NameFromNotes() {
  if (!request_.analysis) return;
  std::map<std::int32_t, std::string> methods;
  for (const ObjectInfo& info : request_.analysis->objects)
    for (const Method& method : info.methods)
      if (method.givenName) methods[method.address] = *method.givenName;
  std::map<std::pair<std::int32_t, std::int32_t>, std::string> slots;
  for (const NamedSlot& slot : request_.analysis->namedSlots)
    if (slot.local && slot.givenName) slots[{slot.address, slot.offset}] = *slot.givenName;
  if (methods.empty() && slots.empty()) return;
  for (std::size_t o = 0; o < plans_.size(); ++o) {
    const ObjectImage& obj = tree_.objects[o];
    std::vector<std::string> given(obj.methods.size());
    std::vector<std::map<std::int32_t, std::string>> locals(obj.methods.size());
    for (std::size_t m = 0; m < obj.methods.size(); ++m) {
      for (const SpinObjectInstance& instance : obj.instances) {
        const std::int32_t entry = instance.address + obj.methods[m].start;
        if (auto it = methods.find(entry); it != methods.end() && given[m].empty()) given[m] = it->second;
        for (auto it = slots.lower_bound({entry, 0}); it != slots.end() && it->first.first == entry; ++it)
          locals[m].emplace(it->first.second, it->second);
      }
    }
    names_->TakeGivenNames(o, given, locals);
  }
}

// A person's names for VAR variables, where the layout declares a variable
// at the place named: the block is laid out again with them.
void ProjectRecovery::VariablesFromNotes(std::size_t o) {
  if (!request_.analysis) return;
  ObjectPlan& plan = plans_[o];
  // The VAR of the object's first use, as the listing names it.
  std::int32_t varBase = -1;
  std::function<void(int, std::int32_t, std::int32_t, int)> walk = [&](int at, std::int32_t address, std::int32_t var, int depth) {
    if (varBase >= 0 || depth > 32) return;
    if (static_cast<std::size_t>(at) == o) {
      varBase = var;
      return;
    }
    for (const recovery::ChildEntry& child : tree_.objects[static_cast<std::size_t>(at)].children)
      if (child.object >= 0) walk(child.object, address + child.offset, var + child.varOffset, depth + 1);
  };
  walk(0, tree_.pbase, tree_.vbase, 0);
  if (varBase < 0) return;
  // The declaration's name is a word of its line: the word changes, the layout stays.
  const auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
  for (auto& [offset, declared] : plan.vars.names) {
    const Symbol* symbol = FindSymbolAt(varBase + offset);
    if (symbol == nullptr || !symbol->givenName || !IsIdentifier(*symbol->givenName)) continue;
    for (std::string& line : plan.vars.lines) {
      for (std::size_t at = line.find(declared.name); at != std::string::npos; at = line.find(declared.name, at + 1)) {
        const std::size_t end = at + declared.name.size();
        if ((at > 0 && isWordChar(line[at - 1])) || (end < line.size() && isWordChar(line[end]))) continue;
        line.replace(at, declared.name.size(), *symbol->givenName);
        break;
      }
    }
    declared.name = *symbol->givenName;
  }
}

// A person's comments on the statements of a file: at the end of the line
// where the statement's bytecode starts, after "'".
void ProjectRecovery::CommentsFromNotes(std::size_t o, SpinSourceFile& file) const {
  if (!request_.analysis) return;
  std::map<std::int32_t, std::string_view> byOffset;
  const ObjectImage& obj = tree_.objects[o];
  for (const ListingLine& line : request_.analysis->lines) {
    if (line.noteSpan.length == 0 || !line.address) continue;
    for (const SpinSourceInstance& instance : obj.instances)
      if (*line.address >= instance.address && *line.address < instance.address + obj.size)
        byOffset.emplace(*line.address - instance.address, line.note());
  }
  if (byOffset.empty()) return;
  std::map<int, std::string_view> byLine;
  for (const SpinSourceMark& mark : file.marks)
    if (auto it = byOffset.find(mark.offset); it != byOffset.end()) byLine.emplace(mark.line, it->second);
  if (byLine.empty()) return;
  std::string text;
  int number = 0;
  std::size_t from = 0;
  while (from < file.text.size()) {
    const std::size_t end = file.text.find('\n', from);
    const std::size_t stop = end == std::string::npos ? file.text.size() : end;
    text.append(file.text, from, stop - from);
    if (auto it = byLine.find(number); it != byLine.end()) {
      text += "  ' ";
      text += it->second;
    }
    if (end != std::string::npos) text += '\n';
    from = stop + 1;
    ++number;
  }
  file.text = std::move(text);
}

// Every method read once into its tree; what it uses comes from the tree.
void ProjectRecovery::ReadMethods() {
  for (std::size_t o = 0; o < plans_.size(); ++o) {
    const std::size_t count = tree_.objects[o].methods.size();
    plans_[o].parameters.assign(count, -1);
    plans_[o].isPublic.assign(count, false);
  }
  for (std::size_t o = 0; o < plans_.size(); ++o) {
    const ObjectImage& obj = tree_.objects[o];
    ObjectPlan& plan = plans_[o];
    for (const recovery::MethodRange& range : obj.methods) {
      plan.trees.push_back(recovery::spin::ReadMethod(obj.bytes, range.start, range.end));
      plan.methodFacts.push_back(recovery::GatherFacts(plan.trees.back().body));
      const BodyFacts& f = plan.methodFacts.back();
      recovery::MergeFacts(plan.facts, f);
      // A method an object calls in its child is public there, with that many parameters.
      for (auto [k, v] : f.childCallArguments) {
        const int child = recovery::ChildObject(tree_, static_cast<int>(o), k.first);
        const auto cm = static_cast<std::size_t>(k.second - 1);
        if (child >= 0 && cm < plans_[static_cast<std::size_t>(child)].parameters.size()) {
          plans_[static_cast<std::size_t>(child)].parameters[cm] = v;
          plans_[static_cast<std::size_t>(child)].isPublic[cm] = true;
        }
      }
    }
  }
  // What values stand for (characters, truth values), over every object's methods.
  std::vector<std::vector<const recovery::spin::StmtList*>> trees(plans_.size());
  for (std::size_t o = 0; o < plans_.size(); ++o)
    for (const recovery::spin::MethodTree& t : plans_[o].trees) trees[o].push_back(&t.body);
  const ImageTree& image = tree_;
  values_ = std::make_unique<recovery::spin::ValueUse>(
      trees, [&image](int o, int entry) { return recovery::ChildObject(image, o, entry); });
}

// Parameters: from the calls, the first method of the top from the header,
// else as many as the locals the body uses need; PUB or PRI.
void ProjectRecovery::Signatures(std::size_t o) {
  ObjectPlan& plan = plans_[o];
  const ObjectImage& obj = tree_.objects[o];
  for (auto [k, v] : plan.facts.callArguments) {
    const auto m = static_cast<std::size_t>(k - 1);
    if (m < plan.parameters.size()) plan.parameters[m] = v;
  }
  if (o == 0 && !plan.parameters.empty()) plan.parameters[0] = tree_.firstMethodParameters;
  plan.limits.assign(plan.parameters.size(), std::string());
  for (std::size_t m = 0; m < plan.parameters.size(); ++m) {
    if (plan.parameters[m] < 0) {
      // Nothing calls it: as many as the names give, when the body's locals leave room for them.
      const std::int32_t needed = plan.methodFacts[m].maxLocal - obj.methods[m].localSize;
      const auto named = static_cast<int>(names_->Object(o).parameters[m].size());
      plan.parameters[m] = std::max(0, (needed + 3) / 4);
      if (named > plan.parameters[m] && named <= 15) plan.parameters[m] = named;
    }
    // The compiler takes at most 15 parameters and 32 KB of locals in longs.
    if (plan.parameters[m] > 15) {
      plan.limits[m] = "more parameters than a method can take";
      plan.parameters[m] = 15;
    }
    if (obj.methods[m].localSize % 4 != 0 || obj.methods[m].localSize > 0x8000)
      plan.limits[m] = "a local size no method declares";
  }
  plan.isPublic = PublicMethods(plan.isPublic, plan.methodFacts, o == 0);
  const recovery::ObjectSource& source = names_->Object(o).source;
  const std::vector<recovery::SourceMethodName>& sourceMethods = source.methods;
  if (sourceMethods.size() == plan.isPublic.size() && source.kindsKnown)
    for (std::size_t m = 0; m < sourceMethods.size(); ++m) plan.isPublic[m] = sourceMethods[m].isPublic;
}

void ProjectRecovery::LayOutData(std::size_t o) {
  ObjectPlan& plan = plans_[o];
  const ObjectImage& obj = tree_.objects[o];
  const ObjectNames& names = names_->Object(o);
  plan.vars = recovery::LayOutVariables(plan.facts.varSizes, obj.ownVarSize);
  // The source's own variables, when they lie where the code uses them.
  if (!names.source.variables.empty()) {
    if (std::optional<recovery::VarLayout> named =
            recovery::LayOutSourceVariables(names.source.variables, plan.facts.varSizes, obj.ownVarSize))
      plan.vars = *named;
  }
  recovery::DatSectionInput dat;
  dat.bytes = obj.bytes.subspan(static_cast<std::size_t>(obj.datStart), static_cast<std::size_t>(obj.datEnd - obj.datStart));
  dat.offset = obj.datStart;
  dat.objectAddress = obj.address;
  for (std::int32_t s : plan.facts.asmStarts) dat.asmStarts.push_back(obj.address + s);
  for (auto [k, v] : plan.facts.datSizes) dat.references.push_back({k, v});
  if (request_.analysis) {
    // A label at the end of the DAT names the first method too: it stays the method's.
    const Analysis* analysis = request_.analysis;
    std::set<std::string> taken;
    for (const std::string& name : names.methods) taken.insert(UpperText(name));
    dat.labelAt = [analysis, taken](std::int32_t hub) -> std::optional<std::string> {
      auto it = std::lower_bound(analysis->symbols.begin(), analysis->symbols.end(), hub,
                                 [](const Symbol& sym, std::int32_t a) { return sym.address < a; });
      if (it == analysis->symbols.end() || it->address != hub) return std::nullopt;
      // A name the person gave wins over the listing's label.
      const std::string& name = it->givenName ? *it->givenName : it->name;
      if (IsIdentifier(name) && !taken.count(UpperText(name))) return name;
      return std::nullopt;
    };
  }
  // The source's DAT labels, when its layout agrees with the image's DAT
  // size; no label takes a name the object gives anything else.
  for (std::size_t m = 0; m < plan.parameters.size(); ++m) {
    dat.takenNames.push_back(names.methods[m]);
    for (int k = 0; k < plan.parameters[m]; ++k) {
      const auto i = static_cast<std::size_t>(k);
      dat.takenNames.push_back(i < names.parameters[m].size() ? names.parameters[m][i] : "arg" + std::to_string(k + 1));
    }
    if (m < names.source.methods.size())
      for (const recovery::SourceLocal& local : names.source.methods[m].locals) dat.takenNames.push_back(local.name);
    for (int k = 1; k <= obj.methods[m].localSize / 4; ++k) dat.takenNames.push_back("local" + std::to_string(k));
  }
  for (const recovery::SourceEntry& entry : names.source.entries) dat.takenNames.push_back(entry.name);
  for (const auto& [offset, variable] : plan.vars.names) dat.takenNames.push_back(variable.name);
  const recovery::SourceDat& sourceDat = names.source.dat;
  if (!sourceDat.size || *sourceDat.size == obj.datEnd - obj.datStart) recovery::AddSourceLabels(sourceDat, obj.datStart, dat);
  plan.dat = recovery::RecoverDatSection(dat);
}

// The names an object gives its methods, parameters, locals, VAR, DAT and
// CON: an OBJ name the library suggests takes none of them.
std::set<std::string> ObjectNamesInUse(const ObjectPlan& plan, const ObjectNames& names) {
  std::set<std::string> taken{"RESULT"};
  for (std::size_t m = 0; m < names.methods.size(); ++m) {
    taken.insert(UpperText(names.methods[m]));
    for (const std::string& p : names.parameters[m]) taken.insert(UpperText(p));
    if (m < names.source.methods.size()) {
      taken.insert(UpperText(names.source.methods[m].result));
      for (const recovery::SourceLocal& local : names.source.methods[m].locals) taken.insert(UpperText(local.name));
    }
  }
  for (const auto& [offset, name] : plan.vars.names) taken.insert(UpperText(name.name));
  for (const auto& [offset, label] : plan.dat.allLabels) taken.insert(UpperText(label.name));
  for (const recovery::SourceConstant& c : names.source.constants) taken.insert(UpperText(c.name));
  return taken;
}

// Object entries: arrays where the code calls them with an index; the
// source's name when its declaration is the entry (or array) exactly.
void ProjectRecovery::ObjectEntries(std::size_t o) {
  ObjectPlan& plan = plans_[o];
  const ObjectImage& obj = tree_.objects[o];
  ObjectNames& names = names_->Object(o);
  const int first = static_cast<int>(obj.methods.size()) + 1;
  const std::set<int> indexed(plan.facts.indexedChildEntries.begin(), plan.facts.indexedChildEntries.end());
  const std::set<int> single(plan.facts.singleChildEntries.begin(), plan.facts.singleChildEntries.end());
  const std::vector<recovery::SourceEntry>& sourceEntries = names.source.entries;
  std::set<std::string> used;
  const std::set<std::string> taken = ObjectNamesInUse(plan, names);
  int number = 1;
  for (std::size_t c = 0; c < obj.children.size();) {
    const int entry = first + static_cast<int>(c);
    const int child = obj.children[c].object;
    std::size_t run = 1;
    if (indexed.count(entry)) {
      while (c + run < obj.children.size() && obj.children[c + run].object == child &&
             !indexed.count(entry + static_cast<int>(run)) && !single.count(entry + static_cast<int>(run)))
        ++run;
    }
    std::string name = "obj" + std::to_string(number++);
    while (used.count(UpperText(name))) name = "obj" + std::to_string(number++);
    const std::string known = recovery::LibraryEntryName(names_->Object(static_cast<std::size_t>(child)));
    if (sourceEntries.size() == obj.children.size()) {
      if (sourceEntries[c].index == 0 && sourceEntries[c].count == static_cast<int>(run) &&
          !used.count(UpperText(sourceEntries[c].name)))
        name = sourceEntries[c].name;
    } else if (!known.empty() && !used.count(UpperText(known)) && !taken.count(UpperText(known))) {
      name = known;
    }
    used.insert(UpperText(name));
    for (std::size_t k = 0; k < run; ++k) {
      names.children[entry + static_cast<int>(k)] = k == 0 ? name : "";
      if (k > 0 && single.count(entry + static_cast<int>(k))) plan.objDifference = "an object of an array is called by its own entry";
    }
    plan.objLines.push_back("  " + name + (run > 1 ? "[" + std::to_string(run) + "]" : "") + " : \"" +
                            names_->Object(static_cast<std::size_t>(child)).file + "\"");
    c += run;
  }
}

void AddBlock(std::vector<std::string>& lines, const char* block, const std::vector<std::string>& body) {
  if (body.empty()) return;
  lines.push_back("");
  lines.push_back(block);
  lines.insert(lines.end(), body.begin(), body.end());
}

void ProjectRecovery::WriteFile(std::size_t o) {
  ObjectPlan& plan = plans_[o];
  const ObjectImage& obj = tree_.objects[o];
  const ObjectNames& names = names_->Object(o);
  const std::string stem = TopStem();
  std::vector<std::string> lines;
  std::vector<SpinSourceMark> marks;
  std::ostringstream head;
  if (o == 0) {
    head << "' Recovered from " << stem << (tree_.eeprom ? ".eeprom" : ".binary") << ": " << tree_.imageSize
         << " bytes, checksum " << Hex2(tree_.checksum);
  } else {
    head << "' Object at $" << std::hex << std::uppercase << obj.address << std::dec << " of " << stem << ", used "
         << obj.uses << (obj.uses == 1 ? " time" : " times");
  }
  lines.push_back(head.str());
  recovery::MethodInput input{tree_, *names_, plans_, *values_, o, 0, plan.objDifference, std::string()};
  // The compiler lays the methods out in table order, one after the other.
  for (std::size_t m = 1; m < obj.methods.size(); ++m)
    if (obj.methods[m].start <= obj.methods[m - 1].start) input.objectDifference = "the method table is not in the compiler's order";
  // What the compiler derives for the whole image: the top's first method
  // gets a difference there, as no method holds it.
  if (o == 0) input.imageDifference = recovery::ImageDifference(request_.image, tree_);
  std::vector<std::string> con;
  if (o == 0 && !recovery::ClockLines(tree_, con))
    input.objectDifference = "the clock mode byte " + Hex2(tree_.clockMode) + " is no setting the compiler writes";
  for (const recovery::SourceConstant& c : plan.constants)
    con.push_back("  " + c.name + " = " + (c.text.empty() ? recovery::spin::DecimalText(c.value) : c.text));
  AddBlock(lines, "CON", con);
  AddBlock(lines, "OBJ", plan.objLines);
  AddBlock(lines, "VAR", plan.vars.lines);
  if (!plan.vars.exact && input.objectDifference.empty()) input.objectDifference = plan.vars.difference;
  if (!plan.dat.exact && input.objectDifference.empty()) input.objectDifference = plan.dat.difference;
  for (std::size_t m = 0; m < obj.methods.size(); ++m) {
    input.method = m;
    recovery::WrittenMethod written = recovery::WriteMethod(input, plan.trees[m]);
    for (std::size_t k = 0; k < written.markLines.size(); ++k)
      marks.push_back({static_cast<int>(lines.size()) + written.markLines[k], written.markOffsets[k]});
    // The written lines start with a blank line that belongs to no method.
    written.method.firstLine = static_cast<int>(lines.size()) + 1;
    written.method.headLine = static_cast<int>(lines.size()) + written.headLine;
    written.method.lastLine = static_cast<int>(lines.size() + written.lines.size()) - 1;
    lines.insert(lines.end(), written.lines.begin(), written.lines.end());
    project_.methods.push_back(written.method);
  }
  AddBlock(lines, "DAT", plan.dat.lines);
  SpinSourceFile file;
  file.name = names.file + ".spin";
  for (const std::string& line : lines) file.text += line + "\n";
  file.instances = obj.instances;
  file.marks = std::move(marks);
  CommentsFromNotes(o, file);
  project_.files.push_back(std::move(file));
}

SpinSourceProject ProjectRecovery::Run() {
  OrderFiles();
  ReadMethods();
  NameFromListing();
  NameFromLibrary();
  NameFromSources();
  NameFromNotes();
  for (std::size_t o = 0; o < plans_.size(); ++o) {
    Signatures(o);
    LayOutData(o);
    VariablesFromNotes(o);
    ObjectEntries(o);
  }
  for (std::size_t o = 0; o < plans_.size(); ++o) plans_[o].constants = DefinableConstants(plans_[o], names_->Object(o));
  for (const std::size_t o : fileOrder_) WriteFile(o);
  return std::move(project_);
}

}  // namespace

SpinSourceProject RecoverSpinSource(const SpinSourceRequest& request) {
  ImageTree tree = recovery::ReadImageTree(request.image);
  if (!tree.error.empty()) {
    SpinSourceProject project;
    project.error = tree.error;
    return project;
  }
  return ProjectRecovery(request, std::move(tree)).Run();
}

std::string SpinSourceFileBytes(const SpinSourceFile& file) {
  bool ascii = true;
  for (char c : file.text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return file.text;
  // UTF-8 to UTF-16 LE with a byte-order mark.
  std::string out = "\xFF\xFE";
  const std::string& s = file.text;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = c;
    std::size_t n = 1;
    if (c >= 0xF0 && i + 3 < s.size() + 0) {
      cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
           ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) | (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
      n = 4;
    } else if (c >= 0xE0 && i + 2 < s.size()) {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
      n = 3;
    } else if (c >= 0xC0 && i + 1 < s.size()) {
      cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
      n = 2;
    }
    i += n;
    auto unit = [&](std::uint32_t u) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>((u >> 8) & 0xFF);
    };
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return out;
}

}  // namespace brevin
