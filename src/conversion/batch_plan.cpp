#include "conversion/batch_plan.h"

#include <utility>

namespace delvora {

// ---- A batch planned before it starts ----

std::vector<std::optional<Collision>> PlanBatch(const std::vector<BatchItem>& items) {
  const std::size_t count = items.size();
  std::vector<std::optional<PathIdentity>> inputs(count);
  std::vector<PathIdentity> outputs(count);
  // Every existing input by what reading it reads and, for a link, by the
  // link itself: replacing either changes what the input gives.
  std::unordered_multimap<PathIdentity, std::size_t, PathIdentityHash> input_at;
  for (std::size_t i = 0; i < count; ++i) {
    inputs[i] = FileIdentity(items[i].input);
    outputs[i] = EntryIdentity(items[i].output);
    if (!inputs[i]) continue;
    input_at.emplace(*inputs[i], i);
    const PathIdentity entry = EntryIdentity(items[i].input);
    if (!(entry == *inputs[i])) input_at.emplace(entry, i);
  }
  const auto same_input = [&](std::size_t a, std::size_t b) {
    if (inputs[a] && inputs[b]) return *inputs[a] == *inputs[b];
    return items[a].input == items[b].input;
  };

  std::vector<std::optional<Collision>> plan(count);
  std::unordered_map<PathIdentity, std::size_t, PathIdentityHash> written;  // result -> item
  for (std::size_t i = 0; i < count; ++i) {
    // An input not converted yet, read after this result would replace it.
    std::size_t pending = count;
    const auto range = input_at.equal_range(outputs[i]);
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second > i && it->second < pending && !same_input(i, it->second))
        pending = it->second;
    }
    if (pending < count) {
      plan[i] = Collision{Collision::Kind::kPendingInput, pending};
      continue;
    }
    const auto earlier = written.find(outputs[i]);
    if (earlier != written.end() && !same_input(i, earlier->second)) {
      plan[i] = Collision{Collision::Kind::kEarlierResult, earlier->second};
      continue;
    }
    if (earlier == written.end()) written.emplace(outputs[i], i);
  }
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
  for (Input& input : list_inputs_) {
    if (input.file && *input.file == from) input.file = to;
  }
  std::vector<int> moved;
  for (auto [it, end] = list_by_identity_.equal_range(from); it != end;) {
    moved.push_back(it->second);
    it = list_by_identity_.erase(it);
  }
  for (const int position : moved) list_by_identity_.emplace(to, position);
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
