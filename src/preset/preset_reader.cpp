#include "preset/preset_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "preset/preset_reader_test_helper.h"

namespace kvo {
namespace {

using namespace preset_format;

// Values stand at any byte offset, so they are assembled byte by byte.
inline std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::int32_t I32(const unsigned char* p) { return static_cast<std::int32_t>(U32(p)); }

// Entry test at `r`: label length kMinLabel..kMaxLabel, exactly (L-2)/2
// non-zero UTF-16 units then a zero unit, then a zero 32-bit word. `avail` is the number of
// bytes from r to the end of the data; `tail` is how many bytes past the
// label the caller needs inside the data (the zero word, or with the item id
// too). Returns L, or 0 when the test fails.
inline std::int32_t EntryAt(const unsigned char* r, std::size_t avail, std::size_t tail) {
  if (avail < kLabelOffset) return 0;
  const std::int32_t length = I32(r);
  if (length < kMinLabel || length > kMaxLabel || (length & 1) != 0) return 0;
  if (avail < kLabelOffset + static_cast<std::size_t>(length) + tail) return 0;
  const unsigned char* label = r + kLabelOffset;
  const int units = (length - 2) / 2;
  for (int i = 0; i < units; ++i) {
    if (label[2 * i] == 0 && label[2 * i + 1] == 0) return 0;
  }
  if (label[length - 2] != 0 || label[length - 1] != 0) return 0;
  if (U32(label + length) != 0) return 0;
  return length;
}

// The names a preset's entries call for, gathered before any goes into
// `needs`, in the order the entries give them.
struct Found {
  const SharedName* name;
  std::uint32_t entry;  // id-table entry, or kAddedPlaceholder
};

void Gather(std::int32_t itemId, const IdTable& idTable, std::size_t room,
            std::vector<Found>& found, std::vector<SharedName>& placeholders) {
  auto range = idTable.Lookup(itemId);
  if (range.first != range.second) {
    for (auto it = range.first; it != range.second; ++it) {
      const std::size_t entry = idTable.IndexOf(it);
      found.push_back(Found{&idTable.SharedAt(entry), static_cast<std::uint32_t>(entry)});
    }
    return;
  }
  if (itemId >= kPlaceholderMinId) {
    char16_t text[platform::kLineBufferUnits];
    platform::FormatLine(text, kPlaceholderFormat, static_cast<int>(itemId));
    // `found` points into `placeholders`, which must never move.
    if (placeholders.capacity() == 0) placeholders.reserve(room);
    placeholders.emplace_back(std::u16string(text));
    found.push_back(Found{&placeholders.back(), kAddedPlaceholder});
  }
}

// Inserts the gathered names into `needs` as if one by one in the order
// found (so among equivalent names the first found is kept), but sorted
// first: a sorted run goes into the set without searching or shifting. The
// set shares the id table's texts. With the table's ranks the names are
// sorted by number and appended without comparing a single name.
void InsertAll(const IdTable& idTable, std::vector<Found>& found, NameSet& needs,
               AddedNames* added) {
  const bool fresh = needs.Empty();
  if (fresh) needs.Reserve(found.size());
  std::vector<std::uint32_t> order(found.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  if (idTable.Ranked()) {
    std::vector<std::uint32_t> rank(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
      rank[i] = found[i].entry == kAddedPlaceholder ? idTable.RankOf(*found[i].name)
                                                    : idTable.RankAt(found[i].entry);
    }
    // An odd rank is one class of equivalent table names. An even rank only
    // says where a name outside the table falls between two table names:
    // different placeholders can share it, so among those the names
    // themselves decide the order and whether two are one name.
    auto order_of = [&rank, &found](std::uint32_t a, std::uint32_t b) {
      if (rank[a] != rank[b]) return rank[a] < rank[b] ? -1 : 1;
      if ((rank[a] & 1) != 0) return 0;
      return found[a].name->Compare(*found[b].name);
    };
    std::sort(order.begin(), order.end(), [&order_of](std::uint32_t a, std::uint32_t b) {
      const int c = order_of(a, b);
      return c != 0 ? c < 0 : a < b;
    });
    if (fresh) {
      for (std::size_t k = 0; k < order.size(); ++k) {
        const std::uint32_t i = order[k];
        if (k > 0 && order_of(order[k - 1], i) == 0) continue;  // equivalent: the first stays
        needs.AppendGreater(*found[i].name);
        if (added != nullptr) added->push_back(found[i].entry);
      }
      return;
    }
  } else {
    std::sort(order.begin(), order.end(), [&found](std::uint32_t a, std::uint32_t b) {
      const int c = found[a].name->Compare(*found[b].name);
      return c != 0 ? c < 0 : a < b;
    });
  }
  for (std::uint32_t i : order) {
    if (needs.Insert(*found[i].name) && added != nullptr) added->push_back(found[i].entry);
  }
}

// One buffer for every preset a process reads: it grows to the size of a
// file that does not fit, and is kept from one run to the next unless it
// grew past kKeptPresetBuffer (ReleaseLargePresetReadBuffer).
std::vector<char>& PresetReadBuffer() {
  static std::vector<char> buffer;
  return buffer;
}

}  // namespace

PresetParse ParsePreset(const unsigned char* data, std::size_t size, const IdTable& idTable,
                        NameSet& needs, AddedNames* added) {
  if (size < kMinFileSize) return PresetParse::kNotAPreset;
  if (std::memcmp(data, kMagic, sizeof kMagic) != 0) return PresetParse::kNotAPreset;
  const std::int64_t scanStart = kScanBase + I32(data + kSkipOffset);
  // A scan start before the file or past its end holds no list: not a preset.
  if (scanStart < 0 || static_cast<std::uint64_t>(scanStart) >= size) {
    return PresetParse::kNotAPreset;
  }

  // List header: the marker, a count of at most kMaxEntries, a whole entry
  // (up to its zero word) where the first entry stands.
  std::size_t p = static_cast<std::size_t>(scanStart);
  std::size_t listPos = 0;
  bool found = false;
  for (; p + kMinHeaderRoom <= size; ++p) {
    // Cheap pre-filter: most bytes are not the low byte of the marker.
    const void* hit = std::memchr(data + p, kListMarker, size - kMinHeaderRoom - p + 1);
    if (hit == nullptr) break;
    p = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data);
    if (I32(data + p) != kListMarker) continue;
    if (U32(data + p + kCountOffset) > kMaxEntries) continue;
    if (EntryAt(data + p + kFirstEntryOffset, size - (p + kFirstEntryOffset), kZeroWordSize) == 0) {
      continue;
    }
    listPos = p;
    found = true;
    break;
  }
  if (!found) return PresetParse::kNotAPreset;

