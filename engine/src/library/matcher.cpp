// Matching an image's objects with library entries by their prints.
#include "library/matcher.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace brevin::library {
namespace {

// An entry of one of the libraries.
struct EntryRef {
  const LibraryData* library = nullptr;
  std::uint32_t index = 0;
  // The entry as its object line gives it (file, copies, folders, method count).
  const LibraryEntry& Light() const { return library->Entries()[index]; }
  // With the methods' names and calls, and the VAR, DAT and CON names.
  const LibraryEntry& Get() const { return library->Details(index); }
  const LibraryEntry& WithDetails() const { return library->Details(index); }
  bool operator<(const EntryRef& o) const {
    return library != o.library ? std::less<const LibraryData*>()(library, o.library) : index < o.index;
  }
  bool operator==(const EntryRef& o) const { return library == o.library && index == o.index; }
};

// Not from the folder left out alone, and not damaged (which reading its details tells).
bool Admitted(const EntryRef& ref, const std::string& excluded) {
  const LibraryEntry& e = ref.Light();
  if (ref.Get().damaged) return false;
  if (excluded.empty() || e.folders.empty()) return true;
  return std::any_of(e.folders.begin(), e.folders.end(), [&](const std::string& f) { return f != excluded; });
}

// The one value all give, or null when they differ.
template <typename T, typename Get>
const T* Unanimous(const std::vector<EntryRef>& refs, Get get) {
  const T* first = nullptr;
  for (const EntryRef& r : refs) {
    const T& value = get(r.Get());
    if (first == nullptr) {
      first = &value;
    } else if (!(*first == value)) {
      return nullptr;
    }
  }
  return first;
}

// Spin names ignore letter case: copies of one object that capitalise its
// names differently ("str", "Str") still name it alike.
bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool SameMethodName(const LibraryMethod& a, const LibraryMethod& b) {
  return SameName(a.name, b.name) && a.isPublic == b.isPublic;
}

// Whether two lists hold the same items, their names compared as Spin does.
template <typename T, typename Same>
bool SameItems(const std::vector<T>& a, const std::vector<T>& b, Same same) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same);
}

// Whether two entries give the same VAR, DAT, CON and OBJ names.
bool SameDetails(const LibraryEntry& e, const LibraryEntry& b) {
  return SameItems(e.variables, b.variables,
                   [](const LibraryVariable& x, const LibraryVariable& y) {
                     return x.offset == y.offset && x.size == y.size && SameName(x.name, y.name);
                   }) &&
         SameItems(e.labels, b.labels,
                   [](const LibraryLabel& x, const LibraryLabel& y) {
                     return x.offset == y.offset && x.size == y.size && SameName(x.name, y.name);
                   }) &&
         SameItems(e.constants, b.constants,
                   [](const LibraryConstant& x, const LibraryConstant& y) {
                     return x.value == y.value && SameName(x.name, y.name);
                   }) &&
         SameItems(e.children, b.children, [](const LibraryChild& x, const LibraryChild& y) {
           return x.count == y.count && SameName(x.name, y.name) && SameName(x.file, y.file);
         });
}

// The entry with the most copies: the one whose details stand for all.
const EntryRef& MostCopies(const std::vector<EntryRef>& refs) {
  return *std::max_element(refs.begin(), refs.end(),
                           [](const EntryRef& a, const EntryRef& b) { return a.Light().copies < b.Light().copies; });
}

void MatchWhole(const std::vector<EntryRef>& refs, const ObjectPrint& print, ObjectMatch& match) {
  match.whole = true;
  const EntryRef& best = MostCopies(refs);
  if (const std::string* file = Unanimous<std::string>(refs, [](const LibraryEntry& e) -> const std::string& { return e.file; })) {
    match.file = *file;
  } else {
    match.fileAbstained = true;
  }
  const bool sameDetails = std::all_of(refs.begin(), refs.end(),
                                       [&](const EntryRef& r) { return SameDetails(r.WithDetails(), best.WithDetails()); });
  if (sameDetails) match.entry = &best.Get();
  for (std::size_t m = 0; m < print.methods.size(); ++m) {
    const LibraryMethod& mine = best.Get().methods[m];
    const bool agree = std::all_of(refs.begin(), refs.end(),
                                   [&](const EntryRef& r) { return SameMethodName(r.Get().methods[m], mine); });
    if (agree) {
      match.methods[m].method = &mine;
    } else {
      match.methods[m].abstained = true;
    }
  }
}

// Whether the object holds enough of its own to be told apart: an object of
// constants alone compiles to the same few bytes whatever its names.
bool Distinctive(const recovery::ObjectImage& object, const ObjectPrint& print) {
  int bytes = object.datEnd - object.datStart;
  for (const MethodPrint& m : print.methods)
    if (m.bytes >= kSmallMethodBytes) bytes += m.bytes;
  return bytes >= kSmallMethodBytes;
}

