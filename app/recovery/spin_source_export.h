// Writing a recovered Spin project into a folder: each file through the
// programs' one output writer (temporary name, then rename), after checking
// that every one of them can be written, so a refused folder gets no file.
#pragma once

#include <QString>

#include "brevin/spin_source.h"

namespace brevin {

struct SpinExportResult {
  bool written = false;
  QString text;  // the message for the user: the top file and the inexact methods, or the error
};

// Writes folder/<name> for each file of the project. The image, when given, is
// never overwritten. On a failure part-way, the files this call created are
// removed again (a file it replaced cannot be given back and is named).
SpinExportResult WriteSpinProject(const QString& folder, const SpinSourceProject& project,
                                  const QString& image = QString());

// The message for an export that could not be done.
QString CannotExportText(const QString& folder, const QString& reason);

}  // namespace brevin
