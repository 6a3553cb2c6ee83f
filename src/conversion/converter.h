#pragma once

// Converts one delimited text file into a tab-separated one, streaming: the
// input is read in large blocks and the output written as it is produced,
// in constant memory. The output first goes to a temporary file beside the
// target, which replaces the target only when complete.

#include <cstddef>
#include <string>

#include "conversion/encoding.h"
#include "platform/app_error.h"

namespace delvora {

// The system's narrow code page, in which files without a mark are read.
// UTF-8 on Linux and macOS; GetACP() on Windows.
struct NarrowCodePage {
  unsigned id = 65001;  // Windows code page number; 65001 is UTF-8
  static NarrowCodePage System();
};

struct ConversionOptions {
  std::string delimiter;  // UTF-8 text; empty leaves every line unchanged
  NarrowCodePage code_page = NarrowCodePage::System();
  std::size_t block_size = 1 << 20;
};

// Which side failed: the run reports reading and writing at different steps.
class ConversionFailure : public AppError {
 public:
  enum class Stage { kRead, kWrite };
  ConversionFailure(Stage stage, const AppError& error) : AppError(error), stage_(stage) {}
  Stage stage() const { return stage_; }

 private:
  Stage stage_;
};

// Throws ConversionFailure. On failure nothing partial is left and an older
// file at output_path is untouched. output_path may equal input_path.
void ConvertFile(const std::string& input_path, const std::string& output_path,
                 const ConversionOptions& options);

class ByteSource;
class ByteSink;

// The engine between any source and sink: reads the mark, converts every
// line and writes the output in the encoding that the mark calls for.
// Failures of the source come out at the read stage, failures of the sink
// at the write stage. Returns what the mark said.
UnicodeMark ConvertStream(ByteSource& source, ByteSink& sink, const ConversionOptions& options);

}  // namespace delvora
