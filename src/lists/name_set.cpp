#include "lists/name_set.h"

#include <algorithm>
#include <cassert>
#include <memory>

namespace kvo {
namespace {

constexpr std::size_t kBlockMax = 64;

template <typename Probe>
struct StoredLess {
  bool operator()(const SharedName& a, const Probe& name) const {
    return a.Compare(name.key, name.text) < 0;
  }
};

// The key of an empty key's names: made, and nothing to release.
const char kEmptyKey[1] = {0};

// A key's own copy of its bytes.
std::unique_ptr<char[]> KeyBytes(const std::string& key) {
  if (key.empty()) return nullptr;
  std::unique_ptr<char[]> bytes(new char[key.size()]);
  std::copy(key.begin(), key.end(), bytes.get());
  return bytes;
}

}  // namespace

SharedName::Rep::~Rep() {
  if (key != kEmptyKey) delete[] key;
}

SharedName::SharedName(std::u16string text) : rep_(new Rep{1, 0, nullptr, std::move(text)}) {}

SharedName::SharedName(std::u16string text, std::string key) {
  std::unique_ptr<char[]> bytes = KeyBytes(key);
  rep_ = new Rep{1, static_cast<std::uint32_t>(key.size()), bytes ? bytes.get() : kEmptyKey,
                 std::move(text)};
  bytes.release();
}

void SharedName::MakeKey() const {
  std::string key;
  platform::MakeNameKey(rep_->text.data(), rep_->text.size(), key);
  rep_->key = key.empty() ? kEmptyKey : KeyBytes(key).release();
  rep_->keySize = static_cast<std::uint32_t>(key.size());
}

// The key first: a name already stored costs no copy of its text.
bool NameSet::Insert(const std::u16string& name) {
  std::string key;
  platform::MakeNameKey(name.data(), name.size(), key);
  Place place;
  if (!Locate(Probe{key, name}, place)) return false;
  Put(place, SharedName(name, std::move(key)));
  return true;
}

bool NameSet::Insert(std::u16string&& name) {
  std::string key;
  platform::MakeNameKey(name.data(), name.size(), key);
  Place place;
  if (!Locate(Probe{key, name}, place)) return false;
  Put(place, SharedName(std::move(name), std::move(key)));
  return true;
}

bool NameSet::Insert(const SharedName& name) {
  Place place;
  if (!Locate(Probe{name.Key(), name.Text()}, place)) return false;
  Put(place, name);
  return true;
}

bool NameSet::Contains(const std::u16string& name) const {
  std::string key;
  platform::MakeNameKey(name.data(), name.size(), key);
  return Find(Probe{key, name});
}

bool NameSet::Contains(const SharedName& name) const {
  return Find(Probe{name.Key(), name.Text()});
}

bool NameSet::Find(Probe name) const {
  if (blocks_.empty()) return false;
  const Block& block = blocks_[BlockFor(name)];
  auto at = std::lower_bound(block.begin(), block.end(), name, StoredLess<Probe>());
  return at != block.end() && at->Compare(name.key, name.text) == 0;
}

void NameSet::AppendGreater(const SharedName& name) {
  assert(blocks_.empty() || blocks_.back().back().Compare(name) < 0);
  if (blocks_.empty() || blocks_.back().size() == kBlockMax) {
    Block last = NewBlock();
    last.push_back(name);
    blocks_.push_back(std::move(last));
  } else {
    blocks_.back().push_back(name);
  }
  ++size_;
}

void NameSet::Clear() {
  blocks_.clear();
  size_ = 0;
}

NameSet::Block NameSet::NewBlock() const {
  Block block;
  // The first block is sized for what the caller expects; later ones are full-sized.
  block.reserve(blocks_.empty() ? std::min(std::max<std::size_t>(expected_, 8), kBlockMax)
                                : kBlockMax);
  return block;
}

// The block a name belongs in: the first whose last name does not order
// before it, or the last block. Only for a non-empty set (no block is ever
// empty).
std::size_t NameSet::BlockFor(Probe name) const {
  std::size_t lo = 0;
  std::size_t hi = blocks_.size() - 1;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (blocks_[mid].back().Compare(name.key, name.text) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

bool NameSet::Locate(Probe name, Place& place) const {
  if (blocks_.empty()) {
    place = Place{0, 0};
    return true;
  }
  // Names often come in ascending order (sorted listings): after the last
  // name they go to the end at once.
  const std::size_t last = blocks_.size() - 1;
  if (blocks_[last].back().Compare(name.key, name.text) < 0) {
    place = Place{last, blocks_[last].size()};
    return true;
  }
  const std::size_t b = BlockFor(name);
  const Block& block = blocks_[b];
  auto at = std::lower_bound(block.begin(), block.end(), name, StoredLess<Probe>());
  if (at != block.end() && at->Compare(name.key, name.text) == 0) return false;
  place = Place{b, static_cast<std::size_t>(at - block.begin())};
  return true;
}

// Every step that can run out of memory comes before the set changes, so a
// failed insertion leaves it as it was.
void NameSet::Put(Place place, SharedName name) {
  if (blocks_.empty() ||
      (blocks_[place.block].size() == kBlockMax && place.block + 1 == blocks_.size() &&
       place.index == kBlockMax)) {
    // The first name, or one appended to a full last block: a new last
    // block, so that sorted runs fill their blocks.
    Block last = NewBlock();
    last.push_back(std::move(name));
    blocks_.push_back(std::move(last));
    ++size_;
    return;
  }
  std::size_t b = place.block;
  std::size_t at = place.index;
  if (blocks_[b].size() == kBlockMax) {
    Split(b);
    if (blocks_[b].back().Compare(name) < 0) ++b;
    const Probe probe{name.Key(), name.Text()};
    at = static_cast<std::size_t>(
        std::lower_bound(blocks_[b].begin(), blocks_[b].end(), probe, StoredLess<Probe>()) -
        blocks_[b].begin());
  }
  blocks_[b].insert(blocks_[b].begin() + static_cast<std::ptrdiff_t>(at), std::move(name));
  ++size_;
}

// Moves the upper half of a full block into a new block after it.
void NameSet::Split(std::size_t b) {
  Block upper;
  upper.reserve(kBlockMax);
  blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, Block());
  Block& lower = blocks_[b];
  const std::size_t half = lower.size() / 2;
  for (std::size_t i = half; i < lower.size(); ++i) upper.push_back(std::move(lower[i]));
  lower.erase(lower.begin() + static_cast<std::ptrdiff_t>(half), lower.end());
  blocks_[b + 1].swap(upper);
}

}  // namespace kvo
