// What a person may name or comment in an analysis, and how a new note goes
// into the notes: the places come from the model, their anchors from the
// image bytes the model keeps.
#include <algorithm>
#include <cctype>

#include "brevin/analysis.h"
#include "brevin/notes.h"
#include "notes/note_places.h"

namespace brevin {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

// A name a person typed, as a message shows it: quoted, on one line.
std::string Quoted(std::string_view text) {
  std::string shown = "'";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    shown += u < 0x20 || u == 0x7F ? '?' : c;
  }
  return shown + "'";
}

std::string Hex4(std::int32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "$0000";
  for (int i = 4; i >= 1; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 15];
  return text;
}

// What the model says lies at a hub address that has a label.
std::optional<NoteKind> KindAt(const Analysis& analysis, std::int32_t address) {
  for (const ObjectInfo& object : analysis.objects)
    for (const Method& method : object.methods)
      if (method.address == address) return NoteKind::Method;
  const Region* region = analysis.RegionAt(address);
  if (region == nullptr) return std::nullopt;
  switch (region->kind) {
    case RegionKind::Spin: return NoteKind::Jump;
    case RegionKind::Asm: return NoteKind::Asm;
    case RegionKind::Data: return NoteKind::Dat;
    case RegionKind::Variables: return NoteKind::Variable;
    case RegionKind::Header:
    case RegionKind::ObjectTable: return NoteKind::Object;
    case RegionKind::Stack:
    case RegionKind::Free: return std::nullopt;
  }
  return std::nullopt;
}

bool SamePlace(const NoteAnchor& a, const NoteAnchor& b) {
  if (a.Anchored() != b.Anchored()) return false;
  if (!a.Anchored()) return a.address == b.address;
  return a.objectNumber == b.objectNumber && a.instance == b.instance && a.methodIndex == b.methodIndex &&
         a.offset == b.offset && a.method == b.method && (!a.method.empty() || a.object == b.object || a.data == b.data);
}

// The names an analysis shows for what the notes named, with their places.
struct GivenPlace {
  std::string name;
  NoteKind kind;
  NoteAnchor at;
};
std::vector<GivenPlace> GivenPlaces(const Analysis& analysis, const notes::NotePlaces& places) {
  std::vector<GivenPlace> given;
  for (const Symbol& symbol : analysis.symbols) {
    if (!symbol.givenName) continue;
    const NoteKind kind = KindAt(analysis, symbol.address).value_or(NoteKind::Object);
    given.push_back({*symbol.givenName, kind, places.AnchorAt(kind, symbol.address)});
  }
  for (const NamedSlot& slot : analysis.namedSlots) {
    if (!slot.givenName) continue;
    const NoteKind kind = slot.local ? NoteKind::Local : NoteKind::Asm;
    given.push_back({*slot.givenName, kind, places.AnchorAt(kind, slot.address, slot.offset)});
  }
  return given;
}

}  // namespace

NoteTarget NameTarget(const Analysis& analysis, std::string_view label) {
  NoteTarget target;
  std::optional<std::int32_t> address;
  std::int32_t slot = 0;
  if (const Symbol* symbol = analysis.FindSymbol(label)) {
    address = symbol->address;
    target.label = symbol->name;
    target.given = symbol->givenName.value_or("");
    if (const std::optional<NoteKind> kind = KindAt(analysis, symbol->address)) {
      target.kind = *kind;
    } else {
      target.problem = Quoted(label) + " names nothing a note can name";
      return target;
    }
  }
  for (const NamedSlot& s : analysis.namedSlots) {
    if (address) break;
    if (!SameIgnoringCase(s.label, label) && !(s.givenName && SameIgnoringCase(*s.givenName, label))) continue;
    address = s.address;
    slot = s.offset;
    target.label = s.label;
    target.given = s.givenName.value_or("");
    target.kind = s.local ? NoteKind::Local : NoteKind::Asm;
  }
  // A method also goes by the name its source or the library gives it.
  for (const ObjectInfo& object : analysis.objects) {
    for (const Method& method : object.methods) {
      if (address) break;
      std::string_view source = method.sourceName ? std::string_view(*method.sourceName) : std::string_view();
      if (const std::size_t blank = source.rfind(' '); blank != std::string_view::npos) source.remove_prefix(blank + 1);
      const bool byLibrary = method.libraryName && SameIgnoringCase(*method.libraryName, label);
      if ((source.empty() || !SameIgnoringCase(source, label)) && !byLibrary) continue;
      if (method.label.empty() || method.label.front() == '$') continue;
      address = method.address;
      target.label = method.label;
      target.given = method.givenName.value_or("");
      target.kind = NoteKind::Method;
    }
  }
  if (!address) {
    target.problem = "no label " + Quoted(label) + " in the listing";
    return target;
  }
  const notes::NotePlaces places(analysis.image.bytes);
  target.at = places.AnchorAt(target.kind, *address, slot);
  return target;
}

