#include "conversion/batch_plan.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/app_error.h"

namespace delvora {

// ---- A batch planned before it starts ----

namespace {

// A path identity by its hash, with the item it belongs to: 12 bytes, so
// that a million items cost little. Equal hashes are only candidates; the
// identities are compared again before they count.
struct Keyed {
  std::uint32_t high, low, index;
  std::uint64_t hash() const { return std::uint64_t{high} << 32 | low; }
  bool operator<(const Keyed& other) const {
    return hash() != other.hash() ? hash() < other.hash() : index < other.index;
  }
};

Keyed KeyOf(const PathIdentity& id, std::size_t index) {
  const std::uint64_t hash = PathIdentityHash()(id);
  return {static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(hash),
          static_cast<std::uint32_t>(index)};
}

std::pair<std::vector<Keyed>::const_iterator, std::vector<Keyed>::const_iterator> Range(
    const std::vector<Keyed>& keys, std::uint64_t hash) {
  const Keyed low{static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(hash), 0};
  const Keyed high{low.high, low.low, UINT32_MAX};
  return {std::lower_bound(keys.begin(), keys.end(), low),
          std::upper_bound(keys.begin(), keys.end(), high)};
}

}  // namespace

std::vector<RefusedItem> PlanLongBatch(std::size_t count,
                                       const std::function<BatchItem(std::size_t)>& item) {
  if (count >= UINT32_MAX) throw StandardError(kErrOutOfMemory);
  // Every existing input by what reading it reads and, for a link, by the
  // link itself: replacing either changes what the input gives.
  std::vector<Keyed> inputs;
  std::vector<Keyed> outputs;
  outputs.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const BatchItem it = item(i);
    outputs.push_back(KeyOf(EntryIdentity(it.output), i));
    const std::optional<PathIdentity> read = FileIdentity(it.input);
    if (!read) continue;
    inputs.push_back(KeyOf(*read, i));
    const PathIdentity entry = EntryIdentity(it.input);
    if (!(entry == *read)) inputs.push_back(KeyOf(entry, i));
  }
  std::sort(inputs.begin(), inputs.end());
  std::sort(outputs.begin(), outputs.end());

  // The identities of the few items a hash brings together, exactly.
  struct Known {
    BatchItem text;
    std::optional<PathIdentity> read;
    PathIdentity entry;
    PathIdentity output;
  };
  std::unordered_map<std::size_t, Known> known;
  const auto at = [&](std::size_t i) -> const Known& {
    auto found = known.find(i);
    if (found == known.end()) {
      BatchItem text = item(i);
      Known k{text, FileIdentity(text.input), EntryIdentity(text.input),
              EntryIdentity(text.output)};
      found = known.emplace(i, std::move(k)).first;
    }
    return found->second;
  };
  const auto same_input = [&](std::size_t a, std::size_t b) {
    const Known &x = at(a), &y = at(b);
    if (x.read && y.read) return *x.read == *y.read;
    return x.text.input == y.text.input;
  };

  std::vector<RefusedItem> refused;
  // Items with one result are judged group by group (a result's earlier
  // writer lies in its own group), each group in input order.
  for (auto group = outputs.begin(); group != outputs.end();) {
    auto group_end = group;
    while (group_end != outputs.end() && group_end->hash() == group->hash()) ++group_end;
    const auto pending_range = Range(inputs, group->hash());
    const bool alone = group_end - group == 1;
    if (alone && pending_range.first == pending_range.second) {
      group = group_end;
      continue;
    }
    known.clear();
    std::vector<std::size_t> written;  // the group's results written so far, by item
    for (auto member = group; member != group_end; ++member) {
      const std::size_t i = member->index;
      const PathIdentity& output = at(i).output;
      // An input not converted yet, read after this result would replace it.
      std::size_t pending = count;
      for (auto in = pending_range.first; in != pending_range.second; ++in) {
        const std::size_t j = in->index;
        if (j <= i || j >= pending) continue;
        const Known& other = at(j);
        const bool same_file = (other.read && *other.read == output) || other.entry == output;
        if (same_file && !same_input(i, j)) pending = j;
      }
      if (pending < count) {
        refused.push_back({i, Collision{Collision::Kind::kPendingInput, pending}});
        continue;
      }
      const auto earlier = std::find_if(written.begin(), written.end(),
                                        [&](std::size_t j) { return at(j).output == output; });
      if (earlier != written.end()) {
        if (!same_input(i, *earlier))
          refused.push_back({i, Collision{Collision::Kind::kEarlierResult, *earlier}});
        continue;
      }
      written.push_back(i);
    }
    group = group_end;
  }
  std::sort(refused.begin(), refused.end(),
            [](const RefusedItem& a, const RefusedItem& b) { return a.first < b.first; });
  return refused;
}

