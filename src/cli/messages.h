#pragma once

// What delvora-convert says: every line names its file the same way, so a
// name can never break a line or drive the terminal.

#include <cstddef>
#include <string>
#include <string_view>

#include "conversion/batch_plan.h"
#include "platform/utf8.h"

namespace delvora {

inline constexpr const char* kProgram = "delvora-convert";

// Names are shown through Shown (platform/utf8.h): one line, nothing a
// terminal would act on, nothing invisible; the platform's separators stay.
// Shown, for the start of a --check line: ": " becomes ":\x20", so that the
// first ": " on the line ends the name.
std::string CheckName(std::string_view text);
// A JSON string (quotes included), by the same rule as Shown in JSON's
// form (EscapeText, platform/utf8.h).
std::string JsonString(std::string_view text);
// Shown, in single quotes: for names inside a sentence.
std::string Quoted(std::string_view text);

// "delvora-convert: NAME: TEXT\n".
std::string FileLine(std::string_view name, std::string_view text);
// A folder PATH that gave no input.
std::string NoCsvWarningLine(std::string_view folder);
// Progress: item number (from 1) of count, before its work.
std::string ProgressLine(std::size_t number, std::size_t count, std::string_view input);
// --dry-run: "input → output".
std::string DryRunLine(std::string_view input, std::string_view output);
// A usage error and where to read more.
std::string UsageErrorLines(std::string_view message);
// A result refused before the run: it would replace other_input or the
// result written from it.
std::string CollisionLine(std::string_view input, std::string_view output, Collision::Kind kind,
                          std::string_view other_input);
// A file that failed; output_shown is how the target is named (a file or
// the standard output) when the write failed, empty when the read did.
// partial_output: part of the result already reached the standard output.
std::string FailureLine(std::string_view input, std::string_view output_shown,
                        std::string_view description, bool partial_output);

}  // namespace delvora
