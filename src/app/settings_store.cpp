#include "app/settings_store.h"

#include <QSettings>
#include <QStringList>
#include <QtDebug>
#include <cmath>

#include "platform/app_error.h"
#include "platform/product.h"

namespace delvora {

namespace {
constexpr int kErrTypeMismatch = 13;
}  // namespace

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QString::fromLatin1(kSettingsOrganisation),
                                            QString::fromLatin1(kProductTitle))) {}

SettingsStore::SettingsStore(const QString& ini_file)
    : settings_(std::make_unique<QSettings>(ini_file, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::GetSetting(const QString& key, const QString& default_value) const {
  const QVariant value = settings_->value(key);
  if (!value.isValid()) return default_value;
  // A hand-edited INI line with a bare comma reads back as a list; the user
  // meant one text.
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QLatin1Char(','));
  return value.toString();
}

void SettingsStore::SaveSetting(const QString& key, const QString& value) {
  // Take in what another copy of the program may have written meanwhile
  // (cheap when the file is unchanged), then write only a real change: the
  // start-up stores back every value it restores, and each write goes to
  // the disk before it returns.
  if (batch_depth_ == 0) settings_->sync();
  if (settings_->status() == QSettings::NoError && settings_->contains(key) &&
      GetSetting(key, QString()) == value) {
    return;
  }
  settings_->setValue(key, value);
  if (batch_depth_ == 0) Sync();
}

void SettingsStore::Sync() {
  settings_->sync();
  // A format error is about what was read (a hand-edited line the store
  // could not parse); the rest is still written.
  if (settings_->status() == QSettings::AccessError) {
    if (!write_failed_) {
      qWarning("Delvora: the settings store %s cannot be written; choices last for this run only",
               qPrintable(settings_->fileName()));
    }
    write_failed_ = true;
  }
}

SettingsStore::Batch::Batch(SettingsStore& store) : store_(store) {
  if (store_.batch_depth_++ == 0) store_.settings_->sync();
}

SettingsStore::Batch::~Batch() {
  if (--store_.batch_depth_ == 0) store_.Sync();
}

bool SettingsStore::Contains(const QString& key) const { return settings_->contains(key); }

QString SettingsStore::FileName() const { return settings_->fileName(); }

QString BooleanText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

bool BooleanFromText(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
  if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
  // Only plain decimal numbers: "inf" and "nan" are words, not numbers.
  bool plain = !trimmed.isEmpty();
  for (const QChar ch : trimmed) {
    if (!(ch.isDigit() || ch == QLatin1Char('-') || ch == QLatin1Char('+') ||
          ch == QLatin1Char('.') || ch == QLatin1Char('e') || ch == QLatin1Char('E'))) {
      plain = false;
      break;
    }
  }
  bool ok = false;
  const double number = plain ? trimmed.toDouble(&ok) : 0.0;
  if (ok && std::isfinite(number)) return number != 0.0;
  throw AppError(kErrTypeMismatch, "Type mismatch");
}

}  // namespace delvora
