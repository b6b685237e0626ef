#include "batch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "cli.h"
#include "messages.h"
#include "output_file.h"
#include "output_folder.h"

namespace brevin::cli {

namespace fs = std::filesystem;

std::vector<std::string> PlanOutputNames(const std::vector<std::string>& inputs, const std::string& extension) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (const std::string& input : inputs) {
    std::string base = fs::path(input).filename().string();
    if (base.empty() || base == "." || base == "..") base = "image";
    std::string name = base + extension;
    for (int n = 2; taken.count(name) != 0; ++n) name = base + "." + std::to_string(n) + extension;
    taken.insert(name);
    names.push_back(name);
  }
  return names;
}

std::string CheckOutputFolder(const std::string& dir) {
  std::error_code ec;
  if (dir.empty()) return "--out-dir needs a folder";
  if (!fs::exists(dir, ec)) return dir + ": no such folder";
  if (!fs::is_directory(dir, ec)) return dir + ": is not a folder";
  // Permissions alone do not tell (a read-only mount, root's rights): create a file and remove it.
  if (!platform::CanCreateFileIn(dir)) return dir + ": cannot write in this folder";
  return {};
}

unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }

namespace {

// The results of the worker threads, handed to the writing thread in input order.
class ResultSlots {
 public:
  explicit ResultSlots(std::size_t count) : slots_(count) {}

  void Put(std::size_t index, RenderedImage result) {
    {
      std::lock_guard lock(mutex_);
      slots_[index] = std::move(result);
    }
    ready_.notify_all();
  }

  RenderedImage Take(std::size_t index) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return slots_[index].has_value(); });
    RenderedImage result = std::move(*slots_[index]);
    slots_[index].reset();
    return result;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<std::optional<RenderedImage>> slots_;
};

RenderedImage RenderSafely(const ImageRenderer& render, const std::string& input) {
  try {
    return render(input);
  } catch (const std::exception& e) {
    // One image that breaks the analysis must not stop the others.
    return {kExitRefused, {}, std::string("cannot be analysed (") + e.what() + ")\n"};
  }
}

// Each message line names the image, unless the line already starts with its
// path (as QuotedName shows it).
void WriteMessages(TextSink& err, const std::string& input, const std::string& messages) {
  const std::string name = QuotedName(input);
  std::string_view rest = messages;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty()) continue;
    err << kProgram;
    if (!line.starts_with(name)) err << name << ": ";
    err << line << "\n";
  }
}

}  // namespace

int RunBatch(const std::vector<std::string>& inputs, const BatchOptions& options, const RendererFactory& factory,
             TextSink& err) {
  const std::vector<std::string> names = PlanOutputNames(inputs, options.extension);
  const std::size_t count = inputs.size();
  ResultSlots slots(count);
  std::atomic<std::size_t> next{0};
  // No more threads than images: each thread builds an engine of its own.
  const std::size_t jobs = std::clamp<std::size_t>(options.jobs, 1, std::max<std::size_t>(count, 1));

  std::vector<std::thread> workers;
  for (std::size_t j = 0; j < jobs; ++j) {
    workers.emplace_back([&] {
      // The engine is made only when there is an image for it.
      ImageRenderer render;
      for (std::size_t i = next++; i < count; i = next++) {
        if (!render) render = factory();
        slots.Put(i, RenderSafely(render, inputs[i]));
      }
    });
  }

  // No output may replace an input, whichever image it belongs to.
  std::vector<platform::FileIdentity> identities;
  for (const std::string& input : inputs) {
    if (auto id = platform::IdentityOf(input)) identities.push_back(*id);
  }

  int worst = kExitOk;
  std::size_t listed = 0, refused = 0, unreadable = 0, unwritten = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (options.progress) {
      err << "\r\033[K[" << (i + 1) << "/" << count << "] " << QuotedName(inputs[i]);
      err.Flush();
    }
    RenderedImage result = slots.Take(i);
    if (options.progress) err << "\r\033[K";
    const std::string plain = PlanOutputNames({inputs[i]}, options.extension).front();
    if (names[i] != plain) {
      err << kProgram << QuotedName(inputs[i]) << ": note: written as " << QuotedName(names[i]) << " ("
          << QuotedName(plain) << " holds an earlier image of the same name)\n";
    }
    WriteMessages(err, inputs[i], result.messages);
    int status = result.status;
    if (status == kExitOk) {
      const std::string target = (fs::path(options.outDir) / names[i]).string();
      if (std::string problem = platform::WriteOutputFile(target, result.contents, identities); !problem.empty()) {
        err << kProgram << QuotedName(target) << ": " << problem << "\n";
        status = kExitFileError;
        ++unwritten;
      } else {
        ++listed;
      }
    } else if (status == kExitFileError) {
      ++unreadable;
    } else {
      ++refused;
    }
    worst = std::max(worst, status);
  }
  for (std::thread& worker : workers) worker.join();

  err << listed << " listed, " << refused << " refused, " << unreadable << " unreadable";
  if (unwritten != 0) err << ", " << unwritten << " not written";
  err << "\n";
  return worst;
}

}  // namespace brevin::cli
