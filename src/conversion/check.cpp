#include "conversion/check.h"

#include <algorithm>
#include <array>

#include "conversion/block_loop.h"
#include "conversion/quoted_rule.h"
#include "conversion/unit_scan.h"

namespace delvora {

namespace {

constexpr std::size_t kDifferingShown = 5;

// The textual rule's lines and fields, over the units the quote-aware rule
// has consumed, looking ahead into the rest for a delimiter or a CR LF
// that straddles that point.
template <typename Unit>
class TextualCounter {
 public:
  TextualCounter(std::basic_string<Unit> delimiter, bool matches,
                 const std::array<bool, 256>* lead_bytes, CheckReport& report)
      : delimiter_(std::move(delimiter)),
        active_(matches && !delimiter_.empty() && !scan::HoldsLineEnd(delimiter_)),
        lead_bytes_(lead_bytes),
        report_(report) {}

  void Count(const Unit* data, std::size_t consumed, std::size_t size) {
    const Unit* const limit = data + consumed;
    const Unit* const end = data + size;
    const Unit* p = data + skip_;
    const std::size_t length = delimiter_.size();
    const Unit first = active_ ? delimiter_[0] : Unit('\n');
    const Unit stops[] = {Unit('\r'), Unit('\n'), first};
    while (p < limit) {
      if (lead_bytes_ == nullptr) {
        if (active_ && length == 1) {
          const Unit line_ends[] = {Unit('\r'), Unit('\n')};
          const Unit* skipped = scan::SkipCounting(p, limit, line_ends, first, delimiters_);
          if (skipped != p) line_open_ = true;
          p = skipped;
        }
        const Unit* hit = scan::FindAny(p, limit, stops);
        if (hit != p) line_open_ = true;
        p = hit;
        if (p == limit) break;
      }
      const Unit c = *p;
      if (c == Unit('\n')) {
        EndLine(report_.lf_ends);
        ++p;
      } else if (c == Unit('\r')) {
        const bool pair = p + 1 < end && p[1] == Unit('\n');
        EndLine(pair ? report_.crlf_ends : report_.cr_ends);
        p += pair ? 2 : 1;
      } else if (active_ && c == first && static_cast<std::size_t>(end - p) >= length &&
                 std::equal(delimiter_.begin(), delimiter_.end(), p)) {
        ++delimiters_;
        line_open_ = true;
        p += length;
      } else {
        line_open_ = true;
        // The textual rule knows no quotes: only a line end breaks a pair.
        static constexpr Unit kLineEnds[] = {Unit('\r'), Unit('\n')};
        p += scan::CharUnits(lead_bytes_, p, end, kLineEnds);
      }
    }
    skip_ = static_cast<std::size_t>(p - limit);
  }

  void Finish() {
    std::uint64_t none = 0;
    if (line_open_ || report_.lines == 0) EndLine(none);
  }

 private:
  void EndLine(std::uint64_t& kind) {
    ++kind;
    const std::uint64_t fields = delimiters_ + 1;
    ++report_.lines;
    if (report_.lines == 1) {
      first_fields_ = fields;
      report_.min_line_fields = report_.max_line_fields = fields;
    } else {
      report_.min_line_fields = std::min(report_.min_line_fields, fields);
      report_.max_line_fields = std::max(report_.max_line_fields, fields);
      if (fields != first_fields_ && report_.differing_lines++ < kDifferingShown)
        report_.first_differing.push_back(report_.lines);
    }
    delimiters_ = 0;
    line_open_ = false;
  }

  std::basic_string<Unit> delimiter_;
  bool active_;
  const std::array<bool, 256>* lead_bytes_;
  CheckReport& report_;
  std::size_t skip_ = 0;  // units of the next call already counted
  std::uint64_t delimiters_ = 0;
  std::uint64_t first_fields_ = 0;
  bool line_open_ = false;
};

// Both rules over the same units; the quote-aware one decides how far each
// block is consumed, and its output is dropped.
template <typename Unit>
class CheckRule {
 public:
  using Step = typename QuotedRule<Unit>::Step;

  CheckRule(const std::basic_string<Unit>& delimiter, bool matches,
            const std::array<bool, 256>* lead_bytes, std::size_t block, CheckReport& report)
      : quoted_(delimiter, matches, Quoting::kQuoted, lead_bytes, block, &counts_),
        textual_(delimiter, matches, lead_bytes, report),
        report_(report) {}

  static std::size_t MaxOutput(std::size_t size) { return QuotedRule<Unit>::MaxOutput(size); }
  std::size_t MaxCarry() const { return quoted_.MaxCarry(); }

