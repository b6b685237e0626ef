// The library's build and measuring tool.
//
//   brevin-library-tool learn FULL OUT < JOBS
//     JOBS: one compiled source a line, tab-separated: library folder, image,
//     source, the compiler's verbose listing, the object's file name. Writes
//     the library with the folders each entry came from to FULL, and the
//     shipped form (no folders) to OUT.
//
//   brevin-library-tool measure FULL REALWORLD RESOLVED [EXAMPLES]
//     Leaves one library folder out at a time: names each program of that
//     folder from its image alone, with what the other folders gave, and
//     compares with the sources. RESOLVED: source, OBJ file as written, the
//     source file it resolves to (tab-separated, relative to REALWORLD/library).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "brevin/text.h"
#include "library/fingerprint.h"
#include "library/learn.h"
#include "library/library_data.h"
#include "library/matcher.h"
#include "recovery/object_tree.h"
#include "recovery/source_names.h"

namespace {

using namespace brevin;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Split(const std::string& line, char by) {
  std::vector<std::string> parts;
  std::stringstream in(line);
  std::string part;
  while (std::getline(in, part, by)) parts.push_back(part);
  return parts;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

int Learn(const std::string& full, const std::string& shipped) {
  library::LibraryData data;
  std::string line;
  int compiled = 0, refused = 0, added = 0;
  while (std::getline(std::cin, line)) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 5) continue;
    const std::string imageBytes = ReadFile(f[1]);
    const std::span<const std::uint8_t> image(reinterpret_cast<const std::uint8_t*>(imageBytes.data()), imageBytes.size());
    const recovery::ImageTree tree = recovery::ReadImageTree(image);
    if (!tree.error.empty()) {
      std::cerr << f[1] << ": " << tree.error << "\n";
      ++refused;
      continue;
    }
    ++compiled;
    const library::ObjectPrint print = library::FingerprintObject(tree.objects.front());
    const library::CompilerSymbols symbols = library::ReadCompilerSymbols(ReadFile(f[3]));
    std::string problem;
    std::optional<library::LibraryEntry> entry =
        library::EntryFromSource(tree.objects.front(), print, f[4], SpinSourceText(ReadFile(f[2])), &symbols, problem);
    if (!entry) {
      std::cerr << f[2] << ": " << problem << "\n";
      ++refused;
      continue;
    }
    entry->folders.push_back(f[0]);
    if (data.Add(std::move(*entry))) ++added;
  }
  std::cerr << compiled << " objects read, " << refused << " refused, " << added << " distinct entries\n";
  return WriteFile(full, data.Text(true)) && WriteFile(shipped, data.Text(false)) ? 0 : 1;
}

struct Tally {
  int calls = 0, callsNamed = 0, callsRight = 0, callsUnknown = 0;
  int objects = 0, objectsNamed = 0, objectsRight = 0;
  int methodsNamed = 0, methodsWrong = 0;  // every method name the library gave in the child objects
  int abstained = 0;
  int wholeNamed = 0, wholeRight = 0, partNamed = 0, partRight = 0;
};

