// Converts files for tests written in other languages:
//   convert_driver MODE DELIMITER BLOCK_SIZE INPUT OUTPUT [INPUT OUTPUT]...
// MODE is textual, quoted or escaped. Prints "INPUT: failed: TEXT" for a
// file that fails and goes on with the next.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "conversion/converter.h"

int main(int argc, char** argv) {
  if (argc < 4 || argc % 2 != 0) {
    std::fprintf(stderr, "usage: convert_driver MODE DELIMITER BLOCK_SIZE [INPUT OUTPUT]...\n");
    return 2;
  }
  delvora::ConversionOptions options;
  const std::string mode = argv[1];
  options.quoting = mode == "quoted"    ? delvora::Quoting::kQuoted
                    : mode == "escaped" ? delvora::Quoting::kEscaped
                                        : delvora::Quoting::kTextual;
  options.delimiter = argv[2];
  options.code_page = delvora::NarrowCodePage{65001};
  options.block_size = std::strtoul(argv[3], nullptr, 10);
  for (int i = 4; i + 1 < argc; i += 2) {
    try {
      delvora::ConvertFile(argv[i], argv[i + 1], options);
    } catch (const delvora::AppError& error) {
      std::printf("%s: failed: %s\n", argv[i], error.description().c_str());
    }
  }
  return 0;
}