  Step Feed(const Unit* data, std::size_t size, bool at_end, Unit* out) {
    const Step step = quoted_.Feed(data, size, at_end, out);
    textual_.Count(data, step.consumed, size);
    return {step.consumed, 0};
  }

  std::size_t Finish(Unit* out) {
    quoted_.Finish(out);
    textual_.Finish();
    report_.records = counts_.records;
    report_.min_fields = counts_.min_fields;
    report_.max_fields = counts_.max_fields;
    report_.quoted_delimiters = counts_.quoted_delimiters;
    report_.quoted_line_breaks = counts_.quoted_line_breaks;
    report_.unclosed_quote_line = counts_.unclosed_quote_line;
    return 0;
  }

 private:
  QuoteCounts counts_;
  QuotedRule<Unit> quoted_;
  TextualCounter<Unit> textual_;
  CheckReport& report_;
};

const char* MarkName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8:
      return "UTF-8";
    case TextEncoding::kUtf16Le:
      return "UTF-16LE";
    case TextEncoding::kUtf16Be:
      return "UTF-16BE";
    case TextEncoding::kUtf32Le:
      return "UTF-32LE";
    case TextEncoding::kUtf32Be:
      return "UTF-32BE";
    case TextEncoding::kNarrow:
      break;
  }
  return "none";
}

std::string LineEnds(const CheckReport& r) {
  const int kinds = (r.crlf_ends != 0) + (r.lf_ends != 0) + (r.cr_ends != 0);
  if (kinds == 0) return "none";
  if (kinds > 1) return "mixed";
  return r.crlf_ends != 0 ? "CRLF" : r.lf_ends != 0 ? "LF" : "CR";
}

std::string Range(std::uint64_t low, std::uint64_t high) {
  return std::to_string(low) + "-" + std::to_string(high);
}

std::string Plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

CheckReport CheckStream(ByteSource& source, const ConversionOptions& options) {
  if (options.delimiter.find('"') != std::string::npos) engine::BadArgument();
  CheckReport report;
  engine::DiscardSink discard;
  const UnicodeMark mark = engine::RunStream(
      source, discard, options, false,
      [&report](const auto& delimiter, bool matches, const std::array<bool, 256>* lead_bytes,
                std::size_t block, auto&& run) {
        using Unit = typename std::decay_t<decltype(delimiter)>::value_type;
        CheckRule<Unit> rule(delimiter, matches, lead_bytes, block, report);
        run(rule, rule.MaxCarry());
      });
  report.encoding = mark.encoding;
  return report;
}

CheckReport CheckFile(const std::string& path, const ConversionOptions& options) {
  FileSource source(path);
  return CheckStream(source, options);
}

bool CheckIsSafe(const CheckReport& report, Quoting mode) {
  if (report.unclosed_quote_line != 0) return false;
  return mode != Quoting::kTextual ||
         (report.quoted_delimiters == 0 && report.quoted_line_breaks == 0);
}

std::string FormatCheckReport(const CheckReport& r, Quoting mode) {
  std::string differing;
  for (std::uint64_t line : r.first_differing) {
    if (!differing.empty()) differing += ',';
    differing += std::to_string(line);
  }
  std::string text =
      std::string("mark=") + MarkName(r.encoding) + " line-ends=" + LineEnds(r) +
      " records=" + std::to_string(r.records) + " fields=" + Range(r.min_fields, r.max_fields) +
      " textual-records=" + std::to_string(r.lines) +
      " textual-fields=" + Range(r.min_line_fields, r.max_line_fields) +
      " quoted-delimiters=" + std::to_string(r.quoted_delimiters) +
      " quoted-line-breaks=" + std::to_string(r.quoted_line_breaks) + " unclosed-quote=" +
      (r.unclosed_quote_line != 0 ? std::to_string(r.unclosed_quote_line) : "none") +
      " textual-differs-at=" + (differing.empty() ? "none" : differing) + " verdict: ";
  if (r.unclosed_quote_line != 0) {
    return text + "unclosed quote (the quote opened on line " +
           std::to_string(r.unclosed_quote_line) + " never closes)";
  }
  if (CheckIsSafe(r, mode)) {
    return text + (mode == Quoting::kTextual ? "safe for the plain conversion"
                                             : "safe, every quote closes");
  }
  std::string why;
  if (r.quoted_delimiters != 0)
    why =
        Plural(r.quoted_delimiters, "quoted field holds", "quoted fields hold") + " the delimiter";
  if (r.quoted_line_breaks != 0) {
    if (!why.empty()) why += ", ";
    why += Plural(r.quoted_line_breaks, "line break lies", "line breaks lie") + " inside quotes";
  }
  return text + "needs --quotes (" + why + ")";
}

}  // namespace delvora
