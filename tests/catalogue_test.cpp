#include "gtest_support.h"

#include <string>
#include <vector>

#include "fault_file_system.h"
#include "platform/system.h"
#include "preset/catalogue.h"
#include "preset_builder.h"
#include "reconcile/folder_scan.h"
#include "test_support.h"

namespace kvo::test {
namespace {

platform::FileSystem& System() { return platform::DefaultFileSystem(); }

using Names = std::vector<std::u16string>;

Names Of(const NameSet& set) { return Names(set.begin(), set.end()); }

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs_.SetExeFolder(dir_.str());
    presetFolder_ = dir_.Sub("Preset");
    WriteText(dir_.path() / "IdList.txt",
              "1,Face.vac\r\n2,FACE.VAC\r\n3,Body.vac\r\n4,hair.vac\r\n");
  }

  void Preset(const std::string& name, std::initializer_list<std::int32_t> ids) {
    PresetBuilder builder;
    builder.ListHeader(static_cast<std::uint32_t>(ids.size()));
    for (std::int32_t id : ids) builder.Entry(id);
    // A list header is only recognised in front of a well-formed entry.
    if (ids.size() == 0) builder.Entry(9999);
    WriteBytes(presetFolder_ / name, builder.Build());
  }

  // Lists and reads the Preset folder the way a run does.
  NameSet Build(Catalogue& catalogue, NameSet required = NameSet()) {
    NameSet listing;
    EXPECT_EQ(ScanFolder(System(), S(presetFolder_), u"*.kvo", listing), platform::ListStatus::kListed);
    std::u16string unreadable;
    catalogue.BuildRequired(fs_, S(presetFolder_), listing, {}, required, unreadable);
    return required;
  }

  TempDir dir_;
  FaultyFileSystem fs_;
  fs::path presetFolder_;
};

TEST_F(CatalogueTest, EmptyPresetFolderNeedsExactlyTheExList) {
  WriteText(dir_.path() / "ExList.txt", "Base.vac\r\n");
  Catalogue catalogue;
  ASSERT_EQ(catalogue.LoadLists(fs_), Catalogue::Load::kLoaded);
  NameSet stale;
  stale.Insert(u"stale.vac");
  const NameSet required = Build(catalogue, stale);
  EXPECT_EQ(Of(required), Names{u"Base.vac"});
  EXPECT_EQ(catalogue.presets.Size(), 0u);
}

TEST_F(CatalogueTest, ReadablePresetsInNameOrderAndTheUnionOfTheirNeeds) {
  WriteText(dir_.path() / "ExList.txt", "Face.vac\r\n");
  Preset("b.kvo", {3, 2});
  Preset("A.kvo", {4});
  Preset("empty.kvo", {});
  WriteBytes(presetFolder_ / "short.kvo", PresetBuilder().BuildTruncated(47));
  WriteText(presetFolder_ / "text.kvo", std::string(400, 'x'));

  Catalogue catalogue;
  ASSERT_EQ(catalogue.LoadLists(fs_), Catalogue::Load::kLoaded);
  const NameSet required = Build(catalogue);
  EXPECT_EQ(Of(required), (Names{u"Body.vac", u"Face.vac", u"hair.vac"}));

  Names order;
  for (const PresetRecord& record : catalogue.presets) order.push_back(record.fileName);
  EXPECT_EQ(order, (Names{u"A.kvo", u"b.kvo", u"empty.kvo"}));
  // The preset keeps its own spelling even though the ExList's is required.
  auto b = std::next(catalogue.presets.begin());
  EXPECT_EQ(Of(b->needs), (Names{u"Body.vac", u"FACE.VAC"}));
}

TEST_F(CatalogueTest, WithoutExListOnlyThePresetsCount) {
  Preset("one.kvo", {1});
  Preset("two.kvo", {1, 3});
  Catalogue catalogue;
  ASSERT_EQ(catalogue.LoadLists(fs_), Catalogue::Load::kLoaded);
  EXPECT_EQ(Of(Build(catalogue)), (Names{u"Body.vac", u"Face.vac"}));
}

TEST_F(CatalogueTest, TheExListItselfCanBeTheRequiredSet) {
  WriteText(dir_.path() / "ExList.txt", "Base.vac\r\n");
  Preset("one.kvo", {3});
  Catalogue catalogue;
  ASSERT_EQ(catalogue.LoadLists(fs_), Catalogue::Load::kLoaded);
  NameSet listing;
  ASSERT_EQ(ScanFolder(System(), S(presetFolder_), u"*.kvo", listing), platform::ListStatus::kListed);
  std::u16string unreadable;
  catalogue.BuildRequired(fs_, S(presetFolder_), listing, {}, catalogue.exList, unreadable);
  EXPECT_EQ(Of(catalogue.exList), (Names{u"Base.vac", u"Body.vac"}));
}

TEST_F(CatalogueTest, PresetsAreReadFromTheirFolderNotTheCurrentOne) {
  Preset("only.kvo", {4});
  const std::u16string before = platform::CurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(dir_.str()));
  Catalogue catalogue;
  ASSERT_EQ(catalogue.LoadLists(fs_), Catalogue::Load::kLoaded);
  const NameSet required = Build(catalogue);
  platform::SetCurrentFolder(before);
  EXPECT_EQ(Of(required), Names{u"hair.vac"});
}

TEST(FolderScan, Cases) {
  TempDir dir;
  const fs::path plugin = dir.Sub("Plugin");
  for (const char* name : {"a.vac", "B.VAC", "c.kvo", "d.txt"}) WriteText(plugin / name, "x");
  dir.Sub("Plugin/sub.vac");
  WriteText(dir.path() / "file.vac", "x");
  const fs::path empty = dir.Sub("Empty");

  struct Case {
    const char* what;
    std::u16string folder;
    platform::ListStatus result;
    Names names;
  };
  const Case cases[] = {
      {"files and a sub-folder", S(plugin), platform::ListStatus::kListed,
       {u"a.vac", u"B.VAC", u"keep.vac", u"sub.vac"}},
      {"no match", S(empty), platform::ListStatus::kListed, {u"keep.vac"}},
      {"missing folder", S(dir.path() / "missing"), platform::ListStatus::kFailed, {u"keep.vac"}},
      {"a file", S(dir.path() / "file.vac"), platform::ListStatus::kFailed, {u"keep.vac"}},
      {"empty path", u"", platform::ListStatus::kFailed, {u"keep.vac"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NameSet names;
    names.Insert(u"keep.vac");  // a scan only adds
    EXPECT_EQ(ScanFolder(System(), c.folder, u"*.vac", names), c.result);
    EXPECT_EQ(Of(names), c.names);
  }
}

TEST(FolderScan, AFolderTooDeepForItsSearchPathCannotBeListed) {
  TempDir dir;
  // A folder path so long that joining "*.vac" passes MAX_PATH; taken as
  // empty, a Preset folder like it would make every archive look unneeded.
  fs::path deep = dir.path();
  while (deep.u16string().size() + 1 + 5 < kMaxPath - 1) deep /= "d";
  ASSERT_TRUE(fs::create_directories(deep));
  NameSet names;
  const std::u16string folder = deep.u16string() + u"xx";
  fs::create_directory(P(folder));
  if (!fs::is_directory(P(folder))) GTEST_SKIP() << "cannot create the deep folder here";
  EXPECT_EQ(ScanFolder(System(), folder, u"*.vac", names), platform::ListStatus::kFailed);
  EXPECT_EQ(names.Size(), 0u);
}

}  // namespace
}  // namespace kvo::test
