#pragma once

// The inputs of a run, held compactly: a list of a million names costs
// little more than their bytes. Names are stored one after the other in
// large chunks, each behind its length, and read back in order or, for the
// few a message needs, by number.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace delvora {

class NameList {
 public:
  void Add(std::string_view name) {
    if ((count_ & (kIndexEvery - 1)) == 0) index_.push_back(End());
    std::string header;
    for (std::size_t n = name.size();; n >>= 7) {
      header += static_cast<char>((n & 0x7F) | (n >= 0x80 ? 0x80 : 0));
      if (n < 0x80) break;
    }
    if (chunks_.empty() || chunks_.back().size() + header.size() + name.size() > kChunk) {
      if (!chunks_.empty()) chunks_.back().shrink_to_fit();
      chunks_.emplace_back();
      chunks_.back().reserve(std::max(kChunk, header.size() + name.size()));
      if ((count_ & (kIndexEvery - 1)) == 0) index_.back() = End();
    }
    chunks_.back().append(header).append(name);
    ++count_;
  }

  std::size_t size() const { return count_; }

  // Reads names in order from a position.
  class Cursor {
   public:
    // number may equal size(): the cursor then has nothing to read.
    Cursor(const NameList& list, std::size_t number) : list_(list) {
      if (number == list.count_) return;
      const Position start = list.index_[number / kIndexEvery];
      chunk_ = start.chunk;
      offset_ = start.offset;
      for (std::size_t skip = number % kIndexEvery; skip > 0; --skip) Next();
    }
    std::string_view Next() {
      if (offset_ == list_.chunks_[chunk_].size()) ++chunk_, offset_ = 0;
      const std::string& chunk = list_.chunks_[chunk_];
      std::size_t size = 0;
      for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(chunk[offset_++]);
        size |= std::size_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) break;
      }
      const std::string_view name(chunk.data() + offset_, size);
      offset_ += size;
      return name;
    }

   private:
    const NameList& list_;
    std::size_t chunk_ = 0;
    std::size_t offset_ = 0;
  };

  std::string operator[](std::size_t number) const {
    return std::string(Cursor(*this, number).Next());
  }

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;
  static constexpr std::size_t kIndexEvery = 64;
  struct Position {
    std::size_t chunk;
    std::size_t offset;
  };
  Position End() const {
    return chunks_.empty() ? Position{0, 0} : Position{chunks_.size() - 1, chunks_.back().size()};
  }

  std::vector<std::string> chunks_;
  std::vector<Position> index_;  // where every kIndexEvery-th name starts
  std::size_t count_ = 0;
};

}  // namespace delvora
