// The value containers every decision of the tool is made with: an ordered,
// case-insensitive set of file names, the item-id table and the list of
// presets that could be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
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

  // Adds the name unless an equivalent one is already stored.
  void Insert(const std::u16string& name) { names_.insert(name); }
  void Insert(std::u16string&& name) { names_.insert(std::move(name)); }
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

// Item id -> plug-in file names. Equal ids keep the order they were added in
// (std::multimap inserts at the upper bound of the key).
class IdTable {
 public:
  using Map = std::multimap<std::int32_t, std::u16string>;
  using Range = std::pair<Map::const_iterator, Map::const_iterator>;

  void Add(std::int32_t id, const std::u16string& name) { entries_.emplace(id, name); }
  void Add(std::int32_t id, std::u16string&& name) { entries_.emplace(id, std::move(name)); }
  Range Lookup(std::int32_t id) const { return entries_.equal_range(id); }
  std::size_t Size() const { return entries_.size(); }

 private:
  Map entries_;
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
