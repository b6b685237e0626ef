// Writing a recovered Spin project into a folder through the programs' one
// writer of a set of files: all files or none, no link followed, the image and
// the Spin sources read beside it never replaced, and another existing file of
// an output's name replaced only when the caller says so (the user's Yes).
#pragma once

#include <QString>
#include <QStringList>

#include "brevin/spin_source.h"

namespace brevin {

// The files an export must never replace: the image and the sources read for it.
struct SpinExportInputs {
  QString image;
  QStringList sources;
};

// What an export into the folder would meet, found without writing anything:
// the refusal (the whole message for the user) or the names of the files it
// would replace, in project order.
struct SpinExportPlan {
  QString refusal;
  QStringList existing;
};
SpinExportPlan PlanSpinExport(const QString& folder, const SpinSourceProject& project, const SpinExportInputs& inputs);

struct SpinExportResult {
  bool written = false;
  QString text;  // the message for the user: the top file and the inexact methods, or the error
};

// Writes folder/<name> for each file of the project, or none; an existing file
// of one of the names is replaced only with replaceExisting.
SpinExportResult WriteSpinProject(const QString& folder, const SpinSourceProject& project,
                                  const SpinExportInputs& inputs, bool replaceExisting);

// The message for an export that could not be done.
QString CannotExportText(const QString& folder, const QString& reason);

// The question before files are replaced, naming them.
QString ReplaceSpinFilesText(const QString& folder, const QStringList& names);

}  // namespace brevin
