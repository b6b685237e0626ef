// Reading the library files when needed, and naming an analysis from them.
#include "library/library_names.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

#include "library/fingerprint.h"
#include "library/matcher.h"
#include "recovery/object_tree.h"

namespace brevin::library {

std::vector<const LibraryData*> LibraryCache::Load(const std::vector<Host::LibraryFile>& files,
                                                   std::vector<std::string>& warnings) {
  namespace fs = std::filesystem;
  std::vector<const LibraryData*> libraries;
  std::vector<Loaded> kept;
  for (const Host::LibraryFile& file : files) {
    std::error_code ec;
    const fs::file_status status = fs::status(file.path, ec);
    if (ec || !fs::exists(status)) {
      // Said once while it stays missing: the window lists the image again and again.
      const bool told = std::any_of(loaded_.begin(), loaded_.end(),
                                    [&](const Loaded& l) { return l.path == file.path && l.size == -2; });
      if (!file.mayBeMissing && !told) {
        warnings.push_back(file.path + ": the library of known objects is missing; no library names");
      }
      if (!file.mayBeMissing) kept.push_back(Loaded{file.path, -2, 0, nullptr, "missing"});
      continue;
    }
    Loaded now;
    now.path = file.path;
    if (fs::is_regular_file(status)) {
      now.size = static_cast<std::int64_t>(fs::file_size(file.path, ec));
      if (!ec) now.modified = static_cast<std::int64_t>(fs::last_write_time(file.path, ec).time_since_epoch().count());
    }
    const auto same = std::find_if(loaded_.begin(), loaded_.end(), [&](const Loaded& l) {
      return l.path == now.path && l.size == now.size && l.modified == now.modified;
    });
    const bool told = same != loaded_.end();
    if (same != loaded_.end()) {
      now = *same;
    } else if (!fs::is_regular_file(status)) {
      now.problem = "is not a file";
    } else {
      // In one piece: a character at a time costs a millisecond a megabyte.
      std::ifstream in(file.path, std::ios::binary);
      std::string text(now.size > 0 ? static_cast<std::size_t>(now.size) : 0, '\0');
      in.read(text.data(), static_cast<std::streamsize>(text.size()));
      if (!in || in.peek() != std::ifstream::traits_type::eof()) {
        now.problem = "cannot be read";
      } else {
        auto data = std::make_shared<LibraryData>();
        std::string problem;
        if (data->Parse(std::move(text), problem)) {
          now.data = std::move(data);
        } else {
          now.problem = "is no library of known objects (" + problem + ")";
        }
      }
    }
    if (now.data) {
      libraries.push_back(now.data.get());
    } else if (!told) {
      // Said once for each state of the file, not at every listing of the image.
      warnings.push_back(file.path + ": " + now.problem + "; its names are not used");
    }
    kept.push_back(std::move(now));
  }
  // Only what the files hold now stays: the data handed out lives in kept.
  loaded_ = std::move(kept);
  return libraries;
}

namespace {

Symbol* SymbolAt(Analysis& a, std::int32_t address) {
  const auto it = std::lower_bound(a.symbols.begin(), a.symbols.end(), address,
                                   [](const Symbol& s, std::int32_t at) { return s.address < at; });
  return it != a.symbols.end() && it->address == address ? &*it : nullptr;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The OBJ name the libraries' objects most often give a file (their own
// spelling of the first), when one name is given more often than any other.
std::string UsualName(const std::vector<const LibraryData*>& libraries, const std::string& file,
                      const std::string& excludedFolder) {
  std::map<std::string, std::pair<int, std::string>> counts;  // by lower-case name
  const std::string wanted = Lower(file);
  for (const LibraryData* library : libraries)
    for (const LibraryEntry& entry : library->Entries()) {
      // What came from a folder left out (when measuring) alone does not count.
      const bool excluded = !excludedFolder.empty() && !entry.folders.empty() &&
                            std::all_of(entry.folders.begin(), entry.folders.end(),
                                        [&](const std::string& f) { return f == excludedFolder; });
      if (excluded) continue;
      for (const LibraryChild& child : entry.children) {
        // An OBJ string may hold a path: its last part names the file.
        const std::size_t slash = child.file.find_last_of("/\\");
        if (Lower(slash == std::string::npos ? child.file : child.file.substr(slash + 1)) != wanted) continue;
        auto& [count, spelling] = counts[Lower(child.name)];
        if (count++ == 0) spelling = child.name;
      }
    }
  int best = 0, second = 0;
  std::string name;
  for (const auto& [lower, counted] : counts) {
    if (counted.first > best) {
      second = best;
      best = counted.first;
      name = counted.second;
    } else if (counted.first > second) {
      second = counted.first;
    }
  }
  return best > second ? name : std::string();
}

}  // namespace

std::shared_ptr<const LibraryObjectNames> NamesOfMatch(const ObjectMatch& m,
                                                       const std::vector<const LibraryData*>& libraries,
                                                       const std::string& excludedFolder) {
  auto names = std::make_shared<LibraryObjectNames>();
  names->whole = m.whole;
  names->declaredName = m.declaredName;
  if (!m.file.empty()) names->usualName = UsualName(libraries, m.file, excludedFolder);
  for (const MethodMatch& mm : m.methods) {
    if (mm.method == nullptr) {
      names->methods.emplace_back();
      continue;
    }
    const LibraryMethod& lm = *mm.method;
    names->methods.push_back(LibraryMethodNames{lm.name, lm.isPublic, lm.parameters, lm.result, lm.locals});
  }
  if (m.entry != nullptr) {
    for (const LibraryVariable& v : m.entry->variables) names->variables.push_back({v.offset, v.size, v.name});
    for (const LibraryLabel& d : m.entry->labels)
      names->labels.push_back({d.offset, d.size == 'B' ? 1 : d.size == 'W' ? 2 : 4, d.name});
    for (const LibraryConstant& c : m.entry->constants) names->constants.emplace_back(c.name, c.value);
  }
  return names;
}

void ApplyLibraryNames(Analysis& a, const std::vector<const LibraryData*>& libraries) {
  if (libraries.empty() || a.objects.empty()) return;
  const recovery::ImageTree tree = recovery::ReadImageTree(a.image.bytes);
  if (!tree.error.empty()) return;
  const std::vector<ObjectPrint> prints = FingerprintTree(tree);
  const LibraryMatch match = MatchTree(tree, prints, libraries);
  for (std::size_t o = 0; o < tree.objects.size(); ++o) {
    const ObjectMatch& m = match.objects[o];
    const bool anyMethod = std::any_of(m.methods.begin(), m.methods.end(),
                                       [](const MethodMatch& mm) { return mm.method != nullptr || mm.abstained; });
    if (m.file.empty() && !m.fileAbstained && !anyMethod) continue;
    const std::shared_ptr<const LibraryObjectNames> names = NamesOfMatch(m, libraries);
    for (const SpinObjectInstance& instance : tree.objects[o].instances) {
      for (ObjectInfo& object : a.objects) {
        if (object.address != instance.address) continue;
        if (!m.file.empty()) object.libraryName = m.file;
        object.libraryAbstained = m.fileAbstained;
        object.library = names;
        for (Method& method : object.methods) {
          const std::size_t k = static_cast<std::size_t>(method.index - 1);
          if (k >= m.methods.size()) continue;
          method.libraryAbstained = m.methods[k].abstained;
          if (m.methods[k].method == nullptr) continue;
          method.libraryName = m.methods[k].method->name;
          if (Symbol* s = SymbolAt(a, method.address)) s->libraryName = method.libraryName;
        }
      }
      if (Symbol* s = SymbolAt(a, instance.address); s != nullptr && !m.file.empty()) s->libraryName = m.file;
      for (const LibraryPlaceName& label : names->labels) {
        if (Symbol* s = SymbolAt(a, instance.address + label.offset); s != nullptr && !s->libraryName)
          s->libraryName = label.name;
      }
    }
  }
}

}  // namespace brevin::library