// A method's possible places in the entries considered: entry and method index.
using Places = std::vector<std::pair<EntryRef, std::uint32_t>>;

// Names the methods of an object not matched whole from the entries that
// share the most method bytes with it.
void MatchPartly(const ObjectPrint& print, std::span<const LibraryData* const> libraries, const std::string& excluded,
                 ObjectMatch& match) {
  const std::size_t count = print.methods.size();
  std::vector<Places> places(count);
  std::map<EntryRef, int> score;
  for (std::size_t m = 0; m < count; ++m) {
    const MethodPrint& mp = print.methods[m];
    // A small method's print is common to many objects: it counts for no
    // entry and is placed later through its named callers only.
    if (mp.bytes < kSmallMethodBytes) continue;
    for (const LibraryData* library : libraries) {
      for (const MethodPlace& place : library->MethodsWith(mp.print)) {
        const EntryRef ref{library, place.entry};
        if (!Admitted(ref, excluded)) continue;
        places[m].push_back({ref, place.method});
      }
    }
    // A method counts for an entry once, and only when the entry holds it once.
    std::map<EntryRef, int> inEntry;
    for (const auto& [ref, index] : places[m]) ++inEntry[ref];
    for (const auto& [ref, n] : inEntry) {
      if (n == 1) score[ref] += mp.bytes;
    }
  }
  int best = 0;
  for (const auto& [ref, s] : score) best = std::max(best, s);
  if (best == 0) return;
  std::vector<EntryRef> bestRefs;
  for (const auto& [ref, s] : score)
    if (s == best) bestRefs.push_back(ref);
  const auto isBest = [&](const EntryRef& ref) { return std::find(bestRefs.begin(), bestRefs.end(), ref) != bestRefs.end(); };
  for (Places& p : places) {
    std::erase_if(p, [&](const auto& place) { return !isBest(place.first); });
    // An entry holding the print twice leaves the place open.
    std::map<EntryRef, int> n;
    for (const auto& place : p) ++n[place.first];
    std::erase_if(p, [&](const auto& place) { return n[place.first] != 1; });
  }

  // Tentative names: the large methods whose places all give one name.
  std::vector<char> named(count, 0);
  const auto nameFrom = [&](std::size_t m, const Places& p) {
    if (p.empty()) return false;
    const LibraryMethod& first = p.front().first.Get().methods[p.front().second];
    for (const auto& [ref, index] : p) {
      if (!SameMethodName(ref.Get().methods[index], first)) {
        match.methods[m].abstained = true;
        return false;
      }
    }
    match.methods[m].method = &first;
    return true;
  };
  for (std::size_t m = 0; m < count; ++m) {
    if (print.methods[m].bytes >= kSmallMethodBytes) named[m] = nameFrom(m, places[m]) ? 1 : 0;
  }

  // Callers agree: where a named method calls another of the object, the
  // entry's method calls the callee's place at the same point.
  const auto agrees = [&](std::size_t caller, std::size_t p, std::size_t callee, const Places& calleePlaces) {
    for (const auto& [ref, index] : places[caller]) {
      const LibraryMethod& lm = ref.Get().methods[index];
      if (p >= lm.calls.size() || lm.calls[p].object != 0) continue;
      for (const auto& [cref, cindex] : calleePlaces) {
        if (cref == ref && lm.calls[p].method == static_cast<int>(cindex) + 1) return true;
      }
    }
    (void)callee;
    return false;
  };
  for (std::size_t k = 0; k < count; ++k) {
    if (!named[k]) continue;
    const std::vector<CallSite>& calls = print.methods[k].calls;
    for (std::size_t p = 0; p < calls.size(); ++p) {
      if (calls[p].object != 0) continue;
      const std::size_t callee = static_cast<std::size_t>(calls[p].method - 1);
      if (callee >= count || !named[callee] || callee == k) continue;
      if (!agrees(k, p, callee, places[callee])) named[callee] = 2;  // disagreement found
    }
  }
  for (std::size_t m = 0; m < count; ++m) {
    if (named[m] == 2) {
      named[m] = 0;
      match.methods[m].method = nullptr;
    }
  }

  // Small methods: named where a named caller's entry calls a method of the
  // same print at the same point.
  for (bool grew = true; grew;) {
    grew = false;
    for (std::size_t k = 0; k < count; ++k) {
      if (!named[k]) continue;
      const std::vector<CallSite>& calls = print.methods[k].calls;
      for (std::size_t p = 0; p < calls.size(); ++p) {
        if (calls[p].object != 0) continue;
        const std::size_t callee = static_cast<std::size_t>(calls[p].method - 1);
        if (callee >= count || named[callee] || match.methods[callee].abstained) continue;
        Places found;
        for (const auto& [ref, index] : places[k]) {
          const LibraryMethod& lm = ref.Get().methods[index];
          if (p >= lm.calls.size() || lm.calls[p].object != 0) continue;
          const std::size_t target = static_cast<std::size_t>(lm.calls[p].method - 1);
          if (target < ref.Get().methods.size() && ref.Get().methods[target].print == print.methods[callee].print) {
            found.push_back({ref, static_cast<std::uint32_t>(target)});
          }
        }
        if (!found.empty() && nameFrom(callee, found)) {
          places[callee] = found;
          named[callee] = 1;
          grew = true;
        }
      }
    }
    // Callees agree: a small method whose every call to a named method of
    // the object matches the calls of an entry's method of the same print.
    for (std::size_t m = 0; m < count; ++m) {
      if (named[m] || match.methods[m].abstained || print.methods[m].bytes >= kSmallMethodBytes) continue;
      const std::vector<CallSite>& calls = print.methods[m].calls;
      Places found;
      for (const EntryRef& ref : bestRefs) {
        const std::vector<LibraryMethod>& methods = ref.Get().methods;
        for (std::size_t j = 0; j < methods.size(); ++j) {
          if (methods[j].print != print.methods[m].print || methods[j].calls.size() != calls.size()) continue;
          int agreeing = 0;
          bool differs = false;
          for (std::size_t p = 0; p < calls.size() && !differs; ++p) {
            const std::size_t callee = static_cast<std::size_t>(calls[p].method - 1);
            if (calls[p].object != 0 || callee >= count || !named[callee]) continue;
            const bool there = std::any_of(places[callee].begin(), places[callee].end(), [&](const auto& place) {
              return place.first == ref && methods[j].calls[p].object == 0 &&
                     methods[j].calls[p].method == static_cast<int>(place.second) + 1;
            });
            if (there) {
              ++agreeing;
            } else {
              differs = true;
            }
          }
          if (agreeing > 0 && !differs) found.push_back({ref, static_cast<std::uint32_t>(j)});
        }
      }
      if (!found.empty() && nameFrom(m, found)) {
        places[m] = found;
        named[m] = 1;
        grew = true;
      }
    }
  }

  // No file name: measured on the library folders, the entries that share
  // most methods with an object are as often another program's file.
}

}  // namespace

