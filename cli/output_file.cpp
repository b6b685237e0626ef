#include "output_file.h"

#include <cstdio>
#include <filesystem>
#include <random>

namespace brevin::cli {

namespace fs = std::filesystem;

namespace {
fs::path TemporaryBeside(const fs::path& target) {
  // Seeded once per thread: a batch writes many files.
  thread_local std::mt19937_64 random(std::random_device{}());
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix;
    for (int i = 0; i < 8; ++i) suffix += kChars[random() % (sizeof kChars - 1)];
    fs::path candidate = target.parent_path() / ("." + target.filename().string() + "." + suffix + ".tmp");
    std::error_code ec;
    if (!fs::exists(candidate, ec)) return candidate;
  }
  return {};
}
}  // namespace

std::string WriteFileAtomically(const std::string& path, std::string_view contents) {
  const fs::path target(path);
  std::error_code ec;
  if (fs::is_directory(target, ec)) return path + ": is a folder";
  const fs::path temp = TemporaryBeside(target);
  if (temp.empty()) return path + ": cannot create a temporary file beside it";
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  if (out == nullptr) return path + ": cannot be written (the folder is missing or not writable)";
  const bool written = std::fwrite(contents.data(), 1, contents.size(), out) == contents.size();
  if (std::fclose(out) != 0 || !written) {
    fs::remove(temp, ec);
    return path + ": cannot be written (write error)";
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    return path + ": cannot be written (" + ec.message() + ")";
  }
  return {};
}

}  // namespace brevin::cli
