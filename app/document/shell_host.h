// The engine's view of the desktop shell: option check marks, message boxes
// through the prompt, debug text, and the state of the Propeller Tool.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "brevin/host.h"

namespace brevin {

class ShellHost : public Host {
 public:
  // options: the menus' marks at the start of a load; sourcePath: where the
  // document controller looks for the source (empty: beside the image).
  ShellHost(std::function<Options()> options, std::function<QString()> sourcePath)
      : options_(std::move(options)), sourcePath_(std::move(sourcePath)) {}

  Options LoadOptions() override;
  MessageAnswer ShowMessage(const std::string& title, const std::string& text, MessageButtons buttons,
                            MessageIcon icon) override;
  // Collected while an analysis runs; the debug window takes it in one piece at its end.
  void DebugWrite(const std::string& text) override { debugText_ += text; }
  bool PropellerToolRunning() override;
  bool DeveloperMode() override;
  // The document's source path: the save folder, which may differ from the image's.
  std::string SourcePathFor(const std::string& imagePath) override;
  // The person's own library of known objects, then the shipped one.
  std::vector<LibraryFile> LibraryFiles() override;

  const std::string& DebugText() const { return debugText_; }
  void ClearDebugText() { debugText_.clear(); }

 private:
  std::function<Options()> options_;
  std::function<QString()> sourcePath_;
  std::string debugText_;
};

}  // namespace brevin
