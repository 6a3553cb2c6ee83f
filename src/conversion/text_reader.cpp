#include "conversion/text_reader.h"

#include "conversion/converter.h"

namespace delvora {

namespace {

[[noreturn]] void FailRead(const AppError& error) {
  throw ConversionFailure(ConversionFailure::Stage::kRead, error);
}

}  // namespace

std::size_t ReadUpTo(ByteSource& source, void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t got = 0;
  while (got < size) {
    const std::size_t n = source.Read(bytes + got, size - got);
    if (n == 0) break;
    got += n;
  }
  return got;
}

FileSource::FileSource(const std::string& path) try : file_(path) {
} catch (const AppError& error) {
  FailRead(error);
}

std::size_t FileSource::Read(void* buffer, std::size_t size) {
  try {
    return file_.Read(buffer, size);
  } catch (const AppError& error) {
    FailRead(error);
  }
}

}  // namespace delvora
