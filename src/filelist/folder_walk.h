#pragma once

// Walking folder trees breadth-first and listing the files that match a
// pattern. Paths are UTF-8 text; inside a queue each folder ends in the
// platform's separator.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/app_error.h"
#include "platform/folder_listing.h"

namespace delvora {

// What the walk asks of the disk. Tests wrap the real one to make a folder
// fail the way a locked or vanished folder does.
class DirectoryLister {
 public:
  using Entry = FolderEntry;
  virtual ~DirectoryLister() = default;
  // Calls each for every entry of the folder but "." and "..", in the file
  // system's order. Throws AppError when the folder cannot be listed; the
  // entries passed before a failure stay passed.
  virtual void ForEachEntry(const std::string& folder,
                            const std::function<void(const Entry&)>& each);
  // A key equal for two paths exactly when they name the same folder, so
  // that a link back up the tree is walked once. Empty when unknown.
  virtual std::string FolderIdentity(const std::string& folder);
};

// The lister over the real file system.
DirectoryLister& RealDirectoryLister();

// True when a folder name holds a control character (U+0000 to U+001F,
// U+007F to U+009F) or is not valid UTF-8: such a folder is skipped with
// everything below it. Every other name the file system accepts is good.
bool NameHasBadCharacters(std::string_view name);

// Case-insensitive wildcard match of a file name ("*" any run, "?" one
// character); "*.*" matches every name, as on Windows.
bool NameMatchesPattern(std::string_view name, std::string_view pattern);

// Appends, after the folders already queued, every folder below them, level
// by level, each level in the order of the level above and, within one
// parent, in the file system's order. A folder that cannot be listed for
// lack of permission (70) or because it vanished (76) is removed silently;
// other failures are reported at their step with the folder walk's location
// text. No folder is queued twice, so a symbolic-link loop ends.
void GetSubDirectories2016(std::vector<std::string>& folders, bool recurse, ErrorReporter& reporter,
                           Pump& pump, DirectoryLister& lister = RealDirectoryLister());

// Names (not paths) of the files in folder matching pattern, hidden and
// system files included, folders excluded, in listing order; only names
// that open as existing files. Throws AppError when the folder cannot be
// listed.
std::vector<std::string> ListMatchingFiles(const std::string& folder, const std::string& pattern,
                                           DirectoryLister& lister = RealDirectoryLister());

// Receives the selection of CollectFolderFiles as it is made.
class FolderFileSink {
 public:
  virtual ~FolderFileSink() = default;
  virtual void AddFile(const std::string& path) = 0;
  // One folder's files have all been passed to AddFile (also when its
  // listing failed part way): a list can take them in as one batch.
  virtual void FolderListed() {}
  // One folder's files could not be listed (step 126). The selection goes
  // on with the next folder.
  virtual void ListingFailed(const AppError& error, int step) = 0;
};

// The step of the selection loop that lists a folder's files, as "Add All
// CSV File(s) In Folder" numbers it in its failure reports.
inline constexpr int kStepListFiles = 126;

// The selection shared by "Add All CSV File(s) In Folder", dropped folders
// and the command line: every matching file of the folder and the folders
// below it, breadth-first, skipping files whose names begin with "~" or
// whose attributes are exactly hidden+archive (34), and folders whose names
// are not valid UTF-8 or hold a control character, with everything below
// them. A file's name is kept as its bytes, UTF-8 or not. Paths are
// normalised. Entries reach the sink folder by folder. The pump runs only
// while the folders are walked, never while their files are listed and
// handed on: a window processing its messages there would lay out its list
// again for every folder.
void CollectFolderFiles(const std::string& folder, const std::string& pattern,
                        ErrorReporter& reporter, Pump& pump, FolderFileSink& sink,
                        DirectoryLister& lister = RealDirectoryLister());

// The same, collected into a vector; listing failures are reported through
// reporter with listing_location.
std::vector<std::string> CollectFolderFiles(
    const std::string& folder, const std::string& pattern, ErrorReporter& reporter, Pump& pump,
    const std::string& listing_location = FormLocation("PushButton9_Click"));

}  // namespace delvora
