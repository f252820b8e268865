// The value containers every decision of the tool is made with: an ordered,
// case-insensitive set of file names, the item-id table and the list of
// presets that could be read.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace kvo {

// Orders file names the way the system does (lstrcmpiW), so that names that
// differ only in letter case are one name.
struct NameLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return platform::CompareNames(a.c_str(), b.c_str()) < 0;
  }
};

// A file name's text, shared by every set that holds that very text. Names
// never change once made, so a set that takes a name from another set, or
// from the id table, can share its one copy instead of allocating its own:
// a run puts hundreds of thousands of names from a table of tens of
// thousands into its presets' sets. The count of holders is not atomic: like
// everything else here, names are used on one thread.
class SharedName {
 public:
  SharedName() = default;
  explicit SharedName(std::u16string text) : rep_(new Rep{1, std::move(text)}) {}
  SharedName(const SharedName& other) noexcept : rep_(other.rep_) {
    if (rep_ != nullptr) ++rep_->holders;
  }
  SharedName(SharedName&& other) noexcept : rep_(other.rep_) { other.rep_ = nullptr; }
  SharedName& operator=(SharedName other) noexcept {
    std::swap(rep_, other.rep_);
    return *this;
  }
  ~SharedName() {
    if (rep_ != nullptr && --rep_->holders == 0) delete rep_;
  }

  // The text; its address is the same for every holder of this name.
  const std::u16string& Text() const { return rep_->text; }

 private:
  struct Rep {
    std::size_t holders;
    std::u16string text;
  };
  Rep* rep_ = nullptr;
};

// An ordered set of file names. The first spelling inserted is the one kept.
//
// The names are kept in ascending order in a row of blocks, each a sorted
// array of at most kBlockMax names; a name is found by a binary search over
// the blocks' last names and then within its block. A run builds one small
// set per preset (tens of names) and a few sets of tens of thousands.
// Copying a set shares the texts (see SharedName), which is the same as
// copying them, as no text ever changes.
class NameSet {
  using Block = std::vector<SharedName>;

 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::u16string;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::u16string*;
    using reference = const std::u16string&;

