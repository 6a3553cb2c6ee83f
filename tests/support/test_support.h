#pragma once

// Shared helpers for tests that need no Qt.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/app_error.h"

namespace delvora::testing {

// A fresh directory removed again when the test ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // A UTF-8 name below the directory ("/" may separate folders).
  std::filesystem::path operator/(std::string_view name) const;
  std::string Utf8() const;
  // The UTF-8 path of a name below the directory, with the platform's
  // separators, as the program would be given it.
  std::string Utf8(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, std::string_view bytes);
// Makes a file hidden (and archived), and read-only if asked: an attribute
// on Windows; elsewhere hidden is a name that begins with "." and read-only
// the lack of write permission.
void MarkHidden(const std::filesystem::path& path, bool read_only = false);
std::string ReadFile(const std::filesystem::path& path);

#ifndef _WIN32
// A chain of folders below root whose absolute path passes the system's
// 4,096 bytes. No single call takes that path, so the tree is made and read
// relative to open folders; cut in two when it goes, so that root can be
// removed by path again. Names below it may hold "/".
class DeepFolder {
 public:
  explicit DeepFolder(const TempDir& root);
  ~DeepFolder();
  DeepFolder(const DeepFolder&) = delete;
  DeepFolder& operator=(const DeepFolder&) = delete;
  const std::string& path() const { return path_; }
  // The deepest folder, open: a child may change into it.
  int fd() const { return fd_; }
  void MakeFolder(const std::string& name) const;
  void Write(const std::string& name, std::string_view bytes) const;
  std::string Read(const std::string& name) const;

 private:
  std::string root_;
  std::string path_;
  int fd_ = -1;
  int middle_ = -1;  // the folder halfway down
};
#endif

struct ReportedError {
  int number;
  std::string description;
  std::string location;
  int step;
};

class RecordingReporter : public ErrorReporter {
 public:
  void ReportError(const AppError& error, std::string_view location, int step) override {
    errors.push_back({error.number(), error.description(), std::string(location), step});
  }
  std::vector<ReportedError> errors;
};

// The number of the AppError the call throws, or 0 when it throws none.
int ThrownNumber(const std::function<void()>& call);

class CountingPump : public Pump {
 public:
  void ProcessPendingMessages() override { ++calls; }
  int calls = 0;
};

}  // namespace delvora::testing
