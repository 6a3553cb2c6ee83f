// The helpers of bench/shapes.sh, in one program:
//
//   shapes_tool gen SHAPE MEGABYTES FILE
//     writes a comma-separated file of about MEGABYTES MB (10^6 bytes) of
//     one shape, the same bytes on every machine:
//       numeric    short numeric fields, CR LF
//       numeric-lf the same with LF line ends
//       text       a few long fields of words, CR LF
//       nonascii   short fields of non-ASCII names ("Zürich", "東京都",
//                  "Москва", ...) and numbers, UTF-8 without a mark, CR LF
//       quotes     quoted fields on every line, with doubled quotes,
//                  delimiters and line breaks inside them, CR LF
//       utf16      nonascii as UTF-16LE with its mark
//
//   shapes_tool time RESULT COMMAND ARGS...
//     runs COMMAND (its standard output thrown away) and appends one line
//     to RESULT: wall seconds, user and system CPU seconds of the command
//     and every thread and child of it, its peak resident KB and its exit
//     status. Microseconds, where /usr/bin/time gives hundredths.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

namespace {

class Random {
 public:
  std::uint32_t Next(std::uint32_t bound) {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::uint32_t>((state_ >> 33) % bound);
  }

 private:
  std::uint64_t state_ = 0x5eed;
};

constexpr const char* kWords[] = {
    "the",    "delivery",  "arrived", "late",  "customer", "invoice",  "paid",    "pending",
    "north",  "warehouse", "order",   "was",   "shipped",  "from",     "our",     "central",
    "office", "after",     "review",  "and",   "approval", "by",       "account", "manager",
    "notes",  "include",   "several", "items", "missing",  "returned", "partial", "refund"};
constexpr const char* kPlaces[] = {"Zürich",   "東京都",          "Москва",    "São Paulo",
                                   "Kraków",   "Αθήνα",           "Reykjavík", "서울",
                                   "İstanbul", "Ciudad de México"};

std::string Row(std::string_view shape, Random& random, std::uint64_t row) {
  std::string line;
  const auto number = [&](std::uint32_t bound) { line += std::to_string(random.Next(bound)); };
  const auto words = [&](int count) {
    for (int i = 0; i < count; ++i) {
      if (i != 0) line += ' ';
      line += kWords[random.Next(std::size(kWords))];
    }
  };
  if (shape == "numeric" || shape == "numeric-lf") {
    line += std::to_string(row);
    for (int i = 0; i < 7; ++i) {
      line += ',';
      number(i % 2 == 0 ? 1000 : 100000);
      if (i == 3) line += ".25";
    }
  } else if (shape == "text") {
    line += std::to_string(row);
    for (int i = 0; i < 3; ++i) {
      line += ',';
      words(8 + static_cast<int>(random.Next(24)));
    }
  } else if (shape == "nonascii" || shape == "utf16") {
    line += std::to_string(row);
    for (int i = 0; i < 3; ++i) {
      line += ',';
      line += kPlaces[random.Next(std::size(kPlaces))];
      line += ',';
      number(10000);
    }
  } else {  // quotes
    line += std::to_string(row);
    line += ",\"Smith, ";
    words(1);
    line += "\",\"";
    words(2);
    line += " \"\"";
    words(1);
    line += "\"\" ";
    words(2);
    line += "\",";
    number(100000);
    line += ",\"";
    words(3);
    if (random.Next(3) == 0) {
      line += "\r\n";
      words(4);
    }
    line += "\"";
  }
  line += shape == "numeric-lf" ? "\n" : "\r\n";
  return line;
}

// UTF-8 (valid, as generated) to UTF-16LE.
void PutUtf16(std::string_view text, std::string& out) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::uint32_t c;
    std::size_t n;
    if (b < 0x80) {
      c = b, n = 1;
    } else if (b < 0xE0) {
      c = b & 0x1F, n = 2;
    } else if (b < 0xF0) {
      c = b & 0x0F, n = 3;
    } else {
      c = b & 0x07, n = 4;
    }
    for (std::size_t k = 1; k < n; ++k)
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += n;
    const auto unit = [&](std::uint32_t u) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>(u >> 8);
    };
    if (c >= 0x10000) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
}

int Generate(std::string_view shape, long megabytes, const char* path) {
  constexpr std::string_view kShapes[] = {"numeric",  "numeric-lf", "text",
                                          "nonascii", "quotes",     "utf16"};
  bool known = false;
  for (std::string_view s : kShapes) known = known || s == shape;
  if (!known || megabytes <= 0) {
    std::fprintf(stderr, "shapes_tool: unknown shape or size\n");
    return 2;
  }
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    std::perror(path);
    return 1;
  }
  const bool utf16 = shape == "utf16";
  const std::uint64_t goal = static_cast<std::uint64_t>(megabytes) * 1000000;
  std::uint64_t written = 0;
  std::string chunk;
  if (utf16) chunk = "\xFF\xFE";
  Random random;
  for (std::uint64_t row = 0; written + chunk.size() < goal; ++row) {
    const std::string line = Row(shape, random, row);
    if (utf16) {
      PutUtf16(line, chunk);
    } else {
      chunk += line;
    }
    if (chunk.size() >= (1 << 20)) {
      written += std::fwrite(chunk.data(), 1, chunk.size(), file);
      chunk.clear();
    }
  }
  std::fwrite(chunk.data(), 1, chunk.size(), file);
  return std::fclose(file) == 0 ? 0 : 1;
}

int Time(const char* result, char** command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::execvp(command[0], command);
    std::perror(command[0]);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (::wait4(child, &status, 0, &usage) < 0) {
    std::perror("wait4");
    return 1;
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  std::FILE* out = std::fopen(result, "a");
  if (out == nullptr) {
    std::perror(result);
    return 1;
  }
  std::fprintf(out, "%.6f %.6f %.6f %ld %d\n", wall, seconds(usage.ru_utime),
               seconds(usage.ru_stime), usage.ru_maxrss,
               WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "gen" && argc == 5) return Generate(argv[2], std::atol(argv[3]), argv[4]);
  if (mode == "time" && argc >= 4) return Time(argv[2], argv + 3);
  std::fprintf(stderr,
               "usage: shapes_tool gen SHAPE MEGABYTES FILE\n"
               "       shapes_tool time RESULT COMMAND ARGS...\n");
  return 2;
}
