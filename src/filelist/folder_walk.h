#pragma once

// Walking folder trees breadth-first and listing the files that match a
// pattern. Paths are UTF-8 text ending in the separator inside the queue.

#include <string>
#include <vector>

#include "platform/app_error.h"

namespace delvora {

// Appends, after the folders already queued, every folder below them,
// level by level. Folders that cannot be listed for lack of permission or
// because they vanished are dropped silently; other failures are reported
// at their step with the folder walk's location text.
void GetSubDirectories2016(std::vector<std::string>& folders, bool recurse,
                           ErrorReporter& reporter, Pump& pump);

// Names (not paths) of the files in folder matching pattern ("*.csv" matches
// case-insensitively, "*.*" matches every file), hidden and system files
// included, in listing order. Throws AppError when the folder cannot be listed.
std::vector<std::string> ListMatchingFiles(const std::string& folder, const std::string& pattern);

// The selection shared by "Add All CSV File(s) In Folder", dropped folders
// and the command line: every matching file of the folder and the folders
// below it, breadth-first, skipping names that begin with "~" and files
// whose attributes are exactly hidden+archive. Paths are normalised.
std::vector<std::string> CollectFolderFiles(const std::string& folder, const std::string& pattern,
                                            ErrorReporter& reporter, Pump& pump);

}  // namespace delvora
