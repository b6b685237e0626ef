// The library's build and measuring tool.
//
//   brevin-library-tool learn FULL OUT < JOBS
//     JOBS: one compiled source a line, tab-separated: library folder, image,
//     source, the compiler's verbose listing, the object's file name. Writes
//     the library with the folders each entry came from to FULL, and the
//     shipped form (no folders) to OUT.
//
//   brevin-library-tool measure FULL REALWORLD RESOLVED [EXAMPLES [COMPILER WORK]]
//     Leaves one library folder out at a time: names each program of that
//     folder from its image alone, with what the other folders gave, and
//     compares with the sources. RESOLVED: source, OBJ file as written, the
//     source file it resolves to (tab-separated, relative to REALWORLD/library).
//     With COMPILER, each program's Spin source is recovered with those names
//     (and without any) in WORK, compiled and compared with the image.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "brevin/spin_source.h"
#include "brevin/text.h"
#include "library/fingerprint.h"
#include "library/learn.h"
#include "library/library_data.h"
#include "library/library_names.h"
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
  int trips = 0, tripsSame = 0, plainSame = 0;  // recovered sources recompiled: with the names, without
  int entryNames = 0, entryRight = 0;           // OBJ names the recovered top gives its children
  int spelled = 0, spelledRight = 0;            // child constants written as obj#NAME in the top
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Recovers the image's source into folder (with the analysis' library names
// when given), compiles it and says whether the bytes come back; the top file's text in top.
bool RoundTrip(const std::string& compiler, const std::filesystem::path& folder, std::span<const std::uint8_t> image,
               const std::string& stem, const Analysis* analysis, std::string& top) {
  namespace fs = std::filesystem;
  fs::remove_all(folder);
  fs::create_directories(folder);
  SpinSourceRequest request;
  request.image = image;
  request.topName = stem;
  request.analysis = analysis;
  const SpinSourceProject project = RecoverSpinSource(request);
  if (!project.error.empty() || project.files.empty()) return false;
  for (const SpinSourceFile& file : project.files) WriteFile((folder / file.name).string(), SpinSourceFileBytes(file));
  top = project.files.front().text;
  const std::string out = (folder / "out.binary").string();
  const std::string command = "'" + compiler + "' -q -b -L '" + folder.string() + "' -o '" + out + "' '" +
                              (folder / project.files.front().name).string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  const std::string again = ReadFile(out);
  return again.size() == image.size() && std::equal(again.begin(), again.end(), image.begin(),
                                                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

// The names the library gives the image's objects, as ApplyLibraryNames puts them in an analysis.
void NameAnalysis(Analysis& a, const recovery::ImageTree& tree, const library::LibraryMatch& match,
                  const std::vector<const library::LibraryData*>& libraries, const std::string& folder) {
  for (std::size_t o = 0; o < tree.objects.size(); ++o) {
    const library::ObjectMatch& m = match.objects[o];
    const auto names = library::NamesOfMatch(m, libraries, folder);
    for (const SpinObjectInstance& instance : tree.objects[o].instances) {
      ObjectInfo info;
      info.address = instance.address;
      if (!m.file.empty()) info.libraryName = m.file;
      info.library = names;
      a.objects.push_back(std::move(info));
    }
  }
}

// The obj#NAME spellings of the recovered top and its OBJ names, against the original source.
void CompareTop(const std::string& top, const std::string& original, const recovery::SourceNames& names,
                const std::string& program, Tally& t, std::ostringstream& examples) {
  const std::string upper = Upper(original);
  std::set<std::string> declared;
  for (const recovery::SourceObjectName& o : names.objects) declared.insert(Upper(o.name));
  std::istringstream lines(top);
  std::string line;
  bool inObj = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line[0] != ' ') inObj = line == "OBJ";
    if (inObj && line.size() > 2 && line[0] == ' ') {
      const std::string name = line.substr(2, line.find_first_of(" [", 2) - 2);
      if (name.rfind("obj", 0) == 0 && std::all_of(name.begin() + 3, name.end(), ::isdigit)) continue;
      ++t.entryNames;
      if (declared.count(Upper(name))) ++t.entryRight;
    }
    for (std::size_t at = line.find('#'); at != std::string::npos; at = line.find('#', at + 1)) {
      std::size_t end = at + 1;
      while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_')) ++end;
      if (end == at + 1 || at == 0 || !(std::isalnum(static_cast<unsigned char>(line[at - 1])) || line[at - 1] == '_'))
        continue;
      if (std::count(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(at), '"') % 2 != 0) continue;  // in a string
      ++t.spelled;
      // The original names it so: as the child's constant, or as a constant of its own of that name.
      const std::string name = Upper(line.substr(at + 1, end - at - 1));
      bool named = false;
      for (std::size_t k = upper.find(name); k != std::string::npos && !named; k = upper.find(name, k + 1)) {
        const auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
        named = (k == 0 || !word(upper[k - 1])) && (k + name.size() >= upper.size() || !word(upper[k + name.size()]));
      }
      if (named) {
        ++t.spelledRight;
      } else {
        examples << "spelling\t" << program << "\t" << line << "\n";
      }
    }
  }
}

int Measure(const std::string& fullPath, const std::string& realworld, const std::string& resolvedPath,
            const std::string& examplesPath, const std::string& compiler, const std::string& work) {
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
  const std::vector<const library::LibraryData*> libraries{&data};
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
    if (!compiler.empty()) {
      Analysis named;
      NameAnalysis(named, tree, match, libraries, folder);
      std::string text, plain;
      const std::string stem = std::filesystem::path(f[0]).stem().string();
      ++t.trips;
      if (RoundTrip(compiler, std::filesystem::path(work) / "named", image, stem, &named, text)) {
        ++t.tripsSame;
      } else {
        examples << "round trip\t" << f[0] << "\n";
      }
      if (RoundTrip(compiler, std::filesystem::path(work) / "plain", image, stem, nullptr, plain)) ++t.plainSame;
      CompareTop(text, library::WithLineFeeds(SpinSourceText(ReadFile(realworld + "/library/" + top))), topNames, f[0],
                 t, examples);
    }
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
  if (t.trips > 0) {
    std::printf("recovered sources that recompile to the same bytes: with the names %d of %d (%.2f%%), without %d (%.2f%%)\n",
                t.tripsSame, t.trips, pct(t.tripsSame, t.trips), t.plainSame, pct(t.plainSame, t.trips));
    std::printf("OBJ names the library gave the top's entries: %d, as the original: %d (%.1f%%)\n", t.entryNames,
                t.entryRight, pct(t.entryRight, t.entryNames));
    std::printf("child constants spelled obj#NAME: %d, the original names the value so: %d, otherwise: %d\n", t.spelled,
                t.spelledRight, t.spelled - t.spelledRight);
  }
  if (!examplesPath.empty()) WriteFile(examplesPath, examples.str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "learn") return Learn(args[1], args[2]);
  if ((args.size() == 4 || args.size() == 5 || args.size() == 7) && args[0] == "measure") {
    return Measure(args[1], args[2], args[3], args.size() >= 5 ? args[4] : std::string(),
                   args.size() == 7 ? args[5] : std::string(), args.size() == 7 ? args[6] : std::string());
  }
  std::cerr << "usage: brevin-library-tool learn FULL OUT < JOBS\n"
               "       brevin-library-tool measure FULL REALWORLD RESOLVED [EXAMPLES [COMPILER WORK]]\n";
  return 2;
}
