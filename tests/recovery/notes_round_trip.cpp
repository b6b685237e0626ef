// The round trip of a person's notes through the recovered Spin source: every
// image of the shared corpus and real-world set gets a name for each of its
// methods, stack slots, VAR variables and DAT labels and a comment on each
// method's first line, is listed with them,
// recovered, compiled with the compiler from the shared tools and compared
// byte for byte. Prints how many images come back the same and how many of
// the method names and comments the recovered source shows; fails below the target.
//
//   notes_round_trip SHARED_DIR WORK_DIR PERCENT
//
// Exits 77 (skipped) when SHARED_DIR is absent.
#include "spin_compiler.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "brevin/engine.h"
#include "brevin/notes.h"
#include "brevin/spin_source.h"

namespace fs = std::filesystem;
using brevin::test::SharedSpinCompiler;
const auto& Quote = brevin::test::ShellQuote;

namespace {

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every method traced, so that every method has a label to name.
class NotesHost : public brevin::Host {
 public:
  brevin::Options LoadOptions() override {
    brevin::Options options;
    options.IncludeSourceCode = false;
    options.TraceAllMethods = true;
    return options;
  }
  bool WantsModel() override { return true; }
  brevin::MessageAnswer ShowMessage(const std::string&, const std::string&, brevin::MessageButtons,
                                    brevin::MessageIcon) override {
    return brevin::MessageAnswer::Yes;
  }
  void DebugWrite(const std::string&) override {}
  std::shared_ptr<const brevin::Notes> NotesFor(const std::string&) override { return notes; }
  std::shared_ptr<const brevin::Notes> notes;
};

struct Case {
  fs::path image;
  std::string failure;
  int names = 0, namesShown = 0;
  int comments = 0, commentsShown = 0;
  int others = 0, othersShown = 0;  // names of stack slots, variables and DAT labels
  bool recovered = false;
};

void RoundTrip(Case& c, const fs::path& compiler, const fs::path& folder) {
  NotesHost host;
  brevin::Engine engine(host);
  const std::vector<std::uint8_t> image = ReadFile(c.image);
  const brevin::LoadResult plain = engine.DisassembleBytes(c.image.string(), image, false, true);
  if (plain.status != brevin::LoadStatus::Listed) {
    c.failure = "not listed";
    return;
  }
  // A name and a comment for each method with a label, as a person would give them.
  auto notes = std::make_shared<brevin::Notes>();
  int n = 0;
  for (const brevin::ObjectInfo& object : plain.analysis->objects) {
    for (const brevin::Method& method : object.methods) {
      if (method.label.empty() || method.label[0] == '$') continue;
      const brevin::NoteTarget name = brevin::NameTarget(*plain.analysis, method.label);
      if (!name.problem.empty() || name.kind != brevin::NoteKind::Method) continue;
      ++n;
      brevin::RecordNote(*notes, name, "noted_" + std::to_string(n));
      const brevin::NoteTarget comment = brevin::CommentTarget(*plain.analysis, method.address);
      if (comment.problem.empty()) brevin::RecordNote(*notes, comment, "note " + std::to_string(n) + ": {here}");
    }
  }
  // Every stack slot, VAR variable and DAT label gets a name too.
  int others = 0;
  for (const brevin::NamedSlot& slot : plain.analysis->namedSlots) {
    if (!slot.local) continue;
    const brevin::NoteTarget target = brevin::NameTarget(*plain.analysis, slot.label);
    if (target.problem.empty()) brevin::RecordNote(*notes, target, "slot_" + std::to_string(++others));
  }
  for (const brevin::Symbol& symbol : plain.analysis->symbols) {
    const brevin::Region* region = plain.analysis->RegionAt(symbol.address);
    if (region == nullptr || (region->kind != brevin::RegionKind::Variables && region->kind != brevin::RegionKind::Data)) continue;
    // Data after an object's first method is the strings of its code, not its DAT.
    if (region->kind == brevin::RegionKind::Data) {
      const brevin::ObjectInfo* owner = nullptr;
      for (const brevin::ObjectInfo& object : plain.analysis->objects)
        if (object.address <= symbol.address && (owner == nullptr || object.address > owner->address)) owner = &object;
      std::int32_t code = 0x8000;
      if (owner != nullptr)
        for (const brevin::Method& method : owner->methods)
          if (method.address > owner->address) code = std::min(code, method.address);
      if (symbol.address >= code) continue;
    }
    const brevin::NoteTarget target = brevin::NameTarget(*plain.analysis, symbol.name);
    if (target.problem.empty()) brevin::RecordNote(*notes, target, "item_" + std::to_string(++others));
  }
  // A method a later name took over (its entry is also a DAT label) is not counted.
  std::vector<std::string> methodNames, otherNames;
  for (const brevin::Note& note : notes->names)
    (note.text.starts_with("noted_") ? methodNames : otherNames).push_back(note.text);
  c.names = static_cast<int>(methodNames.size());
  c.others = static_cast<int>(notes->names.size()) - c.names;
  c.comments = static_cast<int>(notes->comments.size());
  host.notes = notes;
  const brevin::LoadResult listed = engine.DisassembleBytes(c.image.string(), image, false, true);
  if (!listed.noteProblems.empty()) {
    c.failure = "a note does not apply: " + listed.noteProblems.front();
    return;
  }
  brevin::SpinSourceRequest request;
  request.image = image;
  request.analysis = listed.analysis.get();
  request.topName = c.image.stem().string();
  const brevin::SpinSourceProject project = brevin::RecoverSpinSource(request);
  if (!project.error.empty() || project.files.empty()) {
    c.failure = "not recovered: " + project.error;
    return;
  }
  c.recovered = true;
  std::string all;
  fs::create_directories(folder);
  for (const brevin::SpinSourceFile& file : project.files) {
    all += file.text;
    std::ofstream out(folder / file.name, std::ios::binary);
    out << brevin::SpinSourceFileBytes(file);
  }
  const auto shown = [&all](const std::string& name) {
    for (std::size_t at = all.find(name); at != std::string::npos; at = all.find(name, at + 1)) {
      const char after = at + name.size() < all.size() ? all[at + name.size()] : ' ';
      if (std::isalnum(static_cast<unsigned char>(after)) == 0 && after != '_') return true;
    }
    return false;
  };
  for (const std::string& name : methodNames) c.namesShown += shown(name) ? 1 : 0;
  for (const std::string& name : otherNames) c.othersShown += shown(name) ? 1 : 0;
  if (std::getenv("NOTES_ROUND_TRIP_MISSING") != nullptr)
    for (const brevin::Note& note : notes->names)
      if (!shown(note.text)) std::printf("%s: %s %s (%s)\n", c.image.filename().c_str(), std::string(brevin::NoteKindName(note.kind)).c_str(), note.label.c_str(), note.text.c_str());
  for (int k = 1; k <= n; ++k)
    if (all.find("' note " + std::to_string(k) + ": {here}") != std::string::npos) ++c.commentsShown;
  const bool eeprom = c.image.extension() == ".eeprom";
  const fs::path output = folder / "round_trip.out";
  const fs::path log = folder / "compiler.log";
  const std::string command = Quote(compiler.string()) + (eeprom ? " -q -e" : " -q -b") + " -L " +
                              Quote(folder.string()) + " -o " + Quote(output.string()) + " " +
                              Quote((folder / project.files.front().name).string()) + " > " + Quote(log.string()) +
                              " 2>&1";
  if (std::system(command.c_str()) != 0) {
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::replace(text.begin(), text.end(), '\n', ' ');
    c.failure = "the compiler rejects the source: " + text.substr(0, 200);
    return;
  }
  if (ReadFile(output) != image) {
    c.failure = "differs; " + std::to_string(project.InexactMethods()) + " method(s) marked inexact";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: notes_round_trip SHARED_DIR WORK_DIR PERCENT\n";
    return 2;
  }
  const fs::path shared = argv[1];
  const fs::path work = argv[2];
  const double target = std::atof(argv[3]);
  if (!fs::is_directory(shared / "tools") || !fs::is_directory(shared / "corpus")) {
    std::cout << "skipped: " << shared.string() << " with the compiler and the corpus is absent\n";
    return 77;
  }
  fs::create_directories(work);
  const fs::path compiler = SharedSpinCompiler(shared, work);
  if (compiler.empty()) return 1;
  std::vector<Case> cases;
  for (const char* set : {"corpus", "realworld"}) {
    if (!fs::is_directory(shared / set)) continue;
    std::vector<fs::path> images;
    for (const auto& entry : fs::directory_iterator(shared / set)) {
      const std::string ext = entry.path().extension().string();
      if (ext == ".binary" || ext == ".eeprom") images.push_back(entry.path());
    }
    std::sort(images.begin(), images.end());
    for (const fs::path& image : images) cases.push_back(Case{image, {}, 0, 0, 0, 0, 0, 0, false});
  }
  const fs::path trips = work / "trips";
  fs::remove_all(trips);
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < 2; ++w) {
    threads.emplace_back([&] {
      for (std::size_t i = next++; i < cases.size(); i = next++) {
        const fs::path folder = trips / std::to_string(i);
        RoundTrip(cases[i], compiler, folder);
        if (cases[i].failure.empty()) fs::remove_all(folder);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  std::size_t same = 0, recovered = 0;
  long names = 0, namesShown = 0, comments = 0, commentsShown = 0, others = 0, othersShown = 0;
  int shownFailures = 0;
  for (const Case& c : cases) {
    if (c.failure.empty()) ++same;
    if (c.recovered) ++recovered;
    names += c.names;
    namesShown += c.namesShown;
    comments += c.comments;
    commentsShown += c.commentsShown;
    others += c.others;
    othersShown += c.othersShown;
    if (!c.failure.empty() && shownFailures++ < 10) std::cout << c.image.string() << ": " << c.failure << "\n";
  }
  const double share = cases.empty() ? 100.0 : 100.0 * static_cast<double>(same) / static_cast<double>(cases.size());
  std::printf("%zu images, %zu recovered, %zu the same bytes with the notes (%.1f%%); %ld of %ld method names and %ld of "
              "%ld comments in the source, and %ld of %ld names of stack slots, variables and DAT labels\n",
              cases.size(), recovered, same, share, namesShown, names, commentsShown, comments, othersShown, others);
  return share + 1e-9 >= target ? 0 : 1;
}
