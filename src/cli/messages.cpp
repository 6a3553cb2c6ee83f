#include "cli/messages.h"

#include <algorithm>

#include "platform/app_error.h"
#include "platform/utf8.h"

namespace delvora {

std::string CheckName(std::string_view text) {
  std::string shown = Shown(text);
  for (std::size_t at = shown.find(": "); at != std::string::npos; at = shown.find(": ", at))
    shown.replace(at, 2, ":\\x20");
  return shown;
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  json += EscapeText(text, EscapeStyle::kJson);
  json += '"';
  return json;
}

std::string Quoted(std::string_view text) {
  // Appended, not "'" + Shown(text): g++ 12 warns wrongly about that form.
  std::string quoted = "'";
  quoted += Shown(text);
  quoted += '\'';
  return quoted;
}

std::string FileLine(std::string_view name, std::string_view text) {
  return std::string(kProgram) + ": " + Shown(name) + ": " + std::string(text) + "\n";
}

std::string NoCsvWarningLine(std::string_view folder) {
  return std::string(kProgram) + ": warning: " + Shown(folder) +
         ": no *.csv file in this folder or below it\n";
}

std::string ProgressLine(std::size_t number, std::size_t count, std::string_view input) {
  return "file " + std::to_string(number) + " of " + std::to_string(count) + ": " + Shown(input) +
         "\n";
}

std::string DryRunLine(std::string_view input, std::string_view output) {
  return Shown(input) + " \xE2\x86\x92 " + Shown(output) + "\n";
}

std::string UsageErrorLines(std::string_view message) {
  return std::string(kProgram) + ": " + std::string(message) + "\nTry '" + kProgram +
         " --help' for more information.\n";
}

std::string CollisionLine(std::string_view input, std::string_view output, Collision::Kind kind,
                          std::string_view other_input) {
  const std::string other = Shown(other_input);
  return FileLine(input, "cannot write " + Shown(output) + ": " +
                             std::string(StandardDescription(kErrFileExists)) +
                             (kind == Collision::Kind::kPendingInput
                                  ? " (it is the input " + other + ", not yet converted)"
                                  : " (written from " + other + " earlier in this run)"));
}

std::string FailureLine(std::string_view input, std::string_view output_shown,
                        std::string_view description, bool partial_output) {
  std::string text;
  if (!output_shown.empty()) text = "cannot write " + std::string(output_shown) + ": ";
  text += description;
  if (partial_output) text += " (the standard output holds an incomplete result)";
  return FileLine(input, text);
}

}  // namespace delvora
