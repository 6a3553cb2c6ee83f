#pragma once

// The delimiter a run replaces by tabs, from the five "CSV Delimiter"
// options. Resolved once when a run starts, so changing the choice during a
// run only affects the next one.

#include <array>
#include <string>

namespace delvora {

struct DelimiterChoice {
  // Selected states of Option1 ("Comma") to Option5 ("Other"), in order.
  std::array<bool, 5> selected{};
  // Text2's text, exactly as typed (UTF-8); used by "Other".
  std::string other;
};

// The delimiter of the first selected option: ",", ", ", ";", one tab, or
// the "Other" text. No selected option gives "", which leaves lines as they
// are.
std::string ResolveDelimiter(const DelimiterChoice& choice);

}  // namespace delvora
