#include "lists/id_table.h"

#include <algorithm>
#include <cassert>

#include "platform/platform.h"

namespace kvo {
namespace {

std::size_t Hash(std::int32_t id) {
  return static_cast<std::size_t>((static_cast<std::uint32_t>(id) * 0x9E3779B1u) >> 7);
}

}  // namespace

void IdTable::Add(std::int32_t id, const std::u16string& name) { Push(Entry(id, name)); }
void IdTable::Add(std::int32_t id, std::u16string&& name) { Push(Entry(id, std::move(name))); }

void IdTable::Reserve(std::size_t entries) { entries_.reserve(entries); }

void IdTable::Push(Entry&& entry) {
  const bool inOrder = entries_.empty() || entries_.back().first <= entry.first;
  entries_.push_back(std::move(entry));
  if (!inOrder) sorted_ = false;
  ready_ = false;
  ranked_ = false;
}

// Every allocation here throws when memory runs out (none quietly falls
// back), and the table stays whole: the sorted entries replace the old ones
// in one swap, and the index is built aside and then swapped in.
void IdTable::Prepare() {
  if (ready_) return;
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
  ready_ = true;
}

IdTable::Range IdTable::Lookup(std::int32_t id) const {
  assert(ready_);
  if (slots_.empty()) return Range(entries_.end(), entries_.end());
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = Hash(id) & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.count == 0) return Range(entries_.end(), entries_.end());
    if (slot.id == id) {
      return Range(entries_.begin() + slot.first, entries_.begin() + slot.first + slot.count);
    }
  }
}

void IdTable::PrepareRanks() {
  assert(ready_);
  if (ranked_) return;
  const std::size_t n = entries_.size();
  struct Named {
    const SharedName* name;  // sorted by, with its key
    std::uint32_t index;
  };
  std::vector<Named> byName(n);
  for (std::size_t i = 0; i < n; ++i) {
    byName[i] = Named{&shared_[i], static_cast<std::uint32_t>(i)};
  }
  std::sort(byName.begin(), byName.end(), [](const Named& a, const Named& b) {
    const int c = a.name->Compare(*b.name);
    return c != 0 ? c < 0 : a.index < b.index;
  });
  std::vector<std::uint32_t> ranks(n);
  std::vector<std::uint32_t> classes;  // one entry per distinct name, in name order
  classes.reserve(n);
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint32_t i = byName[k].index;
    if (k == 0 || byName[k - 1].name->Compare(*byName[k].name) != 0) classes.push_back(i);
    // Odd, so that RankOf has an even number between any two ranks.
    ranks[i] = static_cast<std::uint32_t>(2 * (classes.size() - 1) + 1);
  }
  ranks_.swap(ranks);
  classes_.swap(classes);
  ranked_ = true;
}

std::uint32_t IdTable::RankOf(const std::u16string& text) const {
  std::string key;
  platform::MakeNameKey(text.data(), text.size(), key);
  return RankOfKeyed(key, text);
}

std::uint32_t IdTable::RankOf(const SharedName& name) const {
  return RankOfKeyed(name.Key(), name.Text());
}

std::uint32_t IdTable::RankOfKeyed(std::string_view key, const std::u16string& text) const {
  std::size_t lo = 0;
  std::size_t hi = classes_.size();
  while (lo < hi) {  // first class whose name does not order before `text`
    const std::size_t mid = lo + (hi - lo) / 2;
    if (shared_[classes_[mid]].Compare(key, text) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo < classes_.size() && shared_[classes_[lo]].Compare(key, text) == 0) {
    return static_cast<std::uint32_t>(2 * lo + 1);
  }
  return static_cast<std::uint32_t>(2 * lo);
}

}  // namespace kvo
