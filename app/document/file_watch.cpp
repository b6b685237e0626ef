#include "document/file_watch.h"

#include <QFile>
#include <QTimer>
#include <sys/stat.h>

namespace brevin {

FileStamp StampOf(const QString& path) {
  FileStamp stamp;
  struct stat info {};
  if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0) return stamp;
  stamp.exists = true;
  stamp.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  stamp.size = static_cast<std::int64_t>(info.st_size);
  stamp.device = static_cast<std::uint64_t>(info.st_dev);
  stamp.inode = static_cast<std::uint64_t>(info.st_ino);
  if (S_ISREG(info.st_mode)) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
      // FNV-1a: cheap and stable between runs.
      std::uint64_t hash = 14695981039346656037ull;
      for (const char byte : file.read(kStampedBytes)) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
      }
      stamp.contentHash = hash;
    }
  }
  return stamp;
}

void FileWatch::Arm(const QString& path) {
  path_ = path;
  stamp_ = StampOf(path);
  armed_ = true;
  steadyChecks_ = -1;
}

FileWatch::Change FileWatch::CheckSettled(const QString& path) {
  const Change change = Check(path);
  if (change != Change::Written) {
    steadyChecks_ = -1;
    return change;
  }
  if (steadyChecks_ < 0 || seen_ != settling_) {
    settling_ = seen_;
    steadyChecks_ = 0;
    return Change::Settling;
  }
  if (++steadyChecks_ < kSteadyChecks) return Change::Settling;
  steadyChecks_ = -1;
  return Change::Written;
}

FileWatch::Change FileWatch::Check(const QString& path) {
  const FileStamp now = StampOf(path);
  seen_ = now;
  if (!now.exists) return Change::Missing;
  if (!ArmedFor(path)) {
    path_ = path;
    stamp_ = now;
    armed_ = true;
    return Change::None;
  }
  // A file that was missing when armed and exists now was written since.
  return now == stamp_ ? Change::None : Change::Written;
}

TimerPause::TimerPause(QTimer* timer, std::function<bool()> restart) : timer_(timer), restart_(std::move(restart)) {
  timer_->stop();
}

TimerPause::~TimerPause() {
  if (restart_ && restart_()) timer_->start();
}

}  // namespace brevin
