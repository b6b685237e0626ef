// Tells whether another instance of the program is running.
//
// Every running instance holds a shared lock on one lock file in the user's
// runtime folder for its whole life. A new instance first tries an exclusive
// lock without waiting: when that succeeds nobody else holds the file, when it
// fails another instance does. The lock goes with the process, so an instance
// that ends abnormally never leaves a stale "running" mark behind.
#pragma once

#include <string>

namespace brevin::platform {

class InstanceGuard {
 public:
  explicit InstanceGuard(const std::string& lockPath);
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // True when another instance held the lock file when this guard was made.
  bool OthersRunning() const { return othersRunning_; }
  // False when the lock file could not be opened (nothing can then be told).
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  bool othersRunning_ = false;
};

// $XDG_RUNTIME_DIR when it names a folder, otherwise $TMPDIR, otherwise /tmp.
std::string RuntimeFolder();

// The lock file for the instances that share one settings file: a name made of
// the user id and a hash of the settings path, in the runtime folder.
std::string InstanceLockPath(const std::string& settingsPath);

}  // namespace brevin::platform