std::vector<std::optional<Collision>> PlanBatch(const std::vector<BatchItem>& items) {
  std::vector<std::optional<Collision>> plan(items.size());
  for (const auto& [index, collision] :
       PlanLongBatch(items.size(), [&](std::size_t i) { return items[i]; }))
    plan[index] = collision;
  return plan;
}

// ---- A run whose list may change ----

bool RunCollisions::Input::SameAs(const Input& other) const {
  if (file && other.file) return *file == *other.file;
  return text == other.text;
}

bool RunCollisions::ListChanged(int current, int last,
                                const RunCollisions::EntryReader& entry) const {
  if (!have_list_ || static_cast<int>(list_.size()) != last) return true;
  // Entries move as a block when one is dragged past the current one, so
  // the current position shows most changes; the positions looked up are
  // checked again before they count.
  return current >= 1 && current <= last && entry(current) != list_[current - 1];
}

void RunCollisions::TakeList(int last, const RunCollisions::EntryReader& entry) {
  list_.clear();
  list_inputs_.clear();
  list_by_identity_.clear();
  for (int position = 1; position <= last; ++position) {
    std::string text = entry(position);
    Input input{FileIdentity(text), text};
    if (input.file) {
      list_by_identity_.emplace(*input.file, position);
      const PathIdentity link = EntryIdentity(text);
      if (!(link == *input.file)) list_by_identity_.emplace(link, position);
    }
    list_.push_back(std::move(text));
    list_inputs_.push_back(std::move(input));
  }
  have_list_ = true;
}

int RunCollisions::DestroyedPending(const PathIdentity& output, const Input& input, int current,
                                    int last, const RunCollisions::EntryReader& entry) const {
  const auto range = list_by_identity_.equal_range(output);
  for (auto it = range.first; it != range.second; ++it) {
    const int position = it->second;
    if (position <= current || position > last) continue;
    if (entry(position) != list_[position - 1]) return -1;
    if (!list_inputs_[position - 1].SameAs(input)) return position;
  }
  return 0;
}

std::optional<Collision::Kind> RunCollisions::Check(const BatchItem& item, int current, int last,
                                                    const RunCollisions::EntryReader& entry) {
  const PathIdentity output = EntryIdentity(item.output);
  Input input{FileIdentity(item.input), item.input};
  checked_output_ = output;
  checked_input_ = input;
  const auto earlier = written_.find(output);
  if (earlier != written_.end() && !earlier->second.SameAs(input))
    return Collision::Kind::kEarlierResult;
  // A result that does not exist yet cannot be any existing input.
  if (!output.name.empty()) return std::nullopt;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt > 0 || ListChanged(current, last, entry)) TakeList(last, entry);
    const int destroyed = DestroyedPending(output, input, current, last, entry);
    if (destroyed > 0) return Collision::Kind::kPendingInput;
    if (destroyed == 0) return std::nullopt;
  }
  return std::nullopt;
}

void RunCollisions::Rename(const PathIdentity& from, const PathIdentity& to) {
  // Only the entries known by that number: every input that is that file
  // is among them, and a look at the whole list for each result written
  // would make a long batch quadratic.
  std::vector<int> moved;
  for (auto [it, end] = list_by_identity_.equal_range(from); it != end;) {
    moved.push_back(it->second);
    it = list_by_identity_.erase(it);
  }
  for (const int position : moved) {
    Input& input = list_inputs_[static_cast<std::size_t>(position - 1)];
    if (input.file && *input.file == from) input.file = to;
    list_by_identity_.emplace(to, position);
  }
}

void RunCollisions::Written(const BatchItem& item) {
  const PathIdentity output = EntryIdentity(item.output);
  Input source = checked_input_;
  if (source.text != item.input) source = Input{FileIdentity(item.input), item.input};
  // The replaced file's number now belongs to the new result: an input that
  // was that file (converted onto itself) is the new result from now on.
  if (checked_output_ && checked_output_->name.empty() && !(*checked_output_ == output)) {
    if (source.file && *source.file == *checked_output_) source.file = output;
    written_.erase(*checked_output_);
    Rename(*checked_output_, output);
  }
  written_[output] = std::move(source);
  checked_output_.reset();
}

}  // namespace delvora
