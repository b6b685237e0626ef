#include "window/settings_store.h"

#include <QFile>
#include <QSaveFile>
#include <QSettings>

namespace brevin {

namespace {

QString Path(const QString& section, const QString& key) { return section + '/' + key; }

// QSettings writes a blank in a section name as "%20" ("[Debug%20Opc]"); the
// store's layout has the names with their blanks ("[Debug Opc]"), which QSettings
// reads back as the same section. The file is replaced whole, never half written.
void UnescapeSectionBlanks(const QString& fileName) {
  QFile in(fileName);
  if (!in.open(QIODevice::ReadOnly)) return;
  QByteArray text = in.readAll();
  in.close();
  bool changed = false;
  qsizetype start = 0;
  while (start < text.size()) {
    qsizetype end = text.indexOf('\n', start);
    if (end < 0) end = text.size();
    if (text.at(start) == '[') {
      const QByteArray line = text.mid(start, end - start);
      if (line.contains("%20")) {
        QByteArray fixed = line;
        fixed.replace("%20", " ");
        text.replace(start, line.size(), fixed);
        end -= line.size() - fixed.size();
        changed = true;
      }
    }
    start = end + 1;
  }
  if (!changed) return;
  QSaveFile out(fileName);
  if (!out.open(QIODevice::WriteOnly)) return;
  out.write(text);
  out.commit();
}

}  // namespace

QString BoolText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

long long LeadingNumber(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > 100000000000000LL) break;  // far beyond any count the program keeps
    value = value * 10 + (text[i].unicode() - '0');
  }
  return negative ? -value : value;
}

SettingsStore::SettingsStore(const QString& appName)
    : appName_(appName), settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, appName)) {}

SettingsStore::~SettingsStore() { Sync(); }

QString SettingsStore::FileName() const { return settings_->fileName(); }

bool SettingsStore::Contains(const QString& section, const QString& key) const {
  return settings_->contains(Path(section, key));
}

QString SettingsStore::ReadText(const QString& section, const QString& key, const QString& fallback) const {
  const QVariant value = settings_->value(Path(section, key));
  if (!value.isValid() || !value.canConvert<QString>()) return fallback;
  return value.toString();
}

bool SettingsStore::ReadBool(const QString& section, const QString& key, bool fallback) const {
  const QString text = ReadText(section, key).trimmed();
  if (text.compare("True", Qt::CaseInsensitive) == 0) return true;
  if (text.compare("False", Qt::CaseInsensitive) == 0) return false;
  return fallback;
}

int SettingsStore::ReadInt(const QString& section, const QString& key, int fallback) const {
  bool ok = false;
  const int value = ReadText(section, key).trimmed().toInt(&ok);
  return ok ? value : fallback;
}

double SettingsStore::ReadDouble(const QString& section, const QString& key, double fallback) const {
  bool ok = false;
  const double value = ReadText(section, key).trimmed().toDouble(&ok);
  return ok ? value : fallback;
}

bool SettingsStore::SectionHasValue(const QString& section) const {
  settings_->beginGroup(section);
  bool found = false;
  for (const QString& key : settings_->childKeys()) {
    if (!settings_->value(key).toString().isEmpty()) found = true;
  }
  settings_->endGroup();
  return found;
}

void SettingsStore::WriteText(const QString& section, const QString& key, const QString& value) {
  settings_->setValue(Path(section, key), value);
}

void SettingsStore::WriteBool(const QString& section, const QString& key, bool value) {
  WriteText(section, key, BoolText(value));
}

void SettingsStore::WriteInt(const QString& section, const QString& key, long long value) {
  WriteText(section, key, QString::number(value));
}

void SettingsStore::WriteDouble(const QString& section, const QString& key, double value) {
  WriteText(section, key, QString::number(value));
}

void SettingsStore::Sync() {
  settings_->sync();
  if (settings_->status() == QSettings::NoError) UnescapeSectionBlanks(settings_->fileName());
}

void SettingsStore::Clear() {
  settings_->clear();
  settings_->sync();
}

}  // namespace brevin
