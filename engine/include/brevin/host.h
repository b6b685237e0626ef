// The one seam between the engine and whoever runs it (window, command line, tests).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "brevin/options.h"

namespace brevin {

struct Notes;

enum class MessageIcon { Information, Warning, Question, Critical };
enum class MessageButtons { Ok, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Yes, No, Cancel };

class Host {
 public:
  virtual ~Host() = default;

  // The option check marks, read afresh at the start of every load.
  virtual Options LoadOptions() = 0;

  // A modal message: the checksum question, notices and problem reports.
  virtual MessageAnswer ShowMessage(const std::string& title, const std::string& text, MessageButtons buttons,
                                    MessageIcon icon) = 0;

  // Completed debug text: whole lines, each ending in CR LF.
  virtual void DebugWrite(const std::string& text) = 0;

  // False when the caller uses only the listing text of the result: the engine
  // then leaves the model's lines, regions, objects and symbols empty, which
  // spares about a quarter of the work of one analysis.
  virtual bool WantsModel() { return true; }

  // True when the Propeller Tool's window is open.
  virtual bool PropellerToolRunning() { return false; }

  // True inside the development environment: enables problem reports.
  virtual bool DeveloperMode() { return false; }

  // The local time of day as hh:mm:ss, for the "Auto-Reloaded at" line.
  virtual std::string TimeOfDay();

  // The Spin source to show beside the image's methods; by default the image's
  // folder, base name and ".spin".
  virtual std::string SourcePathFor(const std::string& imagePath);

  // The files of known library objects whose names the model may take (see
  // Options::LibraryNames), read when first needed and again when they change.
  // A file that must be there is named in a warning when it is missing; any
  // file that cannot be read or parsed is named in a warning, and the listing
  // goes on without its names. An engine says it once while the file stays
  // as it is. None by default.
  struct LibraryFile {
    std::string path;
    bool mayBeMissing = false;  // a person's own library, not made yet
  };
  virtual std::vector<LibraryFile> LibraryFiles() { return {}; }

  // A person's notes on the image (brevin/notes.h): their names replace the
  // generated labels in the listing and the model, their comments end their
  // lines. Null for none (the listing is then as without notes); the caller
  // reads the file and says what is wrong with it.
  virtual std::shared_ptr<const Notes> NotesFor(const std::string& /*imagePath*/) { return nullptr; }
};

}  // namespace brevin
