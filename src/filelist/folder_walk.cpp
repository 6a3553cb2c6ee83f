#include "filelist/folder_walk.h"

#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "conversion/paths.h"
#include "platform/file_attributes.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/utf8.h"
#include "platform/utf8_path.h"

namespace delvora {

namespace {

// Folders the system keeps to itself (folder+system+hidden, with or
// without a reparse point) are never walked or listed below the chosen one.
constexpr int kSystemFolder = kAttrDirectory | kAttrSystem | kAttrHidden;
constexpr int kSystemFolderLink = kSystemFolder | kAttrReparsePoint;

// Hidden and system are attributes of their own on Windows; elsewhere
// hidden is a name that begins with "." and nothing is the system's.
constexpr bool kFoldersCanBeSystem = kAttributesAreStored;
constexpr bool kHiddenIsInTheName = !kAttributesAreStored;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != kNativeSeparator) folder.push_back(kNativeSeparator);
  return folder;
}

// One walk over a tree: remembers every folder queued so far, so that a
// link pointing back up the tree (or to a folder already queued) is not
// walked again.
class Walk {
 public:
  Walk(ErrorReporter& reporter, Pump& pump, DirectoryLister& lister)
      : reporter_(reporter), pump_(pump), lister_(lister) {}

  void Run(std::vector<std::string>& folders, bool recurse) {
    for (const std::string& folder : folders) Remember(folder);
    Level(folders, recurse);
  }

 private:
  // True the first time a folder is seen.
  bool Remember(const std::string& folder) {
    std::string identity = lister_.FolderIdentity(folder);
    if (identity.empty()) return true;
    return seen_.insert(std::move(identity)).second;
  }

  bool Walkable(const std::string& folder) {
    if constexpr (!kFoldersCanBeSystem) return true;
    if (IsRootFolder(folder)) return true;
    int attributes = 0;
    try {
      attributes = FileAttributes(folder);
    } catch (const AppError& error) {
      // A folder that vanished since it was found is no failure of the
      // walk: its listing finds it gone and drops it, as everywhere.
      if (error.number() == kErrFileNotFound || error.number() == kErrPathNotFound) return true;
      throw;
    }
    return attributes != kSystemFolder && attributes != kSystemFolderLink;
  }

  bool SubFolderNameIsGood(const std::string& name) {
    return WithinPathLimit(name) && !NameHasBadCharacters(name) && name != "." && name != "..";
  }

  void Level(std::vector<std::string>& folders, bool recurse) {
    StepRunner steps(reporter_, kFolderWalkLocation);
    std::vector<std::string> below;
    std::vector<std::string> gone;
    // Step numbers are the walk's own, as its failure reports show them.
    for (const std::string& v : folders) {
      bool& walked = walked_[v];
      if (!steps.If(108, [&] { return FolderExists(v) && WithinPathLimit(v); })) continue;
      steps.Do(114, [&] { pump_.ProcessPendingMessages(); });
      if (!steps.If(116, [&] { return Walkable(v); })) continue;
      walked = true;
      try {
        lister_.ForEachEntry(v, [&](const DirectoryLister::Entry& entry) {
          if (!entry.is_folder) return;
          pump_.ProcessPendingMessages();
          if (!SubFolderNameIsGood(entry.name)) return;
          std::string sub = v + entry.name;
          sub.push_back(kNativeSeparator);
          if (Remember(sub)) below.push_back(std::move(sub));
        });
      } catch (const AppError& error) {
        // A locked or vanished folder leaves the queue; any failure ends
        // only this folder's listing, keeping what was found before it.
        if (error.number() == kErrPermissionDenied || error.number() == kErrPathNotFound) {
          gone.push_back(v);
        }
      } catch (const std::exception&) {
      }
    }
    if (!gone.empty()) {
      // Each failed folder leaves at its first position; one pass, however
      // many folders of a level are locked.
      std::unordered_multiset<std::string> leaving(gone.begin(), gone.end());
      std::erase_if(folders, [&](const std::string& v) {
        const auto it = leaving.find(v);
        if (it == leaving.end()) return false;
        leaving.erase(it);
        return true;
      });
    }
    if (!below.empty() && recurse) steps.Do(150, [&] { Level(below, true); });
    for (const std::string& v : below) {
      // The deeper level has just examined each of these folders; its
      // answer stands rather than asking the disk the same again.
      const auto examined = walked_.find(v);
      if (examined != walked_.end()) {
        if (!examined->second) continue;
        steps.Do(156, [&] { pump_.ProcessPendingMessages(); });
        folders.push_back(v);
        continue;
      }
      if (!steps.If(154, [&] { return FolderExists(v); })) continue;
      steps.Do(156, [&] { pump_.ProcessPendingMessages(); });
      if (steps.If(158, [&] { return Walkable(v); })) folders.push_back(v);
    }
  }

