// One method of a recovered object: its frame (parameters, result, locals),
// the naming and spelling hooks the printer asks, and the lines written.
#include "recovery/method_writer.h"
#include "brevin/text.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "recovery/spin/printer.h"

namespace brevin::recovery {
namespace {

bool IsIdentifier(const std::string& name) {
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

// Locals named local1, local2 ... in frame order; one the code indexes is an
// array up to the next local the code uses (or the end of the frame).
std::vector<SourceLocal> GeneratedLocals(int params, int locals, const BodyFacts& facts) {
  std::vector<SourceLocal> declared;
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

// A method's frame as the source writes it: parameters, result, locals.
struct Frame {
  int params = 0;
  int locals = 0;  // longs
  std::vector<std::string> paramNames;
  std::string resultName = "result";
  std::map<std::int32_t, std::string> localNames;  // by frame offset: where each declaration starts
  std::vector<SourceLocal> declarations;
};

// The source's locals and result name, when its locals fill the frame and
// every local the code uses starts one of them; else generated ones.
Frame MethodFrame(const MethodInput& in) {
  const ObjectPlan& plan = in.plans[in.object];
  const ObjectNames& names = in.names.Object(in.object);
  const ObjectImage& obj = in.tree.objects[in.object];
  const std::size_t m = in.method;
  Frame f;
  f.params = plan.parameters[m];
  f.locals = plan.limits[m].empty() ? obj.methods[m].localSize / 4 : 0;
  for (int p = 0; p < f.params; ++p) {
    const auto pi = static_cast<std::size_t>(p);
    f.paramNames.push_back(pi < names.parameters[m].size() ? names.parameters[m][pi] : "arg" + std::to_string(p + 1));
  }
  if (m < names.source.methods.size()) {
    const SourceMethodName& named = names.source.methods[m];
    if (!named.result.empty() && IsIdentifier(named.result) && UpperText(named.result) != "RESULT") f.resultName = named.result;
    int slots = 0;
    for (const SourceLocal& local : named.locals) {
      f.localNames[4 * (1 + f.params + slots)] = local.name;
      slots += local.count;
    }
    bool fits = named.localsKnown && slots == f.locals;
    for (std::int32_t at : plan.methodFacts[m].localOffsets)
      if (at > 4 * f.params && !f.localNames.count(at)) fits = false;
    if (fits) {
      f.declarations = named.locals;
    } else {
      f.localNames.clear();
    }
  }
  if (f.localNames.empty() && f.locals > 0) {
    f.declarations = GeneratedLocals(f.params, f.locals, plan.methodFacts[m]);
    int slot = f.params + 1;
    for (const SourceLocal& local : f.declarations) {
      f.localNames[4 * slot] = local.name;
      slot += local.count;
    }
  }
  // A person's names for the slots win, where a parameter or a declaration starts there.
  if (m < names.givenLocals.size()) {
    for (const auto& [offset, name] : names.givenLocals[m]) {
      const std::int32_t p = offset / 4 - 1;
      if (offset == 0) {
        f.resultName = name;
      } else if (offset % 4 == 0 && p >= 0 && p < f.params) {
        f.paramNames[static_cast<std::size_t>(p)] = name;
      } else if (auto it = f.localNames.find(offset); it != f.localNames.end() && offset > 4 * f.params) {
        for (SourceLocal& local : f.declarations)
          if (local.name == it->second) local.name = name;
        it->second = name;
      }
    }
  }
  return f;
}

// The names the printer asks for; missing says why a name cannot be given.
BodyNaming Naming(const MethodInput& in, const Frame& f, std::string& missing) {
  const ObjectPlan& plan = in.plans[in.object];
  const ObjectNames& names = in.names.Object(in.object);
  const int object = static_cast<int>(in.object);
  const ImageTree& tree = in.tree;
  BodyNaming naming;
  naming.method = [&names, &missing](int index) {
    const auto i = static_cast<std::size_t>(index - 1);
    if (i < names.methods.size()) return names.methods[i];
    missing = "a call names a method the table lacks";
    return std::string("method1");
  };
  naming.child = [&names, &missing](int entry) {
    auto it = names.children.find(entry);
    if (it != names.children.end() && !it->second.empty()) return it->second;
    missing = "a call names an object entry the table lacks";
    return std::string("obj1");
  };
  naming.childMethod = [&in, &tree, object, &missing](int entry, int method) {
    const int child = ChildObject(tree, object, entry);
    if (child >= 0) {
      const ObjectNames& childNames = in.names.Object(static_cast<std::size_t>(child));
      const auto i = static_cast<std::size_t>(method - 1);
      if (i < childNames.methods.size()) return childNames.methods[i];
    }
    missing = "a call names a method its object lacks";
    return std::string("method1");
  };
  naming.parameters = [&plan](int index) {
    const auto i = static_cast<std::size_t>(index - 1);
    return i < plan.parameters.size() ? plan.parameters[i] : -1;
  };
  naming.childParameters = [&in, &tree, object](int entry, int method) {
    const int child = ChildObject(tree, object, entry);
    if (child < 0) return -1;
    const ObjectPlan& childPlan = in.plans[static_cast<std::size_t>(child)];
    const auto i = static_cast<std::size_t>(method - 1);
    return i < childPlan.parameters.size() ? childPlan.parameters[i] : -1;
  };
  naming.var = [&plan, &missing](std::int32_t offset, int size) {
    auto it = plan.vars.names.find(offset);
    if (it != plan.vars.names.end() && it->second.size >= size) return it->second;
    missing = "a variable cannot be declared where the code reads it";
    return DeclaredName{"result", 4};
  };
  naming.dat = [&plan, &missing](std::int32_t offset, int size) {
    // A label of the size the code reads there (a byte label standing alone
    // before a long), else the widest, read with a size of its own.
    for (auto [at, end] = plan.dat.allLabels.equal_range(offset); at != end; ++at)
      if (at->second.size == size) return DeclaredName{at->second.name, size};
    auto it = plan.dat.labels.find(offset);
    if (it != plan.dat.labels.end() && it->second.size >= size) return DeclaredName{it->second.name, it->second.size};
    missing = "a DAT label cannot be declared where the code reads it";
    return DeclaredName{"result", 4};
  };
  naming.local = [&f, &missing](std::int32_t offset) {
    if (offset == 0) return f.resultName;
    if (auto it = f.localNames.find(offset); it != f.localNames.end()) return it->second;
    const int slot = offset / 4;
    if (offset < 0 || offset % 4 != 0) {
      missing = "a local is accessed off its long";
      return std::string("result");
    }
    if (slot <= f.params) return f.paramNames[static_cast<std::size_t>(slot - 1)];
    if (slot <= f.params + f.locals) return "local" + std::to_string(slot - f.params);
    missing = "a local lies outside the method's frame";
    return std::string("result");
  };
  return naming;
}

// The object's constant for a value on a printed line: the nearest source
// line holding the value decides, by naming a constant of that value or by
// writing the number.
std::optional<std::string> ConstantNear(const std::vector<SourceMethodName::BodyLine>& body,
                                        const std::vector<SourceConstant>& constants, std::int64_t value,
                                        std::size_t line) {
  constexpr std::size_t kNear = 2;
  for (std::size_t distance = 0; distance <= kNear; ++distance) {
    std::optional<std::string> found;
    bool number = false;
    for (const std::size_t k : {line - distance, line + distance}) {
      if (k >= body.size() || (distance > line && k == line - distance)) continue;
      const SourceMethodName::BodyLine& near = body[k];
      number = number || near.numbers.count(value) != 0;
      for (const SourceConstant& c : constants) {
        if (c.value != value || !near.names.count(UpperText(c.name))) continue;
        if (found && UpperText(*found) != UpperText(c.name)) return std::nullopt;
        found = c.name;
      }
    }
    if (found && !number) return found;
    if (found || number) return std::nullopt;
  }
  return std::nullopt;
}

// A child's CON name for a character passed to it: only a child whose CON
// block is the library's and names exactly one integer constant of that
// value, called by its entry's own name (not as an element of an array),
// and only for the control characters of text (bell to carriage return)
// named in capitals as such constants are (CR, LF, BS): measured on real
// programs, the names of other values (1 and 2 as modes, "rows" for 13) were
// most often not what the number meant.
std::optional<std::string> ChildConstantName(const MethodInput& in, const spin::Callee& callee, std::int64_t value) {
  if (!callee.child || callee.index || value < 7 || value > 13) return std::nullopt;
  const int child = ChildObject(in.tree, static_cast<int>(in.object), callee.entry);
  if (child < 0 || !in.names.Object(static_cast<std::size_t>(child)).libraryConstants) return std::nullopt;
  const std::map<int, std::string>& entries = in.names.Object(in.object).children;
  const auto entry = entries.find(callee.entry);
  if (entry == entries.end() || entry->second.empty()) return std::nullopt;
  std::optional<std::string> found;
  for (const SourceConstant& c : in.plans[static_cast<std::size_t>(child)].constants) {
    if (c.value != value || !c.text.empty()) continue;
    if (found) return std::nullopt;
    found = c.name;
    if (std::any_of(c.name.begin(), c.name.end(), [](char ch) { return std::islower(static_cast<unsigned char>(ch)); }))
      return std::nullopt;
  }
  if (!found) return std::nullopt;
  return entry->second + "#" + *found;
}

Spelling MethodSpelling(const MethodInput& in) {
  const int object = static_cast<int>(in.object);
  const int method = static_cast<int>(in.method + 1);
  const ObjectNames& names = in.names.Object(in.object);
  Spelling spelling;
  spelling.textSlots = in.values.TextSlots(object, method);
  spelling.truthSlots = in.values.TruthSlots(object, method);
  spelling.flagSlots = in.values.FlagSlots(object, method);
  spelling.values = &in.values;
  spelling.object = object;
  spelling.method = method;
  spelling.characterArgument = [&in, object](const spin::Callee& callee, int arg) {
    const int target = callee.child ? ChildObject(in.tree, object, callee.entry) : object;
    return target >= 0 && in.values.CharacterParameter(target, callee.method, arg);
  };
  // Only characters: a child's control character names (CR, NL) say what a
  // number sent to it is; its other constants would be guesses (measured on
  // real programs, a name for any number was the author's one time in two).
  spelling.childConstant = [&in](const spin::Callee& callee, std::int64_t value, ConstantUse use) {
    return use == ConstantUse::Character ? ChildConstantName(in, callee, value) : std::nullopt;
  };
  if (in.method < names.source.methods.size()) {
    const std::vector<SourceMethodName::BodyLine>* body = &names.source.methods[in.method].body;
    const std::vector<SourceConstant>* constants = &in.plans[in.object].constants;
    spelling.constantName = [body, constants](std::int64_t value, ConstantUse, std::size_t line) {
      return ConstantNear(*body, *constants, value, line);
    };
  }
  return spelling;
}

std::string HeadLine(bool isPublic, const std::string& name, const Frame& f) {
  std::string head = std::string(isPublic ? "PUB " : "PRI ") + name;
  if (f.params > 0) {
    head += "(";
    for (int p = 0; p < f.params; ++p) head += (p ? ", " : "") + f.paramNames[static_cast<std::size_t>(p)];
    head += ")";
  }
  if (f.resultName != "result") head += " : " + f.resultName;
  if (!f.declarations.empty()) {
    head += " |";
    for (std::size_t l = 0; l < f.declarations.size(); ++l) {
      const SourceLocal& local = f.declarations[l];
      head += (l ? ", " : " ") + local.name + (local.count > 1 ? "[" + std::to_string(local.count) + "]" : "");
    }
  }
  return head;
}

}  // namespace

int ChildObject(const ImageTree& tree, int object, int entry) {
  const ObjectImage& obj = tree.objects[static_cast<std::size_t>(object)];
  const auto c = static_cast<std::size_t>(entry - static_cast<int>(obj.methods.size()) - 1);
  return c < obj.children.size() ? obj.children[c].object : -1;
}

WrittenMethod WriteMethod(const MethodInput& in, spin::MethodTree& body) {
  const ObjectPlan& plan = in.plans[in.object];
  const ObjectNames& names = in.names.Object(in.object);
  const ObjectImage& obj = in.tree.objects[in.object];
  const std::size_t m = in.method;
  const Frame frame = MethodFrame(in);
  std::string missing;
  const BodyNaming naming = Naming(in, frame, missing);
  PrintedBody printed = PrintMethod(body.body, naming, MethodSpelling(in));
  if (body.exact && !printed.difference.empty()) {
    body.exact = false;
    body.difference = printed.difference;
  }
  WrittenMethod out;
  SpinSourceMethod& method = out.method;
  method.file = names.file + ".spin";
  method.name = names.methods[m];
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
  } else if (!in.objectDifference.empty()) {
    method.exact = false;
    method.difference = in.objectDifference;
  } else if (m == 0 && !in.imageDifference.empty()) {
    method.exact = false;
    method.difference = in.imageDifference;
  }
  out.lines.push_back("");
  if (!method.exact) out.lines.push_back("' Not the same bytes: " + method.difference);
  out.markLines.push_back(static_cast<int>(out.lines.size()));
  out.markOffsets.push_back(obj.methods[m].start);
  out.headLine = static_cast<int>(out.lines.size());
  out.lines.push_back(HeadLine(plan.isPublic[m], names.methods[m], frame));
  // An inexact body keeps what was read before the difference as comments:
  // the method compiles (to a bare RETURN) and a person sees the statements.
  if (!body.exact && !printed.lines.empty()) out.lines.push_back("  ' The statements read before the difference:");
  for (const BodyLine& line : printed.lines) {
    out.markLines.push_back(static_cast<int>(out.lines.size()));
    out.markOffsets.push_back(line.offset);
    if (line.closing >= 0) {
      out.markLines.push_back(static_cast<int>(out.lines.size()));
      out.markOffsets.push_back(line.closing);
    }
    out.lines.push_back(std::string(static_cast<std::size_t>(2 * line.indent), ' ') + (body.exact ? "" : "' ") +
                        line.text);
  }
  return out;
}

}  // namespace brevin::recovery
