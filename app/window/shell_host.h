// The engine's view of the desktop shell: option check marks, message boxes
// through the prompt, debug text, and the state of the Propeller Tool.
#pragma once

#include <string>

#include "host.h"

namespace brevin {

class MainWindow;

class ShellHost : public Host {
 public:
  explicit ShellHost(MainWindow& window) : window_(window) {}

  Options LoadOptions() override;
  MessageAnswer ShowMessage(const std::string& title, const std::string& text, MessageButtons buttons,
                            MessageIcon icon) override;
  // Collected while an analysis runs; the debug window takes it in one piece at its end.
  void DebugWrite(const std::string& text) override { debugText_ += text; }
  bool PropellerToolRunning() override;
  bool DeveloperMode() override;
  // The window's SourcePath: the save folder, which may differ from the image's.
  std::string SourcePathFor(const std::string& imagePath) override;

  const std::string& DebugText() const { return debugText_; }
  void ClearDebugText() { debugText_.clear(); }

 private:
  MainWindow& window_;
  std::string debugText_;
};

}  // namespace brevin
