// A person's notes applied to one analysis: each note's anchor is found again
// in this image, and its name or comment is kept by hub address for the
// listing writer. A note whose place is gone, or is now something else than
// what it was given to, is reported and applies nowhere.
#include "brevin/notes.h"
#include "disassembler.h"
#include "notes/note_places.h"

namespace brevin {

namespace {

// A short form of a note for a message: its name, or its comment's start.
std::string NoteShown(const Note& note) {
  if (note.kind != NoteKind::Comment || note.text.size() <= 32) return note.text;
  return note.text.substr(0, 29) + "...";
}

}  // namespace

const std::string* Disassembler::GivenLocal(std::int64_t offset) const {
  if (givenLocals_.empty() || !givenNamesOn_ || frameEntry_ < 0) return nullptr;
  const auto it = givenLocals_.find({static_cast<std::int32_t>(frameEntry_), static_cast<std::int32_t>(offset)});
  return it == givenLocals_.end() ? nullptr : &it->second;
}

void Disassembler::ResolveNotes(const std::string& imagePath) {
  givenNames_.clear();
  givenLocals_.clear();
  givenComments_.clear();
  noteProblems_.clear();
  slots_.clear();
  frameEntry_ = -1;
  givenNamesOn_ = true;
  const std::shared_ptr<const Notes> notes = host_.NotesFor(imagePath);
  if (!notes || notes->Empty()) return;
  const notes::NotePlaces places(loadBytes_);
  const auto problem = [this](const Note& note, const std::string& why) {
    noteProblems_.push_back("note '" + NoteShown(note) + "' no longer matches: " + why);
  };
  const auto labelled = [this](std::int64_t hub) { return InImage(hub) && SymbolIds[static_cast<std::size_t>(hub)] != 0; };
  for (const Note& note : notes->names) {
    std::string why;
    std::int32_t slot = 0;
    const std::optional<std::int32_t> hub = places.Resolve(note, &slot, why);
    if (!hub) {
      problem(note, why);
      continue;
    }
    // A place found by its address alone must still be what the name was
    // given to; an anchored one is the same bytes as before.
    bool fits = InImage(*hub);
    if (note.at.Anchored() && places.HasTree() && fits) {
      if (note.kind == NoteKind::Local) {
        givenLocals_[{*hub, slot}] = note.text;
      } else {
        givenNames_[*hub] = note.text;
      }
      continue;
    }
    switch (note.kind) {
      case NoteKind::Method: fits = fits && HasFlag(*hub, flag::Call) && labelled(*hub); break;
      case NoteKind::Jump: fits = fits && HasFlag(*hub, flag::Spin) && labelled(*hub); break;
      case NoteKind::Local: fits = fits && HasFlag(*hub, flag::Call) && slot >= 0 && slot % 4 == 0; break;
      case NoteKind::Asm: fits = fits && HasFlag(*hub, flag::Asmb); break;
      case NoteKind::Variable: fits = fits && *hub >= VBASE && labelled(*hub); break;
      case NoteKind::Dat:
      case NoteKind::Object: fits = fits && labelled(*hub); break;
      case NoteKind::Comment: break;
    }
    if (!fits) {
      problem(note, notes::NotePlaces::PlaceText(note.at, note.kind) + " holds no " + std::string(NoteKindName(note.kind)) +
                        " label");
      continue;
    }
    if (note.kind == NoteKind::Local) {
      givenLocals_[{*hub, slot}] = note.text;
    } else {
      givenNames_[*hub] = note.text;
    }
  }
  for (const Note& note : notes->comments) {
    std::string why;
    const std::optional<std::int32_t> hub = places.Resolve(note, nullptr, why);
    if (!hub || !InImage(*hub)) {
      problem(note, hub ? "the place is outside the image" : why);
      continue;
    }
    givenComments_[*hub] = note.text;
  }
}

}  // namespace brevin
