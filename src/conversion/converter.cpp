#include "conversion/converter.h"

// Converting one file: the mark picks the reader and the output encoding,
// the record rule runs over large blocks, and the output goes through a
// temporary file that replaces the target only when all of it is written.
//
// Memory stays the same whatever the file size: two input blocks (a block
// of CR LF lines that needs nothing but its delimiters turned into tabs is
// converted where it was read and written from there while the next is
// read into the other), its decoded units and its converted output (at
// most twice the input, when every line ends in a bare LF, three times with
// quote-aware writing) plus the units carried between blocks (a few; a
// field up to a block long for the quote-aware rule). The buffers stay with
// the thread for the next file.

#include "conversion/block_loop.h"
#include "conversion/line_end.h"
#include "conversion/quoted_rule.h"
#include "conversion/record_rule.h"

namespace delvora {

UnicodeMark ConvertStream(ByteSource& source, ByteSink& sink, const ConversionOptions& options) {
  const Quoting quoting = options.quoting;
  const bool lf = options.line_end == LineEnd::kLf;
  return engine::RunStream(
      source, sink, options, options.write_behind,
      [quoting, lf](const auto& delimiter, bool matches, const std::array<bool, 256>* lead_bytes,
                    std::size_t block, auto&& run) {
        using Unit = typename std::decay_t<decltype(delimiter)>::value_type;
        const auto run_with_line_ends = [&]<typename Rule>(Rule& rule, std::size_t carry) {
          if (lf) {
            engine::LfLineEnds<Unit, Rule> lf_rule(rule);
            run(lf_rule, carry);
          } else {
            run(rule, carry);
          }
        };
        if (quoting == Quoting::kTextual) {
          LineConverter<Unit> rule(delimiter, matches, lead_bytes);
          run_with_line_ends(rule, engine::TextualCarry(delimiter.size()));
        } else {
          // A field up to a block long is held until its end, so that it is
          // written bare when it may be.
          QuotedRule<Unit> rule(delimiter, matches, quoting, lead_bytes, block);
          run_with_line_ends(rule, rule.MaxCarry());
        }
      });
}

void ConvertFile(const std::string& input_path, const std::string& output_path,
                 const ConversionOptions& options, bool named_output) {
  FileSource source(input_path);
  AtomicFileWriter writer(output_path, {named_output, source.permissions()});
  // A result replacing its own input is then the only copy of the data: it
  // goes to disk before the input's name is given to it. Other results can
  // be made again from their inputs and keep their speed.
  if (writer.Replaces(input_path)) writer.MakeDurable();
  ConvertStream(source, writer, options);
  // Let go of the input first: it may be the very file being replaced, and
  // Windows does not replace a file that is still open.
  source.Close();
  writer.Commit();
}

}  // namespace delvora
