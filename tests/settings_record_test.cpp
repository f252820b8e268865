#include "gtest_support.h"

#include "test_support.h"

#include <cstring>
#include <string>
#include <vector>

#include "reconcile/folders.h"

namespace kvo {
namespace {

std::vector<unsigned char> File(const std::u16string& plugin, const std::u16string& preset,
                                const std::u16string& work) {
  std::vector<unsigned char> bytes(1560, 0);
  const std::u16string* fields[3] = {&plugin, &preset, &work};
  for (int slot = 0; slot < 3; ++slot) {
    for (std::size_t i = 0; i < fields[slot]->size(); ++i) {
      bytes[520 * slot + 2 * i] = static_cast<unsigned char>((*fields[slot])[i] & 0xFF);
      bytes[520 * slot + 2 * i + 1] = static_cast<unsigned char>((*fields[slot])[i] >> 8);
    }
  }
  return bytes;
}

std::u16string Field(const SettingsRecord& record, int slot) {
  return std::u16string(record.paths[slot]);
}

TEST(SettingsRecord, FilesOfEveryShapeGiveTerminatedPaths) {
  const std::vector<unsigned char> good = File(u"C:\\p", u"C:\\q\u4F5C", u"");
  std::vector<unsigned char> longer = good;
  longer.resize(3000, 0x41);
  const std::vector<unsigned char> unterminated(1560, 0x41);  // every unit U+4141
  std::vector<unsigned char> cutInPreset(good.begin(), good.begin() + 524);

  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
    std::u16string plugin, preset, work;
  };
  const std::u16string full(259, u'\u4141');
  const Case cases[] = {
      {"as written", good, u"C:\\p", u"C:\\q\u4F5C", u""},
      {"longer: only 1560 bytes used", longer, u"C:\\p", u"C:\\q\u4F5C", u""},
      {"no terminator anywhere", unterminated, full, full, full},
      {"cut inside the Preset field", cutInPreset, u"C:\\p", u"C:", u""},
      {"empty file", {}, u"", u"", u""},
      {"one odd byte", {0x41}, u"A", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SettingsRecord record;
    std::memset(&record, 0x5A, sizeof record);  // nothing of before may survive
    SettingsRecordFromBytes(c.bytes.data(), c.bytes.size(), record);
    EXPECT_EQ(Field(record, 0), c.plugin);
    EXPECT_EQ(Field(record, 1), c.preset);
    EXPECT_EQ(Field(record, 2), c.work);
    // Whatever was not in the file is zero.
    const auto* raw = reinterpret_cast<const unsigned char*>(&record);
    for (std::size_t i = c.bytes.size(); i < sizeof record; ++i) ASSERT_EQ(raw[i], 0) << i;
  }
}

}  // namespace
}  // namespace kvo
