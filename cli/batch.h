// brevin-cli --out-dir: many images in one process, on several threads.
//
// Each thread asks the renderer factory once for its own renderer (so each
// thread has an engine of its own) and renders images taken from a shared
// counter. The calling thread writes the results strictly in input order:
// DIR/<file name><extension>, each through the one output writer, with the
// image's messages on standard error, so the output does not depend on the
// number of threads.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "text_sink.h"

namespace brevin::cli {

// What one image gave: the exit status a single run would return for it, the
// bytes to write (only when the status is 0) and its messages, one per line
// without the program's prefix.
struct RenderedImage {
  int status = 0;
  std::string contents;
  std::string messages;
};

using ImageRenderer = std::function<RenderedImage(const std::string& imagePath)>;
using RendererFactory = std::function<ImageRenderer()>;

struct BatchOptions {
  std::string outDir;
  std::string extension = ".lst";  // appended to each image's file name
  unsigned jobs = 1;               // threads; at least 1
  bool progress = false;           // a progress line on standard error (only when it is a terminal)
};

// The output file name of each input: its file name plus the extension; a file
// name already taken by an earlier input gets a number before the extension
// ("demo.eeprom.2.lst"), so no two inputs share an output file.
std::vector<std::string> PlanOutputNames(const std::vector<std::string>& inputs, const std::string& extension);

// Empty when dir is an existing folder that a file can be created in, else a
// message naming it.
std::string CheckOutputFolder(const std::string& dir);

// The number of threads used when --jobs is not given: the processors.
unsigned DefaultJobs();

// Lists every input into the output folder; returns 0 when every image was
// written, else the highest status a single run would have given. err gets
// each image's messages (in input order), the notes on renamed outputs and the
// summary line "N listed, N refused, N unreadable".
int RunBatch(const std::vector<std::string>& inputs, const BatchOptions& options, const RendererFactory& factory,
             TextSink& err);

}  // namespace brevin::cli
