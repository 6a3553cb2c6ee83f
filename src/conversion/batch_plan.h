#pragma once

// One run never destroys what it just wrote or is about to read. Before a
// batch starts, each result is checked against the inputs still to be read
// and the results written before it; a result that would replace either is
// refused (error 58) and nothing is written for it.
//
// Sameness is the file system's (see platform/file_identity.h): a hard
// link, a linked folder or another spelling is still the same file.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/file_identity.h"

namespace delvora {

struct BatchItem {
  std::string input;
  std::string output;
};

struct Collision {
  enum class Kind {
    kPendingInput,   // the result would replace an input not yet converted
    kEarlierResult,  // the result would replace one written earlier from another input
  };
  Kind kind;
  std::size_t other;  // index of the other item involved
};

// Made in input order before any work starts. For each item: nullopt when
// it may be written, or why writing it would destroy data. The same input
// listed twice is no collision.
std::vector<std::optional<Collision>> PlanBatch(const std::vector<BatchItem>& items);

// The same plan for a batch too long to hold in memory (a list of a million
// names): item(i) gives item i, and is asked again for the few items that
// may collide. Holds about 12 bytes an item. Returns the refused items only,
// in input order.
using RefusedItem = std::pair<std::size_t, Collision>;
std::vector<RefusedItem> PlanLongBatch(std::size_t count,
                                       const std::function<BatchItem(std::size_t)>& item);

// The same rules for a run whose list may change while it works (the
// window's): each result is checked at the moment it is written, against
// the results this run has written and the entries after the current one.
class RunCollisions {
 public:
  // The text of list position p (from 1), read at this moment.
  using EntryReader = std::function<std::string(int position)>;

  // The inputs still to be read are positions current + 1 to last. They are
  // looked at only when the result already exists, and kept between calls
  // while the list stays as it was, so a long list costs no more per file.
  std::optional<Collision::Kind> Check(const BatchItem& item, int current, int last,
                                       const EntryReader& entry);
  // After the result of the item last checked has been put in place.
  void Written(const BatchItem& item);

 private:
  struct Input {
    std::optional<PathIdentity> file;  // nullopt: could not be read
    std::string text;
    bool SameAs(const Input& other) const;
  };
  bool ListChanged(int current, int last, const EntryReader& entry) const;
  void TakeList(int last, const EntryReader& entry);
  // The first pending position whose input the result would destroy, or 0;
  // -1 when the list changed under the snapshot.
  int DestroyedPending(const PathIdentity& output, const Input& input, int current, int last,
                       const EntryReader& entry) const;
  void Rename(const PathIdentity& from, const PathIdentity& to);

  std::unordered_map<PathIdentity, Input, PathIdentityHash> written_;
  // The list as last read: texts by position and what each position's
  // input is (the file and, for a link, the link itself).
  std::vector<std::string> list_;
  std::unordered_multimap<PathIdentity, int, PathIdentityHash> list_by_identity_;
  std::vector<Input> list_inputs_;
  bool have_list_ = false;
  std::optional<PathIdentity> checked_output_;  // before the last checked item was written
  Input checked_input_;
};

}  // namespace delvora
