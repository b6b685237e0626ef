#include "recovery/spin_source_export.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "output/save_listing.h"
#include "output_folder.h"

namespace brevin {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }
std::string Native(const QString& path) { return QFile::encodeName(path).toStdString(); }

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

// The checks the writer cannot word for the user: the project and the folder.
QString ProjectRefusal(const QString& folder, const SpinSourceProject& project) {
  if (!project.error.empty()) return Text(project.error);
  if (project.files.empty()) return "Nothing was recovered from the image.";
  const QFileInfo place(folder);
  if (!place.exists()) return "The folder does not exist.";
  if (!place.isDir()) return "It is not a folder.";
  QSet<QString> names;
  for (const SpinSourceFile& file : project.files) {
    const QString name = Text(file.name);
    if (!PlainFileName(name)) return "The recovered file name \"" + name + "\" is not a plain file name.";
    if (names.contains(name)) return "Two recovered files have the same name \"" + name + "\".";
    names.insert(name);
  }
  return {};
}

std::vector<platform::KeptFile> KeptFiles(const SpinExportInputs& inputs) {
  std::vector<platform::KeptFile> kept;
  const auto keep = [&kept](const QString& path, std::string_view refusal) {
    if (path.isEmpty()) return;
    if (auto id = platform::IdentityOf(Native(path))) kept.push_back({*id, std::string(refusal)});
  };
  keep(inputs.image, platform::kOverwritesInput);
  for (const QString& source : inputs.sources) keep(source, "the output would overwrite the Spin source beside the image");
  return kept;
}

std::vector<std::string> NamesOf(const SpinSourceProject& project) {
  std::vector<std::string> names;
  for (const SpinSourceFile& file : project.files) names.push_back(file.name);
  return names;
}

QString ProblemText(const platform::FolderProblem& problem) {
  const QString reason = WriterReasonSentence(problem.problem);
  return problem.name.empty() ? reason : Text(problem.name) + ": " + reason;
}

}  // namespace

QString CannotExportText(const QString& folder, const QString& reason) {
  return "Cannot write the Spin source to the folder\r\n\r\n" + folder + "\r\n\r\n" + reason;
}

QString ReplaceSpinFilesText(const QString& folder, const QStringList& names) {
  return "The folder\r\n\r\n" + folder + "\r\n\r\nalready holds " +
         (names.size() == 1 ? QString("a file of this name") : QString("files of these names")) + ":\r\n\r\n" +
         names.join("\r\n") + "\r\n\r\nReplace " + (names.size() == 1 ? "it" : "them") + " with the recovered source?";
}

SpinExportPlan PlanSpinExport(const QString& folder, const SpinSourceProject& project, const SpinExportInputs& inputs) {
  SpinExportPlan plan;
  if (const QString refusal = ProjectRefusal(folder, project); !refusal.isEmpty()) {
    plan.refusal = CannotExportText(folder, refusal);
    return plan;
  }
  const platform::FolderPlan found = platform::PlanFolderFiles(Native(folder), NamesOf(project), KeptFiles(inputs));
  if (found.refusal.Failed()) {
    plan.refusal = CannotExportText(folder, ProblemText(found.refusal));
    return plan;
  }
  for (const std::string& name : found.existing) plan.existing << Text(name);
  return plan;
}

SpinExportResult WriteSpinProject(const QString& folder, const SpinSourceProject& project,
                                  const SpinExportInputs& inputs, bool replaceExisting) {
  SpinExportResult result;
  if (const QString refusal = ProjectRefusal(folder, project); !refusal.isEmpty()) {
    result.text = CannotExportText(folder, refusal);
    return result;
  }
  std::vector<platform::FolderFile> files;
  for (const SpinSourceFile& file : project.files) files.push_back({file.name, SpinSourceFileBytes(file)});
  const platform::FolderProblem failed =
      platform::WriteFolderFiles(Native(folder), files, replaceExisting, KeptFiles(inputs));
  if (failed.Failed()) {
    result.text = CannotExportText(folder, ProblemText(failed) + (files.size() > 1 ? "\r\n\r\nNo file was written." : ""));
    return result;
  }
  result.written = true;
  result.text = SuccessText(folder, project);
  return result;
}

}  // namespace brevin