    const_iterator() = default;
    reference operator*() const { return (*blocks_)[block_][index_].Text(); }
    pointer operator->() const { return &(*blocks_)[block_][index_].Text(); }
    const_iterator& operator++() {
      if (++index_ == (*blocks_)[block_].size()) {
        ++block_;
        index_ = 0;
      }
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++*this;
      return before;
    }
    // The shared text this position holds, for sets that take it over.
    const SharedName& Shared() const { return (*blocks_)[block_][index_]; }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.block_ == b.block_ && a.index_ == b.index_;
    }
    friend bool operator!=(const const_iterator& a, const const_iterator& b) { return !(a == b); }

   private:
    friend class NameSet;
    const_iterator(const std::vector<Block>* blocks, std::size_t block, std::size_t index)
        : blocks_(blocks), block_(block), index_(index) {}
    const std::vector<Block>* blocks_ = nullptr;
    std::size_t block_ = 0;
    std::size_t index_ = 0;
  };

  // Adds the name unless an equivalent one is already stored; true when it
  // was added. The set keeps its own copy of the text, or shares `name`'s.
  bool Insert(const std::u16string& name) { return Add(name, name); }
  bool Insert(std::u16string&& name) { return Add(name, std::move(name)); }
  bool Insert(const SharedName& name) { return Add(name.Text(), name); }
  bool Contains(const std::u16string& name) const {
    if (blocks_.empty()) return false;
    const Block& block = blocks_[BlockFor(name)];
    auto at = std::lower_bound(block.begin(), block.end(), name, Less());
    return at != block.end() && !NameLess()(name, at->Text());
  }
  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  // About how many names an empty set is going to hold, so that it can take
  // room for them at once.
  void Reserve(std::size_t names) { expected_ = names; }
  // Adds a name that orders after every name in the set, without comparing:
  // for callers that have put their names in order already (by IdTable
  // ranks). Anything else breaks the set.
  void AppendGreater(const SharedName& name) {
    assert(blocks_.empty() || NameLess()(blocks_.back().back().Text(), name.Text()));
    if (blocks_.empty() || blocks_.back().size() == kBlockMax) {
      Block last;
      last.reserve(blocks_.empty() ? std::min(std::max<std::size_t>(expected_, 8), kBlockMax)
                                   : kBlockMax);
      last.push_back(name);
      blocks_.push_back(std::move(last));
    } else {
      blocks_.back().push_back(name);
    }
    ++size_;
  }
  void Clear() {
    blocks_.clear();
    size_ = 0;
  }

  const_iterator begin() const { return const_iterator(&blocks_, 0, 0); }
  const_iterator end() const { return const_iterator(&blocks_, blocks_.size(), 0); }

 private:
  static constexpr std::size_t kBlockMax = 64;

  struct Less {
    bool operator()(const SharedName& a, const std::u16string& b) const {
      return NameLess()(a.Text(), b);
    }
  };

  static SharedName Stored(const std::u16string& name) { return SharedName(name); }
  static SharedName Stored(std::u16string&& name) { return SharedName(std::move(name)); }
  static SharedName Stored(const SharedName& name) { return name; }

  // The block a name belongs in: the first whose last name does not order
  // before it, or the last block. Only for a non-empty set (no block is ever
  // empty).
  std::size_t BlockFor(const std::u16string& name) const {
    std::size_t lo = 0;
    std::size_t hi = blocks_.size() - 1;
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (NameLess()(blocks_[mid].back().Text(), name)) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  }

  // Every step that can run out of memory comes before the set changes, so
  // a failed insertion leaves it as it was.
  template <typename Name>
  bool Add(const std::u16string& probe, Name&& name) {
    if (blocks_.empty()) {
      Block first;
      first.reserve(std::min(std::max<std::size_t>(expected_, 8), kBlockMax));
      first.push_back(Stored(std::forward<Name>(name)));
      blocks_.push_back(std::move(first));
      size_ = 1;
      return true;
    }
    std::size_t b = blocks_.size() - 1;
    Block::iterator at = blocks_[b].end();
    // Names often come in ascending order (sorted listings): after the last
    // name they go to the end at once.
    if (!NameLess()(blocks_[b].back().Text(), probe)) {
      b = BlockFor(probe);
      at = std::lower_bound(blocks_[b].begin(), blocks_[b].end(), probe, Less());
      if (at != blocks_[b].end() && !NameLess()(probe, at->Text())) return false;
    }
    // `probe` may be the very string `name` moves from: compare with the
    // stored text from here on.
    SharedName stored = Stored(std::forward<Name>(name));
    const std::u16string& text = stored.Text();
    if (blocks_[b].size() == kBlockMax && b + 1 == blocks_.size() && at == blocks_[b].end()) {
      // Appending: a new last block, so that sorted runs fill their blocks.
      Block last;
      last.reserve(kBlockMax);
      last.push_back(std::move(stored));
      blocks_.push_back(std::move(last));
      ++size_;
      return true;
    }
    if (blocks_[b].size() == kBlockMax) {
      Split(b);
      if (NameLess()(blocks_[b].back().Text(), text)) ++b;
      at = std::lower_bound(blocks_[b].begin(), blocks_[b].end(), text, Less());
    }
    blocks_[b].insert(at, std::move(stored));
    ++size_;
    return true;
  }

  // Moves the upper half of a full block into a new block after it.
  void Split(std::size_t b) {
    Block upper;
    upper.reserve(kBlockMax);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, Block());
    Block& lower = blocks_[b];
    const std::size_t half = lower.size() / 2;
    for (std::size_t i = half; i < lower.size(); ++i) upper.push_back(std::move(lower[i]));
    lower.erase(lower.begin() + static_cast<std::ptrdiff_t>(half), lower.end());
    blocks_[b + 1].swap(upper);
  }

  std::vector<Block> blocks_;
  std::size_t size_ = 0;
  std::size_t expected_ = 0;
};

