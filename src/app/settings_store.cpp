#include "app/settings_store.h"

#include <QSettings>

#include "platform/app_error.h"
#include "platform/product.h"

namespace delvora {

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            kSettingsOrganisation, kProductTitle)) {}

SettingsStore::SettingsStore(const QString& ini_file)
    : settings_(std::make_unique<QSettings>(ini_file, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::GetSetting(const QString& key, const QString& default_value) const {
  const QVariant value = settings_->value(key);
  return value.isValid() ? value.toString() : default_value;
}

void SettingsStore::SaveSetting(const QString& key, const QString& value) {
  settings_->setValue(key, value);
  settings_->sync();
}

bool SettingsStore::Contains(const QString& key) const { return settings_->contains(key); }

QString SettingsStore::FileName() const { return settings_->fileName(); }

QString BooleanText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

bool BooleanFromText(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
  if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
  bool ok = false;
  const double number = trimmed.toDouble(&ok);
  if (ok) return number != 0.0;
  throw AppError(13, "Type mismatch");
}

}  // namespace delvora
