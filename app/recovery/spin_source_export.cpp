#include "recovery/spin_source_export.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include "output/save_listing.h"

namespace brevin {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A name the recovery gave must stay inside the folder: one plain file name.
bool PlainFileName(const QString& name) {
  return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') && !name.contains(QChar(0));
}

QString PathIn(const QString& folder, const QString& name) {
  return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QString SuccessText(const QString& folder, const SpinSourceProject& project) {
  const int count = static_cast<int>(project.methods.size());
  const int inexact = project.InexactMethods();
  QString text = "Spin source written\r\n\r\n" + PathIn(folder, Text(project.files.front().name));
  const int files = static_cast<int>(project.files.size());
  if (files > 1) text += QString("\r\nand %1 object file%2 beside it").arg(files - 1).arg(files > 2 ? "s" : "");
  text += "\r\n\r\n";
  if (inexact == 0) {
    text += QString("%1 method%2, all reconstructed exactly.").arg(count).arg(count == 1 ? "" : "s");
    return text;
  }
  text += QString("%1 of %2 methods not reconstructed exactly:").arg(inexact).arg(count);
  for (const SpinSourceMethod& m : project.methods) {
    if (m.exact) continue;
    text += "\r\n" + Text(m.file) + ": " + Text(m.name);
    if (!m.difference.empty()) text += " - " + Text(m.difference);
  }
  return text;
}

}  // namespace

QString CannotExportText(const QString& folder, const QString& reason) {
  return "Cannot write the Spin source to the folder\r\n\r\n" + folder + "\r\n\r\n" + reason;
}

SpinExportResult WriteSpinProject(const QString& folder, const SpinSourceProject& project, const QString& image) {
  SpinExportResult result;
  const auto refuse = [&](const QString& reason) {
    result.text = CannotExportText(folder, reason);
    return result;
  };
  if (!project.error.empty()) return refuse(Text(project.error));
  if (project.files.empty()) return refuse("Nothing was recovered from the image.");
  const QFileInfo place(folder);
  if (!place.exists()) return refuse("The folder does not exist.");
  if (!place.isDir()) return refuse("It is not a folder.");

  // Every target is checked before the first is written.
  QStringList paths;
  QSet<QString> names;
  for (const SpinSourceFile& file : project.files) {
    const QString name = Text(file.name);
    if (!PlainFileName(name)) return refuse("The recovered file name \"" + name + "\" is not a plain file name.");
    if (names.contains(name)) return refuse("Two recovered files have the same name \"" + name + "\".");
    names.insert(name);
    const QString path = PathIn(folder, name);
    if (const QString problem = CheckOutputFile(path, image); !problem.isEmpty()) return refuse(name + ": " + problem);
    paths << path;
  }

  QStringList created, replaced;
  for (std::size_t i = 0; i < project.files.size(); ++i) {
    const QString& path = paths[static_cast<qsizetype>(i)];
    const bool existed = QFileInfo::exists(path) || QFileInfo(path).isSymLink();
    const std::string bytes = SpinSourceFileBytes(project.files[i]);
    const QString problem =
        WriteOutputFile(path, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), image);
    if (problem.isEmpty()) {
      (existed ? replaced : created) << path;
      continue;
    }
    // No partial project is left behind where it can be told apart: the new files go again.
    for (const QString& made : created) QFile::remove(made);
    QString reason = Text(project.files[i].name) + ": " + problem;
    if (!replaced.isEmpty()) reason += "\r\n\r\nAlready replaced: " + replaced.join(", ");
    return refuse(reason);
  }
  result.written = true;
  result.text = SuccessText(folder, project);
  return result;
}

}  // namespace brevin
