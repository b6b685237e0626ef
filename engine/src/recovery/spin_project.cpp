// Recovers a Spin project from an image: reads the object tree, decompiles
// every method of every distinct object, lays out VAR and DAT, and writes one
// file per distinct object.
#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

#include "brevin/spin_source.h"
#include "brevin/text.h"
#include "recovery/dat_section.h"
#include "recovery/image_settings.h"
#include "recovery/object_tree.h"
#include "recovery/source_names.h"
#include "recovery/spin/constant_form.h"
#include "recovery/spin/facts.h"
#include "recovery/spin/method_tree.h"
#include "recovery/spin/printer.h"
#include "recovery/spin/value_use.h"
#include "recovery/var_layout.h"

namespace brevin {

int SpinSourceProject::InexactMethods() const {
  return static_cast<int>(std::count_if(methods.begin(), methods.end(), [](const SpinSourceMethod& m) { return !m.exact; }));
}

namespace {

using recovery::BodyFacts;
using recovery::BodyNaming;
using recovery::ClockLines;
using recovery::DeclaredName;
using recovery::Hex2;
using recovery::ImageDifference;
using recovery::ImageTree;
using recovery::ObjectImage;

bool IsIdentifier(const std::string& name) {
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}


struct ObjectPlan {
  std::string file;  // file name without extension
  std::vector<std::string> methodNames;     // by table index - 1
  std::vector<int> parameters;              // by table index - 1
  std::vector<std::vector<std::string>> parameterNames;
  std::vector<bool> isPublic;
  std::vector<std::string> limits;  // by method: a compiler limit the table exceeds
  std::vector<recovery::spin::MethodTree> trees;  // by table index - 1
  BodyFacts facts;
  std::vector<BodyFacts> methodFacts;
  recovery::VarLayout vars;
  recovery::DatSection dat;
  // Object entries: the name each entry is called by, and array declarations.
  std::map<int, std::string> childNames;
  std::vector<std::string> objLines;
  // The source's constants the file defines: none of the compiler's own
  // settings, none of a name the object gives anything else.
  std::vector<recovery::SourceConstant> constants;
  std::string objDifference;
};

// The compiler puts every PUB method before every PRI one, so the split is
// one place in the table. A method a parent calls is public; past that,
// methods nothing in the object calls are its interface (public), and
// helpers the object calls itself are private. The split costs one for each
// called method left public and three for each uncalled one made private
// (authors make most methods public: measured on real programs, this split
// gives the author's keyword for nine methods in ten).
std::vector<bool> PublicMethods(const std::vector<bool>& calledByParent, const std::vector<BodyFacts>& facts) {
  const std::size_t n = calledByParent.size();
  std::vector<bool> called(n, false);
  for (std::size_t caller = 0; caller < facts.size(); ++caller)
    for (const auto& [method, arguments] : facts[caller].callArguments) {
      const auto m = static_cast<std::size_t>(method - 1);
      if (m < n && m != caller) called[m] = true;
    }
  std::size_t first = 1;  // the first method is always public
  for (std::size_t m = 0; m < n; ++m)
    if (calledByParent[m]) first = m + 1;
  std::size_t split = n;
  int best = -1;
  for (std::size_t k = std::min(first, n); k <= n; ++k) {
    int cost = k < n ? 1 : 0;
    for (std::size_t m = 0; m < n; ++m) cost += m < k ? (called[m] ? 1 : 0) : (called[m] ? 0 : 3);
    if (best < 0 || cost <= best) {
      best = cost;
      split = k;
    }
  }
  std::vector<bool> isPublic(n);
  for (std::size_t m = 0; m < n; ++m) isPublic[m] = m < split;
  return isPublic;
}

// The source's constants a recovered file may define: not the compiler's
// settings (the clock lines write those), not a name the object gives a
// method, an object entry, a variable or a DAT label.
std::vector<recovery::SourceConstant> DefinableConstants(const ObjectPlan& plan,
                                                         const std::vector<recovery::SourceConstant>& constants) {
  std::set<std::string> taken{"_CLKMODE", "_CLKFREQ", "_XINFREQ", "_STACK", "_FREE"};
  for (const std::string& name : plan.methodNames) taken.insert(Upper(name));
  for (const auto& [entry, name] : plan.childNames) taken.insert(Upper(name));
  for (const auto& [offset, name] : plan.vars.names) taken.insert(Upper(name.name));
  for (const auto& [offset, label] : plan.dat.labels) taken.insert(Upper(label.name));
  std::vector<recovery::SourceConstant> definable;
  for (const recovery::SourceConstant& c : constants)
    if (taken.insert(Upper(c.name)).second) definable.push_back(c);
  return definable;
}

// Locals named local1, local2 ... in frame order; one the code indexes is an
// array up to the next local the code uses (or the end of the frame).
std::vector<recovery::SourceLocal> GeneratedLocals(int params, int locals, const BodyFacts& facts) {
  std::vector<recovery::SourceLocal> declared;
  const std::int32_t end = 4 * (params + locals + 1);
  for (std::int32_t at = 4 * (params + 1); at < end;) {
    int count = 1;
    if (facts.indexedLocals.count(at)) {
      auto next = facts.localOffsets.upper_bound(at);
      const std::int32_t stop = next == facts.localOffsets.end() ? end : std::min(*next, end);
      count = std::max(1, (stop - at) / 4);
    }
    declared.push_back({"local" + std::to_string(declared.size() + 1), count});
    at += 4 * count;
  }
  return declared;
}

}  // namespace

SpinSourceProject RecoverSpinSource(const SpinSourceRequest& request) {
  SpinSourceProject project;
  const ImageTree tree = recovery::ReadImageTree(request.image);
  if (!tree.error.empty()) {
    project.error = tree.error;
    return project;
  }
  // The top file is named after the image, and its first comment names the
  // image: a control character from the file name (a newline) would break
  // that comment in two and give a file name nobody can type.
  std::string stem = request.topName.empty() ? "top" : request.topName;
  for (char& c : stem)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  std::vector<ObjectPlan> plans(tree.objects.size());
  // Files are numbered level by level from the top, in object table order.
  std::vector<std::size_t> fileOrder{0};
  std::vector<bool> seen(plans.size(), false);
  seen[0] = true;
  for (std::size_t k = 0; k < fileOrder.size(); ++k) {
    for (const recovery::ChildEntry& child : tree.objects[fileOrder[k]].children) {
      const auto c = static_cast<std::size_t>(child.object);
      if (!seen[c]) {
        seen[c] = true;
        fileOrder.push_back(c);
      }
    }
  }
  // The child files are named in OBJ strings: only characters any file system
  // and the compiler take.
  std::string childStem = stem;
  for (char& c : childStem)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') c = '_';
  for (std::size_t k = 0; k < fileOrder.size(); ++k)
    plans[fileOrder[k]].file = k == 0 ? stem : childStem + "_obj" + std::to_string(k);
  for (std::size_t o = 0; o < plans.size(); ++o) {
    const std::size_t count = tree.objects[o].methods.size();
    for (std::size_t m = 0; m < count; ++m) plans[o].methodNames.push_back("method" + std::to_string(m + 1));
    plans[o].parameters.assign(count, -1);
    plans[o].parameterNames.assign(count, {});
    plans[o].isPublic.assign(count, false);
  }
  // The listing's labels, so that the listing and the source read side by side.
  if (request.analysis) {
    std::map<std::int32_t, std::string> labels;
    for (const ObjectInfo& info : request.analysis->objects)
      for (const Method& method : info.methods)
        if (IsIdentifier(method.label)) labels[method.address] = method.label;
    for (std::size_t o = 0; o < plans.size(); ++o) {
      const ObjectImage& obj = tree.objects[o];
      std::set<std::string> used;
      for (std::size_t m = 0; m < obj.methods.size(); ++m) {
        auto it = labels.find(obj.address + obj.methods[m].start);
        if (it != labels.end() && used.insert(Upper(it->second)).second) plans[o].methodNames[m] = it->second;
      }
    }
  }
  // Names from the sources: the top's beside the image, a child's through the
  // file its parent's OBJ block names, each used where it fits the image.
  struct SourceEntry {
    std::string name;
    std::string file;
    int index;  // in its array
    int count;  // the array's size
  };
  struct ObjectSource {
    std::vector<recovery::SourceMethodName> methods;  // when they match the table
    std::vector<SourceEntry> entries;                  // the object table as the source declares it
    std::vector<recovery::NamedVariable> variables;    // the VAR block as the source declares it
    std::vector<recovery::SourceConstant> constants;   // the CON block, evaluated
  };
  std::vector<ObjectSource> sources(plans.size());
  std::vector<bool> sourceRead(plans.size(), false);
  auto readSource = [&](std::size_t o, const std::string& text) {
    sourceRead[o] = true;
    if (text.empty()) return;
    // Sources may be saved as UTF-16 or UTF-8: names are read from the text as UTF-8.
    const recovery::SourceNames names = recovery::ReadSourceNames(SpinSourceText(text));
    ObjectSource& source = sources[o];
    if (names.methods.size() == plans[o].methodNames.size()) {
      for (std::size_t m = 0; m < names.methods.size(); ++m) {
        plans[o].methodNames[m] = names.methods[m].name;
        plans[o].parameterNames[m] = names.methods[m].parameters;
      }
      source.methods = names.methods;
    }
    if (names.variablesKnown)
      for (const recovery::SourceVariable& v : names.variables) source.variables.push_back({v.size, v.name, v.count});
    source.constants = names.constants.All();
    for (const recovery::SourceObjectName& object : names.objects) {
      for (int k = 0; k < object.count; ++k) source.entries.push_back({object.name, object.file, k, object.count});
    }
  };
  readSource(0, request.sourceText);
  for (const std::size_t o : fileOrder) {
    const ObjectImage& obj = tree.objects[o];
    if (!request.objectSource || sources[o].entries.size() != obj.children.size()) continue;
    for (std::size_t c = 0; c < obj.children.size(); ++c) {
      const auto child = static_cast<std::size_t>(obj.children[c].object);
      if (!sourceRead[child]) readSource(child, request.objectSource(sources[o].entries[c].file));
    }
  }
  // A child object takes the file name its parent's OBJ block gives it, when
  // that name is plain and no other file has it (names compared ignoring case).
  {
    std::set<std::string> used;
    const auto folded = [](std::string name) {
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return name;
    };
    used.insert(folded(plans[fileOrder[0]].file));
    std::vector<bool> renamed(plans.size(), false);
    for (const std::size_t o : fileOrder) {
      const ObjectImage& obj = tree.objects[o];
      if (sources[o].entries.size() != obj.children.size()) continue;
      for (std::size_t c = 0; c < obj.children.size(); ++c) {
        const auto child = static_cast<std::size_t>(obj.children[c].object);
        const std::string& file = sources[o].entries[c].file;
        const bool plain = !file.empty() && file.size() <= 64 &&
                           std::all_of(file.begin(), file.end(), [](char ch) {
                             return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '-';
                           });
        if (renamed[child] || child == fileOrder[0] || !plain || used.count(folded(file)) != 0) continue;
        renamed[child] = true;
        used.insert(folded(file));
        plans[child].file = file;
      }
    }
    // The numbered names stay for the others, unless a source name took one.
    for (std::size_t k = 1; k < fileOrder.size(); ++k) {
      const std::size_t o = fileOrder[k];
      if (renamed[o]) continue;
      std::string name = plans[o].file;
      while (used.count(folded(name)) != 0) name += "_";
      used.insert(folded(name));
      plans[o].file = name;
    }
  }

  // Every method read once into its tree; what it uses comes from the tree.
  for (std::size_t o = 0; o < plans.size(); ++o) {
    const ObjectImage& obj = tree.objects[o];
    plans[o].methodFacts.resize(obj.methods.size());
    for (std::size_t m = 0; m < obj.methods.size(); ++m) {
      plans[o].trees.push_back(recovery::spin::ReadMethod(obj.bytes, obj.methods[m].start, obj.methods[m].end));
      BodyFacts& f = plans[o].methodFacts[m];
      f = recovery::GatherFacts(plans[o].trees.back().body);
      BodyFacts& all = plans[o].facts;
      recovery::MergeFacts(all, f);
      for (auto [k, v] : f.childCallArguments) {
        // A method an object calls in its child is public there, with that many parameters.
        const auto entry = static_cast<std::size_t>(k.first - static_cast<int>(obj.methods.size()) - 1);
        if (entry < obj.children.size()) {
          const auto child = static_cast<std::size_t>(obj.children[entry].object);
          const auto cm = static_cast<std::size_t>(k.second - 1);
          if (cm < plans[child].parameters.size()) {
            plans[child].parameters[cm] = v;
            plans[child].isPublic[cm] = true;
          }
        }
      }
    }
  }
  // What values stand for (characters, truth values), over every object's methods.
  const auto childObject = [&tree](int o, int entry) {
    const ObjectImage& obj = tree.objects[static_cast<std::size_t>(o)];
    const auto c = static_cast<std::size_t>(entry - static_cast<int>(obj.methods.size()) - 1);
    return c < obj.children.size() ? obj.children[c].object : -1;
  };
  std::vector<std::vector<const recovery::spin::StmtList*>> allTrees(plans.size());
  for (std::size_t o = 0; o < plans.size(); ++o)
    for (const recovery::spin::MethodTree& t : plans[o].trees) allTrees[o].push_back(&t.body);
  const recovery::spin::ValueUse valueUse(allTrees, childObject);

  // Parameters: from the calls, the first method of the top from the header,
  // else as many as the locals the body uses need.
  for (std::size_t o = 0; o < plans.size(); ++o) {
    ObjectPlan& plan = plans[o];
    const ObjectImage& obj = tree.objects[o];
    for (auto [k, v] : plan.facts.callArguments) {
      const auto m = static_cast<std::size_t>(k - 1);
      if (m < plan.parameters.size()) plan.parameters[m] = v;
    }
    if (o == 0) plan.parameters[0] = tree.firstMethodParameters;
    plan.limits.assign(plan.parameters.size(), std::string());
    for (std::size_t m = 0; m < plan.parameters.size(); ++m) {
      if (plan.parameters[m] < 0) {
        const std::int32_t needed = plan.methodFacts[m].maxLocal - obj.methods[m].localSize;
        plan.parameters[m] = std::max(0, (needed + 3) / 4);
      }
      // The compiler takes at most 15 parameters and 32 KB of locals in longs.
      if (plan.parameters[m] > 15) {
        plan.limits[m] = "more parameters than a method can take";
        plan.parameters[m] = 15;
      }
      if (obj.methods[m].localSize % 4 != 0 || obj.methods[m].localSize > 0x8000)
        plan.limits[m] = "a local size no method declares";
    }
    plan.isPublic = PublicMethods(plan.isPublic, plan.methodFacts);
    const std::vector<recovery::SourceMethodName>& sourcePublic = sources[o].methods;
    if (sourcePublic.size() == plan.isPublic.size()) {
      for (std::size_t m = 0; m < sourcePublic.size(); ++m) plan.isPublic[m] = sourcePublic[m].isPublic;
    }
    plan.vars = recovery::LayOutVariables(plan.facts.varSizes, obj.ownVarSize);
    // The source's own variables, when they lie where the code uses them.
    if (!sources[o].variables.empty()) {
      if (std::optional<recovery::VarLayout> named =
              recovery::LayOutSourceVariables(sources[o].variables, plan.facts.varSizes, obj.ownVarSize))
        plan.vars = *named;
    }
    recovery::DatSectionInput dat;
    dat.bytes = obj.bytes.subspan(static_cast<std::size_t>(obj.datStart), static_cast<std::size_t>(obj.datEnd - obj.datStart));
    dat.offset = obj.datStart;
    dat.objectAddress = obj.address;
    for (std::int32_t s : plan.facts.asmStarts) dat.asmStarts.push_back(obj.address + s);
    for (auto [k, v] : plan.facts.datSizes) dat.references.push_back({k, v});
    if (request.analysis) {
      // A label at the end of the DAT names the first method too: it stays the method's.
      const Analysis* analysis = request.analysis;
      std::set<std::string> taken;
      for (const std::string& name : plan.methodNames) taken.insert(Upper(name));
      dat.labelAt = [analysis, taken](std::int32_t hub) -> std::optional<std::string> {
        auto it = std::lower_bound(analysis->symbols.begin(), analysis->symbols.end(), hub,
                                   [](const Symbol& sym, std::int32_t a) { return sym.address < a; });
        if (it != analysis->symbols.end() && it->address == hub && IsIdentifier(it->name) &&
            !taken.count(Upper(it->name)))
          return it->name;
        return std::nullopt;
      };
    }
    plan.dat = recovery::RecoverDatSection(dat);
    // Object entries: arrays where the code calls them with an index.
    const int first = static_cast<int>(obj.methods.size()) + 1;
    std::set<int> indexed(plan.facts.indexedChildEntries.begin(), plan.facts.indexedChildEntries.end());
    std::set<int> single(plan.facts.singleChildEntries.begin(), plan.facts.singleChildEntries.end());
    std::size_t c = 0;
    int number = 1;
    std::set<std::string> usedObjectNames;
    while (c < obj.children.size()) {
      const int entry = first + static_cast<int>(c);
      const int child = obj.children[c].object;
      std::size_t run = 1;
      if (indexed.count(entry)) {
        while (c + run < obj.children.size() && obj.children[c + run].object == child &&
               !indexed.count(entry + static_cast<int>(run)) && !single.count(entry + static_cast<int>(run)))
          ++run;
      }
      std::string name = "obj" + std::to_string(number++);
      while (usedObjectNames.count(Upper(name))) name = "obj" + std::to_string(number++);
      // The source's name when its declaration is this entry (or array) exactly.
      const std::vector<SourceEntry>& sourceEntries = sources[o].entries;
      if (sourceEntries.size() == obj.children.size() && sourceEntries[c].index == 0 &&
          sourceEntries[c].count == static_cast<int>(run) && !usedObjectNames.count(Upper(sourceEntries[c].name)))
        name = sourceEntries[c].name;
      usedObjectNames.insert(Upper(name));
      for (std::size_t k = 0; k < run; ++k) {
        plan.childNames[entry + static_cast<int>(k)] = k == 0 ? name : "";
        if (k > 0 && single.count(entry + static_cast<int>(k))) plan.objDifference = "an object of an array is called by its own entry";
      }
      plan.objLines.push_back("  " + name + (run > 1 ? "[" + std::to_string(run) + "]" : "") + " : \"" +
                              plans[static_cast<std::size_t>(child)].file + "\"");
      c += run;
    }
  }

  for (std::size_t o = 0; o < plans.size(); ++o) plans[o].constants = DefinableConstants(plans[o], sources[o].constants);

  // Second pass: the bodies with their names, and the files.
  for (const std::size_t o : fileOrder) {
    ObjectPlan& plan = plans[o];
    const ObjectImage& obj = tree.objects[o];
    const int first = static_cast<int>(obj.methods.size()) + 1;
    std::vector<std::string> lines;
    std::vector<SpinSourceMark> marks;
    if (o == 0) {
      std::ostringstream head;
      head << "' Recovered from " << stem << (tree.eeprom ? ".eeprom" : ".binary") << ": " << tree.imageSize
           << " bytes, checksum " << Hex2(tree.checksum);
      lines.push_back(head.str());
    } else {
      lines.push_back("' Object at $" + [&] {
        std::ostringstream s;
        s << std::hex << std::uppercase << obj.address;
        return s.str();
      }() + " of " + stem + ", used " + std::to_string(obj.uses) + (obj.uses == 1 ? " time" : " times"));
    }
    std::string objectDifference = plan.objDifference;
    // The compiler lays the methods out in table order, one after the other.
    for (std::size_t m = 1; m < obj.methods.size(); ++m)
      if (obj.methods[m].start <= obj.methods[m - 1].start) objectDifference = "the method table is not in the compiler's order";
    // What the compiler derives for the whole image: the top's first method
    // gets a difference there, as no method holds it.
    std::string imageDifference = o == 0 ? ImageDifference(request.image, tree) : std::string();
    std::vector<std::string> con;
    if (o == 0 && !ClockLines(tree, con))
      objectDifference = "the clock mode byte " + Hex2(tree.clockMode) + " is no setting the compiler writes";
    for (const recovery::SourceConstant& c : plan.constants)
      con.push_back("  " + c.name + " = " + (c.text.empty() ? recovery::spin::DecimalText(c.value) : c.text));
    if (!con.empty()) {
      lines.push_back("");
      lines.push_back("CON");
      lines.insert(lines.end(), con.begin(), con.end());
    }
    if (!plan.objLines.empty()) {
      lines.push_back("");
      lines.push_back("OBJ");
      lines.insert(lines.end(), plan.objLines.begin(), plan.objLines.end());
    }
    if (!plan.vars.lines.empty()) {
      lines.push_back("");
      lines.push_back("VAR");
      lines.insert(lines.end(), plan.vars.lines.begin(), plan.vars.lines.end());
    }
    if (!plan.vars.exact && objectDifference.empty()) objectDifference = plan.vars.difference;
    if (!plan.dat.exact && objectDifference.empty()) objectDifference = plan.dat.difference;

    std::vector<recovery::SourceLocal> sourceLocalDeclarations;
    for (std::size_t m = 0; m < obj.methods.size(); ++m) {
      const int params = plan.parameters[m];
      const int locals = plan.limits[m].empty() ? obj.methods[m].localSize / 4 : 0;
      std::vector<std::string> paramNames;
      for (int p = 0; p < params; ++p) {
        const auto pi = static_cast<std::size_t>(p);
        paramNames.push_back(pi < plan.parameterNames[m].size() ? plan.parameterNames[m][pi] : "arg" + std::to_string(p + 1));
      }
      std::string missing;
      BodyNaming naming;
      naming.method = [&](int index) {
        const auto i = static_cast<std::size_t>(index - 1);
        if (i >= plan.methodNames.size()) {
          missing = "a call names a method the table lacks";
          return std::string("method1");
        }
        return plan.methodNames[i];
      };
      naming.child = [&](int entry) {
        auto it = plan.childNames.find(entry);
        if (it == plan.childNames.end() || it->second.empty()) {
          missing = "a call names an object entry the table lacks";
          return std::string("obj1");
        }
        return it->second;
      };
      naming.childMethod = [&](int entry, int method) {
        const auto e = static_cast<std::size_t>(entry - first);
        if (e < obj.children.size()) {
          const ObjectPlan& child = plans[static_cast<std::size_t>(obj.children[e].object)];
          const auto i = static_cast<std::size_t>(method - 1);
          if (i < child.methodNames.size()) return child.methodNames[i];
        }
        missing = "a call names a method its object lacks";
        return std::string("method1");
      };
      naming.parameters = [&](int index) {
        const auto i = static_cast<std::size_t>(index - 1);
        return i < plan.parameters.size() ? plan.parameters[i] : -1;
      };
      naming.childParameters = [&](int entry, int method) {
        const auto e = static_cast<std::size_t>(entry - first);
        if (e >= obj.children.size()) return -1;
        const ObjectPlan& child = plans[static_cast<std::size_t>(obj.children[e].object)];
        const auto i = static_cast<std::size_t>(method - 1);
        return i < child.parameters.size() ? child.parameters[i] : -1;
      };
      naming.var = [&](std::int32_t offset, int size) {
        auto it = plan.vars.names.find(offset);
        if (it == plan.vars.names.end() || it->second.size < size) {
          missing = "a variable cannot be declared where the code reads it";
          return DeclaredName{"result", 4};
        }
        return it->second;
      };
      naming.dat = [&](std::int32_t offset, int size) {
        auto it = plan.dat.labels.find(offset);
        if (it == plan.dat.labels.end() || it->second.size < size) {
          missing = "a DAT label cannot be declared where the code reads it";
          return DeclaredName{"result", 4};
        }
        return DeclaredName{it->second.name, it->second.size};
      };
      // The source's locals and result name, when its locals fill the frame
      // and every local the code uses starts one of them.
      std::map<std::int32_t, std::string> sourceLocals;
      std::string resultName = "result";
      if (m < sources[o].methods.size()) {
        const recovery::SourceMethodName& named = sources[o].methods[m];
        if (!named.result.empty() && IsIdentifier(named.result) && Upper(named.result) != "RESULT")
          resultName = named.result;
        int slots = 0;
        for (const recovery::SourceLocal& local : named.locals) {
          sourceLocals[4 * (1 + params + slots)] = local.name;
          slots += local.count;
        }
        bool fits = named.localsKnown && slots == locals;
        for (std::int32_t at : plan.methodFacts[m].localOffsets)
          if (at > 4 * params && !sourceLocals.count(at)) fits = false;
        if (!fits) sourceLocals.clear();
        sourceLocalDeclarations = fits ? named.locals : std::vector<recovery::SourceLocal>{};
      } else {
        sourceLocalDeclarations.clear();
      }
      if (sourceLocals.empty() && locals > 0) {
        sourceLocalDeclarations = GeneratedLocals(params, locals, plan.methodFacts[m]);
        int slot = params + 1;
        for (const recovery::SourceLocal& local : sourceLocalDeclarations) {
          sourceLocals[4 * slot] = local.name;
          slot += local.count;
        }
      }
      naming.local = [&](std::int32_t offset) {
        if (offset == 0) return resultName;
        if (auto it = sourceLocals.find(offset); it != sourceLocals.end()) return it->second;
        const int slot = offset / 4;
        if (offset < 0 || offset % 4 != 0) {
          missing = "a local is accessed off its long";
          return std::string("result");
        }
        if (slot <= params) return paramNames[static_cast<std::size_t>(slot - 1)];
        if (slot <= params + locals) return "local" + std::to_string(slot - params);
        missing = "a local lies outside the method's frame";
        return std::string("result");
      };
      recovery::spin::MethodTree& body = plan.trees[m];
      recovery::Spelling spelling;
      const int objectIndex = static_cast<int>(o);
      spelling.textSlots = valueUse.TextSlots(objectIndex, static_cast<int>(m + 1));
      spelling.truthSlots = valueUse.TruthSlots(objectIndex, static_cast<int>(m + 1));
      spelling.values = &valueUse;
      spelling.object = objectIndex;
      spelling.method = static_cast<int>(m + 1);
      spelling.characterArgument = [&](const recovery::spin::Callee& callee, int arg) {
        const int target = callee.child ? childObject(objectIndex, callee.entry) : objectIndex;
        return target >= 0 && valueUse.CharacterParameter(target, callee.method, arg);
      };
      // The object's constants the source's lines near this one name, when
      // those lines write the value as no plain number too.
      const std::vector<recovery::SourceMethodName::BodyLine>* sourceBody =
          m < sources[o].methods.size() ? &sources[o].methods[m].body : nullptr;
      spelling.constantName = [&plan, sourceBody](std::int64_t value, recovery::ConstantUse,
                                                  std::size_t line) -> std::optional<std::string> {
        if (!sourceBody) return std::nullopt;
        // The nearest line that has the value decides: by a name, or by writing the number.
        constexpr std::size_t kNear = 2;
        for (std::size_t distance = 0; distance <= kNear; ++distance) {
          std::optional<std::string> found;
          bool number = false;
          for (const std::size_t k : {line - distance, line + distance}) {
            if (k >= sourceBody->size() || (distance > line && k == line - distance)) continue;
            const recovery::SourceMethodName::BodyLine& near = (*sourceBody)[k];
            number = number || near.numbers.count(value) != 0;
            for (const recovery::SourceConstant& c : plan.constants) {
              if (c.value != value || !near.names.count(Upper(c.name))) continue;
              if (found && Upper(*found) != Upper(c.name)) return std::nullopt;
              found = c.name;
            }
          }
          if (found && !number) return found;
          if (found || number) return std::nullopt;
        }
        return std::nullopt;
      };
      recovery::PrintedBody printed = recovery::PrintMethod(body.body, naming, spelling);
      if (body.exact && !printed.difference.empty()) {
        body.exact = false;
        body.difference = printed.difference;
      }
      SpinSourceMethod method;
      method.file = plan.file + ".spin";
      method.name = plan.methodNames[m];
      method.address = obj.address + obj.methods[m].start;
      if (!plan.limits[m].empty()) {
        method.exact = false;
        method.difference = plan.limits[m];
        body.exact = false;
        printed.lines.clear();
      } else if (!body.exact) {
        method.exact = false;
        method.difference = body.difference;
      } else if (!missing.empty()) {
        method.exact = false;
        method.difference = missing;
        body.exact = false;  // written as comments: the names would not compile
      } else if (!objectDifference.empty()) {
        method.exact = false;
        method.difference = objectDifference;
      } else if (m == 0 && !imageDifference.empty()) {
        method.exact = false;
        method.difference = imageDifference;
      }
      lines.push_back("");
      std::string headLine = std::string(plan.isPublic[m] ? "PUB " : "PRI ") + plan.methodNames[m];
      if (params > 0) {
        headLine += "(";
        for (int p = 0; p < params; ++p) headLine += (p ? ", " : "") + paramNames[static_cast<std::size_t>(p)];
        headLine += ")";
      }
      if (resultName != "result") headLine += " : " + resultName;
      if (!sourceLocalDeclarations.empty()) {
        headLine += " |";
        for (std::size_t l = 0; l < sourceLocalDeclarations.size(); ++l) {
          const recovery::SourceLocal& local = sourceLocalDeclarations[l];
          headLine += (l ? ", " : " ") + local.name + (local.count > 1 ? "[" + std::to_string(local.count) + "]" : "");
        }
      } else if (locals > 0) {
        headLine += " |";
        for (int l = 0; l < locals; ++l) headLine += (l ? ", local" : " local") + std::to_string(l + 1);
      }
      if (!method.exact) lines.push_back("' Not the same bytes: " + method.difference);
      marks.push_back({static_cast<int>(lines.size()), obj.methods[m].start});
      lines.push_back(headLine);
      // An inexact body keeps what was read before the difference as comments:
      // the method compiles (to a bare RETURN) and a person sees the statements.
      if (!body.exact && !printed.lines.empty()) lines.push_back("  ' The statements read before the difference:");
      for (const recovery::BodyLine& line : printed.lines) {
        marks.push_back({static_cast<int>(lines.size()), line.offset});
        lines.push_back(std::string(static_cast<std::size_t>(2 * line.indent), ' ') + (body.exact ? "" : "' ") +
                        line.text);
      }
      project.methods.push_back(method);
    }
    if (!plan.dat.lines.empty()) {
      lines.push_back("");
      lines.push_back("DAT");
      lines.insert(lines.end(), plan.dat.lines.begin(), plan.dat.lines.end());
    }
    SpinSourceFile file;
    file.name = plan.file + ".spin";
    for (const std::string& line : lines) file.text += line + "\n";
    file.instances = obj.instances;
    file.marks = std::move(marks);
    project.files.push_back(std::move(file));
  }
  return project;
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