LibraryMatch MatchTree(const recovery::ImageTree& tree, const std::vector<ObjectPrint>& prints,
                       std::span<const LibraryData* const> libraries, const std::string& excludedFolder) {
  LibraryMatch result;
  result.objects.resize(prints.size());
  for (std::size_t o = 0; o < prints.size(); ++o) {
    const ObjectPrint& print = prints[o];
    ObjectMatch& match = result.objects[o];
    match.methods.resize(print.methods.size());
    std::vector<EntryRef> whole;
    for (const LibraryData* library : libraries) {
      for (const std::uint32_t i : library->ObjectsWith(print.print)) {
        const EntryRef ref{library, i};
        if (ref.Light().methodCount == print.methods.size() && Admitted(ref, excludedFolder)) whole.push_back(ref);
      }
    }
    if (!whole.empty() && Distinctive(tree.objects[o], print)) {
      MatchWhole(whole, print, match);
    } else {
      MatchPartly(print, libraries, excludedFolder, match);
    }
  }
  // A parent matched whole names its children as its OBJ block does.
  for (std::size_t o = 0; o < tree.objects.size() && o < result.objects.size(); ++o) {
    const ObjectMatch& parent = result.objects[o];
    if (parent.entry == nullptr) continue;
    std::vector<const LibraryChild*> declared;
    for (const LibraryChild& child : parent.entry->children)
      for (int k = 0; k < child.count; ++k) declared.push_back(&child);
    const std::vector<recovery::ChildEntry>& children = tree.objects[o].children;
    if (declared.size() != children.size()) continue;
    for (std::size_t c = 0; c < children.size(); ++c) {
      if (children[c].object < 0 || static_cast<std::size_t>(children[c].object) >= result.objects.size()) continue;
      ObjectMatch& child = result.objects[static_cast<std::size_t>(children[c].object)];
      const std::string& file = declared[c]->file;
      // One child object may serve several parents that name it differently: then it keeps its own name.
      if (!child.declaredName.empty() && child.declaredName != declared[c]->name) continue;
      child.declaredName = declared[c]->name;
      child.file = file;
      child.fileAbstained = false;
    }
  }
  return result;
}

}  // namespace brevin::library
