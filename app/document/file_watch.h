// The "written since last load" test of Auto-Reload: the image's modification
// time, size and inode are remembered when it is loaded, and a later tick that
// finds any of them changed asks for one reload. File times move in steps of a
// few milliseconds, so a same-size rewrite right after a load could keep all
// three; a checksum of the file's first bytes (more than an image holds) catches it.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

class QTimer;

namespace brevin {

// What the file system says about one file.
struct FileStamp {
  bool exists = false;
  std::int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch
  std::int64_t size = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t contentHash = 0;  // of the first kStampedBytes bytes

  bool operator==(const FileStamp&) const = default;
};

inline constexpr qint64 kStampedBytes = 65536;

// The stamp of the file now; exists is false when it cannot be found.
FileStamp StampOf(const QString& path);

class FileWatch {
 public:
  enum class Change {
    None,      // as it was when loaded (or first seen)
    Written,   // written, replaced or renamed over since it was loaded
    Missing,   // the file is gone
    Settling,  // written, but not yet the same for kSteadyChecks checks in a row
  };
  // Checks in a row that must find a written file unchanged before it is reloaded.
  static constexpr int kSteadyChecks = 2;

  // Remembers the file as it is now: called at the start of every load, before
  // the file is read, so a write caught half-way is seen again once it ends.
  void Arm(const QString& path);
  // Compares the file with what Arm remembered. A path that was never armed is
  // remembered as it is now and counts as unchanged, so the watch never reloads
  // an image that this run did not load (after a crash, for example).
  Change Check(const QString& path);
  // Check, but Written only once the written file has kept its size, time and
  // first bytes for kSteadyChecks further checks (Settling until then): a file
  // caught while another program rewrites it, empty or short, is not loaded.
  Change CheckSettled(const QString& path);
  void Disarm() { armed_ = false; }
  bool ArmedFor(const QString& path) const { return armed_ && path_ == path; }

 private:
  QString path_;
  FileStamp stamp_;
  bool armed_ = false;
  FileStamp seen_;           // the stamp the last check found
  FileStamp settling_;       // the written file as first seen unchanged
  int steadyChecks_ = -1;    // checks that found it so since; -1: not settling
};

// Stops a timer for as long as it lives and starts it again at the end when
// restart answers true: a load keeps the reload timer quiet, so no tick starts
// a second load from inside a message box of the first.
class TimerPause {
 public:
  TimerPause(QTimer* timer, std::function<bool()> restart);
  ~TimerPause();
  TimerPause(const TimerPause&) = delete;
  TimerPause& operator=(const TimerPause&) = delete;

 private:
  QTimer* timer_;
  std::function<bool()> restart_;
};

}  // namespace brevin