// Item id -> plug-in file names. Equal ids keep the order they were added in.
// The table is filled once from IdList.txt and then only looked up, hundreds
// of thousands of times per run. So the entries are kept in one array, sorted
// by id at the first lookup after an addition (stably: equal ids stay in the
// order of adding), with a hash index from each id to its run of entries.
class IdTable {
 public:
  using Entry = std::pair<std::int32_t, std::u16string>;
  using const_iterator = std::vector<Entry>::const_iterator;
  using Range = std::pair<const_iterator, const_iterator>;

  void Add(std::int32_t id, const std::u16string& name) { Push(Entry(id, name)); }
  void Add(std::int32_t id, std::u16string&& name) { Push(Entry(id, std::move(name))); }
  Range Lookup(std::int32_t id) const {
    if (!indexed_) Index();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = Hash(id) & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.count == 0) return Range(entries_.end(), entries_.end());
      if (slot.id == id) {
        return Range(entries_.begin() + slot.first, entries_.begin() + slot.first + slot.count);
      }
    }
  }
  std::size_t Size() const { return entries_.size(); }
  // Position of an entry of a Lookup range among all entries (0 .. Size()-1);
  // stays valid until the next Add.
  std::size_t IndexOf(const_iterator entry) const {
    return static_cast<std::size_t>(entry - entries_.begin());
  }
  const std::u16string& NameAt(std::size_t index) const { return entries_[index].second; }
  // The same text as NameAt, shared, for sets that take it (valid after a
  // Lookup, until the next Add).
  const SharedName& SharedAt(std::size_t index) const { return shared_[index]; }

  // The name order of the entries' names as numbers, so that many small sets
  // of them can be put in order without comparing names: after PrepareRanks,
  // RankAt(i) < RankAt(j) exactly when NameAt(i) orders before NameAt(j), and
  // equal ranks mean equivalent names. Ranking costs one sort of all names;
  // it pays when far more names are sorted later. Valid until the next Add.
  void PrepareRanks() const {
    if (!indexed_) Index();
    if (ranked_) return;
    const std::size_t n = entries_.size();
    struct Named {
      const char16_t* text;  // sorted by, without going through the entries
      std::uint32_t index;
    };
    std::vector<Named> byName(n);
    for (std::size_t i = 0; i < n; ++i) {
      byName[i] = Named{shared_[i].Text().c_str(), static_cast<std::uint32_t>(i)};
    }
    std::sort(byName.begin(), byName.end(), [](const Named& a, const Named& b) {
      const int c = platform::CompareNames(a.text, b.text);
      return c != 0 ? c < 0 : a.index < b.index;
    });
    std::vector<std::uint32_t> ranks(n);
    std::vector<std::uint32_t> classes;  // one entry per distinct name, in name order
    classes.reserve(n);
    for (std::size_t k = 0; k < n; ++k) {
      const std::uint32_t i = byName[k].index;
      if (k == 0 || platform::CompareNames(byName[k - 1].text, byName[k].text) != 0) {
        classes.push_back(i);
      }
      // Odd, so that RankOf has an even number between any two ranks.
      ranks[i] = static_cast<std::uint32_t>(2 * (classes.size() - 1) + 1);
    }
    ranks_.swap(ranks);
    classes_.swap(classes);
    ranked_ = true;
  }
  bool Ranked() const { return ranked_; }
  std::uint32_t RankAt(std::size_t index) const { return ranks_[index]; }
  // The rank of any text among the entries' names: that of an equivalent
  // name, or an even number between the ranks of its neighbours.
  std::uint32_t RankOf(const std::u16string& text) const {
    std::size_t lo = 0;
    std::size_t hi = classes_.size();
    while (lo < hi) {  // first class whose name does not order before `text`
      const std::size_t mid = lo + (hi - lo) / 2;
      if (NameLess()(shared_[classes_[mid]].Text(), text)) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    if (lo < classes_.size() && !NameLess()(text, shared_[classes_[lo]].Text())) {
      return static_cast<std::uint32_t>(2 * lo + 1);
    }
    return static_cast<std::uint32_t>(2 * lo);
  }

 private:
  struct Slot {
    std::int32_t id;
    std::uint32_t first;
    std::uint32_t count;  // 0: an empty slot
  };

  static std::size_t Hash(std::int32_t id) {
    return static_cast<std::size_t>((static_cast<std::uint32_t>(id) * 0x9E3779B1u) >> 7);
  }

  void Push(Entry&& entry) {
    const bool inOrder = entries_.empty() || entries_.back().first <= entry.first;
    entries_.push_back(std::move(entry));
    if (!inOrder) sorted_ = false;
    indexed_ = false;
    ranked_ = false;
  }

  // Every allocation here throws when memory runs out (none quietly falls
  // back), and the table stays whole: the sorted entries replace the old
  // ones in one swap, and the index is built aside and then swapped in.
  void Index() const {
    if (!sorted_) {
      // Stable: equal ids keep the order of adding.
      std::vector<std::uint32_t> order(entries_.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
      std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
        return entries_[a].first < entries_[b].first ||
               (entries_[a].first == entries_[b].first && a < b);
      });
      std::vector<Entry> sorted;
      sorted.reserve(entries_.size());
      for (std::uint32_t i : order) sorted.push_back(std::move(entries_[i]));
      entries_.swap(sorted);
      sorted_ = true;
    }
    std::size_t distinct = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (i == 0 || entries_[i].first != entries_[i - 1].first) ++distinct;
    }
    std::size_t size = 16;
    while (size < 2 * distinct) size *= 2;
    std::vector<Slot> slots(size, Slot{0, 0, 0});
    for (std::size_t i = 0; i < entries_.size();) {
      std::size_t end = i + 1;
      while (end < entries_.size() && entries_[end].first == entries_[i].first) ++end;
      std::size_t at = Hash(entries_[i].first) & (size - 1);
      while (slots[at].count != 0) at = (at + 1) & (size - 1);
      slots[at] = Slot{entries_[i].first, static_cast<std::uint32_t>(i),
                       static_cast<std::uint32_t>(end - i)};
      i = end;
    }
    std::vector<SharedName> shared;
    shared.reserve(entries_.size());
    for (const Entry& entry : entries_) shared.emplace_back(entry.second);
    slots_.swap(slots);
    shared_.swap(shared);
    indexed_ = true;
  }

  mutable std::vector<Entry> entries_;
  mutable std::vector<Slot> slots_;
  mutable std::vector<SharedName> shared_;  // entries_[i].second, for sets to share
  mutable std::vector<std::uint32_t> ranks_;    // per entry, see PrepareRanks
  mutable std::vector<std::uint32_t> classes_;  // an entry of each distinct name, in order
  mutable bool sorted_ = true;
  mutable bool indexed_ = false;
  mutable bool ranked_ = false;
};

// One preset that was read, and what it needs.
struct PresetRecord {
  std::u16string fileName;
  NameSet needs;
};

// Presets in the order they were read.
class PresetList {
 public:
  using const_iterator = std::list<PresetRecord>::const_iterator;

  void Append(const PresetRecord& record) { records_.push_back(record); }
  void Append(PresetRecord&& record) { records_.push_back(std::move(record)); }
  std::size_t Size() const { return records_.size(); }

  const_iterator begin() const { return records_.begin(); }
  const_iterator end() const { return records_.end(); }

 private:
  std::list<PresetRecord> records_;
};

}  // namespace kvo
