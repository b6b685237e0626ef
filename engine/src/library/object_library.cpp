// The library file as the command line edits it.
#include <filesystem>
#include <map>

#include "brevin/library.h"
#include "brevin/text.h"
#include "library/fingerprint.h"
#include "library/learn.h"
#include "library/library_data.h"
#include "recovery/object_tree.h"

namespace brevin {

ObjectLibrary::ObjectLibrary() : data_(std::make_unique<library::LibraryData>()) {}
ObjectLibrary::~ObjectLibrary() = default;

// Every record is read now: a library written back must hold every entry it had, whole.
bool ObjectLibrary::Load(std::string_view text, std::string& problem) {
  if (!data_->Parse(std::string(text), problem)) return false;
  for (std::uint32_t i = 0; i < data_->Size(); ++i) {
    if (!data_->Details(i).damaged) continue;
    problem = "the entry of " + data_->Entries()[i].file + " has a damaged record";
    data_->Parse(std::string(library::kLibraryHeader), problem);
    return false;
  }
  return true;
}
std::string ObjectLibrary::Text() const { return data_->Text(false); }
std::size_t ObjectLibrary::Entries() const { return data_->Size(); }

ObjectLibrary::Learned ObjectLibrary::Learn(std::span<const std::uint8_t> image, const std::string& sourceName,
                                            const std::string& sourceBytes,
                                            const std::function<std::string(const std::string&)>& objectSource) {
  Learned learned;
  const recovery::ImageTree tree = recovery::ReadImageTree(image);
  if (!tree.error.empty()) {
    learned.problem = tree.error;
    return learned;
  }
  const std::vector<library::ObjectPrint> prints = library::FingerprintTree(tree);
  std::vector<std::optional<library::LibraryEntry>> entries(tree.objects.size());
  std::vector<std::string> files(tree.objects.size());
  files[0] = std::filesystem::path(sourceName).stem().string();
  std::map<std::string, std::string> sources;  // OBJ file -> text
  // Parents come before their children in the tree's order.
  for (std::size_t o = 0; o < tree.objects.size(); ++o) {
    if (files[o].empty()) continue;
    std::string text;
    std::string shown = files[o] + ".spin";
    if (o == 0) {
      text = SpinSourceText(sourceBytes);
      shown = sourceName;
    } else {
      const std::string bytes = objectSource(files[o]);
      if (bytes.empty()) {
        learned.unnamed.push_back(files[o]);
        continue;
      }
      text = SpinSourceText(bytes);
    }
    std::string problem;
    entries[o] = library::EntryFromSource(tree.objects[o], prints[o], files[o], text, nullptr, problem);
    if (!entries[o]) {
      learned.problem = shown + " does not match the image" + (o == 0 ? std::string() : "'s object of that name") +
                        ": " + problem;
      return learned;
    }
    // The children's file names, as this object's OBJ block writes them.
    std::vector<std::string> declared;
    for (const library::LibraryChild& child : entries[o]->children)
      for (int k = 0; k < child.count; ++k) declared.push_back(child.file);
    const std::vector<recovery::ChildEntry>& children = tree.objects[o].children;
    for (std::size_t c = 0; c < children.size() && c < declared.size(); ++c) {
      const int child = children[c].object;
      if (child > 0 && static_cast<std::size_t>(child) < files.size() && files[static_cast<std::size_t>(child)].empty()) {
        files[static_cast<std::size_t>(child)] = declared[c];
      }
    }
  }
  for (std::optional<library::LibraryEntry>& entry : entries) {
    if (!entry) continue;
    ++learned.objects;
    if (data_->Add(std::move(*entry))) ++learned.added;
  }
  return learned;
}

}  // namespace brevin