  const std::uint32_t count = U32(data + listPos + kCountOffset);
  std::vector<Found> names;
  names.reserve(count);
  std::vector<SharedName> placeholders;
  std::size_t r = listPos + kFirstEntryOffset;
  for (std::uint32_t n = 0; n < count; ++n) {
    std::int32_t length = 0;
    // Junk between entries is skipped byte by byte; an entry must hold its
    // item id inside the data.
    while ((length = EntryAt(data + r, size - r, kZeroWordSize + 4)) == 0) {
      if (++r >= size) return PresetParse::kNotAPreset;
    }
    Gather(I32(data + r + kItemIdOffset + length), idTable, count, names, placeholders);
    r += kEntryFixedSize + static_cast<std::size_t>(length);
    if (r > size) r = size;
  }
  InsertAll(idTable, names, needs, added);
  return PresetParse::kPreset;
}

PresetRead ReadPreset(platform::FileSystem& fs, const std::u16string& fileName,
                      const std::u16string& openPath, const IdTable& idTable,
                      PresetRecord& record, AddedNames* added) {
  record.fileName = fileName;
  if (added != nullptr) added->clear();
  std::vector<char>& buffer = PresetReadBuffer();
  switch (fs.ReadWholeFile(openPath.empty() ? fileName : openPath, 0, buffer)) {
    case platform::FileStatus::kRead:
      break;
    case platform::FileStatus::kUnreadable:
      return PresetRead::kUnreadable;
    case platform::FileStatus::kNoFolder:
      return PresetRead::kFolderGone;
    default:
      return PresetRead::kGone;
  }
  if (buffer.empty()) return PresetRead::kNotAPreset;
  return ParsePreset(reinterpret_cast<const unsigned char*>(buffer.data()), buffer.size(), idTable,
                     record.needs, added) == PresetParse::kPreset
             ? PresetRead::kRead
             : PresetRead::kNotAPreset;
}

void ReleaseLargePresetReadBuffer() {
  if (PresetReadBuffer().capacity() > kKeptPresetBuffer) std::vector<char>().swap(PresetReadBuffer());
}

std::size_t PresetReadBufferCapacity() { return PresetReadBuffer().capacity(); }

void ResetPresetReadBuffer() { std::vector<char>().swap(PresetReadBuffer()); }

}  // namespace kvo
