// An ordered, case-insensitive set of file names: every decision of the tool
// is a question about one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace kvo {

// Orders file names the way the system does (lstrcmpiW), so that names that
// differ only in letter case are one name. Sets of names compare them with
// their keys instead (SharedName::Compare): the same order, made cheap.
struct NameLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return platform::CompareNames(a.c_str(), b.c_str()) < 0;
  }
};

// A file name's text, shared by every set that holds that very text. Names
// never change once made, so a set that takes a name from another set, or
// from the id table, can share its one copy instead of allocating its own:
// a run puts hundreds of thousands of names from a table of tens of
// thousands into its presets' sets. The text's key in the name order is made
// once, when first asked for, and shared the same way. The count of holders
// is not atomic, nor is the key's making: like everything else here, names
// are used on one thread.
class SharedName {
 public:
  SharedName() = default;
  explicit SharedName(std::u16string text);
  // `key` must be the text's key (platform::MakeNameKey).
  SharedName(std::u16string text, std::string key);
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
  // The text's key in the name order (platform::MakeNameKey).
  std::string_view Key() const {
    if (rep_->key == nullptr) MakeKey();
    return std::string_view(rep_->key, rep_->keySize);
  }
  // Negative, zero or positive as this name orders before, as or after the
  // name `text` of key `key` (platform::CompareKeyed).
  int Compare(std::string_view key, const std::u16string& text) const {
    return platform::CompareKeyed(Key(), Text(), key, text);
  }
  int Compare(const SharedName& other) const { return Compare(other.Key(), other.Text()); }

 private:
  // Small, as a run holds a few hundred thousand and touches each often.
  struct Rep {
    std::uint32_t holders;
    std::uint32_t keySize;
    const char* key;  // nullptr until made
    std::u16string text;
    ~Rep();
  };
  void MakeKey() const;
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
    reference operator*() const { return Shared().Text(); }
    pointer operator->() const { return &Shared().Text(); }
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
  bool Insert(const std::u16string& name);
  bool Insert(std::u16string&& name);
  bool Insert(const SharedName& name);
  bool Contains(const std::u16string& name) const;
  bool Contains(const SharedName& name) const;
  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  // About how many names an empty set is going to hold, so that it can take
  // room for them at once.
  void Reserve(std::size_t names) { expected_ = names; }
  // Adds a name that orders after every name in the set, without comparing:
  // for callers that have put their names in order already (by IdTable
  // ranks). Anything else breaks the set.
  void AppendGreater(const SharedName& name);
  void Clear();

  const_iterator begin() const { return const_iterator(&blocks_, 0, 0); }
  const_iterator end() const { return const_iterator(&blocks_, blocks_.size(), 0); }

 private:
  // Where a new name goes: its block and its position in that block.
  struct Place {
    std::size_t block;
    std::size_t index;
  };

  // A name looked for: its key and its text.
  struct Probe {
    std::string_view key;
    const std::u16string& text;
  };

  // false when an equivalent name is stored; otherwise where it goes.
  bool Locate(Probe name, Place& place) const;
  // Stores `name` where Locate said, splitting a full block first.
  void Put(Place place, SharedName name);
  bool Find(Probe name) const;
  std::size_t BlockFor(Probe name) const;
  void Split(std::size_t block);
  Block NewBlock() const;

  std::vector<Block> blocks_;
  std::size_t size_ = 0;
  std::size_t expected_ = 0;
};

}  // namespace kvo
