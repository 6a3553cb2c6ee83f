#pragma once

// The per-user store of the user's choices. Every write reaches the disk (or
// the registry) before it returns, so a program killed right after a change
// keeps it.

#include <QString>
#include <functional>
#include <memory>

class QSettings;

namespace delvora {

class SettingsStore {
 public:
  // The user's own store: organisation "Quorvane", application "Delvora"
  // ($XDG_CONFIG_HOME/Quorvane/Delvora.conf on Linux, the current user's
  // registry under Software\Quorvane\Delvora on Windows).
  SettingsStore();
  // A store kept in the given INI file (tests, portable use).
  explicit SettingsStore(const QString& ini_file);
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // The stored text, or `default_value` when the key was never written.
  QString GetSetting(const QString& key, const QString& default_value) const;
  // Stores the text and writes it through at once. A store that cannot be
  // written (read-only medium, a file where a folder should be) keeps the
  // value for this run, remembers the failure and never throws: a keystroke
  // must not bring the window down.
  void SaveSetting(const QString& key, const QString& value);
  bool Contains(const QString& key) const;
  QString FileName() const;
  // True once a write could not reach the disk.
  bool WriteFailed() const { return write_failed_; }
  // Why the first failed write failed, in plain words ("Permission denied").
  const QString& WriteFailureReason() const { return failure_reason_; }
  // Called once, right after the first write that could not reach the disk.
  void OnFirstWriteFailure(std::function<void()> callback) {
    on_first_failure_ = std::move(callback);
  }

  // While one lives, writes collect in memory and reach the disk together
  // when it ends. Only for the start-up, which stores back what it restores
  // before the user can change anything: one disk write instead of a dozen.
  class Batch {
   public:
    explicit Batch(SettingsStore& store);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    SettingsStore& store_;
  };

 private:
  void Sync();

  std::unique_ptr<QSettings> settings_;
  bool write_failed_ = false;
  QString failure_reason_;
  std::function<void()> on_first_failure_;
  int batch_depth_ = 0;
};

// "True"/"False" as stored for options.
QString BooleanText(bool value);
// Reads an option value: "True"/"False" (any case) or a decimal number, zero
// meaning false. Anything else throws AppError 13 "Type mismatch".
bool BooleanFromText(const QString& text);

}  // namespace delvora
