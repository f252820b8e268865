// The value containers every decision of the tool is made with: an ordered,
// case-insensitive set of file names, the item-id table and the list of
// presets that could be read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <list>
#include <set>
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

// An ordered set of file names. The first spelling inserted is the one kept.
class NameSet {
 public:
  using const_iterator = std::set<std::u16string, NameLess>::const_iterator;

  // Adds the name unless an equivalent one is already stored; true when it
  // was added.
  bool Insert(const std::u16string& name) { return names_.insert(name).second; }
  bool Insert(std::u16string&& name) { return names_.insert(std::move(name)).second; }
  bool Contains(const std::u16string& name) const {
    return names_.find(name) != names_.end();
  }
  std::size_t Size() const { return names_.size(); }
  bool Empty() const { return names_.empty(); }
  void Clear() { names_.clear(); }

  const_iterator begin() const { return names_.begin(); }
  const_iterator end() const { return names_.end(); }

 private:
  std::set<std::u16string, NameLess> names_;
};

// Item id -> plug-in file names. Equal ids keep the order they were added in.
// The entries are kept in one array sorted by id (stably, so equal ids stay
// in the order of adding) and found by binary search: the table is filled
// once from IdList.txt and then only looked up, hundreds of thousands of
// times per run. Adding in ascending order keeps it sorted; otherwise it is
// sorted at the next lookup.
class IdTable {
 public:
  using Entry = std::pair<std::int32_t, std::u16string>;
  using const_iterator = std::vector<Entry>::const_iterator;
  using Range = std::pair<const_iterator, const_iterator>;

  void Add(std::int32_t id, const std::u16string& name) { Push(Entry(id, name)); }
  void Add(std::int32_t id, std::u16string&& name) { Push(Entry(id, std::move(name))); }
  Range Lookup(std::int32_t id) const {
    if (!sorted_) Sort();
    auto keys = std::equal_range(ids_.begin(), ids_.end(), id);
    return Range(entries_.begin() + (keys.first - ids_.begin()),
                 entries_.begin() + (keys.second - ids_.begin()));
  }
  std::size_t Size() const { return entries_.size(); }
  // Position of an entry of a Lookup range among all entries (0 .. Size()-1);
  // stays valid until the next Add.
  std::size_t IndexOf(const_iterator entry) const {
    return static_cast<std::size_t>(entry - entries_.begin());
  }
  const std::u16string& NameAt(std::size_t index) const { return entries_[index].second; }

 private:
  void Push(Entry&& entry) {
    // Room in both arrays first, so that a failed allocation changes nothing.
    if (ids_.size() == ids_.capacity()) ids_.reserve(2 * ids_.size() + 16);
    const bool inOrder = entries_.empty() || entries_.back().first <= entry.first;
    entries_.push_back(std::move(entry));
    ids_.push_back(entries_.back().first);
    if (!inOrder) sorted_ = false;
  }
  // Sorting allocates nothing that may fail: stable_sort falls back to an
  // in-place merge without its buffer, and moving strings cannot throw.
  void Sort() const {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < entries_.size(); ++i) ids_[i] = entries_[i].first;
    sorted_ = true;
  }

  mutable std::vector<Entry> entries_;
  mutable std::vector<std::int32_t> ids_;  // entries_[i].first, searched without touching the names
  mutable bool sorted_ = true;
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
