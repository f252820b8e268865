// Item id -> plug-in archive names, as IdList.txt gives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lists/name_set.h"

namespace kvo {

// Equal ids keep the order they were added in; nothing is merged.
//
// The table is filled once from IdList.txt and then only looked up, hundreds
// of thousands of times per run. So it has two phases: Add fills it, and one
// call to Prepare makes it ready for lookups (the entries sorted by id,
// stably, with a hash index from each id to its run of entries). Adding again
// takes it back to the filling phase, until the next Prepare.
class IdTable {
 public:
  using Entry = std::pair<std::int32_t, std::u16string>;
  using const_iterator = std::vector<Entry>::const_iterator;
  using Range = std::pair<const_iterator, const_iterator>;

  void Add(std::int32_t id, const std::u16string& name);
  void Add(std::int32_t id, std::u16string&& name);
  // Makes room for `entries` in all, so that adding that many moves nothing.
  void Reserve(std::size_t entries);
  // Makes the table ready for Lookup and the entry accessors below.
  void Prepare();
  bool Ready() const { return ready_; }

  // The entries of `id` in the order they were added; empty when absent.
  // Only on a ready table.
  Range Lookup(std::int32_t id) const;
  std::size_t Size() const { return entries_.size(); }

  // Position of an entry of a Lookup range among all entries (0 .. Size()-1).
  std::size_t IndexOf(const_iterator entry) const {
    return static_cast<std::size_t>(entry - entries_.begin());
  }
  const std::u16string& NameAt(std::size_t index) const { return entries_[index].second; }
  // The same text as NameAt, shared, for sets that take it.
  const SharedName& SharedAt(std::size_t index) const { return shared_[index]; }

  // The name order of the entries' names as numbers, so that many small sets
  // of them can be put in order without comparing names: after PrepareRanks,
  // RankAt(i) < RankAt(j) exactly when NameAt(i) orders before NameAt(j), and
  // equal ranks mean equivalent names. Ranking costs one sort of all names;
  // it pays when far more names are sorted later. Only on a ready table.
  void PrepareRanks();
  bool Ranked() const { return ranked_; }
  std::uint32_t RankAt(std::size_t index) const { return ranks_[index]; }
  // The rank of any text among the entries' names: that of an equivalent
  // name (odd), or the even number between the ranks of its neighbours.
  // Different texts outside the table can share an even rank.
  std::uint32_t RankOf(const std::u16string& text) const;
  std::uint32_t RankOf(const SharedName& name) const;

 private:
  struct Slot {
    std::int32_t id;
    std::uint32_t first;
    std::uint32_t count;  // 0: an empty slot
  };

  void Push(Entry&& entry);
  std::uint32_t RankOfKeyed(std::string_view key, const std::u16string& text) const;

  std::vector<Entry> entries_;
  std::vector<Slot> slots_;
  std::vector<SharedName> shared_;      // entries_[i].second, for sets to share
  std::vector<std::uint32_t> ranks_;    // per entry, see PrepareRanks
  std::vector<std::uint32_t> classes_;  // an entry of each distinct name, in order
  bool sorted_ = true;
  bool ready_ = false;
  bool ranked_ = false;
};

}  // namespace kvo
