// A person's notes on an image: the names they give to methods, variables and
// labels, and their comments on lines, kept in a small JSON file beside the
// image (IMAGE.brevin.json). Each note is anchored so that it survives a
// rebuild of the program: by the prints of its object and method (bytes that
// do not depend on where they sit) and its offset there, with the hub address
// as a fallback for images that hold no Spin object tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brevin {

class Analysis;

// What a note names or comments.
enum class NoteKind : std::uint8_t {
  Method,     // a Spin method (its entry label)
  Jump,       // a label inside a method's code
  Local,      // a local variable or parameter of a method (its stack frame slot)
  Variable,   // a VAR variable
  Dat,        // a DAT label
  Asm,        // an assembly label
  Object,     // an object, or an entry of an object's table
  Comment,    // a comment on the line at a hub address
};

// The kind's name in the file ("method", "dat", ...), and back.
std::string_view NoteKindName(NoteKind kind);
std::optional<NoteKind> NoteKindFromName(std::string_view name);

// Where a note belongs. The prints are 16 lower-case hex digits, empty when
// unknown; offset counts from the method's first byte (a stack slot's offset
// in its frame for a local), from the object's DAT for data, from the object's
// VAR for a variable, from the object's start for its table.
struct NoteAnchor {
  std::optional<std::int32_t> address;  // hub address: the fallback, and what the window shows
  std::optional<std::int32_t> cog;      // cog register of an assembly line (shown only)
  std::string object;                   // print of the object
  std::string data;                     // print of the object's DAT bytes
  std::string method;                   // print of the method
  int objectNumber = 0;                 // the object in tree order, 0 = the top
  int instance = 0;                     // which copy of the object, in image order
  int methodIndex = 0;                  // 1-based entry in its object's table; 0 outside a method
  std::int32_t offset = 0;

  bool Anchored() const { return !object.empty() || !method.empty() || !data.empty(); }
};

struct Note {
  NoteKind kind = NoteKind::Comment;
  std::string text;   // the given name, or the comment's text
  std::string label;  // the generated label it replaces when it was given (shown only)
  NoteAnchor at;
};

struct Notes {
  std::vector<Note> names;
  std::vector<Note> comments;

  bool Empty() const { return names.empty() && comments.empty(); }
};

// The notes file of an image: "demo.eeprom" -> "demo.eeprom.brevin.json".
std::string NotesPathFor(const std::string& imagePath);

// Reads a notes file's text; nullopt with a one-line reason when it is none.
std::optional<Notes> ParseNotes(std::string_view text, std::string& problem);

// The file's text: pretty-printed, two-space indents, names and comments in a
// stable order (by kind, then address, then text), ending in a line end.
std::string NotesText(const Notes& notes);

// A Spin identifier: a letter or '_', then letters, digits and '_', at most
// 30 characters, and no word the language reserves.
bool IsSpinIdentifier(std::string_view name);

// What a note applied to an analysis changes, and what a person may name there.
struct NoteTarget {
  std::string problem;  // set when nothing can be named or commented there
  NoteKind kind = NoteKind::Comment;
  std::string label;  // the generated label of the place
  std::string given;  // the name or comment the notes give it now, if any
  NoteAnchor at;
};

// The place a label of the listing names ("S87", "VL3", or a name given
// earlier), for a name note; the analysis must hold its model.
NoteTarget NameTarget(const Analysis& analysis, std::string_view label);
// The line at a hub address, for a comment note.
NoteTarget CommentTarget(const Analysis& analysis, std::int32_t address);
// Why NEW cannot name the target, or empty: not an identifier, or a name the
// listing or the notes already use in its scope.
std::string NameRefusal(const Analysis& analysis, const Notes& notes, const NoteTarget& target, std::string_view name);

// Adds, replaces or (with empty text) removes the note at the target's place.
void RecordNote(Notes& notes, const NoteTarget& target, std::string_view text);

}  // namespace brevin
