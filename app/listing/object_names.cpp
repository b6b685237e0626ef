#include "listing/object_names.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringConverter>
#include <QStringDecoder>

#include "tool/propeller_tool_install.h"

namespace brevin {

namespace {

constexpr int kMaxDepth = 16;  // deeper nesting is not a real program
constexpr std::int32_t kHubSize = 0x8000;

// The text without comments: ' to the line end, { } and {{ }} (which nest).
QString WithoutComments(const QString& source) {
  QString text;
  text.reserve(source.size());
  int depth = 0;
  bool inString = false;
  for (qsizetype i = 0; i < source.size(); ++i) {
    const QChar c = source[i];
    if (depth > 0) {
      if (c == '{') ++depth;
      if (c == '}') --depth;
      if (c == '\n') text += c;  // lines keep their numbers
      continue;
    }
    if (inString) {
      if (c == '"' || c == '\n') inString = false;
      text += c;
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '{') {
      depth = 1;
      continue;
    } else if (c == '\'') {
      while (i + 1 < source.size() && source[i + 1] != '\n') ++i;
      continue;
    }
    text += c;
  }
  return text;
}

// The value of a CON constant written as a plain number ("NODES = 2"); 0 when unknown.
int ConstantValue(const QString& text, const QString& name) {
  const QRegularExpression assignment("(?:^|[\\s,])" + QRegularExpression::escape(name) + "\\s*=\\s*(\\d+)\\b",
                                      QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
  const QRegularExpressionMatch m = assignment.match(text);
  return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QString ReadSource(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.read(4 * 1024 * 1024);
  // The Propeller Tool may save UTF-16 with a byte-order mark; otherwise 8-bit text.
  const auto encoding = QStringConverter::encodingForData(bytes);
  if (encoding && *encoding != QStringConverter::Utf8) return QStringDecoder(*encoding).decode(bytes);
  return QString::fromLatin1(bytes);
}

std::uint32_t Word(const QByteArray& image, qsizetype at) {
  if (at < 0 || at + 2 > image.size()) return 0;
  return static_cast<std::uint8_t>(image[at]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(image[at + 1])) << 8;
}

// Declared names and file of each sub-object, by address.
struct Named {
  QStringList names;
  QString file;
};

void NameChildren(const QByteArray& image, std::int32_t object, const QString& sourcePath, int depth,
                  std::map<std::int32_t, Named>& named, QSet<std::int32_t>& seen) {
  if (depth > kMaxDepth || seen.contains(object)) return;
  seen.insert(object);
  const QString source = ReadSource(sourcePath);
  if (source.isEmpty()) return;
  const std::vector<ObjDeclaration> declarations = ObjDeclarations(source);
  if (declarations.empty()) return;
  // The object's header: its length, its method count + 1, its sub-object count,
  // then one long per method and one per sub-object (offset from the object, VAR offset).
  const int methods = static_cast<int>(Word(image, object + 2) & 0xFF);
  const int objects = static_cast<int>(Word(image, object + 2) >> 8);
  std::vector<std::int32_t> children;
  for (int i = 0; i < objects; ++i) {
    const std::int32_t child = object + static_cast<std::int32_t>(Word(image, object + 4 * (methods + i)));
    if (child <= object || child >= kHubSize || child >= image.size()) return;  // not an object table
    children.push_back(child);
  }
  const QString folder = QFileInfo(sourcePath).absolutePath();
  std::size_t entry = 0;
  for (const ObjDeclaration& d : declarations) {
    if (entry >= children.size()) break;
    const std::int32_t child = children[entry];
    // An array takes one entry per element; a size this reader cannot tell is
    // the run of entries at the same address.
    std::size_t count = d.count > 0 ? static_cast<std::size_t>(d.count) : 1;
    if (d.count == 0) {
      while (entry + count < children.size() && children[entry + count] == child) ++count;
    }
    entry += count;
    // Two declarations of one file share its code: both names stand at it.
    Named& n = named[child];
    if (!n.names.contains(d.name)) n.names << d.name;
    n.file = d.file;
    const QString childSource = EntryNoCase(folder, d.file + ".spin");
    if (!childSource.isEmpty()) NameChildren(image, child, childSource, depth + 1, named, seen);
  }
}

}  // namespace

std::vector<ObjDeclaration> ObjDeclarations(const QString& source) {
  // Lines end in CR LF, LF or a lone CR alike.
  QString unified = source;
  unified.replace("\r\n", "\n");
  unified.replace('\r', '\n');
  const QString text = WithoutComments(unified);
  const QStringList lines = text.split('\n');
  static const QRegularExpression kSection("^(CON|VAR|OBJ|PUB|PRI|DAT)(?![A-Za-z0-9_])",
                                           QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression kEntry(
      "([A-Za-z_][A-Za-z0-9_]*)\\s*(\\[\\s*([^\\]]*?)\\s*\\])?\\s*:\\s*\"([^\"]+)\"");
  std::vector<ObjDeclaration> declarations;
  bool inObj = false;
  for (QString line : lines) {
    const QRegularExpressionMatch section = kSection.match(line);
    if (section.hasMatch()) {
      inObj = section.captured(1).compare("OBJ", Qt::CaseInsensitive) == 0;
      line = line.mid(section.capturedLength());
    }
    if (!inObj) continue;
    auto it = kEntry.globalMatch(line);
    while (it.hasNext()) {
      const QRegularExpressionMatch m = it.next();
      ObjDeclaration d;
      d.name = m.captured(1) + (m.capturedLength(2) > 0 ? "[" + m.captured(3) + "]" : QString());
      d.file = m.captured(4).trimmed();
      if (d.file.endsWith(".spin", Qt::CaseInsensitive)) d.file.chop(5);
      if (m.capturedLength(2) > 0) {
        bool number = false;
        const int size = m.captured(3).toInt(&number);
        d.count = number ? size : ConstantValue(text, m.captured(3));
        if (d.count < 0) d.count = 0;
      }
      declarations.push_back(d);
    }
  }
  return declarations;
}

std::map<std::int32_t, QString> SubObjectNames(const QByteArray& image, const QString& sourcePath) {
  std::map<std::int32_t, QString> names;
  if (image.size() < 16) return names;
  const auto top = static_cast<std::int32_t>(Word(image, 6));  // PBASE
  std::map<std::int32_t, Named> named;
  QSet<std::int32_t> seen;
  NameChildren(image, top, sourcePath, 0, named, seen);
  for (const auto& [address, n] : named) names[address] = n.names.join(", ") + " : " + n.file;
  return names;
}

}  // namespace brevin
