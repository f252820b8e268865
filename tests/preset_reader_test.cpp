#include "gtest_support.h"

#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "alloc_failure.h"
#include "platform/file_system.h"
#include "preset/preset_reader.h"
#include "preset_builder.h"
#include "preset/preset_reader_test_helper.h"
#include "test_support.h"

namespace kvo::test {
namespace {

platform::FileSystem& System() { return platform::DefaultFileSystem(); }

using Bytes = PresetBuilder::Bytes;
using Names = std::vector<std::u16string>;

IdTable SampleTable() {
  IdTable table;
  table.Add(1, u"one.vac");
  table.Add(2, u"two.vac");
  table.Add(3, u"Shared.vac");
  table.Add(4, u"SHARED.VAC");
  table.Add(5, u"five-a.vac");
  table.Add(5, u"five-b.vac");
  table.Add(67108864, u"big.vac");
  table.Add(-7, u"negative.vac");
  table.Prepare();
  return table;
}

constexpr PresetParse kIs = PresetParse::kPreset;
constexpr PresetParse kNot = PresetParse::kNotAPreset;

// Parses from a heap block of exactly the file's size, so that any read past
// the end is caught by the sanitizers. A ranked table (the path taken when
// there are many presets) must give exactly what a plain one gives.
PresetParse Parse(const Bytes& bytes, Names* names) {
  std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size() ? bytes.size() : 1]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  NameSet needs;
  const PresetParse result = ParsePreset(exact.get(), bytes.size(), SampleTable(), needs);
  IdTable ranked = SampleTable();
  ranked.PrepareRanks();
  NameSet rankedNeeds;
  EXPECT_EQ(ParsePreset(exact.get(), bytes.size(), ranked, rankedNeeds), result);
  EXPECT_EQ(Names(rankedNeeds.begin(), rankedNeeds.end()), Names(needs.begin(), needs.end()))
      << "ranked table";
  if (names) names->assign(needs.begin(), needs.end());
  return result;
}

// A list header with `count` entries of item id 1.
Bytes WithEntries(std::uint32_t count) {
  PresetBuilder builder;
  builder.ListHeader(count);
  for (std::uint32_t i = 0; i < count; ++i) builder.Entry(1);
  return builder.Build();
}

// A valid file whose header skip is patched afterwards, so the file keeps
// its size whatever the skip says.
Bytes WithSkip(Bytes bytes, std::int64_t h) {
  for (int i = 0; i < 4; ++i) bytes[44 + i] = static_cast<unsigned char>(h >> (8 * i));
  return bytes;
}

Bytes Magic7thUnitNonZero() {
  return Bytes{0x50, 0, 0x58, 0, 0x4C, 0, 0x54, 0, 0x2F, 0, 0x30, 0, 0x31, 0};
}

TEST(PresetFormat, Cases) {
  struct Case {
    const char* what;
    Bytes bytes;
    PresetParse result;
    Names needs;
  };
  const Case cases[] = {
      {"smallest file with one entry (341 bytes)",
       PresetBuilder().ListHeader(1).Entry(1).BuildTruncated(341), kIs, {u"one.vac"}},
      {"item id cut short (340 bytes)", PresetBuilder().ListHeader(1).Entry(1).BuildTruncated(340),
       kNot, {}},
      {"47 bytes", PresetBuilder().BuildTruncated(47), kNot, {}},
      {"48 bytes, H = 0: no header inside the data", PresetBuilder().BuildTruncated(48), kNot, {}},
      {"magic continues after PXLT/0",
       PresetBuilder().Magic(Magic7thUnitNonZero()).ListHeader(1).Entry(1).Build(), kNot, {}},
      {"count 0", PresetBuilder().ListHeader(0).Entry(1).Build(), kIs, {}},
      {"decoy with count 256 is passed over",
       PresetBuilder().DecoyHeader(256).ListHeader(1).Entry(2).Build(), kIs, {u"two.vac"}},
      {"count 255 is the most a header holds", WithEntries(255), kIs, {u"one.vac"}},
      {"count 256 is no header", WithEntries(256), kNot, {}},
      {"decoy with a huge count",
       PresetBuilder().DecoyHeader(0xFFFFFFFF).Filler(3).ListHeader(1).Entry(2).Build(), kIs,
       {u"two.vac"}},
      {"header found at any depth after the scan start",
       PresetBuilder().Filler(1001).ListHeader(1).Entry(1).Build(), kIs, {u"one.vac"}},
      {"positive skip",
       PresetBuilder().Skip(500).ListHeader(1).Entry(1).Build(), kIs, {u"one.vac"}},
      {"negative skip with the scan start inside the file",
       PresetBuilder().Skip(-200).ListHeader(1).Entry(1).Build(), kIs, {u"one.vac"}},
      {"scan start before the file", PresetBuilder().Skip(-305).ListHeader(1).Entry(1).Build(),
       kNot, {}},
      {"scan start far before the file",
       WithSkip(PresetBuilder().ListHeader(1).Entry(1).Build(), INT32_MIN), kNot, {}},
      {"scan start just past the end",
       WithSkip(PresetBuilder().ListHeader(1).Entry(1).Build(), 341 - 304), kNot, {}},
      {"scan start far past the end",
       WithSkip(PresetBuilder().ListHeader(1).Entry(1).Build(), INT32_MAX), kNot, {}},
      {"junk between entries is skipped and not counted",
       PresetBuilder().ListHeader(3).Entry(1).Raw({1, 2, 3, 0xFF, 0, 0, 0}).Entry(2)
           .Filler(40).Entry(5).Build(),
       kIs, {u"five-a.vac", u"five-b.vac", u"one.vac", u"two.vac"}},
      {"8-character label is no entry",
       PresetBuilder().ListHeader(2).Entry(1).RawEntry(18, u"abcdefgh", 0, 5).Entry(2).Build(), kIs,
       {u"one.vac", u"two.vac"}},
      {"a header whose first entry fails is no header",
       PresetBuilder().ListHeader(1).RawEntry(18, u"abcdefgh", 0, 1).Entry(2).Build(), kNot, {}},
      // L = 7, all else as an entry's: two non-zero units, the label's last
      // two bytes zero, the zero word, item id 2. Passed over, it lets the
      // next entry count.
      {"odd label length is no entry",
       PresetBuilder().ListHeader(2).Entry(1)
           .Raw({7, 0, 0, 0, 'a', 0, 'b', 0, 'c', 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0})
           .Entry(5).Build(),
       kIs, {u"five-a.vac", u"five-b.vac", u"one.vac"}},
      {"non-zero word after the label is no entry",
       PresetBuilder().ListHeader(2).Entry(1).RawEntry(4, std::u16string(u"a\0", 2), 7, 5).Entry(2)
           .Build(),
       kIs, {u"one.vac", u"two.vac"}},
      {"7-character label is an entry",
       PresetBuilder().ListHeader(1).Entry(1, u"abcdefg").Build(), kIs, {u"one.vac"}},
      {"id mapping to two names", PresetBuilder().ListHeader(1).Entry(5).Build(), kIs,
       {u"five-a.vac", u"five-b.vac"}},
      {"same name through two ids and twice the same id",
       PresetBuilder().ListHeader(4).Entry(3).Entry(4).Entry(1).Entry(1).Build(), kIs,
       {u"one.vac", u"Shared.vac"}},
      {"unknown 67108863 adds nothing", PresetBuilder().ListHeader(1).Entry(67108863).Build(), kIs,
       {}},
      {"unknown 67108865 is a placeholder", PresetBuilder().ListHeader(1).Entry(67108865).Build(),
       kIs, {u"\?\?\?(67108865)"}},
      {"two unknown ids between the same table names are both kept",
       PresetBuilder().ListHeader(3).Entry(67108870).Entry(67108865).Entry(1).Build(), kIs,
       {u"\?\?\?(67108865)", u"\?\?\?(67108870)", u"one.vac"}},
      {"unknown large id", PresetBuilder().ListHeader(1).Entry(INT32_MAX).Build(), kIs,
       {u"\?\?\?(2147483647)"}},
      {"known 67108864 gives only its names", PresetBuilder().ListHeader(1).Entry(67108864).Build(),
       kIs, {u"big.vac"}},
      {"unknown negative adds nothing", PresetBuilder().ListHeader(1).Entry(-5).Build(), kIs, {}},
      {"known negative id", PresetBuilder().ListHeader(1).Entry(-7).Build(), kIs, {u"negative.vac"}},
      {"fewer entries than counted", PresetBuilder().ListHeader(3).Entry(1).Entry(2).Build(), kNot,
       {u"one.vac", u"two.vac"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Names names;
    EXPECT_EQ(Parse(c.bytes, &names), c.result);
    if (c.result == kIs) {
      EXPECT_EQ(names, c.needs);
    }
  }
}

TEST(PresetFormat, ThePlaceholderForTheThresholdItself) {
  IdTable empty;
  empty.Prepare();
  const Bytes bytes = PresetBuilder().ListHeader(1).Entry(67108864).Build();
  NameSet needs;
  ASSERT_EQ(ParsePreset(bytes.data(), bytes.size(), empty, needs), kIs);
  EXPECT_EQ(Names(needs.begin(), needs.end()), Names{u"\?\?\?(67108864)"});
}

TEST(PresetFormat, EveryTruncationStaysInsideTheData) {
  const Bytes full = PresetBuilder()
                         .Skip(-100)
                         .DecoyHeader()
                         .ListHeader(3)
                         .Entry(1, u"abc")
                         .Raw({0xD, 0, 0, 0, 9})
                         .Entry(2, u"x")
                         .Entry(5, u"seven77")
                         .Build();
  // The last entry's item id ends 4 bytes before the end of the file.
  const std::size_t needed = full.size() - 4;
  for (std::size_t size = 0; size <= full.size(); ++size) {
    SCOPED_TRACE(size);
    Names names;
    EXPECT_EQ(Parse(Bytes(full.begin(), full.begin() + size), &names), size >= needed ? kIs : kNot);
  }
}

class PresetFiles : public ::testing::Test {
 protected:
  void SetUp() override { ResetPresetReadBuffer(); }
  void TearDown() override { ResetPresetReadBuffer(); }
  std::u16string Write(const std::string& name, const Bytes& bytes) {
    WriteBytes(dir_.path() / name, bytes);
    return S(dir_.path() / name);
  }
  TempDir dir_;
};

TEST_F(PresetFiles, FileNameIsSetExactlyWhateverTheOutcome) {
  const IdTable table = SampleTable();
  const std::u16string good = Write("Good.KVO", PresetBuilder().ListHeader(1).Entry(1).Build());
  const std::u16string bad = Write("bad.kvo", PresetBuilder().BuildTruncated(47));
  // A preset that is there but cannot be read whole: more than 32 bits of
  // size (sparse, so it takes no disk space).
  const std::u16string huge = Write("huge.kvo", PresetBuilder().ListHeader(1).Entry(1).Build());
  fs::resize_file(P(huge), (std::uintmax_t{1} << 32) + 1);
  struct Case {
    std::u16string name;
    std::u16string path;
    PresetRead result;
  };
  const Case cases[] = {
      {u"Good.KVO", good, PresetRead::kRead},
      {u"bad.kvo", bad, PresetRead::kNotAPreset},
      {u"empty.kvo", Write("empty.kvo", Bytes()), PresetRead::kNotAPreset},
      {u"Missing.kvo", S(dir_.path() / "Missing.kvo"), PresetRead::kGone},
      {u"folder.kvo", S(dir_.Sub("folder.kvo")), PresetRead::kGone},
      {u"huge.kvo", huge, PresetRead::kUnreadable},
      // Its folder renamed away meanwhile: not one preset left out, all of them.
      {u"a.kvo", S(dir_.path() / "renamed" / "a.kvo"), PresetRead::kFolderGone}};
  for (const Case& c : cases) {
    PresetRecord record;
    EXPECT_EQ(ReadPreset(System(), c.name, c.path, table, record), c.result);
    EXPECT_EQ(record.fileName, c.name);
  }
}

TEST_F(PresetFiles, TheBufferGrowsToTheFilesSizeAndLeftoversNeverCount) {
  const IdTable table = SampleTable();
  // A large file whose entries sit where a small file's data ends.
  const std::u16string large =
      Write("large.kvo", PresetBuilder().Filler(4000).ListHeader(1).Entry(1).Build());
  const Bytes smallBytes = PresetBuilder().ListHeader(1).Entry(2).Build();
  const std::u16string small = Write("small.kvo", smallBytes);
  const std::u16string damaged = Write("damaged.kvo", PresetBuilder().Filler(20).BuildTruncated(400));

  PresetRecord first;
  ASSERT_EQ(ReadPreset(System(), u"large.kvo", large, table, first), PresetRead::kRead);
  const std::size_t capacity = PresetReadBufferCapacity();
  // Exactly the file: a 3 GiB file must not ask for 6.
  EXPECT_EQ(capacity, fs::file_size(P(large)));

  PresetRecord second;
  ASSERT_EQ(ReadPreset(System(), u"small.kvo", small, table, second), PresetRead::kRead);
  EXPECT_EQ(Names(second.needs.begin(), second.needs.end()), Names{u"two.vac"});
  EXPECT_EQ(PresetReadBufferCapacity(), capacity);

  // The large file's header lies beyond this file's 400 bytes: no list.
  PresetRecord third;
  EXPECT_EQ(ReadPreset(System(), u"damaged.kvo", damaged, table, third), PresetRead::kNotAPreset);
}

TEST_F(PresetFiles, AFailedGrowthLeavesAnEmptyBufferThatCanGrowAgain) {
  const IdTable table = SampleTable();
  const std::u16string small = Write("small.kvo", PresetBuilder().ListHeader(1).Entry(1).Build());
  const std::u16string large =
      Write("large.kvo", PresetBuilder().Filler(100000).ListHeader(1).Entry(2).Build());
  PresetRecord record;
  ASSERT_EQ(ReadPreset(System(), u"small.kvo", small, table, record), PresetRead::kRead);
  ASSERT_GT(PresetReadBufferCapacity(), 0u);

  FailAllocationAfter(1, 50000);
  PresetRecord failing;
  EXPECT_THROW(ReadPreset(System(), u"large.kvo", large, table, failing), std::bad_alloc);
  FailAllocationAfter(0);
  EXPECT_EQ(PresetReadBufferCapacity(), 0u);

  PresetRecord again;
  EXPECT_EQ(ReadPreset(System(), u"small.kvo", small, table, again), PresetRead::kRead);
  EXPECT_EQ(Names(again.needs.begin(), again.needs.end()), Names{u"one.vac"});
}

}  // namespace
}  // namespace kvo::test
