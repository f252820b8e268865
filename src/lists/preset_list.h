// The presets a run could read, and what each of them needs.
#pragma once

#include <cstddef>
#include <list>
#include <string>

#include "lists/name_set.h"

namespace kvo {

// One preset that was read, and what it needs.
struct PresetRecord {
  std::u16string fileName;
  NameSet needs;
};

// Presets in the order they were read. Records are copies, independent of
// what they were made from.
class PresetList {
 public:
  using const_iterator = std::list<PresetRecord>::const_iterator;

  void Append(const PresetRecord& record);
  void Append(PresetRecord&& record);
  std::size_t Size() const { return records_.size(); }

  const_iterator begin() const { return records_.begin(); }
  const_iterator end() const { return records_.end(); }

 private:
  std::list<PresetRecord> records_;
};

}  // namespace kvo
