#include "tool/test_wrappers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "window/prompt.h"
#include "window/shell_support.h"
#include "brevin/text.h"

namespace brevin {

namespace {

// Spin sources are 8-bit or UTF-8 text, or UTF-16 with a byte-order mark when
// the Propeller Tool saved characters outside ASCII.
QStringList SourceLines(const QByteArray& data) {
  QString text = QString::fromStdString(
      SpinSourceText(std::string_view(data.constData(), static_cast<std::size_t>(data.size()))));
  // Lines end in CR LF, LF or a lone CR alike.
  text.replace("\r\n", "\n");
  text.replace('\r', '\n');
  return text.split('\n');
}

// Blanks only, as the wrapper rules trim them.
QString TrimBlanks(const QString& line) {
  qsizetype first = 0;
  qsizetype last = line.size();
  while (first < last && line[first] == ' ') ++first;
  while (last > first && line[last - 1] == ' ') --last;
  return line.mid(first, last - first);
}

void Report(const QStringList& problems) {
  if (problems.isEmpty()) return;
  Prompt(ProductTitleText(), problems.join("\r\n\r\n"), MessageButtons::Ok, MessageIcon::Warning);
}

}  // namespace

QString WrapperCallLine(const QString& trimmedLine) {
  if (!trimmedLine.startsWith("PUB ")) return QString();
  qsizetype i = 4;
  while (i < trimmedLine.size() && trimmedLine[i] == ' ') ++i;
  const qsizetype start = i;
  static const QString kNameEnds = " (':|";
  while (i < trimmedLine.size() && !kNameEnds.contains(trimmedLine[i])) ++i;
  QString call = "  o." + trimmedLine.mid(start, i - start);
  if (i < trimmedLine.size() && trimmedLine[i] == '(') {
    int parameter = 1;
    call += "(1";
    for (++i; i < trimmedLine.size() && trimmedLine[i] != ')'; ++i) {
      if (trimmedLine[i] == ',') call += ',' + QString::number(++parameter);
    }
    call += ')';
  }
  return call;
}

QString WrapperText(const QString& sourceFile, const QStringList& sourceLines) {
  const QString base = BaseNameOf(sourceFile);
  QStringList lines = {QString(),
                       "{{",
                       "Test Wrapper for " + sourceFile,
                       "}}",
                       QString(),
                       "OBJ",
                       QString(),
                       "  o : \"" + base + "\"",
                       QString(),
                       "PUB TestWrapper_For_" + base,
                       QString()};
  bool inComment = false;
  for (const QString& raw : sourceLines) {
    const QString line = TrimBlanks(raw);
    if (!inComment && line.startsWith("{{")) inComment = true;
    if (inComment) {
      if (line.contains("}}")) inComment = false;
      continue;
    }
    const QString call = WrapperCallLine(line);
    if (!call.isEmpty()) lines << call;
  }
  lines << QString() << "  { End of Test Wrapper For Varnel }{ " + sourceFile + " }" << QString();
  return lines.join("\r\n") + "\r\n";
}

QString WrapperPath(const QString& sourceFile) {
  return FolderOf(sourceFile) + "/Wrapper_" + BaseNameOf(sourceFile) + ".spin";
}

bool CreateWrapper(const QString& sourceFile, QString& error) {
  QFile source(sourceFile);
  if (sourceFile.isEmpty() || !QFileInfo(sourceFile).isFile()) {
    error = "Cannot create a Test Wrapper: the Spin source file was not found -\r\n\r\n" +
            (sourceFile.isEmpty() ? QString("(no image opened)") : sourceFile);
    return false;
  }
  if (!source.open(QIODevice::ReadOnly)) {
    error = "Cannot create a Test Wrapper: the Spin source file cannot be read -\r\n\r\n" + sourceFile + "\r\n\r\n" +
            source.errorString();
    return false;
  }
  const QByteArray text = WrapperText(sourceFile, SourceLines(source.readAll())).toUtf8();
  source.close();

  const QString target = WrapperPath(sourceFile);
  QSaveFile out(target);
  if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
    error = "Cannot write the Test Wrapper -\r\n\r\n" + target + "\r\n\r\n" + out.errorString();
    out.cancelWriting();
    return false;
  }
  return true;
}

QStringList CreateWrappersForAll(const QString& folder) {
  QStringList problems;
  if (folder.isEmpty()) return problems;
  const QDir dir(folder);
  for (const QString& name : dir.entryList({"*.spin"}, QDir::Files, QDir::Name)) {
    if (name.toUpper().startsWith("WRAPPER_")) continue;
    QString error;
    if (!CreateWrapper(dir.filePath(name), error)) problems << error;
  }
  return problems;
}

QStringList DeleteWrappers(const QString& folder) {
  QStringList problems;
  if (folder.isEmpty()) return problems;
  const QDir dir(folder);
  // Listed again until nothing is left, or until a round deletes nothing.
  for (;;) {
    const QStringList names = dir.entryList({"Wrapper_*"}, QDir::Files | QDir::Hidden | QDir::System);
    if (names.isEmpty()) break;
    QStringList failed;
    for (const QString& name : names) {
      QFile file(dir.filePath(name));
      if (!file.remove()) failed << "Cannot delete " + dir.filePath(name) + "\r\n" + file.errorString();
    }
    if (failed.size() == names.size()) {
      problems = failed;
      break;
    }
  }
  return problems;
}

void CreateTestWrapperCommand(const QString& sourcePath) {
  QString error;
  if (!CreateWrapper(sourcePath, error)) {
    Report({error});
    return;
  }
  const QString w = FolderOf(sourcePath) + "/Wrapper_" + BaseNameOf(sourcePath);
  Prompt(ProductTitleText(),
         "A Test Wrapper file has been created as -\r\n\r\n" + w +
             ".spin\r\n\r\nYou must compile this program using the Parallax Propeller Tool, save and then load the "
             "following Image File -\r\n\r\n" +
             w + ".eeprom",
         MessageButtons::Ok, MessageIcon::Information);
}

void CreateTestWrappersCommand(const QString& sourcePath) { Report(CreateWrappersForAll(FolderOf(sourcePath))); }

void DeleteWrappersCommand(const QString& sourcePath) { Report(DeleteWrappers(FolderOf(sourcePath))); }

}  // namespace brevin
