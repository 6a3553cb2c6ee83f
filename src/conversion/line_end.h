#pragma once

// LF line ends: the rules always end a line in CR LF, and this wrapper
// drops the CR of each CR LF pair from what they write. A CR at the very
// end of one block's output is held back until the next shows what
// follows it, so a pair split between blocks (inside a quoted field) is
// treated like any other.

#include <cstddef>
#include <cstring>

#include "conversion/unit_scan.h"

namespace delvora::engine {

template <typename Unit, typename Rule>
class LfLineEnds {
 public:
  explicit LfLineEnds(Rule& rule) : rule_(rule) {}

  static std::size_t MaxOutput(std::size_t size) { return Rule::MaxOutput(size) + 1; }

  auto Feed(const Unit* data, std::size_t size, bool at_end, Unit* out) {
    const std::size_t held = TakeHeld(out);
    auto step = rule_.Feed(data, size, at_end, out + held);
    step.produced = Squeeze(out, held + step.produced);
    return step;
  }

  std::size_t Finish(Unit* out) {
    const std::size_t held = TakeHeld(out);
    std::size_t n = Squeeze(out, held + rule_.Finish(out + held));
    if (TakeHeld(out + n) != 0) ++n;  // the last CR of the file stays
    return n;
  }

 private:
  std::size_t TakeHeld(Unit* out) {
    if (!held_cr_) return 0;
    held_cr_ = false;
    out[0] = Unit('\r');
    return 1;
  }

  std::size_t Squeeze(Unit* out, std::size_t size) {
    static constexpr Unit kCr[] = {Unit('\r')};
    Unit* o = out;
    const Unit* p = out;
    const Unit* const end = out + size;
    for (;;) {
      const Unit* cr = scan::FindAny(p, end, kCr);
      const auto run = static_cast<std::size_t>(cr - p);
      if (o != p && run != 0) std::memmove(o, p, run * sizeof(Unit));
      o += run;
      if (cr == end) break;
      if (cr + 1 == end) {
        held_cr_ = true;
        break;
      }
      if (cr[1] != Unit('\n')) *o++ = Unit('\r');
      p = cr + 1;
    }
    return static_cast<std::size_t>(o - out);
  }

  Rule& rule_;
  bool held_cr_ = false;
};

}  // namespace delvora::engine