NoteTarget CommentTarget(const Analysis& analysis, std::int32_t address) {
  NoteTarget target;
  target.kind = NoteKind::Comment;
  const auto line = std::find_if(analysis.lines.begin(), analysis.lines.end(), [address](const ListingLine& l) {
    return l.address == address &&
           (l.kind == LineKind::Code || l.kind == LineKind::Data || l.kind == LineKind::Unreached);
  });
  if (line == analysis.lines.end()) {
    target.problem = "no code or data line of the listing starts at " + Hex4(address);
    return target;
  }
  target.given = std::string(line->note());
  const notes::NotePlaces places(analysis.image.bytes);
  target.at = places.AnchorAt(NoteKind::Comment, address);
  if (line->cog) target.at.cog = *line->cog;  // shown beside an assembly line's hub address
  return target;
}

std::string NameRefusal(const Analysis& analysis, const Notes& /*notes*/, const NoteTarget& target, std::string_view name) {
  if (!IsSpinIdentifier(name)) {
    return Quoted(name) + " is no Spin name: a letter or '_', then letters, digits and '_', at most 30, and no reserved word";
  }
  // A generated label stays in the listing beside the new name: no two alike.
  if (const Symbol* symbol = analysis.FindSymbol(name); symbol != nullptr && symbol->name != target.label &&
                                                         SameIgnoringCase(symbol->name, name))
    return Quoted(name) + " is taken: it is the label at " + Hex4(symbol->address);
  for (const NamedSlot& slot : analysis.namedSlots)
    if (slot.label != target.label && SameIgnoringCase(slot.label, name))
      return Quoted(name) + " is taken: it is the label of a " + (slot.local ? "local" : "cog variable");
  // A given name is taken in its object; a local's only in its own method.
  const notes::NotePlaces places(analysis.image.bytes);
  for (const GivenPlace& other : GivenPlaces(analysis, places)) {
    if (!SameIgnoringCase(other.name, name) || SamePlace(other.at, target.at)) continue;
    if (other.at.Anchored() && target.at.Anchored() && other.at.objectNumber != target.at.objectNumber) continue;
    if (other.kind == NoteKind::Local && target.kind == NoteKind::Local && other.at.methodIndex != target.at.methodIndex)
      continue;
    return Quoted(name) + " is taken: it names " +
           (other.at.address ? "the place " + Hex4(*other.at.address) : std::string("another place"));
  }
  return {};
}

void RecordNote(Notes& notes, const NoteTarget& target, std::string_view text) {
  std::vector<Note>& list = target.kind == NoteKind::Comment ? notes.comments : notes.names;
  // The note the place has now goes, however the image was built when it was
  // given: the one given here, else one given on the same bytes before they
  // moved (the same method and offset, or the same DAT or VAR).
  const NoteAnchor& b = target.at;
  const auto moved = [&b](const NoteAnchor& a) {
    if (!a.Anchored() || !b.Anchored() || a.offset != b.offset || a.instance != b.instance) return false;
    if (!b.method.empty()) return a.method == b.method;
    return a.method.empty() && a.objectNumber == b.objectNumber && (a.object == b.object || a.data == b.data);
  };
  const bool here = std::any_of(list.begin(), list.end(),
                                [&](const Note& note) { return note.kind == target.kind && SamePlace(note.at, b); });
  std::erase_if(list, [&](const Note& note) {
    return note.kind == target.kind && (here ? SamePlace(note.at, b) : moved(note.at));
  });
  if (text.empty()) return;
  Note note;
  note.kind = target.kind;
  note.text = std::string(text);
  note.label = target.label;
  note.at = target.at;
  list.push_back(std::move(note));
}

}  // namespace brevin
