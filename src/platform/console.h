#pragma once

// What the converter needs of its console: the arguments as UTF-8, output
// in UTF-8, standard input and output as raw bytes, and whether its errors
// are read by a person.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace delvora {

// The character of the arguments the entry point receives: UTF-16 on
// Windows (through wmain, so that every file name gets through), bytes
// elsewhere.
using ArgumentChar = std::filesystem::path::value_type;

// argv[1] to argv[argc - 1] as UTF-8 into args. Returns the position (from
// 1) of the first argument with no UTF-8 form (an unpaired surrogate: made
// into text, it would name another file or none), or 0.
int ArgumentsAsUtf8(int argc, ArgumentChar** argv, std::vector<std::string>& args);

// While it lives, the console shows UTF-8 output; the shell's own code
// page comes back after, as the console is the shell's too. Nothing to do
// elsewhere than Windows.
class Utf8Console {
 public:
  Utf8Console();
  ~Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  [[maybe_unused]] unsigned shell_code_page_ = 0;  // Windows only
};

bool StandardErrorIsTerminal();

// Standard input and output pass bytes through exactly: on Windows they are
// switched to binary mode, which would otherwise turn LF into CR LF and end
// the input at the first Ctrl+Z.
void UseBinaryStandardInput();
void UseBinaryStandardOutput();
// Reads up to size bytes (0 at the end); throws AppError with the
// platform's number and description.
std::size_t ReadStandardInput(void* buffer, std::size_t size);
// Writes all size bytes; throws AppError.
void WriteStandardOutput(const void* data, std::size_t size);
// One write of WriteStandardOutput, per system: the bytes written (up to a
// size the system's call takes), or -1 with errno set.
long WriteStandardOutputOnce(const void* data, std::size_t size);

}  // namespace delvora
