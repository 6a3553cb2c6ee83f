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
  try {
    writer_ = std::thread([this] { WriterLoop(); });
    return true;
  } catch (const std::exception&) {
    // No thread to be had: write on the caller's thread instead.
    return false;
  }
}

WriteBehind::~WriteBehind() {
  if (!writer_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  writer_.join();
}

void WriteBehind::WaitIdle(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return queued_ == nullptr; });
  if (failure_) std::rethrow_exception(failure_);
}

bool WriteBehind::Queue(const unsigned char* data, std::size_t size, bool last) {
  // The first block is written here: most files fit in one, and a thread
  // would cost more than it saves; so is a last one while no thread runs.
  const bool first = submitted_++ == 0;
  if (!writer_.joinable() && (first || last || !background_ || !StartWriter())) {
    if (size != 0) sink_.Write(data, size);
    return false;
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    queued_ = data;
    queued_size_ = size;
  }
  changed_.notify_all();
  return true;
}

void WriteBehind::Submit(std::size_t size, bool last) {
  if (Queue(buffers_[current_], size, last)) current_ ^= 1;
}

void WriteBehind::SubmitOwn(const unsigned char* data, std::size_t size, bool last) {
  Queue(data, size, last);
}

void WriteBehind::Finish() {
  if (!writer_.joinable()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  WaitIdle(lock);
}

void WriteBehind::WriterLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || queued_ != nullptr; });
    if (stop_) return;
    const unsigned char* data = queued_;
    const std::size_t size = queued_size_;
    const bool failed_before = static_cast<bool>(failure_);
    lock.unlock();
    std::exception_ptr failure;
    try {
      if (size != 0 && !failed_before) sink_.Write(data, size);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (failure) failure_ = failure;
    queued_ = nullptr;
    changed_.notify_all();
  }
}

}  // namespace delvora
