#include "app/samples.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include "platform/app_error.h"

namespace delvora {

namespace {

void CheckLength(qsizetype length) {
  if (length > kMaxSampleListLength) throw StandardError(kErrOverflow);
}

template <typename Step>
std::string Shift(std::string_view bytes, std::string_view key, Pump* pump, Step step) {
  std::string result;
  result.reserve(bytes.size());
  std::size_t j = 0;
  for (const char byte : bytes) {
    if (pump != nullptr) pump->ProcessPendingMessages();
    const int c = static_cast<unsigned char>(byte);
    const int k = key.empty() ? 0 : static_cast<unsigned char>(key[j]);
    if (!key.empty()) j = (j + 1) % key.size();
    result.push_back(static_cast<char>(step(c, k)));
  }
  return result;
}

}  // namespace

std::string EncodeSampleBytes(std::string_view bytes, std::string_view key, Pump* pump) {
  return Shift(bytes, key, pump, [](int c, int k) {
    const int o = c + k;
    return o > 255 ? o - 255 : o;
  });
}

std::string DecodeSampleBytes(std::string_view bytes, std::string_view key, Pump* pump) {
  return Shift(bytes, key, pump, [](int c, int k) {
    const int o = c - k;
    return o < 1 ? o + 255 : o;
  });
}

QString EncodeSampleList(const QString& text, const QString& key, Pump* pump) {
  const QByteArray bytes = text.toUtf8();
  CheckLength(bytes.size());
  const QByteArray key_bytes = key.toUtf8();
  const std::string encoded = EncodeSampleBytes(
      std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
      std::string_view(key_bytes.constData(), static_cast<std::size_t>(key_bytes.size())), pump);
  // One stored character per byte, code 1 to 255.
  return QString::fromLatin1(encoded.data(), static_cast<qsizetype>(encoded.size()));
}

QString DecodeSampleList(const QString& text, const QString& key, Pump* pump) {
  CheckLength(text.size());
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(text.size()));
  // A hand-edited value may hold characters no encoding produced; like the
  // narrow code page, such a character counts as "?".
  for (const QChar ch : text)
    bytes.push_back(ch.unicode() > 255 ? '?' : static_cast<char>(ch.unicode()));
  const QByteArray key_bytes = key.toUtf8();
  const std::string decoded = DecodeSampleBytes(
      bytes, std::string_view(key_bytes.constData(), static_cast<std::size_t>(key_bytes.size())),
      pump);
  return QString::fromUtf8(decoded.data(), static_cast<qsizetype>(decoded.size()));
}

QString UsableSamplesFolder(const QString& samples_folder, const QString& documents_folder) {
  // Only a file really made there tells: permissions, read-only media and
  // Windows's access lists all answer the same way.
  QTemporaryFile probe(QDir(samples_folder).filePath(QStringLiteral(".delvora-XXXXXX")));
  if (!QFileInfo(samples_folder).isDir() || probe.open()) return samples_folder;
  return QDir::toNativeSeparators(
      QDir(documents_folder).filePath(QStringLiteral("Delvora Samples")));
}

void CopySamples(const QString& samples_folder, const QString& users_folder) {
  if (!QDir().mkpath(users_folder)) return;
  const QDir target(users_folder);
  const QFileInfoList files =
      QDir(samples_folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  for (const QFileInfo& file : files) {
    const QString copy = target.filePath(file.fileName());
    if (!QFileInfo::exists(copy) && QFile::copy(file.filePath(), copy)) {
      // A copy of a read-only file is read-only too: the user's is theirs.
      QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::WriteOwner);
    }
  }
}

}  // namespace delvora
