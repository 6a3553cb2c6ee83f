#pragma once

// How many fields the lines (or records) of a file have: the most common
// count, how many lines differ from it and the first few of those, in one
// pass. Each distinct count keeps its own first few lines, so the first
// few unlike the most common one are among them whichever count that turns
// out to be.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace delvora {

class FieldTally {
 public:
  static constexpr std::size_t kShown = 5;
  // Distinct counts followed one by one; a file with more than this many
  // is tallied in one bucket past them, which is never the most common.
  static constexpr std::size_t kDistinct = 1024;

  void Add(std::uint64_t fields, std::uint64_t line) { AddRun(fields, line, 1); }

  // count lines from line on, each of as many fields.
  void AddRun(std::uint64_t fields, std::uint64_t line, std::uint64_t count) {
    if (last_ >= entries_.size() || entries_[last_].fields != fields) last_ = Find(fields);
    Entry& entry = entries_[last_];
    for (std::uint64_t i = 0; i < count && entry.first.size() < kShown; ++i)
      entry.first.push_back(line + i);
    entry.lines += count;
    total_ += count;
  }

  // 0 for an empty file; on a tie, the count seen first.
  std::uint64_t Common() const { return CommonEntry() ? CommonEntry()->fields : 0; }
  std::uint64_t Differing() const { return CommonEntry() ? total_ - CommonEntry()->lines : 0; }
  std::vector<std::uint64_t> FirstDiffering() const {
    std::vector<std::uint64_t> lines;
    const Entry* common = CommonEntry();
    for (const Entry& entry : entries_) {
      if (&entry != common) lines.insert(lines.end(), entry.first.begin(), entry.first.end());
    }
    std::sort(lines.begin(), lines.end());
    if (lines.size() > kShown) lines.resize(kShown);
    return lines;
  }

 private:
  static constexpr std::uint64_t kOthers = UINT64_MAX;
  struct Entry {
    std::uint64_t fields;
    std::uint64_t lines = 0;
    std::vector<std::uint64_t> first;
  };

  std::size_t Find(std::uint64_t fields) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].fields == fields) return i;
    }
    if (entries_.size() >= kDistinct && fields != kOthers) return Find(kOthers);
    entries_.push_back({fields, 0, {}});
    return entries_.size() - 1;
  }

  const Entry* CommonEntry() const {
    const Entry* best = nullptr;
    for (const Entry& entry : entries_) {
      if (entry.fields != kOthers && (best == nullptr || entry.lines > best->lines)) best = &entry;
    }
    return best;
  }

  std::vector<Entry> entries_;
  std::size_t last_ = 0;
  std::uint64_t total_ = 0;
};

}  // namespace delvora
