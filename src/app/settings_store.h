#pragma once

// The per-user store of the user's choices. Every write reaches the disk (or
// the registry) before it returns, so a program killed right after a change
// keeps it.

#include <QString>
#include <memory>

class QSettings;

namespace delvora {

class SettingsStore {
 public:
  // The user's own store: organisation "Quorvane", application "Delvora"
  // ($XDG_CONFIG_HOME/Quorvane/Delvora.conf on Linux, the current user's
  // registry on Windows).
  SettingsStore();
  // A store kept in the given INI file (tests, portable use).
  explicit SettingsStore(const QString& ini_file);
  ~SettingsStore();

  QString GetSetting(const QString& key, const QString& default_value) const;
  void SaveSetting(const QString& key, const QString& value);
  bool Contains(const QString& key) const;
  QString FileName() const;

 private:
  std::unique_ptr<QSettings> settings_;
};

// "True"/"False" as stored for options.
QString BooleanText(bool value);
// Reads an option value: "True"/"False" (any case) or a number, zero false.
// Throws AppError(13-like type mismatch) for anything else.
bool BooleanFromText(const QString& text);

}  // namespace delvora
