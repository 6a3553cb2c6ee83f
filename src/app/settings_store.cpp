#include "app/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>
#include <QtDebug>
#include <cmath>

#include "platform/app_error.h"
#include "platform/product.h"

namespace delvora {

namespace {

// The store only says that it could not write; ask the file system why, the
// way the store goes about it: its folder, the file, a new file beside it.
QString WhyUnwritable(const QString& file_name) {
  const QFileInfo file(file_name);
  if (!file.isAbsolute()) return QStringLiteral("Access denied");  // not a file: the registry
  if (file.isDir()) return QStringLiteral("A folder stands at the file's place");
  const QString folder = file.absolutePath();
  if (!QDir().mkpath(folder)) return QStringLiteral("Path not found");
  if (file.exists()) {
    QFile existing(file_name);
    if (!existing.open(QIODevice::ReadWrite)) return existing.errorString();
  }
  QTemporaryFile beside(QDir(folder).filePath(QStringLiteral("Delvora.XXXXXX")));
  if (!beside.open()) return beside.errorString();
  // A full disk still takes a new empty file; not its contents.
  if (beside.write(QByteArray(4096, ' ')) != 4096 || !beside.flush())
    return QString::fromUtf8(StandardDescription(kErrDiskFull));
  return QStringLiteral("The store refused the write");
}

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
    if (write_failed_) return;
    write_failed_ = true;
    failure_reason_ = WhyUnwritable(settings_->fileName());
    qWarning(
        "Delvora: the settings store %s cannot be written (%s); choices last for this run only",
        qPrintable(settings_->fileName()), qPrintable(failure_reason_));
    if (on_first_failure_) on_first_failure_();
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
  throw StandardError(kErrTypeMismatch);
}

}  // namespace delvora