  ErrorReporter& reporter_;
  Pump& pump_;
  DirectoryLister& lister_;
  std::unordered_set<std::string> seen_;
  // Whether each folder examined so far exists, fits the path limit and may
  // be walked.
  std::unordered_map<std::string, bool> walked_;
};

// The files of one folder (prefix ends in the separator) whose names match.
// A name that is not UTF-8 is kept as its bytes: the file system resolves
// it, so the list takes it and messages show it escaped. "~" names (an
// editor's owner and temporary files) are left out before the disk is asked
// about them when skip_tilde is set.
void ForEachMatchingFile(const std::string& prefix, const std::string& pattern,
                         DirectoryLister& lister, bool skip_tilde, bool skip_hidden_archive,
                         const std::function<void(const std::string&)>& each) {
  lister.ForEachEntry(prefix, [&](const DirectoryLister::Entry& entry) {
    if (entry.is_folder || !NameMatchesPattern(entry.name, pattern)) return;
    if (skip_tilde && entry.name.front() == '~') return;
    // A plain file whose name does not mark it hidden exists and cannot be
    // hidden+archive: nothing more to ask the disk.
    if constexpr (kHiddenIsInTheName) {
      if (entry.is_plain_file && entry.name.front() != '.') {
        each(entry.name);
        return;
      }
    }
    const std::optional<int> attributes = ExistingFileAttributes(prefix + entry.name);
    if (!attributes) return;
    // Hidden+archive and nothing else: an editor's lock or backup copy.
    if (skip_hidden_archive && *attributes == (kAttrHidden | kAttrArchive)) return;
    each(entry.name);
  });
}

class VectorSink : public FolderFileSink {
 public:
  VectorSink(ErrorReporter& reporter, const std::string& location)
      : reporter_(reporter), location_(location) {}
  void AddFile(const std::string& path) override { files.push_back(path); }
  void ListingFailed(const AppError& error, int step) override {
    reporter_.ReportError(error, location_, step);
  }
  std::vector<std::string> files;

 private:
  ErrorReporter& reporter_;
  const std::string& location_;
};

}  // namespace

void DirectoryLister::ForEachEntry(const std::string& folder,
                                   const std::function<void(const Entry&)>& each) {
  ListFolder(folder, each);
}

std::string DirectoryLister::FolderIdentity(const std::string& folder) {
  // The volume and the file number name the folder itself, under whichever
  // path it was reached (canonical() resolves no link on Windows).
  const std::optional<PathIdentity> id = FileIdentity(folder);
  if (!id) return std::string();
  return std::to_string(id->volume) + ":" + std::to_string(id->index);
}

DirectoryLister& RealDirectoryLister() {
  static DirectoryLister lister;
  return lister;
}

bool NameHasBadCharacters(std::string_view name) {
  char32_t code = 0;
  while (!name.empty()) {
    const std::size_t length = DecodeUtf8Sequence(name, code);
    if (length == 0) return true;
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) return true;
    name.remove_prefix(length);
  }
  return false;
}

bool NameMatchesPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*.*" || pattern == "*") return true;
  // Greedy match with one backtrack point for the last "*": linear enough
  // for file names, and no recursion.
  std::size_t n = 0;
  std::size_t p = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void GetSubDirectories2016(std::vector<std::string>& folders, bool recurse, ErrorReporter& reporter,
                           Pump& pump, DirectoryLister& lister) {
  Walk(reporter, pump, lister).Run(folders, recurse);
}

std::vector<std::string> ListMatchingFiles(const std::string& folder, const std::string& pattern,
                                           DirectoryLister& lister) {
  std::vector<std::string> names;
  names.reserve(100);
  ForEachMatchingFile(WithSeparator(folder), pattern, lister, false, false,
                      [&](const std::string& name) { names.push_back(name); });
  return names;
}

void CollectFolderFiles(const std::string& folder, const std::string& pattern,
                        ErrorReporter& reporter, Pump& pump, FolderFileSink& sink,
                        DirectoryLister& lister) {
  std::vector<std::string> queue{folder + kNativeSeparator};
  GetSubDirectories2016(queue, true, reporter, pump, lister);
  // Every queued folder already ends in the separator the names join with.
  for (const std::string& prefix : queue) {
    try {
      ForEachMatchingFile(prefix, pattern, lister, true, true, [&](const std::string& name) {
        sink.AddFile(NormalizeBackslashes(prefix + name, kNativeSeparator));
      });
    } catch (const AppError& error) {
      // What was found before the failure is in the list before the report.
      sink.FolderListed();
      sink.ListingFailed(error, kStepListFiles);
      continue;
    }
    sink.FolderListed();
  }
}

std::vector<std::string> CollectFolderFiles(const std::string& folder, const std::string& pattern,
                                            ErrorReporter& reporter, Pump& pump,
                                            const std::string& listing_location) {
  VectorSink sink(reporter, listing_location);
  CollectFolderFiles(folder, pattern, reporter, pump, sink);
  return std::move(sink.files);
}

}  // namespace delvora
