// A library of known Spin objects as a file holds it, and how an image with
// its Spin sources adds to it (`brevin-cli --learn`): the image gives the
// bytes, the sources the names. Analyses read the files through the Host.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brevin {

namespace library {
class LibraryData;
}

class ObjectLibrary {
 public:
  ObjectLibrary();
  ~ObjectLibrary();
  ObjectLibrary(const ObjectLibrary&) = delete;
  ObjectLibrary& operator=(const ObjectLibrary&) = delete;

  // Reads a library file's text; false with a one-line reason when it is none.
  bool Load(std::string_view text, std::string& problem);
  // The file's text.
  std::string Text() const;
  std::size_t Entries() const;

  struct Learned {
    std::string problem;   // set when nothing was learned: the image or a source that does not match it
    int objects = 0;       // objects named by their sources
    int added = 0;         // of them, new to the library
    std::vector<std::string> unnamed;  // objects whose source was not found (their OBJ file names)
  };
  // Adds the objects of the image: the top object named by its source
  // (sourceName is its file name, "demo.spin"; sourceBytes as read, any
  // encoding the compiler takes), each child object by the source that
  // objectSource gives for the file name its parent's OBJ block writes
  // (empty when there is none). Learns nothing when any source found does not
  // fit its object.
  Learned Learn(std::span<const std::uint8_t> image, const std::string& sourceName, const std::string& sourceBytes,
                const std::function<std::string(const std::string& objectFile)>& objectSource);

 private:
  std::unique_ptr<library::LibraryData> data_;
};

}  // namespace brevin
