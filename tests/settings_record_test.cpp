#include "gtest_support.h"

#include "test_support.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
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


// One session per row: the load at start (the file, else the fallback the
// dialog fills in from the registry), the folders picked in the browser, and
// what the close writes, reading the file again when the start could not.
TEST(SettingsRecord, TheCloseWritesOnlyWhatMayReplaceTheFile) {
  using platform::FileStatus;
  const std::vector<unsigned char> atStart = File(u"C:\\Plug", u"C:\\Pre", u"C:\\Work");
  // Changed meanwhile by whoever held it.
  const std::vector<unsigned char> atClose = File(u"D:\\Plug2", u"D:\\Pre2", u"D:\\Work2");
  const std::vector<unsigned char> cutInPreset(atClose.begin(), atClose.begin() + 524);
  const std::vector<unsigned char> empty;
  const std::u16string fallback[3] = {u"R:\\Plugin", u"R:\\Preset", u""};
  struct Row {
    const char* what;
    FileStatus start;
    const char16_t* picked[3];  // the folder picked in the browser for each slot, or none
    bool readAgain;
    FileStatus again;  // how the read at close goes, and what it gives
    const std::vector<unsigned char>* againBytes;
    bool writes;
    std::u16string plugin, preset, work;  // what is written
    const std::vector<unsigned char>* read = nullptr;  // the file at start, when not atStart
  };
  const Row rows[] = {
      {"read, nothing chosen: rewritten as read", FileStatus::kRead, {}, false,
       FileStatus::kUnreadable, nullptr, true, u"C:\\Plug", u"C:\\Pre", u"C:\\Work"},
      {"read, Work chosen", FileStatus::kRead, {nullptr, nullptr, u"E:\\X"}, false,
       FileStatus::kUnreadable, nullptr, true, u"C:\\Plug", u"C:\\Pre", u"E:\\X"},
      {"an empty file read: empty fields, no fallback", FileStatus::kRead, {}, false,
       FileStatus::kUnreadable, nullptr, true, u"", u"", u"", &empty},
      {"missing: the fallback, as on a first start", FileStatus::kMissing, {}, false,
       FileStatus::kUnreadable, nullptr, true, u"R:\\Plugin", u"R:\\Preset", u""},
      {"unreadable, nothing chosen: kept", FileStatus::kUnreadable, {}, false,
       FileStatus::kUnreadable, nullptr, false, {}, {}, {}},
      {"unreadable, Work chosen, readable at close: the others keep the file's",
       FileStatus::kUnreadable, {nullptr, nullptr, u"E:\\X"}, true, FileStatus::kRead, &atClose,
       true, u"D:\\Plug2", u"D:\\Pre2", u"E:\\X"},
      {"unreadable, the Plugin shown picked again: it counts", FileStatus::kUnreadable,
       {u"R:\\Plugin", nullptr, nullptr}, true, FileStatus::kRead, &atClose, true, u"R:\\Plugin",
       u"D:\\Pre2", u"D:\\Work2"},
      {"unreadable, Preset chosen, a short file at close", FileStatus::kUnreadable,
       {nullptr, u"E:\\Y", nullptr}, true, FileStatus::kRead, &cutInPreset, true, u"D:\\Plug2",
       u"E:\\Y", u""},
      {"unreadable, Work chosen, missing at close: what is shown", FileStatus::kUnreadable,
       {nullptr, nullptr, u"E:\\X"}, true, FileStatus::kMissing, nullptr, true, u"R:\\Plugin",
       u"R:\\Preset", u"E:\\X"},
      {"unreadable, Work chosen, still unreadable: kept", FileStatus::kUnreadable,
       {nullptr, nullptr, u"E:\\X"}, true, FileStatus::kUnreadable, nullptr, false, {}, {}, {}},
      {"a folder in its place, all chosen, still one: kept", FileStatus::kFolder,
       {u"E:\\X", u"E:\\Y", u"E:\\Z"}, true, FileStatus::kFolder, nullptr, false, {}, {}, {}},
  };
  auto put = [](SettingsRecord& record, int slot, const std::u16string& path) {
    std::memset(record.paths[slot], 0, sizeof record.paths[slot]);
    path.copy(record.paths[slot], path.size());
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SettingsRecord shown;
    std::memset(&shown, 0x5A, sizeof shown);
    const std::vector<unsigned char>& file = row.read != nullptr ? *row.read : atStart;
    const bool needsFallback = SettingsRecordAtStart(row.start, file.data(), file.size(), shown);
    ASSERT_EQ(needsFallback, row.start != FileStatus::kRead);
    std::vector<unsigned char> loaded(sizeof shown, 0);
    if (!needsFallback) std::copy(file.begin(), file.end(), loaded.begin());
    ASSERT_EQ(std::memcmp(&shown, loaded.data(), sizeof shown), 0);

    bool chosen[kFolderSlotCount] = {};
    for (int slot = 0; slot < kFolderSlotCount; ++slot) {
      if (needsFallback) put(shown, slot, fallback[slot]);
      chosen[slot] = row.picked[slot] != nullptr;
      if (chosen[slot]) put(shown, slot, row.picked[slot]);
    }
    ASSERT_EQ(SettingsReadAgainAtClose(row.start, chosen), row.readAgain);
    // As the dialog does: without a read at close there is nothing to look at.
    const FileStatus again = row.readAgain ? row.again : FileStatus::kUnreadable;
    const std::vector<unsigned char> none;
    const std::vector<unsigned char>& bytes = row.readAgain && row.againBytes ? *row.againBytes : none;
    SettingsRecord written;
    std::memset(&written, 0xA5, sizeof written);
    ASSERT_EQ(SettingsRecordToSave(row.start, chosen, shown, again, bytes.data(), bytes.size(),
                                   written),
              row.writes);
    if (row.writes) {
      const std::vector<unsigned char> expected = File(row.plugin, row.preset, row.work);
      EXPECT_EQ(std::memcmp(&written, expected.data(), sizeof written), 0)
          << test::U8(Field(written, 0)) << " | " << test::U8(Field(written, 1)) << " | "
          << test::U8(Field(written, 2));
    }
  }
}

}  // namespace
}  // namespace kvo
