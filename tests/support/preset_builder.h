// Writes preset files, valid and damaged, for tests, fuzz seeds and
// benchmarks. Pieces are laid down in the order they are added, starting at
// the scan start (304 + header skip), or at offset 48 when that is earlier.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvo::test {

class PresetBuilder {
 public:
  using Bytes = std::vector<unsigned char>;

  // The signed header skip H at offset 44.
  PresetBuilder& Skip(std::int32_t h);
  // Replaces the 14-byte magic (e.g. with the 7th unit non-zero).
  PresetBuilder& Magic(const Bytes& magic);
  // `n` bytes that can never be taken for a header or an entry.
  PresetBuilder& Filler(std::size_t n, unsigned char byte = 0xEE);
  // The list header with `count` entries to follow.
  PresetBuilder& ListHeader(std::uint32_t count);
  // A header that looks right but claims more than 255 entries, with a valid
  // first entry, which the search must pass over.
  PresetBuilder& DecoyHeader(std::uint32_t count = 256);
  // A well-formed entry with a 1..7 character label.
  PresetBuilder& Entry(std::int32_t itemId, const std::u16string& label = u"k");
  // An entry with any label length field and label units (for damage).
  PresetBuilder& RawEntry(std::int32_t labelLength, const std::u16string& label,
                          std::uint32_t zeroWord, std::int32_t itemId);
  // Arbitrary bytes at this point (junk between entries).
  PresetBuilder& Raw(const Bytes& bytes);

  Bytes Build() const;
  // The file cut to its first `size` bytes.
  Bytes BuildTruncated(std::size_t size) const;

 private:
  std::int32_t skip_ = 0;
  Bytes magic_;
  Bytes body_;
};

void PutU32(PresetBuilder::Bytes& out, std::uint32_t value);

}  // namespace kvo::test
