// Folder listing cases live with the catalogue tests; this file keeps the
// case-collision check, which needs a file system that tells case apart.
#include "gtest_support.h"

#include "platform/file_system.h"
#include "reconcile/folder_scan.h"
#include "test_support.h"

namespace kvo::test {
namespace {

platform::FileSystem& System() { return platform::DefaultFileSystem(); }

TEST(FolderScan, NamesDifferingOnlyInCaseGiveOneEntry) {
  TempDir dir;
  WriteText(dir.path() / "x.vac", "1");
  WriteText(dir.path() / "X.VAC", "2");
  if (ListNames(dir.path()).size() != 2) GTEST_SKIP() << "case-insensitive file system";
  NameSet names;
  ASSERT_EQ(ScanFolder(System(), dir.str(), u"*.vac", names), platform::ListStatus::kListed);
  EXPECT_EQ(names.Size(), 1u);
  EXPECT_TRUE(names.Contains(u"x.vac"));
}

}  // namespace
}  // namespace kvo::test
