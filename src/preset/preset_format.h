// The preset file format (*.kvo) as far as the tool reads it, and the name
// it gives an item id it does not know: stated once, for the reader and the
// catalogue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvo {
namespace preset_format {

// ---- the file --------------------------------------------------------------

// A preset starts with "PXLT/0" in UTF-16LE and its zero terminator.
constexpr std::size_t kMagicSize = 14;
constexpr unsigned char kMagic[kMagicSize] = {0x50, 0, 0x58, 0, 0x4C, 0, 0x54, 0,
                                              0x2F, 0, 0x30, 0, 0,    0};
// Shorter files are no preset.
constexpr std::size_t kMinFileSize = 48;
// The entry list is searched from kScanBase plus the 32-bit value at
// kSkipOffset; values stand at any byte offset, little-endian.
constexpr std::size_t kSkipOffset = 44;
constexpr std::int64_t kScanBase = 304;

// ---- the entry list ------------------------------------------------------------

// The list header: the 32-bit marker 13, the entry count (at most
// kMaxEntries) kCountOffset bytes on, and the first entry kFirstEntryOffset
// bytes on.
constexpr std::int32_t kListMarker = 13;
constexpr std::size_t kCountOffset = 17;
constexpr std::size_t kFirstEntryOffset = 21;
constexpr std::uint32_t kMaxEntries = 255;

// An entry: its label's length L (32 bits; even, kMinLabel..kMaxLabel), the
// label (L bytes: (L-2)/2 non-zero UTF-16 units and a zero one), a zero
// 32-bit word, the item id (32 bits) and 4 more bytes: kEntryFixedSize + L
// bytes in all.
constexpr std::size_t kLabelOffset = 4;
constexpr std::int32_t kMinLabel = 4;
constexpr std::int32_t kMaxLabel = 16;
constexpr std::size_t kZeroWordSize = 4;
constexpr std::size_t kItemIdOffset = kLabelOffset + kZeroWordSize;  // past the label
constexpr std::size_t kEntryFixedSize = 16;
// A header is only taken with room for the shortest entry's length and
// label after it.
constexpr std::size_t kMinHeaderRoom = kFirstEntryOffset + kLabelOffset + kMinLabel;

// ---- names for unknown item ids -------------------------------------------------

// Item ids at or above this value that the id table does not know are kept
// as a visible placeholder, so the report shows that something is missing.
constexpr std::int32_t kPlaceholderMinId = 67108864;  // 2^26
// The placeholder's text (a FormatLine format): "???(<id>)".
constexpr char16_t kPlaceholderFormat[] = u"\?\?\?(%d)";

// Whether `name` is a placeholder: it starts as every placeholder does, which
// no archive name in the tool's use does.
bool IsPlaceholderName(const std::u16string& name);

}  // namespace preset_format
}  // namespace kvo
