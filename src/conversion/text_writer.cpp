#include "conversion/text_writer.h"

#include "conversion/converter.h"

namespace delvora {

namespace {

[[noreturn]] void FailWrite(const AppError& error) {
  throw ConversionFailure(ConversionFailure::Stage::kWrite, error);
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& target_path, ResultTarget target) try
    : file_(target_path, target) {
} catch (const AppError& error) {
  FailWrite(error);
}

void AtomicFileWriter::Write(const void* data, std::size_t size) {
  try {
    file_.Write(data, size);
  } catch (const AppError& error) {
    FailWrite(error);
  }
}

void AtomicFileWriter::Commit() {
  try {
    file_.Commit(durable_);
  } catch (const AppError& error) {
    FailWrite(error);
  }
}

WriteBehind::WriteBehind(ByteSink& sink, unsigned char* first, unsigned char* second,
                         std::size_t capacity, bool background)
    : sink_(sink), background_(background), buffers_{first, second}, capacity_(capacity) {}

bool WriteBehind::StartWriter() {
  background_ = false;  // one attempt only
  // No thread to be had: write on the caller's thread instead.
  return writer_.Start();
}

WriteBehind::~WriteBehind() = default;

void WriteBehind::WaitIdle() {
  writer_.Wait();
  if (failure_) std::rethrow_exception(failure_);
}

bool WriteBehind::Queue(const unsigned char* data, std::size_t size, bool last) {
  // The first block is written here: most files fit in one, and a thread
  // would cost more than it saves; so is a last one while no thread runs.
  const bool first = submitted_++ == 0;
  if (!writer_.started() && (first || last || !background_ || !StartWriter())) {
    if (size != 0) sink_.Write(data, size);
    return false;
  }
  WaitIdle();
  writer_.Post([this, data, size] {
    try {
      if (size != 0) sink_.Write(data, size);
    } catch (...) {
      failure_ = std::current_exception();
    }
  });
  return true;
}

void WriteBehind::Submit(std::size_t size, bool last, std::size_t offset) {
  if (Queue(buffers_[current_] + offset, size, last)) current_ ^= 1;
}

void WriteBehind::SubmitOwn(const unsigned char* data, std::size_t size, bool last) {
  Queue(data, size, last);
}

void WriteBehind::Finish() {
  if (writer_.started()) WaitIdle();
}

}  // namespace delvora
