#include "preset/preset_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace kvo {
namespace {

// "PXLT/0" in UTF-16LE and its zero terminator.
constexpr unsigned char kMagic[14] = {0x50, 0, 0x58, 0, 0x4C, 0, 0x54, 0, 0x2F, 0, 0x30, 0, 0, 0};
constexpr std::size_t kMinFileSize = 48;
constexpr std::size_t kSkipOffset = 44;
constexpr std::int64_t kScanBase = 304;
constexpr std::int32_t kListMarker = 13;
constexpr std::uint32_t kMaxEntries = 255;

// Values stand at any byte offset, so they are assembled byte by byte.
inline std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::int32_t I32(const unsigned char* p) { return static_cast<std::int32_t>(U32(p)); }

// Entry test at `r`: label length 4..16, exactly (L-2)/2 non-zero UTF-16
// units then a zero unit, then a zero 32-bit word. `avail` is the number of
// bytes from r to the end of the data; `tail` is how many bytes past the
// label the caller needs inside the data (4 for the zero word, 8 with the
// item id). Returns L, or 0 when the test fails.
inline std::int32_t EntryAt(const unsigned char* r, std::size_t avail, std::size_t tail) {
  if (avail < 4) return 0;
  const std::int32_t length = I32(r);
  if (length < 4 || length > 16 || (length & 1) != 0) return 0;
  if (avail < 4 + static_cast<std::size_t>(length) + tail) return 0;
  const unsigned char* label = r + 4;
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

void Gather(std::int32_t itemId, const IdTable& idTable, std::vector<Found>& found,
            std::vector<SharedName>& placeholders, std::size_t room) {
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
    platform::FormatLine(text, u"\?\?\?(%d)", static_cast<int>(itemId));
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

struct ReadBuffer {
  std::unique_ptr<unsigned char[]> storage;
  std::size_t capacity = 0;
};

ReadBuffer& PresetReadBuffer() {
  static ReadBuffer buffer;
  return buffer;
}

}  // namespace

int ParsePreset(const unsigned char* data, std::size_t size, const IdTable& idTable,
                NameSet& needs, AddedNames* added) {
  if (size < kMinFileSize) return -1;
  if (std::memcmp(data, kMagic, sizeof kMagic) != 0) return -1;
  const std::int64_t scanStart = kScanBase + I32(data + kSkipOffset);
  // A scan start before the file or past its end holds no list: not a preset.
  if (scanStart < 0 || static_cast<std::uint64_t>(scanStart) >= size) return -1;

  // List header: marker 13, count <= 255 at +17, a whole entry (up to its
  // zero word) at +21.
  std::size_t p = static_cast<std::size_t>(scanStart);
  std::size_t listPos = 0;
  bool found = false;
  for (; p + 21 + 8 <= size; ++p) {
    // Cheap pre-filter: most bytes are not the low byte of the marker.
    const void* hit = std::memchr(data + p, kListMarker, size - 29 - p + 1);
    if (hit == nullptr) break;
    p = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data);
    if (I32(data + p) != kListMarker) continue;
    if (U32(data + p + 17) > kMaxEntries) continue;
    if (EntryAt(data + p + 21, size - (p + 21), 4) == 0) continue;
    listPos = p;
    found = true;
    break;
  }
  if (!found) return -1;

  const std::uint32_t count = U32(data + listPos + 17);
  std::vector<Found> names;
  names.reserve(count);
  std::vector<SharedName> placeholders;
  std::size_t r = listPos + 21;
  for (std::uint32_t n = 0; n < count; ++n) {
    std::int32_t length = 0;
    // Junk between entries is skipped byte by byte; an entry must hold its
    // item id inside the data.
    while ((length = EntryAt(data + r, size - r, 8)) == 0) {
      if (++r >= size) return -1;
    }
    Gather(I32(data + r + 8 + length), idTable, names, placeholders, count);
    r += 16 + static_cast<std::size_t>(length);
    if (r > size) r = size;
  }
  InsertAll(idTable, names, needs, added);
  return 0;
}

int ReadPreset(PresetRecord& record, const std::u16string& fileName, const IdTable& idTable,
               const std::u16string& openPath, AddedNames* added) {
  record.fileName = fileName;
  if (added != nullptr) added->clear();
  platform::FileStatus status = platform::FileStatus::kUnreadable;
  platform::ScopedFile file(
      platform::OpenForReadNoShare(openPath.empty() ? fileName : openPath, &status));
  if (file.get() == nullptr) {
    return status == platform::FileStatus::kUnreadable ? kPresetUnreadable : kPresetLeftOut;
  }

  std::uint32_t size = 0;
  if (!platform::FileSize32(file.get(), &size)) return kPresetUnreadable;
  ReadBuffer& buffer = PresetReadBuffer();
  if (size > buffer.capacity) {
    // Drop the old storage first: after a failed allocation the buffer must
    // be empty, not pointing at released memory.
    buffer.storage.reset();
    buffer.capacity = 0;
    const std::size_t capacity = 2 * static_cast<std::size_t>(size);
    buffer.storage.reset(new unsigned char[capacity]);
    buffer.capacity = capacity;
  }
  if (size > 0 && !platform::ReadExact(file.get(), buffer.storage.get(), size)) {
    return kPresetUnreadable;
  }
  file.Close();
  if (size == 0) return kPresetLeftOut;
  return ParsePreset(buffer.storage.get(), size, idTable, record.needs, added);
}

std::size_t PresetReadBufferCapacity() { return PresetReadBuffer().capacity; }

void ResetPresetReadBuffer() {
  ReadBuffer& buffer = PresetReadBuffer();
  buffer.storage.reset();
  buffer.capacity = 0;
}

}  // namespace kvo
