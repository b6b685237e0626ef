// The per-user settings store: application name -> section -> key -> text.
//
// Kept as one INI file per application name in the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config). Values are text: booleans "True" and
// "False", numbers in decimal. A value that cannot be read as its type counts
// as absent, so the caller's default applies.
#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace brevin {

class SettingsStore {
 public:
  explicit SettingsStore(const QString& appName);
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  const QString& AppName() const { return appName_; }
  QString FileName() const;

  bool Contains(const QString& section, const QString& key) const;
  QString ReadText(const QString& section, const QString& key, const QString& fallback = QString()) const;
  bool ReadBool(const QString& section, const QString& key, bool fallback) const;
  int ReadInt(const QString& section, const QString& key, int fallback) const;
  double ReadDouble(const QString& section, const QString& key, double fallback) const;
  // True when any key of the section holds a non-empty value.
  bool SectionHasValue(const QString& section) const;

  void WriteText(const QString& section, const QString& key, const QString& value);
  void WriteBool(const QString& section, const QString& key, bool value);
  void WriteInt(const QString& section, const QString& key, long long value);
  void WriteDouble(const QString& section, const QString& key, double value);

  // Writes pending changes to the file and picks up changes by other instances.
  void Sync();
  // Removes every key (tests start from a fresh store).
  void Clear();

 private:
  QString appName_;
  std::unique_ptr<QSettings> settings_;
};

// "True" or "False".
QString BoolText(bool value);
// The leading decimal number of the text, as a BASIC Val reads it: optional
// blanks and sign, then digits; text that does not begin with a number gives 0.
long long LeadingNumber(const QString& text);

}  // namespace brevin
