#pragma once

// Text rules for paths. Each takes the separator so that the Windows rules
// ("\\", network paths "\\\\server") are exercised on every platform.

#include <string>
#include <string_view>

namespace delvora {

// Text after the last separator, or the whole text.
std::string GetFileName(std::string_view path, char separator);
// Text up to and including the last separator, or "".
std::string GetFolderPath(std::string_view path, char separator);
// The name without its last extension ("report.final.csv" -> "report.final";
// ".csv" and "README" unchanged).
std::string StripExtension(std::string_view name);
// Collapses doubled separators. With "\\" a leading run becomes exactly two
// (network paths); with "/" a leading run becomes exactly one.
std::string NormalizeBackslashes(std::string_view path, char separator);
// A full path with doubled separators and "." steps taken out, the way the
// folder walk lists its files. ".." stays, since it may climb out of a
// linked folder; the literal "\\?\" and device "\\.\" forms stay whole.
std::string NormalPath(std::string_view full, char separator);

// Where results go.
enum class OutputLocation {
  kFolder,       // "Save results to this folder:" with the folder text
  kBesideInput,  // "Save results in folder of original file"
  kBareName,     // neither chosen: the name alone, relative to the current folder
};

// The output path of an input: its name with the last extension replaced by
// ".tsv", in the chosen place, normalised.
std::string OutputPathFor(std::string_view input_path, OutputLocation location,
                          std::string_view folder_text, char separator);

}  // namespace delvora
