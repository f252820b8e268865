#include "preset_builder.h"

#include <algorithm>

namespace kvo::test {

void PutU32(PresetBuilder::Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

namespace {
void PutLabel(PresetBuilder::Bytes& out, const std::u16string& label) {
  for (char16_t c : label) {
    out.push_back(static_cast<unsigned char>(c & 0xFF));
    out.push_back(static_cast<unsigned char>(c >> 8));
  }
}
}  // namespace

PresetBuilder& PresetBuilder::Skip(std::int32_t h) {
  skip_ = h;
  return *this;
}

PresetBuilder& PresetBuilder::Magic(const Bytes& magic) {
  magic_ = magic;
  return *this;
}

PresetBuilder& PresetBuilder::Filler(std::size_t n, unsigned char byte) {
  body_.insert(body_.end(), n, byte);
  return *this;
}

PresetBuilder& PresetBuilder::ListHeader(std::uint32_t count) {
  PutU32(body_, 13);
  body_.insert(body_.end(), 13, 0x5A);  // not examined
  PutU32(body_, count);
  return *this;
}

PresetBuilder& PresetBuilder::DecoyHeader(std::uint32_t count) {
  ListHeader(count);
  return Entry(999, u"decoy");
}

PresetBuilder& PresetBuilder::Entry(std::int32_t itemId, const std::u16string& label) {
  return RawEntry(static_cast<std::int32_t>(2 * label.size() + 2), label + u'\0', 0, itemId);
}

PresetBuilder& PresetBuilder::RawEntry(std::int32_t labelLength, const std::u16string& label,
                                       std::uint32_t zeroWord, std::int32_t itemId) {
  PutU32(body_, static_cast<std::uint32_t>(labelLength));
  PutLabel(body_, label);
  PutU32(body_, zeroWord);
  PutU32(body_, static_cast<std::uint32_t>(itemId));
  body_.insert(body_.end(), 4, 0x00);  // not examined
  return *this;
}

PresetBuilder& PresetBuilder::Raw(const Bytes& bytes) {
  body_.insert(body_.end(), bytes.begin(), bytes.end());
  return *this;
}

PresetBuilder::Bytes PresetBuilder::Build() const {
  static const unsigned char kMagic[14] = {0x50, 0, 0x58, 0, 0x4C, 0, 0x54, 0, 0x2F, 0, 0x30, 0, 0, 0};
  Bytes out(magic_.empty() ? Bytes(kMagic, kMagic + 14) : magic_);
  out.resize(44, 0x00);
  PutU32(out, static_cast<std::uint32_t>(skip_));
  const long long scanStart = 304LL + skip_;
  const std::size_t bodyStart = scanStart > 48 ? static_cast<std::size_t>(scanStart) : 48;
  out.resize(bodyStart, 0xEE);
  out.insert(out.end(), body_.begin(), body_.end());
  return out;
}

PresetBuilder::Bytes PresetBuilder::BuildTruncated(std::size_t size) const {
  Bytes out = Build();
  out.resize(std::min(size, out.size()));
  return out;
}

}  // namespace kvo::test