int Measure(const std::string& fullPath, const std::string& realworld, const std::string& resolvedPath,
            const std::string& examplesPath) {
  library::LibraryData data;
  std::string problem;
  if (!data.Parse(ReadFile(fullPath), problem)) {
    std::cerr << fullPath << ": " << problem << "\n";
    return 1;
  }
  std::map<std::pair<std::string, std::string>, std::string> resolved;  // (source, obj file lower) -> source
  {
    std::istringstream in(ReadFile(resolvedPath));
    std::string line;
    while (std::getline(in, line)) {
      const std::vector<std::string> f = Split(line, '\t');
      if (f.size() == 3) resolved[{f[0], Lower(f[1])}] = f[2];
    }
  }
  std::map<std::string, recovery::SourceNames> namesCache;
  const auto namesOf = [&](const std::string& rel) -> const recovery::SourceNames& {
    auto it = namesCache.find(rel);
    if (it == namesCache.end()) {
      it = namesCache.emplace(rel, recovery::ReadSourceNames(library::WithLineFeeds(SpinSourceText(ReadFile(realworld + "/library/" + rel))))).first;
    }
    return it->second;
  };
  std::ostringstream examples;
  Tally t;
  std::istringstream manifest(ReadFile(realworld + "/MANIFEST.tsv"));
  std::string line;
  std::getline(manifest, line);
  const library::LibraryData* libraries[] = {&data};
  while (std::getline(manifest, line)) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 2) continue;
    const std::string& top = f[1];
    const std::string folder = top.substr(0, top.find('/'));
    const std::string bytes = ReadFile(realworld + "/" + f[0]);
    const std::span<const std::uint8_t> image(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const recovery::ImageTree tree = recovery::ReadImageTree(image);
    if (!tree.error.empty()) continue;
    const std::vector<library::ObjectPrint> prints = library::FingerprintTree(tree);
    const library::LibraryMatch match = library::MatchTree(tree, prints, libraries, folder);
    const recovery::SourceNames& topNames = namesOf(top);
    std::vector<std::string> declared;
    for (const recovery::SourceObjectName& o : topNames.objects)
      for (int k = 0; k < o.count; ++k) declared.push_back(o.file);
    const std::vector<recovery::ChildEntry>& children = tree.objects.front().children;
    const bool declaredKnown = declared.size() == children.size();
    // The child's original source, by its OBJ file name.
    const auto childSource = [&](std::size_t c) -> const recovery::SourceNames* {
      if (!declaredKnown) return nullptr;
      const auto it = resolved.find({top, Lower(declared[c])});
      return it == resolved.end() ? nullptr : &namesOf(it->second);
    };
    for (std::size_t c = 0; c < children.size(); ++c) {
      const library::ObjectMatch& m = match.objects[static_cast<std::size_t>(children[c].object)];
      ++t.objects;
      if (m.fileAbstained) ++t.abstained;
      if (!m.file.empty()) ++t.objectsNamed;
      if (declaredKnown && !m.file.empty()) {
        std::string original = declared[c];
        const std::size_t slash = original.find_last_of("/\\");
        if (slash != std::string::npos) original = original.substr(slash + 1);
        (m.whole ? t.wholeNamed : t.partNamed)++;
        if (Lower(original) == Lower(m.file)) {
          ++t.objectsRight;
          (m.whole ? t.wholeRight : t.partRight)++;
        } else {
          examples << "object\t" << top << "\t" << declared[c] << "\tnamed " << m.file << "\t"
                   << (m.whole ? "whole" : "partly") << " " << prints[static_cast<std::size_t>(children[c].object)].bytes
                   << " bytes\n";
        }
      }
      // Every method name given to the child object, against its source.
      const recovery::SourceNames* names = childSource(c);
      if (names != nullptr && names->methods.size() == m.methods.size()) {
        for (std::size_t k = 0; k < m.methods.size(); ++k) {
          if (m.methods[k].method == nullptr) continue;
          ++t.methodsNamed;
          if (k >= names->methods.size() || Lower(names->methods[k].name) != Lower(m.methods[k].method->name)) {
            ++t.methodsWrong;
            examples << "method\t" << top << "\t" << declared[c] << "\tmethod " << k + 1 << " "
                     << (k < names->methods.size() ? names->methods[k].name : "?") << " named "
                     << m.methods[k].method->name << "\n";
          }
        }
      }
    }
    for (const library::MethodPrint& mp : prints.front().methods) {
      for (const library::CallSite& call : mp.calls) {
        if (call.object == 0) continue;
        const std::size_t c = static_cast<std::size_t>(call.object - 1);
        if (c >= children.size()) continue;
        const recovery::SourceNames* names = childSource(c);
        const std::size_t k = static_cast<std::size_t>(call.method - 1);
        if (names == nullptr || k >= names->methods.size()) {
          ++t.callsUnknown;
          continue;
        }
        ++t.calls;
        const library::ObjectMatch& m = match.objects[static_cast<std::size_t>(children[c].object)];
        if (k >= m.methods.size() || m.methods[k].method == nullptr) continue;
        ++t.callsNamed;
        if (Lower(m.methods[k].method->name) == Lower(names->methods[k].name)) ++t.callsRight;
      }
    }
  }
  const auto pct = [](int a, int b) { return b == 0 ? 0.0 : 100.0 * a / b; };
  std::printf("calls from the top object into child objects: %d (and %d whose original is not at hand)\n", t.calls,
              t.callsUnknown);
  std::printf("  named as the original: %d (%.1f%%), named otherwise: %d\n", t.callsRight, pct(t.callsRight, t.calls),
              t.callsNamed - t.callsRight);
  std::printf("child objects of the top object: %d; file named as the original: %d (%.1f%%), otherwise: %d, abstained: %d\n",
              t.objects, t.objectsRight, pct(t.objectsRight, t.objects), t.objectsNamed - t.objectsRight, t.abstained);
  std::printf("  files of whole matches: %d named, %d right; of partial matches: %d named, %d right\n", t.wholeNamed,
              t.wholeRight, t.partNamed, t.partRight);
  std::printf("method names given to those child objects: %d, wrong: %d (%.2f%%)\n", t.methodsNamed, t.methodsWrong,
              pct(t.methodsWrong, t.methodsNamed));
  const int given = t.objectsNamed + t.methodsNamed;
  const int wrong = t.objectsNamed - t.objectsRight + t.methodsWrong;
  std::printf("all names given: %d, wrong: %d (%.2f%%)\n", given, wrong, pct(wrong, given));
  if (!examplesPath.empty()) WriteFile(examplesPath, examples.str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "learn") return Learn(args[1], args[2]);
  if ((args.size() == 4 || args.size() == 5) && args[0] == "measure") {
    return Measure(args[1], args[2], args[3], args.size() == 5 ? args[4] : std::string());
  }
  std::cerr << "usage: brevin-library-tool learn FULL OUT < JOBS\n"
               "       brevin-library-tool measure FULL REALWORLD RESOLVED [EXAMPLES]\n";
  return 2;
}
